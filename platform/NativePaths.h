// Paths in this system's own form, for what other programs of the machine read (nginx's
// configuration, for one): joined, made absolute and compared with the system's separator.
// Names that travel as data keep the backslash and go through platform/Paths.h instead.
//
//     const std::string out = NativeAbsolutePath("export/../saida"); // "/srv/saida"
//     if (IsNativePathWithin(out, root)) ... refuse: it lies in the served tree
//     WriteTo(JoinNativePath(out, "nginx-http.conf"));
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The folder and the name with one separator between them; an empty name gives the folder
// with a separator at its end.
std::string JoinNativePath(std::string_view folder, std::string_view name);

// An absolute form of the path by its names alone (links are not followed): the current
// folder before a relative path, "." and ".." parts and repeated separators taken out.
std::string NativeAbsolutePath(std::string_view path);

// Whether path is folder itself or lies beneath it, both absolute and without "." or ".."
// parts; compared name by name, so "/srv/a" does not lie within "/srv/ab".
bool IsNativePathWithin(std::string_view path, std::string_view folder);

} // namespace corvane
