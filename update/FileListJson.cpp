#include "update/FileListJson.h"

#include "update/Errors.h"
#include "update/JsonRecordReader.h"

#include <algorithm>

namespace corvane {

namespace {

// Where each field of record class T lives (one of the three members is set).
template <class T> struct TMember {
    std::string T::*Text = nullptr;
    std::int32_t T::*Integer = nullptr;
    TDateTime T::*DateTime = nullptr;
};

// The fields of each record class, and beside them where they live.
template <class T> struct TFieldsOf;

template <> struct TFieldsOf<TFileInfoDTO> {
    static constexpr TJsonField Fields[] = {{"FAge", TJsonFieldKind::DateTime},
                                            {"FFileName", TJsonFieldKind::Text}};
    static constexpr TMember<TFileInfoDTO> Members[] = {{nullptr, nullptr, &TFileInfoDTO::FAge},
                                                        {&TFileInfoDTO::FFileName}};
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
    }
    void SetText(int, std::string_view AValue) override { FName.assign(AValue); }
    void SetInteger(int, std::int32_t) override {}
    void SetDateTime(int, TDateTime AValue) override { FAge = AValue; }
    void Commit() override { FRecords.Add(FName, FAge); }
    void Discard() override {}
    void Reset() override { FRecords.clear(); }

private:
    TFilesInfoDTO& FRecords;
    std::string FName;
    TDateTime FAge = 0.0;
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
    return TFileInfoDTO(FNames.substr(start, static_cast<size_t>(slot.NameEnd) - start), slot.Age);
}

void TFilesInfoDTO::Add(std::string_view AFileName, TDateTime AAge) {
    FNames.append(AFileName);
    FSlots.push_back({AAge, FNames.size()});
}

void TFilesInfoDTO::clear() {
    FSlots.clear();
    FNames.clear();
}

void TFilesInfoDTO::shrink_to_fit() {
    FSlots.shrink_to_fit();
    FNames.shrink_to_fit();
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
