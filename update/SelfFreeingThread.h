// A thread that nobody joins: it runs its procedure, frees what it holds and ends.
#pragma once

#include "update/Callables.h"

namespace corvane {

class TSelfFreeingThread {
public:
    // Starts a thread that runs AExecute and ends. An error escaping AExecute is dropped: the
    // thread has nobody to report to. Raises std::system_error when no thread can be started.
    // The thread counts in TRunningThreads until its procedure and the procedure's captured
    // values are gone.
    static void Start(TProc AExecute);
};

} // namespace corvane
