#include "update/LocalFilePermissions.h"

#include "platform/Locale.h"

#include <string>

namespace corvane {

FilePermissions LocalFilePermissions(std::string_view fileName) {
    constexpr std::string_view kProgramExtension = ".EXE";
    if (fileName.size() >= kProgramExtension.size() &&
        UpperCase(std::string(fileName.substr(fileName.size() - kProgramExtension.size()))) ==
            kProgramExtension)
        return FilePermissions::Program;
    return FilePermissions::Data;
}

} // namespace corvane
