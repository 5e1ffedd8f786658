// Feeds arbitrary bytes to the listing reader and to the record reader of both classes: each
// either gives records or raises one of the system's errors, and never leaves the array in a
// state that contradicts the error.
#include "update/Errors.h"
#include "update/FileListJson.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);

    TFilesInfoDTO files;
    try {
        TFilesInfoDTOHelper::FromJSON(files, json);
        for (size_t i = 0; i < files.size(); ++i)
            if (!files[i])
                std::abort(); // a read listing has no empty slot
    } catch (const EInvalidCast&) {
        if (!files.empty())
            std::abort();
    } catch (const EListError&) {
        if (!files.empty())
            std::abort();
    } catch (const EConvertError&) {
    } catch (const EDateTimeException&) {
    } catch (const Exception& e) {
        if (!files.empty() || std::string_view(e.what()) != "TFilesInfoDTOHelper.FromJSON")
            std::abort();
    }
    TFilesInfoDTOHelper::FreeAll(files);
    if (!files.empty())
        std::abort();

    try {
        if (!JsonToObject<TFileInfoDTO>(json))
            std::abort();
    } catch (const EConvertError&) {
    } catch (const EDateTimeException&) {
    }
    try {
        if (!JsonToObject<TFileInfoErrorDTO>(json))
            std::abort();
    } catch (const EConvertError&) {
    }
    return 0;
}
