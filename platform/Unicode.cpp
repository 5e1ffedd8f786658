#include "platform/Unicode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace corvane {

namespace {

// Decodes the code point that starts at text[pos] into cp and its length in bytes; false for
// ill-formed UTF-8.
bool DecodeUtf8(std::string_view text, std::size_t pos, char32_t& cp, std::size_t& length) {
    const auto b0 = static_cast<unsigned char>(text[pos]);
    if (b0 < 0x80) {
        cp = b0;
        length = 1;
        return true;
    }
    std::size_t extra = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return false;
    }
    if (pos + extra >= text.size())
        return false;
    for (std::size_t i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(text[pos + i]);
        if ((b & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    length = extra + 1;
    return true;
}

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) { // the common case, byte by byte
            ++i;
            continue;
        }
        char32_t cp = 0;
        std::size_t length = 0;
        if (!DecodeUtf8(bytes, i, cp, length))
            return false;
        i += length;
    }
    return true;
}

std::size_t Utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        std::size_t length = 1;
        if (!DecodeUtf8(text, i, cp, length)) {
            cp = 0; // an ill-formed byte counts as one unit
            length = 1;
        }
        units += cp > 0xFFFF ? 2 : 1;
        i += length;
    }
    return units;
}

bool OrdinalLess(std::string_view a, std::string_view b) {
    // The first byte that differs, a word at a time: sorted names share long prefixes.
    const std::size_t common = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i + 8 <= common) {
        std::uint64_t x = 0, y = 0;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y)
            break;
        i += 8;
    }
    while (i < common && a[i] == b[i])
        ++i;
    if (i == common)
        return a.size() < b.size();
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    // UTF-8 bytes sort as code points, and code points sort as UTF-16 code units except that
    // U+E000..U+FFFF (lead bytes 0xEE, 0xEF) come after the code points above U+FFFF (lead
    // bytes 0xF0..0xF4), which UTF-16 writes with surrogates 0xD800..0xDFFF. Only a difference
    // in the lead bytes themselves can cross that line.
    const bool xHigh = x == 0xEE || x == 0xEF;
    const bool yHigh = y == 0xEE || y == 0xEF;
    const bool xSupplementary = x >= 0xF0 && x <= 0xF4;
    const bool ySupplementary = y >= 0xF0 && y <= 0xF4;
    if ((xHigh && ySupplementary) || (xSupplementary && yHigh))
        return xSupplementary;
    return x < y;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace corvane
