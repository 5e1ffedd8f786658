#include "tools/corvane-update/UpdateCommandLine.h"

#include "platform/Utf8Path.h"
#include "update/IniFile.h"
#include "update/ServerSettings.h"
#include "update/TextTrim.h"

#include <filesystem>
#include <stdexcept>

namespace corvane {

const char* const kUpdateCommandUsage =
    "usage: corvane-update --local DIR (--server DIR | --url URL) [--module NAME] "
    "[--no-additional-files]\n"
    "                      [--progress] [--log FILE | --no-log]\n"
    "       corvane-update --ini FILE [--module NAME] [--no-additional-files]\n"
    "                      [--progress] [--log FILE | --no-log]\n";

UpdateCommand ParseUpdateCommand(const std::vector<std::string>& arguments) {
    UpdateCommand command;
    std::string ini;
    bool hasLocal = false, hasServer = false, hasUrl = false, hasIni = false, hasModule = false,
         hasLog = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--no-additional-files") {
            command.additionalFiles = false;
            continue;
        }
        if (option == "--progress") {
            command.progress = true;
            continue;
        }
        if (option == "--no-log") {
            command.writeLog = false;
            continue;
        }
        struct Valued {
            const char* name;
            std::string* value;
            bool* seen;
        };
        const Valued valued[] = {{"--local", &command.localPath, &hasLocal},
                                 {"--server", &command.remotePath, &hasServer},
                                 {"--url", &command.url, &hasUrl},
                                 {"--ini", &ini, &hasIni},
                                 {"--module", &command.moduleName, &hasModule},
                                 {"--log", &command.logPath, &hasLog}};
        bool known = false;
        for (const Valued& entry : valued) {
            if (option != entry.name)
                continue;
            if (*entry.seen)
                throw std::invalid_argument(option + " given twice");
            if (i + 1 >= arguments.size())
                throw std::invalid_argument(option + " needs a value");
            *entry.value = arguments[++i];
            *entry.seen = true;
            known = true;
        }
        if (!known)
            throw std::invalid_argument("unknown argument: " + option);
    }
    if (hasLog && !command.writeLog)
        throw std::invalid_argument("give at most one of --log and --no-log");
    if (hasLog && command.logPath.empty())
        throw std::invalid_argument("--log is empty");

    if (hasIni) {
        if (hasLocal || hasServer || hasUrl)
            throw std::invalid_argument("--ini cannot be combined with --local, --server or --url");
        const std::filesystem::path path = std::filesystem::absolute(PathFromUtf8(ini));
        if (!std::filesystem::is_regular_file(path))
            throw std::invalid_argument("configuration file not found: " + ini);
        // The folder with its native separator at the end, as local folders are given.
        command.localPath = Utf8FromPath(path.parent_path() / "");
        const ServerSettings server =
            ReadServerSettings(IniFile(Utf8FromPath(path)), Utf8FromPath(path.parent_path()));
        command.remotePath = server.remotePath;
        command.url = server.url;
        command.caFile = server.caFile;
        // Blanks and control characters do not count, as for the launcher's own URL.
        if (command.remotePath.empty() && Trim(command.url, IsBlankOrControl).empty())
            throw std::invalid_argument("no server folder (\"Local Exe\") or \"url\" in section "
                                        "[Servidor] of " +
                                        ini);
        return command;
    }

    if (!hasLocal)
        throw std::invalid_argument("--local or --ini is required");
    if (hasServer == hasUrl)
        throw std::invalid_argument("give exactly one of --server and --url");
    if (hasUrl && command.url.empty())
        throw std::invalid_argument("--url is empty"); // an empty URL would mean a folder
    return command;
}

} // namespace corvane
