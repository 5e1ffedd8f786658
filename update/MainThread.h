// Hand-over of calls to the main thread, the thread that runs the user interface's event loop.
// The core never depends on a window toolkit: the launcher installs a dispatcher built on its
// event loop, tests and corvane-update install MainThreadLoop (update/MainThreadLoop.h).
#pragma once

#include "update/Callables.h"

#include <memory>

namespace corvane {

class MainThreadDispatcherInterface {
public:
    virtual ~MainThreadDispatcherInterface() = default;

    // Queues call for the main thread's event loop and returns at once; any thread may call
    // it. The loop runs call once; when the loop will never run again (the application is
    // ending), it destroys call without running it instead, which releases what call holds
    // (a task list waiting for its completion, for one). An error escaping call goes to the
    // application's default error report (HandleException).
    virtual void Post(Proc call) = 0;

    // True on the thread that runs the event loop.
    virtual bool IsMainThread() const = 0;
};

// Installs the process-wide dispatcher and returns the one it replaces; nullptr uninstalls.
std::shared_ptr<MainThreadDispatcherInterface>
SetMainThreadDispatcher(std::shared_ptr<MainThreadDispatcherInterface> dispatcher);

// The installed dispatcher, or nullptr.
std::shared_ptr<MainThreadDispatcherInterface> MainThreadDispatcher();

// Installs a dispatcher for the lifetime of the scope and puts back the one it replaced.
class MainThreadDispatcherScope {
public:
    explicit MainThreadDispatcherScope(std::shared_ptr<MainThreadDispatcherInterface> dispatcher);
    ~MainThreadDispatcherScope();
    MainThreadDispatcherScope(const MainThreadDispatcherScope&) = delete;
    MainThreadDispatcherScope& operator=(const MainThreadDispatcherScope&) = delete;

private:
    std::shared_ptr<MainThreadDispatcherInterface> previous_;
};

} // namespace corvane
