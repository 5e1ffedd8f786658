// Real files in a temporary folder for tests of the file layers.
#pragma once

#include "Corvane.Platform.DateTime.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::test {

// A fresh temporary folder, removed with everything in it when the object goes.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    // The folder as a system path ending in a separator, as the launcher passes folders.
    std::string Folder() const { return FPath.string() + '/'; }

private:
    std::filesystem::path FPath;
};

// Writes content to base/name (name with backslashes between folders), creating folders;
// stamps the file with age unless it is negative. Returns the native path.
std::filesystem::path WriteFile(const std::filesystem::path& base, std::string_view name,
                                std::string_view content, TDateTime age = -1.0);

// The whole content of a file, or "<missing>" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Names of the files under folder (relative, '/' between folders), sorted: shows leftovers
// such as temporary files.
std::vector<std::string> FilesUnder(const std::filesystem::path& folder);

// An age for tests: 2024-05-01 10:20:30 plus the given number of milliseconds.
TDateTime TestAge(int milliseconds = 0);

// True when the process can ignore file permissions (root): permission faults then need a
// process without that power (RunWithoutFilePrivileges).
bool IgnoresFilePermissions();

// Runs body in a child process that cannot ignore file permissions: as root the child first
// becomes user and group 65534, and the files it must reach should belong to that user
// (OwnTreeBy). Returns what body returned, or -1 when the child died. The parent must not be
// running other threads.
int RunWithoutFilePrivileges(const std::function<int()>& body);

// Makes every file and folder under root, root included, belong to the user and group that
// RunWithoutFilePrivileges runs as (nothing when not root).
void OwnTreeByUnprivileged(const std::filesystem::path& root);

} // namespace corvane::test
