// UTF-8 text as the system's names are measured and ordered: in UTF-16 code units, the unit of
// the other desktop's path limits and of its sorted name lists. The one UTF-8 validator of the
// code base lives here.
//
//     if (!IsValidUtf8(name)) return;             // not JSON text
//     if (Utf16Length("Instalação") == 10) ...     // "ç" and "ã" count one unit each
//     std::sort(names.begin(), names.end(), OrdinalLess);
#pragma once

#include <cstddef>
#include <string_view>

namespace corvane {

// True when the bytes are well-formed UTF-8: no stray continuation bytes, no overlong forms,
// no surrogates, nothing above U+10FFFF, no sequence cut short.
bool IsValidUtf8(std::string_view bytes);

// The length of a UTF-8 text in UTF-16 code units; an ill-formed byte counts as one unit.
std::size_t Utf16Length(std::string_view text);

// Ordinal order of two UTF-8 texts by their UTF-16 code units, letter case significant (the
// order of the system's sorted name lists). Ill-formed UTF-8 compares by its bytes.
bool OrdinalLess(std::string_view a, std::string_view b);

// The value of one hexadecimal digit in either case, or -1 for any other character.
int HexValue(char c);

} // namespace corvane
