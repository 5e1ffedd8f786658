#include "tests/support/FileTree.h"

#include "platform/FileTime.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace corvane::test {

namespace {

constexpr uid_t kUnprivilegedId = 65534;

} // namespace

TempFolder::TempFolder() : TempFolder(std::filesystem::temp_directory_path()) {}

TempFolder::TempFolder(const std::filesystem::path& base) {
    std::string pattern = (base / "corvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // Folders a test closed to writing must be opened again before their files can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path WriteFile(const std::filesystem::path& base, std::string_view name,
                                std::string_view content, std::optional<DateTime> age) {
    std::string relative(name);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const std::filesystem::path path = base / relative;
    std::filesystem::create_directories(path.parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path.string());
    }
    if (age)
        SetFileAge(path.string(), *age);
    return path;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> FilesUnder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (!it->is_directory(ec))
            names.push_back(std::filesystem::relative(it->path(), folder).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

DateTime TestAge(int milliseconds) {
    return EncodeDateTime(2024, 5, 1, 10, 20, 30, 0) +
           static_cast<double>(milliseconds) / static_cast<double>(kMSecsPerDay);
}

ZoneGuard::ZoneGuard(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
        had_ = true;
        old_ = old;
    }
    ::setenv("TZ", zone, 1);
    ::tzset();
}

ZoneGuard::~ZoneGuard() {
    if (had_)
        ::setenv("TZ", old_.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

bool IgnoresFilePermissions() {
    return ::geteuid() == 0;
}

namespace {

constexpr int kCannotSwitchUser = 119;

bool OwnTreeByUnprivileged(const std::filesystem::path& root) {
    if (::lchown(root.c_str(), kUnprivilegedId, kUnprivilegedId) != 0)
        return false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (::lchown(entry.path().c_str(), kUnprivilegedId, kUnprivilegedId) != 0)
            return false;
    return true;
}

} // namespace

std::optional<int> RunWithoutFilePrivileges(const std::filesystem::path& tree,
                                            const std::function<int()>& body) {
    const bool root = IgnoresFilePermissions();
    if (root && !OwnTreeByUnprivileged(tree))
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
                     ::setuid(kUnprivilegedId) != 0))
            ::_exit(kCannotSwitchUser);
        int result = 126;
        try {
            result = body();
        } catch (...) {
            result = 127;
        }
        ::_exit(result);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    if (WEXITSTATUS(status) == kCannotSwitchUser)
        return std::nullopt;
    return WEXITSTATUS(status);
}

} // namespace corvane::test
