// Decoding the bytes of a text file, whatever editor wrote it, with ICU's converters.
#include "platform/FileSystem.h"

#include "platform/Unicode.h"

#include <unicode/ucnv.h>

#include <climits>
#include <cstdint>

namespace corvane {

namespace {

std::string Convert(const char* fromEncoding, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > INT32_MAX / 4)
        return {};
    const auto sourceLength = static_cast<int32_t>(bytes.size());
    // Each source byte yields at most 3 UTF-8 bytes (a UTF-16 pair of 4 bytes yields 4).
    std::string result(bytes.size() * 3 + 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_convert("UTF-8", fromEncoding, result.data(), static_cast<int32_t>(result.size()),
                     bytes.data(), sourceLength, &status);
    if (U_FAILURE(status))
        return {};
    result.resize(static_cast<size_t>(length));
    return result;
}

} // namespace

std::string TextFileToUtf8(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        // Marked as UTF-8: what is not valid UTF-8 becomes U+FFFD.
        const std::string_view text = bytes.substr(3);
        return IsValidUtf8(text) ? std::string(text) : Convert("UTF-8", text);
    }
    if (bytes.substr(0, 2) == "\xFF\xFE")
        return Convert("UTF-16LE", bytes.substr(2));
    if (bytes.substr(0, 2) == "\xFE\xFF")
        return Convert("UTF-16BE", bytes.substr(2));
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return Convert("windows-1252", bytes);
}

} // namespace corvane
