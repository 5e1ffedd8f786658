// The two records the file-list service exchanges with the launcher, and their reading from
// JSON. Nothing here writes JSON: the launcher only reads it.
//
// JSON form: a member binds to the field named "F" + the member name, compared without regard
// to the case of the ASCII letters ("fileName", "FILENAME" -> FFileName). Members are applied
// in document order, a repeated member once per occurrence; unknown members are skipped.
#pragma once

#include "Corvane.Platform.DateTime.h"

#include <cstdint>
#include <memory>
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

// The file-record array. It owns its records; a slot may be empty (no record).
using TFilesInfoDTO = std::vector<std::unique_ptr<TFileInfoDTO>>;

struct TFilesInfoDTOHelper {
    // Fills AArray with one new record per element of the JSON array AJson, in order. Records
    // the array held before are freed first.
    // Throws Exception("TFilesInfoDTOHelper.FromJSON") for text that is not valid JSON,
    // EInvalidCast("Invalid class typecast") for valid JSON that is not an array, and the
    // record reader's errors (see JsonToObject) for the first element that cannot be read; the
    // array then keeps its length, the records read before that element, and empty slots.
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
