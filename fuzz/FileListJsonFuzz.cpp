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

    FileRecordList files;
    try {
        FileRecordListJson::FromJSON(files, json);
        // Every record reads back; together the names are no longer than the text they came
        // from.
        size_t nameBytes = 0;
        for (const FileRecord& file : files)
            nameBytes += file.fileName.size();
        if (nameBytes > json.size())
            std::abort();
    } catch (const InvalidCast&) {
        if (!files.empty())
            std::abort();
    } catch (const ListError&) {
        if (!files.empty())
            std::abort();
    } catch (const ConvertError&) {
    } catch (const DateTimeException&) {
    } catch (const Exception& e) {
        if (!files.empty() || std::string_view(e.what()) != "TFilesInfoDTOHelper.FromJSON")
            std::abort();
    }
    files.clear();
    if (!files.empty() || files.begin() != files.end())
        std::abort();

    try {
        if (!JsonToObject<FileRecord>(json))
            std::abort();
    } catch (const ConvertError&) {
    } catch (const DateTimeException&) {
    }
    try {
        if (!JsonToObject<FileRecordError>(json))
            std::abort();
    } catch (const ConvertError&) {
    }
    return 0;
}
