#include "update/FileListJson.h"

#include "update/Errors.h"
#include "update/JsonRecordReader.h"

#include <algorithm>

namespace corvane {

namespace {

// Where each field of record class T lives (one of the members is set).
template <class T> struct TMember {
    std::string T::*Text = nullptr;
    std::int32_t T::*Integer = nullptr;
    TDateTime T::*DateTime = nullptr;
    std::optional<std::uint64_t> T::*byteCount = nullptr;
    std::optional<Sha256Digest> T::*sha256 = nullptr;
};

// The fields of each record class, and beside them where they live.
template <class T> struct TFieldsOf;

template <> struct TFieldsOf<TFileInfoDTO> {
    static constexpr TJsonField Fields[] = {{"FAge", TJsonFieldKind::DateTime},
                                            {"FFileName", TJsonFieldKind::Text},
                                            {"FSize", TJsonFieldKind::ByteCount},
                                            {"FSha256", TJsonFieldKind::Sha256}};
    static constexpr TMember<TFileInfoDTO> Members[] = {
        {nullptr, nullptr, &TFileInfoDTO::FAge},
        {&TFileInfoDTO::FFileName},
        {nullptr, nullptr, nullptr, &TFileInfoDTO::size},
        {nullptr, nullptr, nullptr, nullptr, &TFileInfoDTO::sha256}};
};

template <> struct TFieldsOf<TFileInfoErrorDTO> {
    static constexpr TJsonField Fields[] = {{"FError", TJsonFieldKind::Text},
                                            {"FStatus", TJsonFieldKind::Integer},
                                            {"FDetail", TJsonFieldKind::Text}};
    static constexpr TMember<TFileInfoErrorDTO> Members[] = {{&TFileInfoErrorDTO::FError},
                                                             {nullptr, &TFileInfoErrorDTO::FStatus},
                                                             {&TFileInfoErrorDTO::FDetail}};
};

template <class T> constexpr bool HasPlainFieldNames() {
    for (const TJsonField& field : TFieldsOf<T>::Fields)
        if (!IsJsonFieldName(field.Name))
            return false;
    return true;
}
static_assert(HasPlainFieldNames<TFileInfoDTO>() && HasPlainFieldNames<TFileInfoErrorDTO>());

// Builds records of class T into an array that owns them.
template <class T> class TBuilder final : public TJsonRecordBuilder {
public:
    explicit TBuilder(std::vector<std::unique_ptr<T>>& ARecords) : FRecords(ARecords) {}

    std::span<const TJsonField> Fields() const override { return TFieldsOf<T>::Fields; }
    void Begin() override { FRecord = std::make_unique<T>(); }
    void SetText(int AField, std::string_view AValue) override {
        ((*FRecord).*Members[AField].Text).assign(AValue);
    }
    void SetInteger(int AField, std::int32_t AValue) override {
        (*FRecord).*Members[AField].Integer = AValue;
    }
    void SetDateTime(int AField, TDateTime AValue) override {
        (*FRecord).*Members[AField].DateTime = AValue;
    }
    void SetByteCount(int field, std::uint64_t value) override {
        (*FRecord).*Members[field].byteCount = value;
    }
    void SetSha256(int field, const Sha256Digest& value) override {
        (*FRecord).*Members[field].sha256 = value;
    }
    void Commit() override { FRecords.push_back(std::move(FRecord)); }
    void Discard() override { FRecord.reset(); }
    void Reset() override {
        FRecord.reset();
        FRecords.clear();
    }

private:
    static constexpr const auto& Members = TFieldsOf<T>::Members;
    std::vector<std::unique_ptr<T>>& FRecords;
    std::unique_ptr<T> FRecord;
};

// Builds the records of a listing into a compact array. The record being read keeps its name
// in a buffer of its own: a member may come twice, and a record may fail halfway.
class TListingBuilder final : public TJsonRecordBuilder {
public:
    explicit TListingBuilder(TFilesInfoDTO& ARecords) : FRecords(ARecords) {}

