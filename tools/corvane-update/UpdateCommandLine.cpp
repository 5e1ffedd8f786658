#include "tools/corvane-update/UpdateCommandLine.h"

#include "update/IniFile.h"
#include "update/ServerSettings.h"

#include <filesystem>
#include <stdexcept>

namespace corvane {

const char* const UpdateCommandUsage =
    "usage: corvane-update --local DIR (--server DIR | --url URL) [--module NAME] "
    "[--no-additional-files]\n"
    "                      [--progress] [--log FILE | --no-log]\n"
    "       corvane-update --ini FILE [--module NAME] [--no-additional-files]\n"
    "                      [--progress] [--log FILE | --no-log]\n";

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// Blanks and control characters at both ends removed, as the launcher trims the URL when it
// decides whether anything is configured.
std::string Trimmed(const std::string& AText) {
    size_t first = 0;
    size_t last = AText.size();
    while (first < last && IsBlank(AText[first]))
        ++first;
    while (last > first && IsBlank(AText[last - 1]))
        --last;
    return AText.substr(first, last - first);
}

} // namespace

TUpdateCommand ParseUpdateCommand(const std::vector<std::string>& AArguments) {
    TUpdateCommand LCommand;
    std::string LIni;
    bool LHasLocal = false, LHasServer = false, LHasURL = false, LHasIni = false,
         LHasModule = false, hasLog = false;
    for (size_t i = 0; i < AArguments.size(); ++i) {
        const std::string& LOption = AArguments[i];
        if (LOption == "--no-additional-files") {
            LCommand.AdditionalFiles = false;
            continue;
        }
        if (LOption == "--progress") {
            LCommand.progress = true;
            continue;
        }
        if (LOption == "--no-log") {
            LCommand.writeLog = false;
            continue;
        }
        struct TValued {
            const char* Name;
            std::string* Value;
            bool* Seen;
        };
        const TValued LValued[] = {{"--local", &LCommand.LocalPath, &LHasLocal},
                                   {"--server", &LCommand.RemotePath, &LHasServer},
                                   {"--url", &LCommand.URL, &LHasURL},
                                   {"--ini", &LIni, &LHasIni},
                                   {"--module", &LCommand.ModuleName, &LHasModule},
                                   {"--log", &LCommand.logPath, &hasLog}};
        bool LKnown = false;
        for (const TValued& LEntry : LValued) {
            if (LOption != LEntry.Name)
                continue;
            if (*LEntry.Seen)
                throw std::invalid_argument(LOption + " given twice");
            if (i + 1 >= AArguments.size())
                throw std::invalid_argument(LOption + " needs a value");
            *LEntry.Value = AArguments[++i];
            *LEntry.Seen = true;
            LKnown = true;
        }
        if (!LKnown)
            throw std::invalid_argument("unknown argument: " + LOption);
    }
    if (hasLog && !LCommand.writeLog)
        throw std::invalid_argument("give at most one of --log and --no-log");
    if (hasLog && LCommand.logPath.empty())
        throw std::invalid_argument("--log is empty");

    if (LHasIni) {
        if (LHasLocal || LHasServer || LHasURL)
            throw std::invalid_argument("--ini cannot be combined with --local, --server or --url");
        const std::filesystem::path LPath = std::filesystem::absolute(LIni);
        if (!std::filesystem::is_regular_file(LPath))
            throw std::invalid_argument("configuration file not found: " + LIni);
        LCommand.LocalPath = LPath.parent_path().string() + '/';
        const TServerSettings LServer =
            ReadServerSettings(TIniFile(LPath.string()), LPath.parent_path().string());
        LCommand.RemotePath = LServer.RemotePath;
        LCommand.URL = LServer.URL;
        LCommand.CAFile = LServer.CAFile;
        if (LCommand.RemotePath.empty() && Trimmed(LCommand.URL).empty())
            throw std::invalid_argument("no server folder (\"Local Exe\") or \"url\" in section "
                                        "[Servidor] of " +
                                        LIni);
        return LCommand;
    }

    if (!LHasLocal)
        throw std::invalid_argument("--local or --ini is required");
    if (LHasServer == LHasURL)
        throw std::invalid_argument("give exactly one of --server and --url");
    if (LHasURL && LCommand.URL.empty())
        throw std::invalid_argument("--url is empty"); // an empty URL would mean a folder
    return LCommand;
}

} // namespace corvane
