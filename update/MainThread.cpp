#include "update/MainThread.h"

#include "platform/Errors.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

namespace corvane {

namespace {

std::mutex DispatcherLock;
std::shared_ptr<IMainThreadDispatcher> InstalledDispatcher;

// What the waiting caller of Synchronize and the main thread share. The posted call holds it
// through a guard: when the last copy of the posted call is destroyed without having run, the
// guard marks the call dropped, so the caller never waits for a call that cannot come.
struct TSyncState {
    enum class TOutcome { Pending, Ran, Dropped };

    std::mutex Lock;
    std::condition_variable Changed;
    TOutcome Outcome = TOutcome::Pending;
    std::exception_ptr Error;

    void Finish(TOutcome AOutcome, std::exception_ptr AError) {
        {
            std::lock_guard LGuard(Lock);
            if (Outcome != TOutcome::Pending) {
                return;
            }
            Outcome = AOutcome;
            Error = std::move(AError);
        }
        Changed.notify_all();
    }
};

struct TSyncGuard {
    explicit TSyncGuard(std::shared_ptr<TSyncState> AState) : State(std::move(AState)) {}
    ~TSyncGuard() { State->Finish(TSyncState::TOutcome::Dropped, nullptr); }
    TSyncGuard(const TSyncGuard&) = delete;
    TSyncGuard& operator=(const TSyncGuard&) = delete;

    std::shared_ptr<TSyncState> State;
};

} // namespace

bool Synchronize(IMainThreadDispatcher& ADispatcher, const TProc& ACall) {
    if (ADispatcher.IsMainThread()) {
        ACall();
        return true;
    }
    auto LState = std::make_shared<TSyncState>();
    auto LGuard = std::make_shared<TSyncGuard>(LState);
    // ACall stays alive on this thread's stack: this function returns only once the posted
    // call has run or has been dropped for good.
    const TProc* LCall = &ACall;
    ADispatcher.Post([LGuard = std::move(LGuard), LCall] {
        std::exception_ptr LError;
        try {
            (*LCall)();
        } catch (...) {
            LError = std::current_exception();
        }
        LGuard->State->Finish(TSyncState::TOutcome::Ran, std::move(LError));
    });
    std::unique_lock LLock(LState->Lock);
    LState->Changed.wait(LLock, [&] { return LState->Outcome != TSyncState::TOutcome::Pending; });
    if (LState->Outcome == TSyncState::TOutcome::Dropped) {
        return false;
    }
    // Taken out of the shared state, so that only this thread refers to the error from now
    // on, whichever thread frees the state.
    if (std::exception_ptr LError = std::move(LState->Error)) {
        LLock.unlock();
        std::rethrow_exception(LError);
    }
    return true;
}

bool Synchronize(const TProc& ACall) {
    const auto LDispatcher = MainThreadDispatcher();
    if (!LDispatcher) {
        throw Exception("No main thread dispatcher is installed");
    }
    return Synchronize(*LDispatcher, ACall);
}

std::shared_ptr<IMainThreadDispatcher>
SetMainThreadDispatcher(std::shared_ptr<IMainThreadDispatcher> ADispatcher) {
    std::lock_guard LGuard(DispatcherLock);
    return std::exchange(InstalledDispatcher, std::move(ADispatcher));
}

std::shared_ptr<IMainThreadDispatcher> MainThreadDispatcher() {
    std::lock_guard LGuard(DispatcherLock);
    return InstalledDispatcher;
}

void ProcessMessages() {
    if (const auto LDispatcher = MainThreadDispatcher()) {
        LDispatcher->ProcessMessages();
    }
}

TMainThreadDispatcherScope::TMainThreadDispatcherScope(
    std::shared_ptr<IMainThreadDispatcher> ADispatcher)
    : FPrevious(SetMainThreadDispatcher(std::move(ADispatcher))) {}

TMainThreadDispatcherScope::~TMainThreadDispatcherScope() {
    SetMainThreadDispatcher(std::move(FPrevious));
}

} // namespace corvane
