// The two records the file-list service exchanges with the launcher, and their reading from
// JSON. Nothing here writes JSON: the launcher only reads it.
//
// JSON form: a member binds to the field named "F" + the member name, compared without regard
// to the case of the ASCII letters ("fileName", "FILENAME" -> FFileName). Members are applied
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
class TFileInfoDTO {
public:
    TFileInfoDTO() = default;
    TFileInfoDTO(std::string AFileName, TDateTime AAge)
        : FAge(AAge), FFileName(std::move(AFileName)) {}

    const std::string& FileName() const { return FFileName; }
    void SetFileName(std::string AValue) { FFileName = std::move(AValue); }
    TDateTime Age() const { return FAge; }
    void SetAge(TDateTime AValue) { FAge = AValue; }

    TDateTime FAge = 0.0;
    std::string FFileName;
    std::optional<std::uint64_t> size;
    std::optional<Sha256Digest> sha256;
};

// The service's answer when a listing fails. FStatus 0 means no error.
class TFileInfoErrorDTO {
public:
    TFileInfoErrorDTO() = default;
    TFileInfoErrorDTO(std::int32_t AStatus, std::string AError, std::string ADetail)
        : FError(std::move(AError)), FStatus(AStatus), FDetail(std::move(ADetail)) {}

    const std::string& Error() const { return FError; }
    void SetError(std::string AValue) { FError = std::move(AValue); }
    std::int32_t Status() const { return FStatus; }
    void SetStatus(std::int32_t AValue) { FStatus = AValue; }
    const std::string& Detail() const { return FDetail; }
    void SetDetail(std::string AValue) { FDetail = std::move(AValue); }

    std::string FError;
    std::int32_t FStatus = 0;
    std::string FDetail;
};

// The most records a listing may hold: far more than any real server folder has, and few
// enough that a small hostile listing cannot fill the memory.
inline constexpr size_t MaxListingRecords = 1'000'000;

// The file-record array: the records of one listing, in order, read as TFileInfoDTO values
// (by index or in a range-for loop). A listing of empty objects spends 3 bytes of text on a
// record, and a TFileInfoDTO takes 40 bytes (its name's string alone 32), so a million of
// them would take 13 times the text. The records are therefore not kept as objects: every
// name lies in one buffer, and a record keeps its age and where its name ends (16 bytes).
// Sizes and hashes, which take at least 30 bytes of text each, are kept beside the records
// only once a record has one. Reading a record makes its value.
//
//   for (const TFileInfoDTO& file : files) Use(file.FFileName, file.FAge);
class TFilesInfoDTO {
public:
    class const_iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using iterator_concept = std::forward_iterator_tag;
        using value_type = TFileInfoDTO;
        using difference_type = std::ptrdiff_t;
        using reference = TFileInfoDTO;
        using pointer = void;

        const_iterator() = default;
        TFileInfoDTO operator*() const { return (*records_)[index_]; }
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
        friend class TFilesInfoDTO;
        const_iterator(const TFilesInfoDTO* records, size_t index)
            : records_(records), index_(index) {}

        const TFilesInfoDTO* records_ = nullptr;
        size_t index_ = 0;
    };

    size_t size() const { return FSlots.size(); }
    bool empty() const { return FSlots.empty(); }
    // The record at AIndex, below size().
    TFileInfoDTO operator[](size_t AIndex) const;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // Appends a record.
    void Add(std::string_view AFileName, TDateTime AAge);
    // Appends a record with what a download of its file must match.
    void Add(std::string_view fileName, TDateTime age, std::optional<std::uint64_t> size,
             const std::optional<Sha256Digest>& sha256);
    // Empties the array, keeping its room; shrink_to_fit returns the room.
    void clear();
    void shrink_to_fit();
    // Makes room at once for ARecords records whose names take ANameBytes in all, so that
    // filling the array never holds an old and a new copy of it at the same time.
    void reserve(size_t ARecords, size_t ANameBytes);

private:
    struct TSlot {
        TDateTime Age;
        std::uint64_t NameEnd; // the name begins where the previous record's ends
    };
    struct Check {
        std::uint64_t size = 0;
        Sha256Digest sha256{};
        bool hasSize = false;
        bool hasSha256 = false;
    };

    std::string FNames;
    std::vector<TSlot> FSlots;
    // One per record from the first record that has a size or a hash on; empty before.
    std::vector<Check> checks_;
};

struct TFilesInfoDTOHelper {
    // Fills AArray with one record per element of the JSON array AJson, in order, replacing
    // what it held.
    // Throws Exception("TFilesInfoDTOHelper.FromJSON") for text that is not valid JSON,
    // EInvalidCast("Invalid class typecast") for valid JSON that is not an array,
    // EListError("The listing names more than 1000000 files") for an array of more than
    // MaxListingRecords elements (the array is then empty), and the record reader's errors
    // (see JsonToObject) for the first element that cannot be read; the array then holds the
    // records read before that element.
    static void FromJSON(TFilesInfoDTO& AArray, std::string_view AJson);
};

// Builds one record of class T (TFileInfoDTO or TFileInfoErrorDTO) from the text of one JSON
// object. Throws EConvertError("The input value is not a valid Object") for text that is not
// valid JSON or not an object, EConvertError("JSON object expected for field <field> in JSON
// <value>") for a value of the wrong JSON type, and the ISO 8601 reader's errors for an age.
template <class T> std::unique_ptr<T> JsonToObject(std::string_view AJson);

template <> std::unique_ptr<TFileInfoDTO> JsonToObject<TFileInfoDTO>(std::string_view AJson);
template <>
std::unique_ptr<TFileInfoErrorDTO> JsonToObject<TFileInfoErrorDTO>(std::string_view AJson);

} // namespace corvane
