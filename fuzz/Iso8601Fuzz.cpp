// Feeds arbitrary bytes to the ISO 8601 reader: it either gives a date-time inside years
// 1 to 9999 that survives a decode and encode unchanged, or raises a date-time or conversion
// error.
#include "update/Errors.h"
#include "update/Iso8601.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const DateTime value = ISO8601ToDate(text);
        const DateTimeParts parts = DecodeDateTime(value);
        if (parts.year < 1 || parts.year > 9999 || EncodeDateTime(parts) != value)
            std::abort();
    } catch (const DateTimeException&) {
    } catch (const ConvertError&) {
    }
    return 0;
}
