#include "Corvane.Platform.PathLock.h"

#include "Corvane.Platform.Paths.h"

#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace corvane {

namespace {

struct TPathSlot {
    bool Busy = false;
    int Waiters = 0;
};

// The registry holds only paths being written or waited for, so it stays small.
struct TPathRegistry {
    std::mutex Mutex;
    std::condition_variable Released;
    std::unordered_map<std::string, TPathSlot> Slots;
};

TPathRegistry& Registry() {
    static TPathRegistry registry;
    return registry;
}

} // namespace

TPathLock::TPathLock(std::string_view path) : FKey(ToNativePath(path)) {
    TPathRegistry& registry = Registry();
    std::unique_lock lock(registry.Mutex);
    TPathSlot& slot = registry.Slots[FKey]; // node-based: the reference survives rehashing
    if (slot.Busy) {
        FWaited = true;
        ++slot.Waiters;
        registry.Released.wait(lock, [&slot] { return !slot.Busy; });
        --slot.Waiters;
    }
    slot.Busy = true;
}

int TPathLock::Waiting(std::string_view path) {
    TPathRegistry& registry = Registry();
    std::lock_guard lock(registry.Mutex);
    const auto it = registry.Slots.find(ToNativePath(path));
    return it == registry.Slots.end() ? 0 : it->second.Waiters;
}

TPathLock::~TPathLock() {
    TPathRegistry& registry = Registry();
    {
        std::lock_guard lock(registry.Mutex);
        const auto it = registry.Slots.find(FKey);
        if (it->second.Waiters == 0)
            registry.Slots.erase(it);
        else
            it->second.Busy = false;
    }
    registry.Released.notify_all();
}

} // namespace corvane
