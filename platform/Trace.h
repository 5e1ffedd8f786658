// The debugger trace line: the system's only trace output.
//
//     OutputDebugString("Pasta do servidor não lida: " + folder); // one whole line
#pragma once

#include <string_view>

namespace corvane {

// Writes one line to standard error, whole, even when several threads trace at once.
void OutputDebugString(std::string_view line);

} // namespace corvane
