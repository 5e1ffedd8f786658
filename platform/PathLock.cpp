#include "platform/PathLock.h"

#include "platform/Paths.h"

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

} // namespace

PathLock::PathLock(std::string_view path) : key_(PathKey(path)) {
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
    const auto it = registry.pathSlots.find(PathKey(path));
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
