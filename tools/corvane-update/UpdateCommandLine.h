// The command line of corvane-update:
//   corvane-update --local DIR (--server DIR | --url URL) [--module NAME] [--no-additional-files]
//                  [--progress] [--log FILE | --no-log]
//   corvane-update --ini FILE [--module NAME] [--no-additional-files] [--progress]
//                  [--log FILE | --no-log]
#pragma once

#include <string>
#include <vector>

namespace corvane {

struct UpdateCommand {
    std::string localPath;
    std::string remotePath;
    std::string url;
    std::string moduleName;
    // The extra certificate authorities for HTTPS (key "ca" of section "Servidor"), made
    // absolute against the INI file's folder; empty for none.
    std::string caFile;
    bool additionalFiles = true;
    // Show how far the run has got on standard error.
    bool progress = false;
    // Where the run's log goes: empty for the default beside the executable.
    std::string logPath;
    bool writeLog = true;
};

// The usage text printed with a command-line error.
extern const char* const kUpdateCommandUsage;

// Reads the arguments (without the program name). With --ini the local folder is the INI
// file's folder and the server folder and URL are read from its section "Servidor" as the
// launcher reads them. Throws std::invalid_argument with a message for a command line that
// cannot run.
UpdateCommand ParseUpdateCommand(const std::vector<std::string>& arguments);

} // namespace corvane
