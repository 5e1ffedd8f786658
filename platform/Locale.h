// Locale-aware text operations.
//
//     if (UpperCase(localName) == UpperCase(serverName)) ... // names match without case
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Upper-cases UTF-8 text with the process's default locale, character by character as the
// system's file names are matched: each code point takes its simple upper-case mapping, so
// the text keeps its characters ("ß" stays, "ﬁ" stays, Greek keeps its accents), and in a
// Turkish or Azerbaijani locale "i" becomes "İ" (linguistic casing). Bytes that are not
// valid UTF-8 pass unchanged, as a file name on disk may hold them.
std::string UpperCase(std::string_view text);

} // namespace corvane