    std::span<const TJsonField> Fields() const override { return TFieldsOf<TFileInfoDTO>::Fields; }
    void Begin() override {
        FName.clear();
        FAge = 0.0;
        size_.reset();
        sha256_.reset();
    }
    void SetText(int, std::string_view AValue) override { FName.assign(AValue); }
    void SetInteger(int, std::int32_t) override {}
    void SetDateTime(int, TDateTime AValue) override { FAge = AValue; }
    void SetByteCount(int, std::uint64_t value) override { size_ = value; }
    void SetSha256(int, const Sha256Digest& value) override { sha256_ = value; }
    void Commit() override {
        if (size_ || sha256_)
            FRecords.Add(FName, FAge, size_, sha256_);
        else
            FRecords.Add(FName, FAge);
    }
    void Discard() override {}
    void Reset() override { FRecords.clear(); }

private:
    TFilesInfoDTO& FRecords;
    std::string FName;
    TDateTime FAge = 0.0;
    std::optional<std::uint64_t> size_;
    std::optional<Sha256Digest> sha256_;
};

template <class T> std::unique_ptr<T> ReadObject(std::string_view AJson) {
    std::vector<std::unique_ptr<T>> records;
    TBuilder<T> builder(records);
    const TJsonReadResult result = ReadJsonRecords(AJson, false, builder);
    if (!result.Valid || result.Root != TJsonRoot::Object)
        throw EConvertError("The input value is not a valid Object");
    if (result.Error)
        std::rethrow_exception(result.Error);
    return std::move(records.front());
}

} // namespace

TFileInfoDTO TFilesInfoDTO::operator[](size_t AIndex) const {
    const size_t start = AIndex == 0 ? 0 : static_cast<size_t>(FSlots[AIndex - 1].NameEnd);
    const TSlot& slot = FSlots[AIndex];
    TFileInfoDTO record(FNames.substr(start, static_cast<size_t>(slot.NameEnd) - start), slot.Age);
    if (AIndex < checks_.size()) {
        const Check& check = checks_[AIndex];
        if (check.hasSize)
            record.size = check.size;
        if (check.hasSha256)
            record.sha256 = check.sha256;
    }
    return record;
}

void TFilesInfoDTO::Add(std::string_view AFileName, TDateTime AAge) {
    if (!checks_.empty())
        checks_.emplace_back();
    FNames.append(AFileName);
    FSlots.push_back({AAge, FNames.size()});
}

void TFilesInfoDTO::Add(std::string_view fileName, TDateTime age, std::optional<std::uint64_t> size,
                        const std::optional<Sha256Digest>& sha256) {
    if (!size && !sha256)
        return Add(fileName, age);
    checks_.resize(FSlots.size()); // records before the first with a check have none
    Check& check = checks_.emplace_back();
    check.hasSize = size.has_value();
    check.size = size.value_or(0);
    check.hasSha256 = sha256.has_value();
    if (sha256)
        check.sha256 = *sha256;
    FNames.append(fileName);
    FSlots.push_back({age, FNames.size()});
}

void TFilesInfoDTO::clear() {
    FSlots.clear();
    FNames.clear();
    checks_.clear();
}

void TFilesInfoDTO::shrink_to_fit() {
    FSlots.shrink_to_fit();
    FNames.shrink_to_fit();
    checks_.shrink_to_fit();
}

void TFilesInfoDTO::reserve(size_t ARecords, size_t ANameBytes) {
    FSlots.reserve(ARecords);
    FNames.reserve(ANameBytes);
}

namespace {

// Empties the array and returns its room.
void Release(TFilesInfoDTO& AArray) {
    AArray.clear();
    AArray.shrink_to_fit();
}

} // namespace

void TFilesInfoDTOHelper::FromJSON(TFilesInfoDTO& AArray, std::string_view AJson) {
    Release(AArray);
    // No more records than the text can hold (each takes at least "{}" and a comma), and no
    // more name bytes than the text has. Pages of this room that are never written are never
    // taken from the system.
    AArray.reserve(std::min(MaxListingRecords, AJson.size() / 3 + 1), AJson.size());
    TListingBuilder builder(AArray);
    const TJsonReadResult result = ReadJsonRecords(AJson, true, builder, MaxListingRecords);
    if (result.TooManyElements) {
        Release(AArray);
        throw EListError("The listing names more than " + std::to_string(MaxListingRecords) +
                         " files");
    }
    if (!result.Valid) {
        Release(AArray);
        throw Exception("TFilesInfoDTOHelper.FromJSON");
    }
    if (result.Root != TJsonRoot::Array) {
        Release(AArray);
        throw EInvalidCast("Invalid class typecast");
    }
    // After a failed element no record was kept: the array holds those read before it.
    if (result.Error)
        std::rethrow_exception(result.Error);
}

template <> std::unique_ptr<TFileInfoDTO> JsonToObject<TFileInfoDTO>(std::string_view AJson) {
    return ReadObject<TFileInfoDTO>(AJson);
}

template <>
std::unique_ptr<TFileInfoErrorDTO> JsonToObject<TFileInfoErrorDTO>(std::string_view AJson) {
    return ReadObject<TFileInfoErrorDTO>(AJson);
}

} // namespace corvane
