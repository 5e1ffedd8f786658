// std::filesystem paths made from and read back as UTF-8, the encoding of every string of this
// system. A narrow string handed to std::filesystem as it is would be read in the system's
// code page, which on Windows is not UTF-8, so accented names would name other files.
//
//     const std::filesystem::path ini = PathFromUtf8("/opt/São José/Corvane.ini");
//     const std::string folder = Utf8FromPath(ini.parent_path()); // "/opt/São José"
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace corvane {

// The path named by UTF-8 text, converted as the system's wide or narrow paths need.
std::filesystem::path PathFromUtf8(std::string_view path);

// The path as UTF-8 text, in its native form.
std::string Utf8FromPath(const std::filesystem::path& path);

} // namespace corvane
