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

constexpr uid_t UnprivilegedId = 65534;

} // namespace

TTempFolder::TTempFolder() : TTempFolder(std::filesystem::temp_directory_path()) {}

TTempFolder::TTempFolder(const std::filesystem::path& base) {
    std::string pattern = (base / "corvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ec;
    // Folders a test closed to writing must be opened again before their files can go.
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
}

std::filesystem::path WriteFile(const std::filesystem::path& base, std::string_view name,
                                std::string_view content, std::optional<TDateTime> age) {
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

TDateTime TestAge(int milliseconds) {
    return EncodeDateTime(2024, 5, 1, 10, 20, 30, 0) +
           static_cast<double>(milliseconds) / static_cast<double>(MSecsPerDay);
}

TZoneGuard::TZoneGuard(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
        FHad = true;
        FOld = old;
    }
    ::setenv("TZ", zone, 1);
    ::tzset();
}

TZoneGuard::~TZoneGuard() {
    if (FHad)
        ::setenv("TZ", FOld.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

bool IgnoresFilePermissions() {
    return ::geteuid() == 0;
}

namespace {

constexpr int CannotSwitchUser = 119;

bool OwnTreeByUnprivileged(const std::filesystem::path& root) {
    if (::lchown(root.c_str(), UnprivilegedId, UnprivilegedId) != 0)
        return false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (::lchown(entry.path().c_str(), UnprivilegedId, UnprivilegedId) != 0)
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
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(UnprivilegedId) != 0 ||
                     ::setuid(UnprivilegedId) != 0))
            ::_exit(CannotSwitchUser);
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
    if (WEXITSTATUS(status) == CannotSwitchUser)
        return std::nullopt;
    return WEXITSTATUS(status);
}

} // namespace corvane::test
