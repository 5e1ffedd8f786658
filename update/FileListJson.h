// The two records the file-list service exchanges with the launcher, and their reading from
// JSON. Nothing here writes JSON: the launcher only reads it.
//
// JSON form: a member binds to the field named "F" + the member name, compared without regard
// to the case of the ASCII letters ("fileName", "FILENAME" -> FFileName). Members are applied
// in document order, a repeated member once per occurrence; unknown members are skipped.
#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// One file of a listing: its name relative to a root folder (UTF-8, folders separated by
// backslashes, e.g. "Relatorio\Layout01.rav") and its age (last-write time).
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

// The file-record array. It owns its records; a slot may be empty (no record). A listing of
// empty objects spends 3 bytes of text on a record, so records are not objects of their own
// here: every name lies in one buffer, and a slot holds its age and where its name ends (16
// bytes). Reading a slot gives a copy of its record.
class TFilesInfoDTO {
public:
    size_t size() const { return FSlots.size(); }
    bool empty() const { return FSlots.empty(); }
    // A copy of the record at AIndex (below size()), or nothing for an empty slot.
    std::optional<TFileInfoDTO> operator[](size_t AIndex) const;

    // Appends a record.
    void Add(std::string_view AFileName, TDateTime AAge);
    // New slots are empty.
    void resize(size_t ASize);
    // Empties the array, keeping its room; shrink_to_fit returns the room.
    void clear();
    void shrink_to_fit();
    // Makes room at once for ASlots records whose names take ANameBytes in all, so that
    // filling the array never holds an old and a new copy of it at the same time.
    void reserve(size_t ASlots, size_t ANameBytes);

private:
    static constexpr std::uint64_t EmptySlot = std::uint64_t{1} << 63;
    struct TSlot {
        TDateTime Age;
        std::uint64_t NameEnd; // the name begins where the previous slot's ends; EmptySlot set
                               // for an empty slot
    };
    size_t NameStart(size_t AIndex) const;

    std::string FNames;
    std::vector<TSlot> FSlots;
};

struct TFilesInfoDTOHelper {
    // Fills AArray with one new record per element of the JSON array AJson, in order. Records
    // the array held before are freed first.
    // Throws Exception("TFilesInfoDTOHelper.FromJSON") for text that is not valid JSON,
    // EInvalidCast("Invalid class typecast") for valid JSON that is not an array,
    // EListError("The listing names more than 1000000 files") for an array of more than
    // MaxListingRecords elements (the array is then empty), and the record reader's errors
    // (see JsonToObject) for the first element that cannot be read; the array then keeps its
    // length, the records read before that element, and empty slots.
    static void FromJSON(TFilesInfoDTO& AArray, std::string_view AJson);

    // Frees every record, index 0 upward (empty slots skipped), and empties the array.
    static void FreeAll(TFilesInfoDTO& AArray);
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
