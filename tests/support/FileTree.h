// Real files in a temporary folder for tests of the file layers.
#pragma once

#include "platform/DateTime.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::test {

// A fresh temporary folder, removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    // In another folder than the system's temporary one (another file system, say).
    explicit TempFolder(const std::filesystem::path& base);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The folder as a system path ending in a separator, as the launcher passes folders.
    std::string Folder() const { return path_.string() + '/'; }

private:
    std::filesystem::path path_;
};

// Writes content to base/name (name with backslashes between folders), creating folders;
// stamps the file with age when there is one. Returns the native path.
std::filesystem::path WriteFile(const std::filesystem::path& base, std::string_view name,
                                std::string_view content,
                                std::optional<DateTime> age = std::nullopt);

// The whole content of a file, or "<missing>" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Names of the files under folder (relative, '/' between folders), sorted: shows leftovers
// such as temporary files.
std::vector<std::string> FilesUnder(const std::filesystem::path& folder);

// An age for tests: 2024-05-01 10:20:30 plus the given number of milliseconds.
DateTime TestAge(int milliseconds = 0);

// Runs the code in its scope in a given time zone (a zone name or a POSIX TZ rule) and restores
// the previous zone afterwards. Set while no other thread reads local times.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone);
    ~ZoneGuard();
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    bool had_ = false;
    std::string old_;
};

// True when the process can ignore file permissions (root): permission faults then need a
// process without that power (RunWithoutFilePrivileges).
bool IgnoresFilePermissions();

// Runs body in a child process that cannot ignore file permissions and returns what body
// returned (-1 when the child died). As root, tree (files and folders the child must reach)
// first passes to user and group 65534 and the child becomes that user; when that is not
// possible here (a user namespace without that id) the result is empty and the test should be
// skipped with kNoUnprivilegedUser. The parent must not be running other threads.
std::optional<int> RunWithoutFilePrivileges(const std::filesystem::path& tree,
                                            const std::function<int()>& body);

inline constexpr const char* kNoUnprivilegedUser =
    "running as root, and no unprivileged user (65534) can be switched to here, so a "
    "permission fault cannot be produced";

} // namespace corvane::test
