// The shared files brought up to date with a module whose additional-files flag is set: database
// client and driver libraries, runtime and cryptography libraries, printer and USB drivers,
// signing components, configuration files and report layouts. The table is kept as it has
// always been, repeated names included (rows 1 and 13, rows 7 and 14); the updater's local
// list holds each name once.
#pragma once

#include <array>
#include <string_view>

namespace corvane {

inline constexpr std::array<std::string_view, 48> kAdditionalFiles = {
    "central.ini",
    "qtintf70.dll",
    "gds32.dll",
    "SiUSBXp.dll",
    "mp2032.dll",
    "dbexpint.dll",
    "BEMADP32.dll",
    "dbxfb.dll",
    "fbclient.dll",
    "libeay32.dll",
    "ssleay32.dll",
    "BRySignerCAdESCOM.dll",
    "BRySignerCOM.dll",
    "qtintf70.dll",
    "dbxfb.dll",
    "msvcp100.dll",
    "msvcr100.dll",
    "zlib1.dll",
    "firebird.conf",
    "Relatorio\\Layout01.rav",
    "Relatorio\\Layout02.rav",
    "Relatorio\\Layout03.rav",
    "Relatorio\\Layout04.rav",
    "Relatorio\\Layout05.rav",
    "Relatorio\\Layout06.rav",
    "Relatorio\\Layout07.rav",
    "Relatorio\\Layout08.rav",
    "Relatorio\\Layout09.rav",
    "Relatorio\\Layout10.rav",
    "Relatorio\\Layout11.rav",
    "Relatorio\\Layout12.rav",
    "Relatorio\\Layout13.rav",
    "Relatorio\\Layout14.rav",
    "Relatorio\\Layout15.rav",
    "Relatorio\\Layout16.rav",
    "Relatorio\\Layout17.rav",
    "Relatorio\\Layout18.rav",
    "Relatorio\\Layout19.rav",
    "Relatorio\\Layout20.rav",
    "Relatorio\\Layout21.rav",
    "Relatorio\\Layout22.rav",
    "Relatorio\\Layout23.rav",
    "Relatorio\\Layout24.rav",
    "Relatorio\\Layout25.rav",
    "Relatorio\\Layout26.rav",
    "Relatorio\\Layout27.rav",
    "Relatorio\\Layout28.rav",
    "Relatorio\\Layout29.rav",
};

} // namespace corvane
