// A thread that nobody joins: it runs its procedure, frees what it holds and ends.
#pragma once

#include "update/Callables.h"

namespace corvane {

class SelfFreeingThread {
public:
    // Starts a thread that runs execute and ends. An error escaping execute is dropped: the
    // thread has nobody to report to. Raises std::system_error when no thread can be started.
    // The thread counts in RunningThreads until its procedure and the procedure's captured
    // values are gone.
    static void Start(Proc execute);
};

} // namespace corvane
