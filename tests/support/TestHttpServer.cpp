#include "tests/support/TestHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::test {

namespace {

constexpr size_t MaxHeadSize = 64 * 1024;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

TRecordedRequest ParseHead(const std::string& head) {
    TRecordedRequest request;
    request.RawHead = head;
    size_t lineStart = 0;
    bool first = true;
    while (lineStart < head.size()) {
        size_t lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = head.size();
        const std::string_view line(head.data() + lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (line.empty())
            break;
        if (first) {
            first = false;
            request.RequestLine = std::string(line);
            const size_t a = line.find(' ');
            const size_t b = line.rfind(' ');
            if (a != std::string_view::npos && b > a) {
                request.Method = std::string(line.substr(0, a));
                request.Target = std::string(line.substr(a + 1, b - a - 1));
                request.Version = std::string(line.substr(b + 1));
            }
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        request.Headers.emplace_back(std::string(line.substr(0, colon)),
                                     std::string(Trim(line.substr(colon + 1))));
    }
    return request;
}

struct SSLContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

std::shared_ptr<void> MakeServerContext(const TTestCertificate& certificate) {
    std::unique_ptr<SSL_CTX, SSLContextDeleter> context(SSL_CTX_new(TLS_server_method()));
    if (!context)
        throw std::runtime_error("SSL_CTX_new failed");
    auto load = [](const std::string& pem) {
        return std::unique_ptr<BIO, decltype(&BIO_free)>(
            BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    };
    auto certBio = load(certificate.CertificatePEM);
    std::unique_ptr<X509, decltype(&X509_free)> cert(
        PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr), &X509_free);
    auto keyBio = load(certificate.PrivateKeyPEM);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    if (!cert || !key || SSL_CTX_use_certificate(context.get(), cert.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1)
        throw std::runtime_error("cannot load the test certificate");
    SSL_CTX* raw = context.release();
    return std::shared_ptr<void>(raw, [](void* p) { SSL_CTX_free(static_cast<SSL_CTX*>(p)); });
}

} // namespace

struct TTestHTTPServer::TConnection {
    int Socket = -1;
    SSL* TLS = nullptr;
    std::thread Thread;
    std::atomic<bool> Done{false};

    ~TConnection() {
        if (TLS)
            SSL_free(TLS);
        if (Socket >= 0)
            ::close(Socket);
    }

    ssize_t Read(char* buffer, size_t size) {
        if (TLS) {
            const int got = SSL_read(TLS, buffer, static_cast<int>(size));
            return got > 0 ? got : -1;
        }
        for (;;) {
            const ssize_t got = ::recv(Socket, buffer, size, 0);
            if (got < 0 && errno == EINTR)
                continue;
            return got > 0 ? got : -1;
        }
    }

    bool Write(std::string_view data) {
        while (!data.empty()) {
            ssize_t sent;
            if (TLS) {
                const int n = SSL_write(TLS, data.data(),
                                        static_cast<int>(std::min<size_t>(data.size(), 1 << 20)));
                sent = n > 0 ? n : -1;
            } else {
                sent = ::send(Socket, data.data(), data.size(), MSG_NOSIGNAL);
                if (sent < 0 && errno == EINTR)
                    continue;
            }
            if (sent <= 0)
                return false;
            data.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }
};

std::vector<std::string> TRecordedRequest::HeaderNames() const {
    std::vector<std::string> names;
    for (const auto& header : Headers)
        names.push_back(header.first);
    return names;
}

bool TRecordedRequest::HasHeader(std::string_view name) const {
    return std::any_of(Headers.begin(), Headers.end(),
                       [&](const auto& header) { return EqualsNoCase(header.first, name); });
}

std::string TRecordedRequest::Header(std::string_view name) const {
    for (const auto& header : Headers)
        if (EqualsNoCase(header.first, name))
            return header.second;
    return {};
}

std::string StandardReason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 300:
        return "Multiple Choices";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 410:
        return "Gone";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return {};
    }
}

TTestAnswer TTestAnswer::Make(int status, std::string body, std::string contentType) {
    TTestAnswer answer;
    answer.Status = status;
    answer.Body = std::move(body);
    if (!contentType.empty())
        answer.Headers.emplace_back("Content-Type", std::move(contentType));
    return answer;
}

TTestAnswer TTestAnswer::Redirect(int status, std::string location) {
    TTestAnswer answer;
    answer.Status = status;
    answer.Headers.emplace_back("Location", std::move(location));
    return answer;
}

TTestAnswer TTestAnswer::Stall() {
    TTestAnswer answer;
    answer.Delay = std::chrono::hours(1);
    return answer;
}

TTestHTTPServer::TTestHTTPServer(TTestHandler handler) : FHandler(std::move(handler)) {
    Start();
}

TTestHTTPServer::TTestHTTPServer(TTestHandler handler, const TTestCertificate& certificate)
    : FHandler(std::move(handler)), FTLS(MakeServerContext(certificate)) {
    Start();
}

TTestHTTPServer::~TTestHTTPServer() {
    Stop();
}

void TTestHTTPServer::Start() {
    std::signal(SIGPIPE, SIG_IGN); // a TLS write to a client that left must not end the tests
    FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FListener < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(FListener, 128) != 0 ||
        ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(FListener);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    FPort = ntohs(address.sin_port);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

std::string TTestHTTPServer::BaseURL() const {
    return std::string(FTLS ? "https" : "http") + "://127.0.0.1:" + std::to_string(FPort);
}

void TTestHTTPServer::SetHandler(TTestHandler handler) {
    std::lock_guard lock(FLock);
    FHandler = std::move(handler);
}

std::vector<TRecordedRequest> TTestHTTPServer::Requests() const {
    std::lock_guard lock(FLock);
    return FRequests;
}

size_t TTestHTTPServer::RequestCount() const {
    std::lock_guard lock(FLock);
    return FRequests.size();
}

TRecordedRequest TTestHTTPServer::LastRequest() const {
    std::lock_guard lock(FLock);
    EXPECT_FALSE(FRequests.empty()) << "the server received no request";
    return FRequests.empty() ? TRecordedRequest{} : FRequests.back();
}

void TTestHTTPServer::ClearRequests() {
    std::lock_guard lock(FLock);
    FRequests.clear();
}

bool TTestHTTPServer::WaitUnlessStopped(std::chrono::milliseconds duration) {
    std::unique_lock lock(FLock);
    return !FStopSignal.wait_for(lock, duration, [this] { return FStopping; });
}

void TTestHTTPServer::AcceptLoop() {
    for (;;) {
        const int socket = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(FLock);
        if (FStopping) {
            if (socket >= 0)
                ::close(socket);
            return;
        }
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        // Threads of finished connections are joined here, so a long benchmark keeps few.
        auto finished = std::remove_if(FConnections.begin(), FConnections.end(), [](auto& c) {
            if (!c->Done)
                return false;
            c->Thread.join();
            return true;
        });
        FConnections.erase(finished, FConnections.end());
        auto connection = std::make_unique<TConnection>();
        connection->Socket = socket;
        const int one = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        TConnection& ref = *connection;
        FConnections.push_back(std::move(connection));
        ref.Thread = std::thread([this, &ref] {
            Serve(ref);
            ::shutdown(ref.Socket, SHUT_RDWR);
            ref.Done = true;
        });
    }
}

bool TTestHTTPServer::WriteBody(TConnection& connection, std::string_view data,
                                const TTestAnswer& answer) {
    if (answer.TrickleBytes == 0)
        return connection.Write(data);
    while (!data.empty()) {
        if (!WaitUnlessStopped(answer.TricklePause))
            return false;
        const size_t size = std::min<size_t>(data.size(), answer.TrickleBytes);
        if (!connection.Write(data.substr(0, size)))
            return false;
        data.remove_prefix(size);
    }
    return true;
}

void TTestHTTPServer::Serve(TConnection& connection) {
    if (FTLS) {
        connection.TLS = SSL_new(static_cast<SSL_CTX*>(FTLS.get()));
        if (!connection.TLS)
            return;
        SSL_set_fd(connection.TLS, connection.Socket);
        if (SSL_accept(connection.TLS) != 1) {
            ERR_clear_error(); // a client that refused our certificate
            return;
        }
    }

    std::string head;
    char buffer[16384];
    size_t end;
    while ((end = head.find("\r\n\r\n")) == std::string::npos) {
        if (head.size() > MaxHeadSize)
            return;
        const ssize_t got = connection.Read(buffer, sizeof buffer);
        if (got <= 0)
            return;
        head.append(buffer, static_cast<size_t>(got));
    }
    head.resize(end + 4);

    TRecordedRequest request = ParseHead(head);
    TTestHandler handler;
    {
        std::lock_guard lock(FLock);
        FRequests.push_back(request);
        handler = FHandler;
    }
    const TTestAnswer answer = handler ? handler(request) : TTestAnswer::Make(404);

    if (answer.Delay.count() > 0 && !WaitUnlessStopped(answer.Delay))
        return;

    const std::string reason = answer.Reason ? *answer.Reason : StandardReason(answer.Status);
    std::string out = answer.Version + ' ' + std::to_string(answer.Status);
    if (!reason.empty())
        out += ' ' + reason;
    out += "\r\n";
    for (const auto& [name, value] : answer.Headers)
        out += name + ": " + value + "\r\n";
    const uint64_t bodySize = answer.Body.size() * answer.BodyRepeat;
    if (!answer.OmitContentLength && !answer.Endless)
        out +=
            "Content-Length: " + std::to_string(answer.ContentLength.value_or(bodySize)) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (!connection.Write(out))
        return;

    uint64_t sent = 0;
    const uint64_t stallAt = answer.StallAfterBytes.value_or(UINT64_MAX);
    for (uint64_t round = 0; answer.Endless || round < answer.BodyRepeat; ++round) {
        if (answer.Body.empty())
            break;
        std::string_view part = answer.Body;
        if (sent + part.size() > stallAt)
            part = part.substr(0, static_cast<size_t>(stallAt - sent));
        if (!WriteBody(connection, part, answer))
            return;
        sent += part.size();
        if (sent >= stallAt) {
            WaitUnlessStopped(std::chrono::hours(1));
            return;
        }
        std::lock_guard lock(FLock);
        if (FStopping)
            return;
    }
    if (connection.TLS)
        SSL_shutdown(connection.TLS);
}

void TTestHTTPServer::Stop() {
    {
        std::lock_guard lock(FLock);
        if (FStopping)
            return;
        FStopping = true;
    }
    FStopSignal.notify_all();
    ::shutdown(FListener, SHUT_RDWR);
    if (FAcceptThread.joinable())
        FAcceptThread.join();
    ::close(FListener);
    for (auto& connection : FConnections) {
        ::shutdown(connection->Socket, SHUT_RDWR);
        if (connection->Thread.joinable())
            connection->Thread.join();
    }
    FConnections.clear();
}

} // namespace corvane::test
