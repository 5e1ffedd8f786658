#include "update/RunningThreads.h"

#include <condition_variable>
#include <mutex>

namespace corvane {

namespace {

struct TRegistry {
    std::mutex Lock;
    std::condition_variable Changed;
    size_t Count = 0;
};

// Never destroyed: a self-freeing thread may release its token while the process is already
// destroying its globals.
TRegistry& ThreadRegistry() {
    static TRegistry* const LRegistry = new TRegistry;
    return *LRegistry;
}

} // namespace

TRunningThreads::TToken& TRunningThreads::TToken::operator=(TToken&& AOther) noexcept {
    if (this != &AOther) {
        Release();
        FHeld = AOther.FHeld;
        AOther.FHeld = false;
    }
    return *this;
}

void TRunningThreads::TToken::Release() noexcept {
    if (!FHeld) {
        return;
    }
    FHeld = false;
    TRegistry& LRegistry = ThreadRegistry();
    std::lock_guard LGuard(LRegistry.Lock);
    --LRegistry.Count;
    LRegistry.Changed.notify_all();
}

TRunningThreads::TToken TRunningThreads::Enter() {
    TRegistry& LRegistry = ThreadRegistry();
    std::lock_guard LGuard(LRegistry.Lock);
    ++LRegistry.Count;
    TToken LToken;
    LToken.FHeld = true;
    return LToken;
}

size_t TRunningThreads::Count() {
    TRegistry& LRegistry = ThreadRegistry();
    std::lock_guard LGuard(LRegistry.Lock);
    return LRegistry.Count;
}

bool TRunningThreads::WaitForNone(std::chrono::milliseconds ATimeout) {
    TRegistry& LRegistry = ThreadRegistry();
    std::unique_lock LLock(LRegistry.Lock);
    return LRegistry.Changed.wait_for(LLock, ATimeout, [&] { return LRegistry.Count == 0; });
}

} // namespace corvane
