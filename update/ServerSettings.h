// Where a workstation updates from: section "Servidor" of its Corvane.ini, read one way by the
// launcher and by corvane-update alike.
//
//   const TIniFile LIni(LFolder + "Corvane.ini");
//   const TServerSettings LServer = ReadServerSettings(LIni, LFolder);
//   SetExtraCAFile(LServer.CAFile);
#pragma once

#include "update/IniFile.h"

#include <string>
#include <string_view>

namespace corvane {

struct TServerSettings {
    // "Local Exe" with a final backslash; empty when the key is missing or empty, since a
    // lone backslash would name the root of the file system.
    std::string RemotePath;
    // "url" exactly as written; empty when no file service is used.
    std::string URL;
    // "ca": a PEM file of certificate authorities that HTTPS services may chain to besides the
    // system's, made absolute against the configuration's folder; empty for none.
    std::string CAFile;
};

// Reads the settings from AIni, the configuration file that lies in AConfigurationFolder.
TServerSettings ReadServerSettings(const TIniFile& AIni, std::string_view AConfigurationFolder);

} // namespace corvane
