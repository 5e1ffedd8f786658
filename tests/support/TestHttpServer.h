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

using THeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as the server received it.
struct TRecordedRequest {
    std::string RequestLine; // e.g. "GET /folderlist?folder=%5C HTTP/1.1"
    std::string Method;
    std::string Target;
    std::string Version;
    THeaderList Headers; // in order, names as sent
    std::string RawHead; // every byte up to and including the empty line

    // The header names in order, as sent.
    std::vector<std::string> HeaderNames() const;
    bool HasHeader(std::string_view name) const;     // name compared without case
    std::string Header(std::string_view name) const; // "" when absent
};

// What the server sends back for one request.
struct TTestAnswer {
    int Status = 200;
    // The reason phrase; when unset, the usual phrase of the status. An empty text sends a
    // status line without a phrase ("HTTP/1.1 500").
    std::optional<std::string> Reason;
    std::string Version = "HTTP/1.1";
    THeaderList Headers;
    std::string Body;
    uint64_t BodyRepeat = 1; // the body is sent this many times
    bool Endless = false;    // the body is repeated until the client goes away
    // The Content-Length sent; by default the body's length. A larger value makes a
    // truncated answer: the body is sent, then the connection is closed.
    std::optional<uint64_t> ContentLength;
    bool OmitContentLength = false; // the body then ends when the connection closes
    // A pause before the status line; cut short only when the server stops.
    std::chrono::milliseconds Delay{0};
    // After this many body bytes the server stops sending until it is stopped itself.
    std::optional<uint64_t> StallAfterBytes;
    // A slow link: the body goes out TrickleBytes at a time, each part after TricklePause.
    size_t TrickleBytes = 0;
    std::chrono::milliseconds TricklePause{0};

    static TTestAnswer Make(int status, std::string body = {}, std::string contentType = {});
    static TTestAnswer Redirect(int status, std::string location);
    // A pause longer than any test waits: the client's time limit has to end it.
    static TTestAnswer Stall();
};

using TTestHandler = std::function<TTestAnswer(const TRecordedRequest&)>;

// The usual reason phrase of a status code ("" when unknown).
std::string StandardReason(int status);

class TTestHTTPServer {
public:
    // Plain HTTP.
    explicit TTestHTTPServer(TTestHandler handler);
    // HTTPS with the given certificate and key.
    TTestHTTPServer(TTestHandler handler, const TTestCertificate& certificate);
    ~TTestHTTPServer();
    TTestHTTPServer(const TTestHTTPServer&) = delete;
    TTestHTTPServer& operator=(const TTestHTTPServer&) = delete;

    int Port() const { return FPort; }
    // "http://127.0.0.1:PORT" or "https://127.0.0.1:PORT".
    std::string BaseURL() const;

    void SetHandler(TTestHandler handler);
    std::vector<TRecordedRequest> Requests() const;
    size_t RequestCount() const;
    // The last request; fails the test when there was none.
    TRecordedRequest LastRequest() const;
    void ClearRequests();

    // Ends every pause and connection and waits for the server's threads.
    void Stop();

private:
    struct TConnection;
    void Start();
    void AcceptLoop();
    void Serve(TConnection& connection);
    bool WriteBody(TConnection& connection, std::string_view data, const TTestAnswer& answer);
    bool WaitUnlessStopped(std::chrono::milliseconds duration);

    mutable std::mutex FLock;
    std::condition_variable FStopSignal;
    bool FStopping = false;
    TTestHandler FHandler;
    std::vector<TRecordedRequest> FRequests;
    std::vector<std::unique_ptr<TConnection>> FConnections;
    std::shared_ptr<void> FTLS; // SSL_CTX, when serving HTTPS
    int FListener = -1;
    int FPort = 0;
    std::thread FAcceptThread;
};

} // namespace corvane::test
