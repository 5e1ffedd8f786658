// The debugger trace line: the system's only trace output.
//
//     WriteTraceLine("Pasta do servidor não lida: " + folder); // one whole line
#pragma once

#include <string_view>

namespace corvane {

// Writes one line to standard error, whole, even when several threads trace at once.
void WriteTraceLine(std::string_view line);

// Writes text to standard error as it stands, in one piece (no line end is added): a
// progress display that redraws its line.
void WriteStandardError(std::string_view text);

// True when standard error is a terminal, where a display may redraw its line.
bool StandardErrorIsTerminal();

} // namespace corvane
