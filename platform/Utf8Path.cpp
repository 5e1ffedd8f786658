#include "platform/Utf8Path.h"

namespace corvane {

// char8_t text is UTF-8 on every system: std::filesystem converts it to the native encoding
// itself, where a char string would go through the code page.
std::filesystem::path PathFromUtf8(std::string_view path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace corvane
