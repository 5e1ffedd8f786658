#include "platform/PathLock.h"

#include "platform/Paths.h"

#include <algorithm>
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

TPathLock::TPathLock(std::string_view path) : FKey(KeyOf(path)) {
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
    const auto it = registry.Slots.find(KeyOf(path));
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
