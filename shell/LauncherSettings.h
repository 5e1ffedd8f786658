// The launcher's configuration: Corvane.ini beside its executable, read once at start.
//
//   const LauncherSettings settings = ReadLauncherSettings(ExtractFilePath(ExecutablePath()));
//   FilesUpdater::New(settings.localPath, settings.remotePath, settings.url, done);
#pragma once

#include <string>

namespace corvane {

struct LauncherSettings {
    // The launcher's own folder, ending in a path delimiter; every module and shared file
    // lives under it.
    std::string localPath;
    // The server folder, "Local Exe" with a final backslash; empty when not configured.
    std::string remotePath;
    // The file service's base URL ("url") exactly as read; empty when no service is used.
    std::string url;
    // The accounting program ("Exe Contabi"): read and kept, used by nothing yet.
    std::string accountingProgram;
    // A PEM file of certificate authorities that HTTPS services may chain to ("ca"), absolute;
    // empty for none.
    std::string caFile;
};

// The default of "Exe Contabi".
inline constexpr char kDefaultAccountingProgram[] = "C:\\qlor\\Cont\\contabil.exe";

// Reads "Corvane.ini" in localPath (which ends in a delimiter). A missing file, section or key
// gives the defaults; nothing is reported.
LauncherSettings ReadLauncherSettings(const std::string& localPath);

// True when there is nowhere to update from: no server folder and no service URL (blanks and
// control characters around the URL do not count as one).
bool NothingConfigured(const LauncherSettings& settings);

} // namespace corvane
