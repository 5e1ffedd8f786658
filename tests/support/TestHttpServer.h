// A scripted HTTP server for tests: it listens on 127.0.0.1 on an ephemeral port inside the
// test process, records every request exactly as it arrived, and answers whatever the test
// scripts, down to the bytes on the wire: any status line and reason phrase (or none), any
// headers and body, a Content-Length larger than the body followed by a close, a body that
// never ends, a pause before answering or in the middle of the body, a body that trickles.
// With a certificate it speaks HTTPS.
#pragma once

#include "tests/support/TestCertificate.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace corvane::test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as the server received it.
struct RecordedRequest {
    std::string requestLine; // e.g. "GET /folderlist?folder=%5C HTTP/1.1"
    std::string method;
    std::string target;
    std::string version;
    HeaderList headers;  // in order, names as sent
    std::string rawHead; // every byte up to and including the empty line

    // The header names in order, as sent.
    std::vector<std::string> HeaderNames() const;
    bool HasHeader(std::string_view name) const;     // name compared without case
    std::string Header(std::string_view name) const; // "" when absent
};

// What the server sends back for one request.
struct TestAnswer {
    int status = 200;
    // The reason phrase; when unset, the usual phrase of the status. An empty text sends a
    // status line without a phrase ("HTTP/1.1 500").
    std::optional<std::string> reason;
    std::string version = "HTTP/1.1";
    HeaderList headers;
    std::string body;
    uint64_t bodyRepeat = 1; // the body is sent this many times
    bool endless = false;    // the body is repeated until the client goes away
    // The Content-Length sent; by default the body's length. A larger value makes a
    // truncated answer: the body is sent, then the connection is closed.
    std::optional<uint64_t> contentLength;
    bool omitContentLength = false; // the body then ends when the connection closes
    // A pause before the status line; cut short only when the server stops.
    std::chrono::milliseconds delay{0};
    // After this many body bytes the server stops sending until it is stopped itself.
    std::optional<uint64_t> stallAfterBytes;
    // A slow link: the body goes out trickleBytes at a time, each part after tricklePause.
    size_t trickleBytes = 0;
    std::chrono::milliseconds tricklePause{0};

    static TestAnswer Make(int status, std::string body = {}, std::string contentType = {});
    static TestAnswer Redirect(int status, std::string location);
    // A pause longer than any test waits: the client's time limit has to end it.
    static TestAnswer Stall();
};

using TestHandler = std::function<TestAnswer(const RecordedRequest&)>;

// The usual reason phrase of a status code ("" when unknown).
std::string StandardReason(int status);

class TestHttpServer {
public:
    // Plain HTTP.
    explicit TestHttpServer(TestHandler handler);
    // HTTPS with the given certificate and key.
    TestHttpServer(TestHandler handler, const TestCertificate& certificate);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:PORT" or "https://127.0.0.1:PORT".
    std::string BaseURL() const;

    void SetHandler(TestHandler handler);
    std::vector<RecordedRequest> Requests() const;
    size_t RequestCount() const;
    // The last request; fails the test when there was none.
    RecordedRequest LastRequest() const;
    void ClearRequests();

    // Ends every pause and connection and waits for the server's threads.
    void Stop();

private:
    struct Connection;
    void Start();
    void AcceptLoop();
    void Serve(Connection& connection);
    bool WriteBody(Connection& connection, std::string_view data, const TestAnswer& answer);
    bool WaitUnlessStopped(std::chrono::milliseconds duration);

    mutable std::mutex lock_;
    std::condition_variable stopSignal_;
    bool stopping_ = false;
    TestHandler handler_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::shared_ptr<void> tls_; // SSL_CTX, when serving HTTPS
    int listener_ = -1;
    int port_ = 0;
    std::thread acceptThread_;
};

} // namespace corvane::test
