// Bad clients and changing files end their own exchange; the service goes on serving.
#include "tests/service/ServiceFixture.h"

#include <latch>
#include <thread>

namespace corvane::test {
namespace {

constexpr size_t kLargeSize = 32u << 20; // well over what the sockets buffer

class Robustness : public ServiceTest {
protected:
    void SetUp() override {
        WriteFile(tree_.Root() / "Morvik.exe", "morvik");
        small_ = PatternContent(16 << 10);
        WriteFile(tree_.Root() / "Bin" / "small.dll", small_);
        StartService();
    }

    // Sends a download request and reads its head and at least `atLeast` body bytes.
    // Returns the body bytes read so far; the socket stays open.
    static std::string StartDownload(int socket, std::string_view target, size_t atLeast) {
        EXPECT_TRUE(SendAll(socket, RequestText("GET", target)));
        std::string raw;
        char buffer[65536];
        size_t headEnd = std::string::npos;
        while (headEnd == std::string::npos || raw.size() - headEnd - 4 < atLeast) {
            const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            raw.append(buffer, static_cast<size_t>(got));
            if (headEnd == std::string::npos)
                headEnd = raw.find("\r\n\r\n");
        }
        EXPECT_EQ(raw.compare(0, 12, "HTTP/1.1 200"), 0);
        return headEnd == std::string::npos ? std::string() : raw.substr(headEnd + 4);
    }

    static std::string ReadRest(int socket) {
        std::string rest;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
            if (got <= 0)
                return rest;
            rest.append(buffer, static_cast<size_t>(got));
        }
    }

    std::string small_;
};

TEST_F(Robustness, AThousandConcurrentConnectionsAreAllAnswered) {
    constexpr int kConnections = 1000;
    std::vector<Socket> sockets;
    sockets.reserve(kConnections);
    for (int i = 0; i < kConnections; ++i) {
        sockets.push_back(Connect(Port()));
        ASSERT_GE(sockets.back().Get(), 0) << "connection " << i;
    }
    // Every request is out before any answer is read: all of them are open at once.
    for (int i = 0; i < kConnections; ++i) {
        const char* target = i % 2 == 0 ? "/download?file=BIN%5Csmall.dll"
                                        : "/folderlist?folder=%5C&mask=*.*&recursive=";
        ASSERT_TRUE(SendAll(sockets[i].Get(), RequestText("GET", target))) << i;
    }
    for (int i = 0; i < kConnections; ++i) {
        const HttpAnswer answer = ReadAnswer(sockets[i].Get());
        ASSERT_EQ(answer.status, 200) << "connection " << i;
        if (i % 2 == 0)
            ASSERT_EQ(answer.body, small_) << "connection " << i;
        else
            ASSERT_EQ(ListedNames(answer.body),
                      (std::vector<std::string>{"Bin\\small.dll", "Morvik.exe"}))
                << "connection " << i;
    }
}

TEST_F(Robustness, ClientsThatHangUpMidDownloadDoNotDisturbTheOthers) {
    const std::string large = PatternContent(kLargeSize);
    WriteFile(tree_.Root() / "large.bin", large);
    constexpr int kHangUps = 16;
    std::latch start(2);
    std::vector<std::string> whole;
    std::thread patient([&] {
        start.arrive_and_wait();
        for (int i = 0; i < 3; ++i)
            whole.push_back(Get(Port(), "/download?file=large.bin").body);
    });
    start.arrive_and_wait();
    for (int i = 0; i < kHangUps; ++i) {
        Socket socket = Connect(Port());
        ASSERT_GE(socket.Get(), 0);
        const std::string head = StartDownload(socket.Get(), "/download?file=large.bin", 65536);
        ASSERT_EQ(head.compare(0, head.size(), large, 0, head.size()), 0);
        if (i % 2 == 0) {
            linger reset{1, 0}; // a reset rather than an orderly close
            ::setsockopt(socket.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
    }
    patient.join();
    ASSERT_EQ(whole.size(), 3u);
    for (const std::string& body : whole)
        EXPECT_TRUE(body == large) << "a whole download came back with " << body.size() << " bytes";
    EXPECT_TRUE(log_.WaitFor("GET /download?file=large.bin 200 33554432 ", kHangUps + 3));
    EXPECT_EQ(service_->Contents().HeldBytes(), 0u); // sent from disk, never held in memory
    EXPECT_TRUE(log_.WaitFor(" interrompida", kHangUps));
    EXPECT_EQ(Get(Port(), "/download?file=Morvik.exe").body, "morvik");
}

TEST_F(Robustness, AFileDeletedWhileServedIsSentWholeAndThenIsGone) {
    const std::string large = PatternContent(kLargeSize);
    WriteFile(tree_.Root() / "large.bin", large);
    Socket socket = Connect(Port());
    std::string body = StartDownload(socket.Get(), "/download?file=large.bin", 1 << 20);
    fs::remove(tree_.Root() / "large.bin");
    body += ReadRest(socket.Get());
    EXPECT_TRUE(body == large) << "got " << body.size() << " bytes";
    EXPECT_EQ(Get(Port(), "/download?file=large.bin").status, 404);
}

TEST_F(Robustness, AFileCutShortWhileServedEndsOnlyThatExchange) {
    WriteFile(tree_.Root() / "large.bin", PatternContent(kLargeSize));
    Socket socket = Connect(Port());
    // Shorter than the service's idle limit (120 s): a stalled exchange shows as EAGAIN.
    timeval patience{60, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    std::string body = StartDownload(socket.Get(), "/download?file=large.bin", 1 << 20);
    fs::resize_file(tree_.Root() / "large.bin", 0);
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::recv(socket.Get(), buffer, sizeof buffer, 0)) > 0)
        body.append(buffer, static_cast<size_t>(got));
    const int error = got < 0 ? errno : 0;
    EXPECT_TRUE(error == 0 || error == ECONNRESET) << "the exchange stalled: " << error;
    EXPECT_LT(body.size(), kLargeSize);
    EXPECT_EQ(Get(Port(), "/download?file=Morvik.exe").body, "morvik");
}

TEST_F(Robustness, AQueryOneMegabyteLongIsRefused) {
    for (const char* resource : {"/folderlist?folder=", "/download?file="}) {
        const std::string target = resource + std::string(1 << 20, 'a');
        const HttpAnswer answer = Get(Port(), target);
        EXPECT_NE(answer.status, 200) << resource;
        EXPECT_LT(answer.body.size(), 4096u) << resource;
    }
    EXPECT_EQ(Get(Port(), "/download?file=Morvik.exe").body, "morvik");
}

struct BadLengthCase {
    const char* contentLength;
    int status;
    friend void PrintTo(const BadLengthCase& c, std::ostream* os) {
        *os << ::testing::PrintToString(std::string(c.contentLength));
    }
};

class BadContentLength : public Robustness, public ::testing::WithParamInterface<BadLengthCase> {};

// A request whose Content-Length cannot be read gets one answer, and the connection ends
// with it: the request sent behind it on the same connection is not answered.
TEST_P(BadContentLength, IsAnsweredOnceAndTheConnectionEnds) {
    const BadLengthCase& c = GetParam();
    Socket socket = Connect(Port());
    ASSERT_GE(socket.Get(), 0);
    const std::string bad = std::string("GET /download?file=Morvik.exe HTTP/1.1\r\n"
                                        "Host: 127.0.0.1\r\nContent-Length: ") +
                            c.contentLength + "\r\n\r\n";
    const std::string next = "GET /download?file=Morvik.exe HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_TRUE(SendAll(socket.Get(), bad + next));
    std::string raw;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::recv(socket.Get(), buffer, sizeof buffer, 0)) > 0)
        raw.append(buffer, static_cast<size_t>(got));
    EXPECT_TRUE(got == 0 || errno == ECONNRESET) << "the connection stayed open: " << errno;

