// The two records the file-list service exchanges with the launcher, and their reading from
// JSON. Nothing here writes JSON: the launcher only reads it.
//
// JSON form: a member binds to the field named "F" + the member name, compared without regard
// to the case of the ASCII letters ("fileName", "FILENAME" -> fileName). Members are applied
// in document order, a repeated member once per occurrence; unknown members are skipped.
#pragma once

#include "platform/DateTime.h"
#include "platform/Sha256.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// One file of a listing: its name relative to a root folder (UTF-8, folders separated by
// backslashes, e.g. "Relatorio\Layout01.rav") and its age (last-write time); from a file
// service that gives them, also the content's size and SHA-256 (members "size" and
// "sha256"), which a download of the file must match.
class FileRecord {
public:
    FileRecord() = default;
    FileRecord(std::string newFileName, DateTime newAge)
        : age(newAge), fileName(std::move(newFileName)) {}

    DateTime age = 0.0;
    std::string fileName;
    std::optional<std::uint64_t> size;
    std::optional<Sha256Digest> sha256;
};

// The service's answer when a listing fails. status 0 means no error.
class FileRecordError {
public:
    FileRecordError() = default;
    FileRecordError(std::int32_t newStatus, std::string newError, std::string newDetail)
        : error(std::move(newError)), status(newStatus), detail(std::move(newDetail)) {}

    std::string error;
    std::int32_t status = 0;
    std::string detail;
};

// The most records a listing may hold: far more than any real server folder has, and few
// enough that a small hostile listing cannot fill the memory.
inline constexpr size_t kMaxListingRecords = 1'000'000;

// The file-record array: the records of one listing, in order, read as FileRecord values
// (by index or in a range-for loop). A listing of empty objects spends 3 bytes of text on a
// record, and a FileRecord takes 40 bytes (its name's string alone 32), so a million of
// them would take 13 times the text. The records are therefore not kept as objects: every
// name lies in one buffer, and a record keeps its age and where its name ends (16 bytes).
// Sizes and hashes, which take at least 30 bytes of text each, are kept beside the records
// only once a record has one. Reading a record makes its value.
//
//   for (const FileRecord& file : files) Use(file.fileName, file.age);
class FileRecordList {
public:
    class const_iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using iterator_concept = std::forward_iterator_tag;
        using value_type = FileRecord;
        using difference_type = std::ptrdiff_t;
        using reference = FileRecord;
        using pointer = void;

        const_iterator() = default;
        FileRecord operator*() const { return (*records_)[index_]; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const const_iterator& other) const = default;

    private:
        friend class FileRecordList;
        const_iterator(const FileRecordList* records, size_t index)
            : records_(records), index_(index) {}

        const FileRecordList* records_ = nullptr;
        size_t index_ = 0;
    };

    size_t size() const { return slots_.size(); }
    bool empty() const { return slots_.empty(); }
    // The record at index, below size().
    FileRecord operator[](size_t index) const;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // Appends a record.
    void Add(std::string_view fileName, DateTime age);
    // Appends a record with what a download of its file must match.
    void Add(std::string_view fileName, DateTime age, std::optional<std::uint64_t> size,
             const std::optional<Sha256Digest>& sha256);
    // Empties the array, keeping its room; shrink_to_fit returns the room.
    void clear();
    void shrink_to_fit();
    // Makes room at once for records records whose names take nameBytes in all, so that
    // filling the array never holds an old and a new copy of it at the same time.
    void reserve(size_t records, size_t nameBytes);

private:
    struct Slot {
        DateTime age;
        std::uint64_t nameEnd; // the name begins where the previous record's ends
    };
    struct Check {
        std::uint64_t size = 0;
        Sha256Digest sha256{};
        bool hasSize = false;
        bool hasSha256 = false;
    };

    std::string names_;
    std::vector<Slot> slots_;
    // One per record from the first record that has a size or a hash on; empty before.
    std::vector<Check> checks_;
};

struct FileRecordListJson {
    // Fills array with one record per element of the JSON array json, in order, replacing
    // what it held.
    // Throws Exception("FileRecordListJson.FromJSON") for text that is not valid JSON,
    // InvalidCast("Invalid class typecast") for valid JSON that is not an array,
    // ListError("The listing names more than 1000000 files") for an array of more than
    // kMaxListingRecords elements (the array is then empty), and the record reader's errors
    // (see JsonToObject) for the first element that cannot be read; the array then holds the
    // records read before that element.
    static void FromJSON(FileRecordList& array, std::string_view json);
};

// Builds one record of class T (FileRecord or FileRecordError) from the text of one JSON
// object. Throws ConvertError("The input value is not a valid Object") for text that is not
// valid JSON or not an object, ConvertError("JSON object expected for field <field> in JSON
// <value>") for a value of the wrong JSON type, and the ISO 8601 reader's errors for an age.
template <class T> std::unique_ptr<T> JsonToObject(std::string_view json);

template <> std::unique_ptr<FileRecord> JsonToObject<FileRecord>(std::string_view json);
template <> std::unique_ptr<FileRecordError> JsonToObject<FileRecordError>(std::string_view json);

} // namespace corvane
