// Every download's connection has its send buffer bounded, whether the file goes from memory or
// from disk: a socket left to the system grows to take a whole small file at once, and the
// kernel's copies of it, megabytes for a crowd of connections, no longer stay in the caches.
#include "tests/service/ServiceFixture.h"

#include <dirent.h>
#include <fstream>

namespace corvane::test {
namespace {

std::uint16_t PortOf(const sockaddr_in& address) {
    return ntohs(address.sin_port);
}

// The send buffer of this process's socket that serves on port and talks to peerPort.
std::optional<int> ServerSideSendBuffer(std::uint16_t port, std::uint16_t peerPort) {
    struct CloseDir {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::unique_ptr<DIR, CloseDir> fds(::opendir("/proc/self/fd"));
    if (!fds)
        return std::nullopt;
    while (const dirent* entry = ::readdir(fds.get())) {
        // Only the socket calls: the service's threads open and close their handles meanwhile,
        // and a socket call on a handle that is no socket (or no longer open) merely fails.
        if (entry->d_name[0] == '.')
            continue;
        const int fd = std::atoi(entry->d_name);
        sockaddr_in local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
            local.sin_family != AF_INET || PortOf(local) != port || PortOf(peer) != peerPort)
            continue;
        int size = 0;
        socklen_t sizeSize = sizeof size;
        if (::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, &sizeSize) == 0)
            return size;
    }
    return std::nullopt;
}

// What the kernel makes of the default bound asked for: double, within net.core.wmem_max.
int BoundedSize() {
    const int asked = static_cast<int>(FileServiceOptions().sendBufferKiB * 1024);
    long most = asked;
    std::ifstream("/proc/sys/net/core/wmem_max") >> most;
    return 2 * std::min(asked, static_cast<int>(most));
}

class SendBuffer : public ServiceTest {
protected:
    void SetUp() override {
        small_ = PatternContent(64 << 10);
        large_ = PatternContent(6 << 20); // larger than any content kept in memory
        WriteFile(tree_.Root() / "Bin" / "small.dll", small_);
        WriteFile(tree_.Root() / "Dados" / "large.bin", large_);
        StartService();
    }
    std::string small_;
    std::string large_;
};

TEST_F(SendBuffer, IsBoundedForEveryDownloadFromMemoryOrDisk) {
    // The small file twice: read into memory by the first request, sent as kept by the second.
    const std::pair<const char*, const std::string*> cases[] = {
        {"Bin%5Csmall.dll", &small_}, {"Bin%5Csmall.dll", &small_}, {"Dados%5Clarge.bin", &large_}};
    for (const auto& [name, content] : cases) {
        Socket client = Connect(Port());
        ASSERT_GE(client.Get(), 0);
        // No "Connection: close": the connection stays open after the answer, so that its
        // server side can be looked at.
        ASSERT_TRUE(SendAll(client.Get(), std::string("GET /download?file=") + name +
                                              " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
        ASSERT_TRUE(ReadOneAnswerBody(client.Get()) == *content) << name;
        sockaddr_in local{};
        socklen_t size = sizeof local;
        ASSERT_EQ(::getsockname(client.Get(), reinterpret_cast<sockaddr*>(&local), &size), 0);
        EXPECT_EQ(ServerSideSendBuffer(Port(), PortOf(local)), std::optional(BoundedSize()))
            << name;
    }
}

} // namespace
} // namespace corvane::test
