// The main-thread dispatcher of the launcher, built on Qt's event loop: calls handed over from
// worker threads run as queued calls of the application object.
#pragma once

#include "update/MainThread.h"

namespace corvane {

class QtMainThreadDispatcher final : public MainThreadDispatcherInterface {
public:
    // Needs the QCoreApplication to exist; its thread is the main thread.
    void Post(Proc call) override;
    bool IsMainThread() const override;
};

} // namespace corvane
