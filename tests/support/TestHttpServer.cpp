#include "tests/support/TestHttpServer.h"

#include "update/TextTrim.h"

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

constexpr size_t kMaxHeadSize = 64 * 1024;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

RecordedRequest ParseHead(const std::string& head) {
    RecordedRequest request;
    request.rawHead = head;
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
            request.requestLine = std::string(line);
            const size_t a = line.find(' ');
            const size_t b = line.rfind(' ');
            if (a != std::string_view::npos && b > a) {
                request.method = std::string(line.substr(0, a));
                request.target = std::string(line.substr(a + 1, b - a - 1));
                request.version = std::string(line.substr(b + 1));
            }
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        request.headers.emplace_back(std::string(line.substr(0, colon)),
                                     std::string(Trim(line.substr(colon + 1), IsSpaceOrTab)));
    }
    return request;
}

struct SSLContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

std::shared_ptr<void> MakeServerContext(const TestCertificate& certificate) {
    std::unique_ptr<SSL_CTX, SSLContextDeleter> context(SSL_CTX_new(TLS_server_method()));
    if (!context)
        throw std::runtime_error("SSL_CTX_new failed");
    auto load = [](const std::string& pem) {
        return std::unique_ptr<BIO, decltype(&BIO_free)>(
            BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    };
    auto certBio = load(certificate.certificatePem);
    std::unique_ptr<X509, decltype(&X509_free)> cert(
        PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr), &X509_free);
    auto keyBio = load(certificate.privateKeyPem);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    if (!cert || !key || SSL_CTX_use_certificate(context.get(), cert.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1)
        throw std::runtime_error("cannot load the test certificate");
    SSL_CTX* raw = context.release();
    return std::shared_ptr<void>(raw, [](void* p) { SSL_CTX_free(static_cast<SSL_CTX*>(p)); });
}

} // namespace

struct TestHttpServer::Connection {
    int socket = -1;
    SSL* tls = nullptr;
    std::thread thread;
    std::atomic<bool> done{false};

    ~Connection() {
        if (tls)
            SSL_free(tls);
        if (socket >= 0)
            ::close(socket);
    }

    ssize_t Read(char* buffer, size_t size) {
        if (tls) {
            const int got = SSL_read(tls, buffer, static_cast<int>(size));
            return got > 0 ? got : -1;
        }
        for (;;) {
            const ssize_t got = ::recv(socket, buffer, size, 0);
            if (got < 0 && errno == EINTR)
                continue;
            return got > 0 ? got : -1;
        }
    }

