// The grammar of JSON number literals, for reading numbers that the parser refuses only for
// their size (beyond the range of a double) although they are valid JSON.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Length of the JSON number literal starting at pos of text
// (-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?), or 0 when none starts there.
size_t JsonNumberLength(std::string_view text, size_t pos);

// A copy of the JSON text text with every number literal outside strings replaced by "0"
// and blanks up to the literal's length, so offsets stay the same and nothing else changes
// meaning. Character runs that look like numbers but are not valid ones are left as they are.
std::string ShortenJsonNumbers(std::string_view text);

} // namespace corvane
