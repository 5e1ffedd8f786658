// The sockets of the file service: the one it listens on, opened for a numeric address, and
// what the service does to a connection behind its HTTP library's back (ends it, bounds its
// send buffer, sends a last answer on it).
//
//     std::optional<ListeningSocket> listener = ListenOn("127.0.0.1", 0, 1024);
//     if (listener) start the library on listener->Release(), which closes it from then on;
//     EndConnection(connection); // the connection's owner sees its next read or write fail
#pragma once

#include "platform/Handles.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

// A socket bound to an address and listening; closed when it goes unless released.
class ListeningSocket {
public:
    ListeningSocket(SocketHandle handle, std::uint16_t port) : handle_(handle), port_(port) {}
    ListeningSocket(ListeningSocket&& other) noexcept;
    ListeningSocket& operator=(ListeningSocket&& other) noexcept;
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;
    ~ListeningSocket();

    SocketHandle Handle() const { return handle_; }
    // The port listened on, the one the system chose when 0 was asked for.
    std::uint16_t Port() const { return port_; }
    // Hands the socket over to a new owner, who closes it.
    SocketHandle Release();

private:
    SocketHandle handle_ = SocketHandle::None;
    std::uint16_t port_ = 0;
};

// Whether text is a numeric IPv4 or IPv6 address ("127.0.0.1", "::1"); names are not looked up.
bool IsNumericAddress(std::string_view text);

// A socket listening on a numeric address and port (0: any free port), taking the address
// again at once after an earlier process let go of it, with room for backlog connections not
// yet accepted; IPv6 addresses take IPv6 alone. Accepting on it does not block and it is not
// inherited by started programs. Nothing when the address is not numeric or the system refuses
// to bind or listen.
std::optional<ListeningSocket> ListenOn(std::string_view address, std::uint16_t port, int backlog);

// Ends a connection from our side (both directions) without closing its handle, which
// stays with its owner; the owner's next read or write on it fails.
void EndConnection(SocketHandle socket);

// Sends a last answer on a connection, as far as the socket takes it without waiting, then
// ends the connection as EndConnection does. True when the whole answer was handed over.
bool SendLastAnswer(SocketHandle socket, std::string_view answer);

// Sets the size of a socket's send buffer, the most the kernel holds of what is sent and not
// yet taken by the peer; connections accepted on a listening socket after the call inherit it.
// The kernel then no longer grows the buffer by itself. False when the size is refused.
bool SetSendBuffer(SocketHandle socket, int bytes);

} // namespace corvane
