// Locale-aware text operations.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Upper-cases UTF-8 text with the process's default locale (linguistic casing: in a Turkish
// locale "i" becomes "İ"). Throws EOSError when the text cannot be converted.
std::string UpperCase(std::string_view text);

} // namespace corvane