    const std::string status = "HTTP/1.1 " + std::to_string(c.status) + " ";
    ASSERT_EQ(raw.compare(0, status.size(), status), 0) << raw;
    EXPECT_EQ(raw.find("HTTP/1.1 ", 1), std::string::npos) << "more than one answer:\n" << raw;
    const size_t headEnd = raw.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos) << raw;
    const std::string head = raw.substr(0, headEnd);
    const size_t length = head.find("\r\nContent-Length: ");
    ASSERT_NE(length, std::string::npos) << head;
    const std::string body = raw.substr(headEnd + 4);
    EXPECT_EQ(std::stoul(head.substr(length + 18)), body.size()) << raw;
    EXPECT_NE(head.find("\r\nConnection: close"), std::string::npos) << head;
    EXPECT_TRUE(IsErrorObject(body, c.status)) << body;
    EXPECT_TRUE(log_.WaitFor("/download?file=Morvik.exe " + std::to_string(c.status) + " "));
    EXPECT_EQ(Get(Port(), "/download?file=Morvik.exe").body, "morvik");
}

INSTANTIATE_TEST_SUITE_P(Malformed, BadContentLength,
                         ::testing::Values(BadLengthCase{"-1", 400}, BadLengthCase{"abc", 400},
                                           BadLengthCase{"", 400}, BadLengthCase{"1 2", 400},
                                           // 2^64, and a number far past it
                                           BadLengthCase{"18446744073709551616", 413},
                                           BadLengthCase{"99999999999999999999999", 413}));

class HeadLimit : public ServiceTest {
protected:
    static constexpr std::chrono::seconds kLimit{2};
    void SetUp() override {
        WriteFile(tree_.Root() / "Morvik.exe", "morvik");
        StartService(kLimit);
    }
};

// The limit runs from the connection's start, not from its last byte: a head sent a byte at
// a time, never silent for long, is cut all the same.
TEST_F(HeadLimit, AHeadTrickledInIsCutAtTheLimit) {
    using namespace std::chrono_literals;
    Socket socket = Connect(Port());
    ASSERT_GE(socket.Get(), 0);
    const std::string head = "GET /download?file=Morvik.exe HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                             "X-Filler: " +
                             std::string(200, 'x');
    const auto start = std::chrono::steady_clock::now();
    bool ended = false;
    for (size_t sent = 0; sent < head.size() && !ended; ++sent) {
        std::this_thread::sleep_for(100ms); // the trickle itself, not a wait for the service
        char byte = 0;
        const ssize_t got = ::recv(socket.Get(), &byte, 1, MSG_DONTWAIT);
        ended = got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) ||
                ::send(socket.Get(), head.data() + sent, 1, MSG_NOSIGNAL) != 1;
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(ended) << "the head took " << head.size() / 10 << " s and was never cut";
    EXPECT_GE(elapsed, kLimit);
    EXPECT_LT(elapsed, kLimit + 3s);
    EXPECT_EQ(Get(Port(), "/download?file=Morvik.exe").body, "morvik");
}

} // namespace
} // namespace corvane::test
