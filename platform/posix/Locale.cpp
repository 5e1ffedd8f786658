#include "platform/Locale.h"

#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstring>

namespace corvane {

namespace {

// Turkish and Azerbaijani are the languages whose linguistic casing maps the dotted "i" to
// "İ"; ICU's default locale comes from the process's locale settings.
bool DefaultLocaleDotsCapitalI() {
    const char* language = uloc_getDefault();
    char buffer[ULOC_LANG_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(language, buffer, sizeof buffer, &status);
    if (U_FAILURE(status))
        return false;
    return std::strcmp(buffer, "tr") == 0 || std::strcmp(buffer, "az") == 0;
}

void AppendUtf8(std::string& out, UChar32 c) {
    uint8_t bytes[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, c); // c is a valid code point: at most 4 bytes
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

} // namespace

std::string UpperCase(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    const bool dottedI = DefaultLocaleDotsCapitalI();
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int64_t>(text.size());
    int64_t i = 0;
    while (i < length) {
        if (bytes[i] < 0x80) { // the common case, and the one the Turkish rule touches
            const char c = static_cast<char>(bytes[i++]);
            if (c == 'i' && dottedI)
                AppendUtf8(result, 0x130);
            else
                result += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            continue;
        }
        const int64_t start = i;
        UChar32 c = 0;
        // U8_NEXT takes an int32_t length: step within a window that never exceeds it.
        const int32_t window = static_cast<int32_t>(std::min<int64_t>(length - i, 4));
        int32_t offset = 0;
        U8_NEXT(bytes + i, offset, window, c);
        i += offset;
        if (c < 0)
            result.append(text.substr(static_cast<size_t>(start), static_cast<size_t>(offset)));
        else
            AppendUtf8(result, u_toupper(c));
    }
    return result;
}

} // namespace corvane
