#include "update/ServerSettings.h"

#include "platform/Paths.h"
#include "platform/Utf8Path.h"

#include <filesystem>

namespace corvane {

namespace {

// Blanks and control characters at both ends removed, as a hand-edited file name may carry.
std::string Trimmed(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

} // namespace

ServerSettings ReadServerSettings(const IniFile& ini, std::string_view configurationFolder) {
    ServerSettings settings;
    settings.remotePath = ini.ReadString("Servidor", "Local Exe", "");
    if (!settings.remotePath.empty())
        settings.remotePath = IncludeTrailingBackslash(settings.remotePath);
    settings.url = ini.ReadString("Servidor", "url", "");
    const std::string ca = Trimmed(ini.ReadString("Servidor", "ca", ""));
    // A rooted name stays as written; a relative one lies beside the configuration.
    if (!ca.empty())
        settings.caFile = Utf8FromPath(PathFromUtf8(configurationFolder) / PathFromUtf8(ca));
    return settings;
}

} // namespace corvane
