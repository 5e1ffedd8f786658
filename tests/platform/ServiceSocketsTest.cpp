#include "platform/ServiceSockets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane {
namespace {

struct AddressCase {
    const char* text;
    bool numeric;
    friend void PrintTo(const AddressCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class NumericAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(NumericAddress, OnlyNumericIpv4AndIpv6AddressesAreTaken) {
    EXPECT_EQ(IsNumericAddress(GetParam().text), GetParam().numeric);
}

INSTANTIATE_TEST_SUITE_P(
    ServiceSockets, NumericAddress,
    ::testing::Values(AddressCase{"127.0.0.1", true}, AddressCase{"0.0.0.0", true},
                      AddressCase{"::1", true}, AddressCase{"::", true},
                      AddressCase{"fe80::1:2", true}, AddressCase{"localhost", false},
                      AddressCase{"servidor", false}, AddressCase{"", false},
                      AddressCase{"127.0.0.1:8080", false}, AddressCase{"[::1]", false},
                      AddressCase{"256.0.0.1", false}, AddressCase{"127.0.0.1 ", false}));

// Connects to the port on the address; true when the connection is taken.
bool Connects(int family, const char* address, std::uint16_t port) {
    const int socket = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    bool connected = false;
    if (family == AF_INET) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &to.sin_addr);
        connected = ::connect(socket, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    } else {
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        to.sin6_port = htons(port);
        ::inet_pton(AF_INET6, address, &to.sin6_addr);
        connected = ::connect(socket, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ::close(socket);
    return connected;
}

TEST(ListenOn, PortZeroListensOnAFreePortAndTellsIt) {
    std::optional<ListeningSocket> listening = ListenOn("127.0.0.1", 0, 16);
    ASSERT_TRUE(listening);
    ASSERT_NE(listening->Handle(), SocketHandle::None);
    EXPECT_NE(listening->Port(), 0);
    EXPECT_TRUE(Connects(AF_INET, "127.0.0.1", listening->Port()));
}

TEST(ListenOn, AnIpv6AddressListensOnIpv6) {
    std::optional<ListeningSocket> listening = ListenOn("::1", 0, 16);
    if (!listening)
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    EXPECT_TRUE(Connects(AF_INET6, "::1", listening->Port()));
}

TEST(ListenOn, ANameOrAPortInUseIsRefused) {
    EXPECT_FALSE(ListenOn("localhost", 0, 16));
    std::optional<ListeningSocket> first = ListenOn("127.0.0.1", 0, 16);
    ASSERT_TRUE(first);
    EXPECT_FALSE(ListenOn("127.0.0.1", first->Port(), 16));
}

TEST(ListenOn, TheSocketClosesWithItsOwnerAndNotOnceReleased) {
    std::uint16_t port = 0;
    {
        std::optional<ListeningSocket> listening = ListenOn("127.0.0.1", 0, 16);
        ASSERT_TRUE(listening);
        port = listening->Port();
    }
    EXPECT_FALSE(Connects(AF_INET, "127.0.0.1", port));

    int released = -1;
    {
        std::optional<ListeningSocket> listening = ListenOn("127.0.0.1", 0, 16);
        ASSERT_TRUE(listening);
        port = listening->Port();
        released = static_cast<int>(listening->Release());
        EXPECT_EQ(listening->Handle(), SocketHandle::None);
    }
    EXPECT_TRUE(Connects(AF_INET, "127.0.0.1", port));
    ::close(released);
}

} // namespace
} // namespace corvane