    bool Write(std::string_view data) {
        while (!data.empty()) {
            ssize_t sent;
            if (tls) {
                const int n = SSL_write(tls, data.data(),
                                        static_cast<int>(std::min<size_t>(data.size(), 1 << 20)));
                sent = n > 0 ? n : -1;
            } else {
                sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
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

std::vector<std::string> RecordedRequest::HeaderNames() const {
    std::vector<std::string> names;
    for (const auto& header : headers)
        names.push_back(header.first);
    return names;
}

bool RecordedRequest::HasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& header) { return EqualsNoCase(header.first, name); });
}

std::string RecordedRequest::Header(std::string_view name) const {
    for (const auto& header : headers)
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

TestAnswer TestAnswer::Make(int status, std::string body, std::string contentType) {
    TestAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    if (!contentType.empty())
        answer.headers.emplace_back("Content-Type", std::move(contentType));
    return answer;
}

TestAnswer TestAnswer::Redirect(int status, std::string location) {
    TestAnswer answer;
    answer.status = status;
    answer.headers.emplace_back("Location", std::move(location));
    return answer;
}

TestAnswer TestAnswer::Stall() {
    TestAnswer answer;
    answer.delay = std::chrono::hours(1);
    return answer;
}

TestHttpServer::TestHttpServer(TestHandler handler) : handler_(std::move(handler)) {
    Start();
}

TestHttpServer::TestHttpServer(TestHandler handler, const TestCertificate& certificate)
    : handler_(std::move(handler)), tls_(MakeServerContext(certificate)) {
    Start();
}

TestHttpServer::~TestHttpServer() {
    Stop();
}

void TestHttpServer::Start() {
    std::signal(SIGPIPE, SIG_IGN); // a TLS write to a client that left must not end the tests
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 128) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

std::string TestHttpServer::BaseURL() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

void TestHttpServer::SetHandler(TestHandler handler) {
    std::lock_guard lock(lock_);
    handler_ = std::move(handler);
}

std::vector<RecordedRequest> TestHttpServer::Requests() const {
    std::lock_guard lock(lock_);
    return requests_;
}

size_t TestHttpServer::RequestCount() const {
    std::lock_guard lock(lock_);
    return requests_.size();
}

RecordedRequest TestHttpServer::LastRequest() const {
    std::lock_guard lock(lock_);
    EXPECT_FALSE(requests_.empty()) << "the server received no request";
    return requests_.empty() ? RecordedRequest{} : requests_.back();
}

void TestHttpServer::ClearRequests() {
    std::lock_guard lock(lock_);
    requests_.clear();
}

bool TestHttpServer::WaitUnlessStopped(std::chrono::milliseconds duration) {
    std::unique_lock lock(lock_);
    return !stopSignal_.wait_for(lock, duration, [this] { return stopping_; });
}

void TestHttpServer::AcceptLoop() {
    for (;;) {
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(lock_);
        if (stopping_) {
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
        auto finished = std::remove_if(connections_.begin(), connections_.end(), [](auto& c) {
            if (!c->done)
                return false;
            c->thread.join();
            return true;
        });
        connections_.erase(finished, connections_.end());
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        const int one = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Connection& ref = *connection;
        connections_.push_back(std::move(connection));
        ref.thread = std::thread([this, &ref] {
            Serve(ref);
            ::shutdown(ref.socket, SHUT_RDWR);
            ref.done = true;
        });
    }
}

bool TestHttpServer::WriteBody(Connection& connection, std::string_view data,
                               const TestAnswer& answer) {
    if (answer.trickleBytes == 0)
        return connection.Write(data);
    while (!data.empty()) {
        if (!WaitUnlessStopped(answer.tricklePause))
            return false;
        const size_t size = std::min<size_t>(data.size(), answer.trickleBytes);
        if (!connection.Write(data.substr(0, size)))
            return false;
        data.remove_prefix(size);
    }
    return true;
}

void TestHttpServer::Serve(Connection& connection) {
    if (tls_) {
        connection.tls = SSL_new(static_cast<SSL_CTX*>(tls_.get()));
        if (!connection.tls)
            return;
        SSL_set_fd(connection.tls, connection.socket);
        if (SSL_accept(connection.tls) != 1) {
            ERR_clear_error(); // a client that refused our certificate
            return;
        }
    }

    std::string head;
    char buffer[16384];
    size_t end;
    while ((end = head.find("\r\n\r\n")) == std::string::npos) {
        if (head.size() > kMaxHeadSize)
            return;
        const ssize_t got = connection.Read(buffer, sizeof buffer);
        if (got <= 0)
            return;
        head.append(buffer, static_cast<size_t>(got));
    }
    head.resize(end + 4);

    RecordedRequest request = ParseHead(head);
    TestHandler handler;
    {
        std::lock_guard lock(lock_);
        requests_.push_back(request);
        handler = handler_;
    }
    const TestAnswer answer = handler ? handler(request) : TestAnswer::Make(404);

    if (answer.delay.count() > 0 && !WaitUnlessStopped(answer.delay))
        return;

    const std::string reason = answer.reason ? *answer.reason : StandardReason(answer.status);
    std::string out = answer.version + ' ' + std::to_string(answer.status);
    if (!reason.empty())
        out += ' ' + reason;
    out += "\r\n";
    for (const auto& [name, value] : answer.headers)
        out += name + ": " + value + "\r\n";
    const uint64_t bodySize = answer.body.size() * answer.bodyRepeat;
    if (!answer.omitContentLength && !answer.endless)
        out +=
            "Content-Length: " + std::to_string(answer.contentLength.value_or(bodySize)) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (!connection.Write(out))
        return;

    uint64_t sent = 0;
    const uint64_t stallAt = answer.stallAfterBytes.value_or(UINT64_MAX);
    for (uint64_t round = 0; answer.endless || round < answer.bodyRepeat; ++round) {
        if (answer.body.empty())
            break;
        std::string_view part = answer.body;
        if (sent + part.size() > stallAt)
            part = part.substr(0, static_cast<size_t>(stallAt - sent));
        if (!WriteBody(connection, part, answer))
            return;
        sent += part.size();
        if (sent >= stallAt) {
            WaitUnlessStopped(std::chrono::hours(1));
            return;
        }
        std::lock_guard lock(lock_);
        if (stopping_)
            return;
    }
    if (connection.tls)
        SSL_shutdown(connection.tls);
}

void TestHttpServer::Stop() {
    {
        std::lock_guard lock(lock_);
        if (stopping_)
            return;
        stopping_ = true;
    }
    stopSignal_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);
    if (acceptThread_.joinable())
        acceptThread_.join();
    ::close(listener_);
    for (auto& connection : connections_) {
        ::shutdown(connection->socket, SHUT_RDWR);
        if (connection->thread.joinable())
            connection->thread.join();
    }
    connections_.clear();
}

} // namespace corvane::test
