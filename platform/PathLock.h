// One writer per local file across the whole process: update runs overlap (a click during a
// run starts another), and two jobs must never write one target at the same time.
//
//     PathLock lock(target);
//     if (lock.Waited() && FileAge(target) == serverAge) return; // the other writer did it
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Holds the process-wide lock of one path for its lifetime. Paths are compared by their
// PathKey (platform/Paths.h): native, repeated separators collapsed, and letter case
// significant or not as this system's file names are.
class PathLock {
public:
    explicit PathLock(std::string_view path);
    ~PathLock();
    PathLock(const PathLock&) = delete;
    PathLock& operator=(const PathLock&) = delete;

    // True when another holder had the path and this lock had to wait for it: the file may
    // have been brought up to date meanwhile.
    bool Waited() const { return waited_; }

    // How many locks are waiting for the path now (for tests and diagnostics).
    static int Waiting(std::string_view path);

private:
    std::string key_;
    bool waited_ = false;
};

} // namespace corvane
