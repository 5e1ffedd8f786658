#include "shell/LauncherSettings.h"

#include "update/IniFile.h"
#include "update/ServerSettings.h"

namespace corvane {

LauncherSettings ReadLauncherSettings(const std::string& localPath) {
    // localPath ends in a delimiter, so the name is simply appended (a folder name may hold
    // characters the system's joining refuses).
    const IniFile ini(localPath + "Corvane.ini");
    const ServerSettings server = ReadServerSettings(ini, localPath);
    LauncherSettings settings;
    settings.localPath = localPath;
    settings.remotePath = server.remotePath;
    settings.url = server.url;
    settings.caFile = server.caFile;
    settings.accountingProgram =
        ini.ReadString("Servidor", "Exe Contabi", kDefaultAccountingProgram);
    return settings;
}

bool NothingConfigured(const LauncherSettings& settings) {
    if (!settings.remotePath.empty())
        return false;
    // A hand-edited setting may carry blanks or control characters at its ends.
    for (const char c : settings.url)
        if (static_cast<unsigned char>(c) > ' ')
            return false;
    return true;
}

} // namespace corvane
