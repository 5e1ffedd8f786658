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

size_t JsonNumberLength(std::string_view text, size_t pos) {
    size_t p = pos;
    const size_t n = text.size();
    auto digits = [&] {
        const size_t from = p;
        while (p < n && IsDigit(text[p]))
            ++p;
        return p - from;
    };
    if (p < n && text[p] == '-')
        ++p;
    if (p < n && text[p] == '0')
        ++p;
    else if (digits() == 0)
        return 0;
    if (p < n && text[p] == '.') {
        ++p;
        if (digits() == 0)
            return 0;
    }
    if (p < n && (text[p] == 'e' || text[p] == 'E')) {
        ++p;
        if (p < n && (text[p] == '+' || text[p] == '-'))
            ++p;
        if (digits() == 0)
            return 0;
    }
    return p - pos;
}

std::string ShortenJsonNumbers(std::string_view text) {
    std::string result(text);
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '"') {
            // Skip the string, escapes included; an unterminated one runs to the end.
            for (++i; i < n && text[i] != '"'; ++i)
                if (text[i] == '\\')
                    ++i;
            ++i;
        } else if (IsNumberChar(c)) {
            size_t end = i;
            while (end < n && IsNumberChar(text[end]))
                ++end;
            if (JsonNumberLength(text, i) == end - i) {
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
