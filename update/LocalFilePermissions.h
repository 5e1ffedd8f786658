// What a file fetched into the installation may be used for, by its name alone. The server
// decides nothing here: a share may present a module without the right to run it, and the
// file service sends bytes alone. Every source, and the launcher's copy of itself, follows it.
//
//     CopyFileReplacing(source, target, age, LocalFilePermissions("Estoque.exe")); // Program
#pragma once

#include "platform/FileSystem.h"

#include <string_view>

namespace corvane {

// Program for a name ending in ".EXE" in any case (the modules, the launcher, the remote
// support tools), so it can be started; Data for every other file.
FilePermissions LocalFilePermissions(std::string_view fileName);

} // namespace corvane
