// Where a workstation updates from: section "Servidor" of its Corvane.ini, read one way by the
// launcher and by corvane-update alike.
//
//   const IniFile ini(folder + "Corvane.ini");
//   const ServerSettings server = ReadServerSettings(ini, folder);
//   SetExtraCAFile(server.caFile);
#pragma once

#include "update/IniFile.h"

#include <string>
#include <string_view>

namespace corvane {

struct ServerSettings {
    // "Local Exe" with a final backslash; empty when the key is missing or empty, since a
    // lone backslash would name the root of the file system.
    std::string remotePath;
    // "url" exactly as written; empty when no file service is used.
    std::string url;
    // "ca": a PEM file of certificate authorities that HTTPS services may chain to besides the
    // system's, made absolute against the configuration's folder; empty for none.
    std::string caFile;
};

// Reads the settings from ini, the configuration file that lies in configurationFolder.
ServerSettings ReadServerSettings(const IniFile& ini, std::string_view configurationFolder);

} // namespace corvane
