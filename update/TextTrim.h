// Text without the characters of a set at its ends. The readers trim different sets on
// purpose: a URL or a file name from the settings loses blanks and control characters, an HTTP
// header value spaces and tabs only, an INI line its reader's own blanks; each names its set.
//
//     std::string_view value = Trim(line.substr(colon + 1), IsSpaceOrTab);
#pragma once

#include <string_view>

namespace corvane {

// Whether a character belongs to the set being trimmed.
using CharTest = bool (*)(char);

// A space or any control character (every byte up to 0x20; UTF-8 bytes stay).
inline bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// A space or a horizontal tab.
inline bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

inline std::string_view TrimStart(std::string_view text, CharTest isTrimmed) {
    while (!text.empty() && isTrimmed(text.front()))
        text.remove_prefix(1);
    return text;
}

inline std::string_view TrimEnd(std::string_view text, CharTest isTrimmed) {
    while (!text.empty() && isTrimmed(text.back()))
        text.remove_suffix(1);
    return text;
}

inline std::string_view Trim(std::string_view text, CharTest isTrimmed) {
    return TrimEnd(TrimStart(text, isTrimmed), isTrimmed);
}

} // namespace corvane
