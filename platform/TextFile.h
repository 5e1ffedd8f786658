// Turning the bytes of a text file into UTF-8, whatever editor wrote it.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The text of a file as UTF-8. A UTF-8 byte-order mark is dropped; a UTF-16 one (little or
// big endian, as Windows editors save "Unicode") decides that encoding; text without a mark
// that is not valid UTF-8 is read as Windows-1252, the code page of the Portuguese Windows
// workstations whose files get copied here. Never fails: what cannot be decoded becomes
// U+FFFD.
std::string TextFileToUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

} // namespace corvane
