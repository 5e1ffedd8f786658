// One HTTP exchange of the file-service clients over libcurl: a GET with the clients' three
// headers, no proxy, no compression asked for, our own time limits and redirect rule,
// certificates verified (with the extra authorities of update/HttpCertificates), and the status
// classes of the service.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

// Time limits of one exchange, in milliseconds: to connect, then for each pause while the
// request is being sent, then for each pause while the answer is awaited or received.
struct HttpTimeouts {
    int connect = 30000;
    int send = 30000;
    int receive = 30000;
};

// The slowest transfer an exchange accepts: one that moves fewer than bytesPerSecond on
// average for Seconds in a row fails. A server that trickles a byte now and then never meets
// the pause limits above, and would otherwise hold its caller for ever.
struct LowSpeedLimit {
    long bytesPerSecond = 1024;
    long seconds = 60;
};

// The last answer of an exchange, after redirects.
struct HttpResponse {
    int statusCode = 0;
    std::string version; // "HTTP/1.0 ", "HTTP/1.1 ", "HTTP/2.0 " or "" when unknown
    std::string reasonPhrase;
    std::string contentType;
    std::string contentEncoding;
    std::string body; // the raw bytes, unless a body writer took them

    // The version, the code and the reason phrase, e.g. "HTTP/1.1 500 Internal Server Error".
    std::string StatusText() const;
    // The body as text: gzip inflated, then decoded from the Content-Type's character set
    // (UTF-8 when none is named).
    std::string Text(size_t maxSize) const;
};

// Receives the body of an answer below 300 as it arrives; throws to end the exchange.
using BodySink = std::function<void(const char* data, size_t size)>;

class HttpClient {
public:
    static constexpr int kMaxRedirects = 5;
    static constexpr const char* kAccept = "application/json, text/plain; q=0.9, text/html;q=0.8,";
    static constexpr const char* kAcceptCharset = "UTF-8, *;q=0.8";
    static constexpr const char* kUserAgent = "Embarcadero RESTClient/1.0";

    HttpTimeouts timeouts;
    LowSpeedLimit lowSpeed;
    // A body held in memory (a listing, an error text) may not grow past this.
    size_t maxBodyInMemory = size_t{64} << 20;
    // A body handed to a writer (a downloaded file) may not grow past this.
    uint64_t maxBodyWritten = uint64_t{4} << 30;

    // Sends a GET of an encoded URL and returns the last answer, following 301, 302, 303 and
    // 307 at most kMaxRedirects times in a row. With a writer, the body of an answer below 300
    // goes to the writer and Body stays empty. Throws HttpError "REST request failed: %s"
    // when the exchange does not complete, rethrows the writer's error, and throws
    // HttpError with StatusText() for a status of 500 or above.
    HttpResponse Get(const std::string& url, const BodySink& writer = {}) const;
};

} // namespace corvane
