#include "update/ServerSettings.h"

#include "platform/Paths.h"

#include <filesystem>

namespace corvane {

namespace {

// Blanks and control characters at both ends removed, as a hand-edited file name may carry.
std::string Trimmed(const std::string& AText) {
    size_t LFirst = 0;
    size_t LLast = AText.size();
    while (LFirst < LLast && static_cast<unsigned char>(AText[LFirst]) <= ' ')
        ++LFirst;
    while (LLast > LFirst && static_cast<unsigned char>(AText[LLast - 1]) <= ' ')
        --LLast;
    return AText.substr(LFirst, LLast - LFirst);
}

} // namespace

TServerSettings ReadServerSettings(const TIniFile& AIni, std::string_view AConfigurationFolder) {
    TServerSettings LSettings;
    LSettings.RemotePath = AIni.ReadString("Servidor", "Local Exe", "");
    if (!LSettings.RemotePath.empty())
        LSettings.RemotePath = IncludeTrailingBackslash(LSettings.RemotePath);
    LSettings.URL = AIni.ReadString("Servidor", "url", "");
    const std::string LCA = Trimmed(AIni.ReadString("Servidor", "ca", ""));
    // A rooted name stays as written; a relative one lies beside the configuration.
    if (!LCA.empty())
        LSettings.CAFile = (std::filesystem::path(AConfigurationFolder) / LCA).string();
    return LSettings;
}

} // namespace corvane
