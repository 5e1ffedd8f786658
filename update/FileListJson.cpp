#include "update/FileListJson.h"

#include "update/Errors.h"
#include "update/JsonRecordReader.h"

#include <algorithm>

namespace corvane {

namespace {

// Where each field of record class T lives (one of the members is set).
template <class T> struct Member {
    std::string T::*text = nullptr;
    std::int32_t T::*integer = nullptr;
    DateTime T::*dateTime = nullptr;
    std::optional<std::uint64_t> T::*byteCount = nullptr;
    std::optional<Sha256Digest> T::*sha256 = nullptr;
};

// The fields of each record class, and beside them where they live.
template <class T> struct FieldsOf;

template <> struct FieldsOf<FileRecord> {
    static constexpr JsonField kFields[] = {{"FAge", JsonFieldKind::DateTime},
                                            {"FFileName", JsonFieldKind::Text},
                                            {"FSize", JsonFieldKind::ByteCount},
                                            {"FSha256", JsonFieldKind::Sha256}};
    static constexpr Member<FileRecord> kMembers[] = {
        {nullptr, nullptr, &FileRecord::age},
        {&FileRecord::fileName},
        {nullptr, nullptr, nullptr, &FileRecord::size},
        {nullptr, nullptr, nullptr, nullptr, &FileRecord::sha256}};
};

template <> struct FieldsOf<FileRecordError> {
    static constexpr JsonField kFields[] = {{"FError", JsonFieldKind::Text},
                                            {"FStatus", JsonFieldKind::Integer},
                                            {"FDetail", JsonFieldKind::Text}};
    static constexpr Member<FileRecordError> kMembers[] = {
        {&FileRecordError::error}, {nullptr, &FileRecordError::status}, {&FileRecordError::detail}};
};

template <class T> constexpr bool HasPlainFieldNames() {
    for (const JsonField& field : FieldsOf<T>::kFields)
        if (!IsJsonFieldName(field.name))
            return false;
    return true;
}
static_assert(HasPlainFieldNames<FileRecord>() && HasPlainFieldNames<FileRecordError>());

// Builds records of class T into an array that owns them.
template <class T> class Builder final : public JsonRecordBuilder {
public:
    explicit Builder(std::vector<std::unique_ptr<T>>& records) : records_(records) {}

    std::span<const JsonField> Fields() const override { return FieldsOf<T>::kFields; }
    void Begin() override { record_ = std::make_unique<T>(); }
    void SetText(int field, std::string_view value) override {
        ((*record_).*members[field].text).assign(value);
    }
    void SetInteger(int field, std::int32_t value) override {
        (*record_).*members[field].integer = value;
    }
    void SetDateTime(int field, DateTime value) override {
        (*record_).*members[field].dateTime = value;
    }
    void SetByteCount(int field, std::uint64_t value) override {
        (*record_).*members[field].byteCount = value;
    }
    void SetSha256(int field, const Sha256Digest& value) override {
        (*record_).*members[field].sha256 = value;
    }
    void Commit() override { records_.push_back(std::move(record_)); }
    void Discard() override { record_.reset(); }
    void Reset() override {
        record_.reset();
        records_.clear();
    }

private:
    static constexpr const auto& members = FieldsOf<T>::kMembers;
    std::vector<std::unique_ptr<T>>& records_;
    std::unique_ptr<T> record_;
};

// Builds the records of a listing into a compact array. The record being read keeps its name
// in a buffer of its own: a member may come twice, and a record may fail halfway.
class ListingBuilder final : public JsonRecordBuilder {
public:
    explicit ListingBuilder(FileRecordList& records) : records_(records) {}

