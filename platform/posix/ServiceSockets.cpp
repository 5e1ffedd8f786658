#include "platform/ServiceSockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace corvane {

namespace {

int DescriptorOf(SocketHandle socket) {
    return static_cast<int>(socket);
}

// A numeric address as the system takes it for bind, with the port; its family says which.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

std::optional<SocketAddress> ParseAddress(std::string_view text, std::uint16_t port) {
    const std::string terminated(text);
    SocketAddress address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    if (::inet_pton(AF_INET, terminated.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        address.length = sizeof(sockaddr_in);
        return address;
    }
    address.storage = {};
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (::inet_pton(AF_INET6, terminated.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        address.length = sizeof(sockaddr_in6);
        return address;
    }
    return std::nullopt;
}

std::uint16_t BoundPort(int socket) {
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    if (bound.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
}

} // namespace

ListeningSocket::ListeningSocket(ListeningSocket&& other) noexcept
    : handle_(other.Release()), port_(other.port_) {}

ListeningSocket& ListeningSocket::operator=(ListeningSocket&& other) noexcept {
    if (this != &other) {
        if (handle_ != SocketHandle::None)
            ::close(DescriptorOf(handle_));
        handle_ = other.Release();
        port_ = other.port_;
    }
    return *this;
}

ListeningSocket::~ListeningSocket() {
    if (handle_ != SocketHandle::None)
        ::close(DescriptorOf(handle_));
}

SocketHandle ListeningSocket::Release() {
    return std::exchange(handle_, SocketHandle::None);
}

bool IsNumericAddress(std::string_view text) {
    return ParseAddress(text, 0).has_value();
}

std::optional<ListeningSocket> ListenOn(std::string_view address, std::uint16_t port, int backlog) {
    const std::optional<SocketAddress> parsed = ParseAddress(address, port);
    if (!parsed)
        return std::nullopt;
    const int family = parsed->storage.ss_family;
    const int descriptor = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return std::nullopt;
    ListeningSocket listening(SocketHandle{descriptor}, 0);
    // A restarted service takes its port back while the connections of the one before it
    // are still closing.
    const int on = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (family == AF_INET6)
        ::setsockopt(descriptor, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&parsed->storage), parsed->length) !=
            0 ||
        ::listen(descriptor, backlog) != 0)
        return std::nullopt;
    return ListeningSocket(listening.Release(), BoundPort(descriptor));
}

void EndConnection(SocketHandle socket) {
    ::shutdown(DescriptorOf(socket), SHUT_RDWR);
}

bool SendLastAnswer(SocketHandle socket, std::string_view answer) {
    while (!answer.empty()) {
        const ssize_t sent =
            ::send(DescriptorOf(socket), answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            break;
        answer.remove_prefix(static_cast<size_t>(sent));
    }
    EndConnection(socket);
    return answer.empty();
}

bool SetSendBuffer(SocketHandle socket, int bytes) {
    return ::setsockopt(DescriptorOf(socket), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

} // namespace corvane
