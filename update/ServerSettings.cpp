#include "update/ServerSettings.h"

#include "platform/Paths.h"
#include "platform/Utf8Path.h"
#include "update/TextTrim.h"

#include <filesystem>

namespace corvane {

namespace {} // namespace

ServerSettings ReadServerSettings(const IniFile& ini, std::string_view configurationFolder) {
    ServerSettings settings;
    settings.remotePath = ini.ReadString("Servidor", "Local Exe", "");
    if (!settings.remotePath.empty())
        settings.remotePath = IncludeTrailingBackslash(settings.remotePath);
    settings.url = ini.ReadString("Servidor", "url", "");
    // Blanks and control characters at both ends go, as a hand-edited file name may carry them.
    const std::string ca(Trim(ini.ReadString("Servidor", "ca", ""), IsBlankOrControl));
    // A rooted name stays as written; a relative one lies beside the configuration.
    if (!ca.empty())
        settings.caFile = Utf8FromPath(PathFromUtf8(configurationFolder) / PathFromUtf8(ca));
    return settings;
}

} // namespace corvane
