#include "platform/PathLock.h"

#include "platform/Paths.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace corvane {

namespace {

struct PathSlot {
    bool busy = false;
    int waiters = 0;
};

// The registry holds only paths being written or waited for, so it stays small.
struct PathRegistry {
    std::mutex mutex;
    std::condition_variable released;
    std::unordered_map<std::string, PathSlot> pathSlots;
};

PathRegistry& Registry() {
    static PathRegistry registry;
    return registry;
}

// The native path with repeated separators collapsed: "/opt/app//x.dll" (a folder ending in a
// separator joined with a backslash) is the file "/opt/app/x.dll".
std::string KeyOf(std::string_view path) {
    std::string key = ToNativePath(path);
    key.erase(
        std::unique(key.begin(), key.end(), [](char a, char b) { return a == '/' && b == '/'; }),
        key.end());
    return key;
}

} // namespace

PathLock::PathLock(std::string_view path) : key_(KeyOf(path)) {
    PathRegistry& registry = Registry();
    std::unique_lock lock(registry.mutex);
    PathSlot& slot = registry.pathSlots[key_]; // node-based: the reference survives rehashing
    if (slot.busy) {
        waited_ = true;
        ++slot.waiters;
        registry.released.wait(lock, [&slot] { return !slot.busy; });
        --slot.waiters;
    }
    slot.busy = true;
}

int PathLock::Waiting(std::string_view path) {
    PathRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.pathSlots.find(KeyOf(path));
    return it == registry.pathSlots.end() ? 0 : it->second.waiters;
}

PathLock::~PathLock() {
    PathRegistry& registry = Registry();
    {
        std::lock_guard lock(registry.mutex);
        const auto it = registry.pathSlots.find(key_);
        if (it->second.waiters == 0)
            registry.pathSlots.erase(it);
        else
            it->second.busy = false;
    }
    registry.released.notify_all();
}

} // namespace corvane
