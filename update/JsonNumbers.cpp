#include "update/JsonNumbers.h"

namespace corvane {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Characters that may occur in a number literal; a valid literal is always a whole run of
// them, since whatever follows a number in valid JSON is none of them.
bool IsNumberChar(char c) {
    return IsDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

} // namespace

size_t JsonNumberLength(std::string_view AText, size_t APos) {
    size_t p = APos;
    const size_t n = AText.size();
    auto digits = [&] {
        const size_t from = p;
        while (p < n && IsDigit(AText[p]))
            ++p;
        return p - from;
    };
    if (p < n && AText[p] == '-')
        ++p;
    if (p < n && AText[p] == '0')
        ++p;
    else if (digits() == 0)
        return 0;
    if (p < n && AText[p] == '.') {
        ++p;
        if (digits() == 0)
            return 0;
    }
    if (p < n && (AText[p] == 'e' || AText[p] == 'E')) {
        ++p;
        if (p < n && (AText[p] == '+' || AText[p] == '-'))
            ++p;
        if (digits() == 0)
            return 0;
    }
    return p - APos;
}

std::string ShortenJsonNumbers(std::string_view AText) {
    std::string result(AText);
    const size_t n = AText.size();
    size_t i = 0;
    while (i < n) {
        const char c = AText[i];
        if (c == '"') {
            // Skip the string, escapes included; an unterminated one runs to the end.
            for (++i; i < n && AText[i] != '"'; ++i)
                if (AText[i] == '\\')
                    ++i;
            ++i;
        } else if (IsNumberChar(c)) {
            size_t end = i;
            while (end < n && IsNumberChar(AText[end]))
                ++end;
            if (JsonNumberLength(AText, i) == end - i) {
                result[i] = '0';
                for (size_t k = i + 1; k < end; ++k)
                    result[k] = ' ';
            }
            i = end;
        } else {
            ++i;
        }
    }
    return result;
}

} // namespace corvane
