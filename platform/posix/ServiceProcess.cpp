#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>

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

int WaitForStopSignal() {
    const sigset_t stop = StopSignals();
    int signal = 0;
    while (sigwait(&stop, &signal) != 0) {
    }
    return signal;
}

void EndConnection(int socket) {
    ::shutdown(socket, SHUT_RDWR);
}

bool SendLastAnswer(int socket, std::string_view answer) {
    while (!answer.empty()) {
        const ssize_t sent =
            ::send(socket, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            break;
        answer.remove_prefix(static_cast<size_t>(sent));
    }
    EndConnection(socket);
    return answer.empty();
}

bool SetSendBuffer(int socket, int bytes) {
    return ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

long OpenFileLimit() {
    struct rlimit files {};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return 1'048'576;
    return static_cast<long>(files.rlim_cur);
}

} // namespace corvane