    std::span<const JsonField> Fields() const override { return FieldsOf<FileRecord>::kFields; }
    void Begin() override {
        name_.clear();
        age_ = 0.0;
        size_.reset();
        sha256_.reset();
    }
    void SetText(int, std::string_view value) override { name_.assign(value); }
    void SetInteger(int, std::int32_t) override {}
    void SetDateTime(int, DateTime value) override { age_ = value; }
    void SetByteCount(int, std::uint64_t value) override { size_ = value; }
    void SetSha256(int, const Sha256Digest& value) override { sha256_ = value; }
    void Commit() override {
        if (size_ || sha256_)
            records_.Add(name_, age_, size_, sha256_);
        else
            records_.Add(name_, age_);
    }
    void Discard() override {}
    void Reset() override { records_.clear(); }

private:
    FileRecordList& records_;
    std::string name_;
    DateTime age_ = 0.0;
    std::optional<std::uint64_t> size_;
    std::optional<Sha256Digest> sha256_;
};

template <class T> std::unique_ptr<T> ReadObject(std::string_view json) {
    std::vector<std::unique_ptr<T>> records;
    Builder<T> builder(records);
    const JsonReadResult result = ReadJsonRecords(json, false, builder);
    if (!result.valid || result.root != JsonRoot::Object)
        throw ConvertError("The input value is not a valid Object");
    if (result.error)
        std::rethrow_exception(result.error);
    return std::move(records.front());
}

} // namespace

FileRecord FileRecordList::operator[](size_t index) const {
    const size_t start = index == 0 ? 0 : static_cast<size_t>(slots_[index - 1].nameEnd);
    const Slot& slot = slots_[index];
    FileRecord record(names_.substr(start, static_cast<size_t>(slot.nameEnd) - start), slot.age);
    if (index < checks_.size()) {
        const Check& check = checks_[index];
        if (check.hasSize)
            record.size = check.size;
        if (check.hasSha256)
            record.sha256 = check.sha256;
    }
    return record;
}

void FileRecordList::Add(std::string_view fileName, DateTime age) {
    if (!checks_.empty())
        checks_.emplace_back();
    names_.append(fileName);
    slots_.push_back({age, names_.size()});
}

void FileRecordList::Add(std::string_view fileName, DateTime age, std::optional<std::uint64_t> size,
                         const std::optional<Sha256Digest>& sha256) {
    if (!size && !sha256)
        return Add(fileName, age);
    checks_.resize(slots_.size()); // records before the first with a check have none
    Check& check = checks_.emplace_back();
    check.hasSize = size.has_value();
    check.size = size.value_or(0);
    check.hasSha256 = sha256.has_value();
    if (sha256)
        check.sha256 = *sha256;
    names_.append(fileName);
    slots_.push_back({age, names_.size()});
}

void FileRecordList::clear() {
    slots_.clear();
    names_.clear();
    checks_.clear();
}

void FileRecordList::shrink_to_fit() {
    slots_.shrink_to_fit();
    names_.shrink_to_fit();
    checks_.shrink_to_fit();
}

void FileRecordList::reserve(size_t records, size_t nameBytes) {
    slots_.reserve(records);
    names_.reserve(nameBytes);
}

namespace {

// Empties the array and returns its room.
void Release(FileRecordList& array) {
    array.clear();
    array.shrink_to_fit();
}

} // namespace

void FileRecordListJson::FromJSON(FileRecordList& array, std::string_view json) {
    Release(array);
    // No more records than the text can hold (each takes at least "{}" and a comma), and no
    // more name bytes than the text has. Pages of this room that are never written are never
    // taken from the system.
    array.reserve(std::min(kMaxListingRecords, json.size() / 3 + 1), json.size());
    ListingBuilder builder(array);
    const JsonReadResult result = ReadJsonRecords(json, true, builder, kMaxListingRecords);
    if (result.tooManyElements) {
        Release(array);
        throw ListError("The listing names more than " + std::to_string(kMaxListingRecords) +
                        " files");
    }
    if (!result.valid) {
        Release(array);
        throw Exception("TFilesInfoDTOHelper.FromJSON");
    }
    if (result.root != JsonRoot::Array) {
        Release(array);
        throw InvalidCast("Invalid class typecast");
    }
    // After a failed element no record was kept: the array holds those read before it.
    if (result.error)
        std::rethrow_exception(result.error);
}

template <> std::unique_ptr<FileRecord> JsonToObject<FileRecord>(std::string_view json) {
    return ReadObject<FileRecord>(json);
}

template <> std::unique_ptr<FileRecordError> JsonToObject<FileRecordError>(std::string_view json) {
    return ReadObject<FileRecordError>(json);
}

} // namespace corvane
