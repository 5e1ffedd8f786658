#include "platform/ServiceProcess.h"

#include <csignal>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>

namespace corvane {

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

void PrepareServiceProcess() {
    const sigset_t stop = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    RaiseOpenFileLimit();
    // Every connection takes its working memory when it opens and gives it back when it ends.
    // Left to itself, the allocator hands the freed top of its heaps back to the system at
    // once, and the next connections fault the same pages in again, zeroed: a fifth of the
    // service's processor time for downloads each on a connection of its own. Up to this much
    // freed memory stays for the next connections.
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
}

void RaiseOpenFileLimit() {
    struct rlimit files {};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
}

StopRequest WaitForStopRequest() {
    const sigset_t stop = StopSignals();
    int signal = 0;
    while (sigwait(&stop, &signal) != 0) {
    }
    return signal == SIGINT ? StopRequest::Interrupt : StopRequest::Terminate;
}

std::string DescribeStopRequest(StopRequest request) {
    return "sinal " + std::to_string(request == StopRequest::Interrupt ? SIGINT : SIGTERM);
}

long OpenFileLimit() {
    struct rlimit files {};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return 1'048'576;
    return static_cast<long>(files.rlim_cur);
}

} // namespace corvane
