#include "update/RunningThreads.h"

#include <condition_variable>
#include <mutex>

namespace corvane {

namespace {

struct Registry {
    std::mutex lock;
    std::condition_variable changed;
    size_t count = 0;
};

// Never destroyed: a self-freeing thread may release its token while the process is already
// destroying its globals.
Registry& ThreadRegistry() {
    static Registry* const kLRegistry = new Registry;
    return *kLRegistry;
}

} // namespace

RunningThreads::Token& RunningThreads::Token::operator=(Token&& other) noexcept {
    if (this != &other) {
        Release();
        held_ = other.held_;
        other.held_ = false;
    }
    return *this;
}

void RunningThreads::Token::Release() noexcept {
    if (!held_) {
        return;
    }
    held_ = false;
    Registry& registry = ThreadRegistry();
    std::lock_guard guard(registry.lock);
    --registry.count;
    registry.changed.notify_all();
}

RunningThreads::Token RunningThreads::Enter() {
    Registry& registry = ThreadRegistry();
    std::lock_guard guard(registry.lock);
    ++registry.count;
    Token token;
    token.held_ = true;
    return token;
}

size_t RunningThreads::Count() {
    Registry& registry = ThreadRegistry();
    std::lock_guard guard(registry.lock);
    return registry.count;
}

bool RunningThreads::WaitForNone(std::chrono::milliseconds timeout) {
    Registry& registry = ThreadRegistry();
    std::unique_lock lock(registry.lock);
    return registry.changed.wait_for(lock, timeout, [&] { return registry.count == 0; });
}

} // namespace corvane
