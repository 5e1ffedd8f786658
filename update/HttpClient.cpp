#include "update/HttpClient.h"

#include "platform/Unicode.h"
#include "update/Errors.h"
#include "update/HttpCertificates.h"
#include "update/HttpText.h"
#include "update/TextTrim.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <exception>
#include <memory>

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kReceiveBufferSize = 256 * 1024;

void InitCurlOnce() {
    static const CURLcode kResult = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (kResult != CURLE_OK)
        throw HttpError(std::string("REST request failed: ") + curl_easy_strerror(kResult));
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

bool IsSpaceOrLineEnd(char c) {
    return IsSpaceOrTab(c) || c == '\r' || c == '\n';
}

// A header line as the transfer hands it over still ends in its line end.
std::string_view TrimLine(std::string_view text) {
    return TrimEnd(TrimStart(text, IsSpaceOrTab), IsSpaceOrLineEnd);
}

// Reason phrases are ASCII as a rule; bytes that are not UTF-8 are read as ISO-8859-1, the
// historical character set of HTTP headers.
std::string ReasonText(std::string_view raw) {
    if (IsValidUtf8(raw))
        return std::string(raw);
    std::string out;
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

bool IsRedirectStatus(int code) {
    return code == 301 || code == 302 || code == 303 || code == 307;
}

// State shared with libcurl's callbacks during one exchange.
struct Transfer {
    HttpResponse response;
    const BodySink* writer = nullptr;
    size_t maxBodyInMemory = 0;
    uint64_t maxBodyWritten = 0;
    uint64_t written = 0;
    bool hasLocation = false;
    uint64_t declaredLength = 0; // Content-Length, 0 when absent
    bool connected = false;
    bool requestSent = false;
    bool stoppedAfterStatus = false; // the body was not needed and the transfer was ended
    Clock::time_point lastActivity = Clock::now();
    std::string failure; // our own reason to end the transfer
    std::exception_ptr writerError;
    std::shared_ptr<const ExtraCaStore> authorities;

    void BeginHop() {
        response = HttpResponse{};
        hasLocation = false;
        declaredLength = 0;
        connected = false;
        requestSent = false;
        stoppedAfterStatus = false;
        written = 0;
        lastActivity = Clock::now();
    }

    bool BodyGoesToWriter() const { return writer && *writer && response.statusCode < 300; }
    bool BodyNotNeeded() const {
        return response.statusCode >= 500 || (IsRedirectStatus(response.statusCode) && hasLocation);
    }
};

std::string TooLarge(uint64_t limit) {
    return "The answer is larger than " + std::to_string(limit) + " bytes";
}

void ParseStatusLine(std::string_view line, HttpResponse& response) {
    // HTTP/1.1 404 Not Found
    const size_t space = line.find(' ');
    std::string_view rest =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    int code = 0;
    size_t i = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && i < 3)
        code = code * 10 + (rest[i++] - '0');
    response.statusCode = code;
    rest.remove_prefix(i);
    if (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    response.reasonPhrase = ReasonText(TrimLine(rest));
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t length = size * count;
    t.lastActivity = Clock::now();
    const std::string_view line(data, length);
    if (StartsWithNoCase(line, "HTTP/")) {
        // A new status line: an interim answer ended, or a new one begins.
        t.response = HttpResponse{};
        t.hasLocation = false;
        t.declaredLength = 0;
        ParseStatusLine(TrimLine(line), t.response);
        return length;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return length;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = TrimLine(line.substr(colon + 1));
    if (StartsWithNoCase(name, "content-type") && name.size() == 12)
        t.response.contentType = std::string(value);
    else if (StartsWithNoCase(name, "content-encoding") && name.size() == 16)
        t.response.contentEncoding = std::string(value);
    else if (StartsWithNoCase(name, "location") && name.size() == 8)
        t.hasLocation = !value.empty();
    else if (StartsWithNoCase(name, "content-length") && name.size() == 14)
        t.declaredLength = std::strtoull(std::string(value).c_str(), nullptr, 10);
    return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t length = size * count;
    t.lastActivity = Clock::now();
    if (t.BodyNotNeeded()) {
        t.stoppedAfterStatus = true;
        return CURL_WRITEFUNC_ERROR;
    }
    if (t.BodyGoesToWriter()) {
        // A body announced larger than the limit is refused before anything is written.
        if (t.written == 0 && t.declaredLength > t.maxBodyWritten) {
            t.failure = TooLarge(t.maxBodyWritten);
            return CURL_WRITEFUNC_ERROR;
        }
        t.written += length;
        if (t.written > t.maxBodyWritten) {
            t.failure = TooLarge(t.maxBodyWritten);
            return CURL_WRITEFUNC_ERROR;
        }
        try {
            (*t.writer)(data, length);
        } catch (...) {
            t.writerError = std::current_exception();
            return CURL_WRITEFUNC_ERROR;
        }
        return length;
    }
    if (t.response.body.size() + length > t.maxBodyInMemory ||
        (t.response.body.empty() && t.declaredLength > t.maxBodyInMemory)) {
        t.failure = TooLarge(t.maxBodyInMemory);
        return CURL_WRITEFUNC_ERROR;
    }
    t.response.body.append(data, length);
    return length;
}

int OnConnected(void* user, char*, char*, int, int) {
    auto& t = *static_cast<Transfer*>(user);
    t.connected = true;
    t.lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

// Only used to learn when the request has left, which starts the receive time limit.
int OnDebug(CURL*, curl_infotype type, char*, size_t, void* user) {
    if (type == CURLINFO_HEADER_OUT) {
        auto& t = *static_cast<Transfer*>(user);
        t.requestSent = true;
        t.lastActivity = Clock::now();
    }
    return 0;
}

CURLcode OnSSLContext(CURL*, void* sslContext, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    if (t.authorities)
        t.authorities->AddToContext(sslContext);
    return CURLE_OK;
}

[[noreturn]] void Fail(const std::string& reason) {
    throw HttpError("REST request failed: " + reason);
}

template <typename T> void SetOption(CURL* easy, CURLoption option, T value) {
    const CURLcode result = curl_easy_setopt(easy, option, value);
    if (result != CURLE_OK)
        Fail(curl_easy_strerror(result));
}

std::string SchemeOf(std::string_view url) {
    const size_t end = url.find("://");
    std::string scheme(url.substr(0, end == std::string_view::npos ? 0 : end));
    for (char& c : scheme)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return scheme;
}

// Keeps an easy handle in a multi handle for the length of one transfer.
class Attached {
public:
    Attached(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
        if (curl_multi_add_handle(multi_, easy_) != CURLM_OK)
            Fail("cannot start the transfer");
    }
    ~Attached() { curl_multi_remove_handle(multi_, easy_); }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;

private:
    CURLM* multi_;
    CURL* easy_;
};

// Runs one request to its end and returns libcurl's result. Our own time limits apply once
// the connection stands (libcurl enforces the connect limit): the send limit until the
// request has left, then the receive limit, each to a pause without any byte moving.
CURLcode RunTransfer(CURLM* multi, CURL* easy, Transfer& transfer, const HttpTimeouts& limits) {
    Attached attached(multi, easy);
    int running = 1;
    while (running) {
        const CURLMcode step = curl_multi_perform(multi, &running);
        if (step != CURLM_OK)
            Fail(curl_multi_strerror(step));
        if (!running)
            break;
        int waitMs = 1000; // libcurl's own timers (the connect limit) shorten the wait
        if (transfer.connected) {
            const int limit = transfer.requestSent ? limits.receive : limits.send;
            const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  Clock::now() - transfer.lastActivity)
                                  .count();
            if (idle >= limit)
                Fail(std::string("The operation timed out: nothing ") +
                     (transfer.requestSent ? "received" : "sent") + " for " +
                     std::to_string(limit) + " ms");
            waitMs = static_cast<int>(std::min<long long>(waitMs, limit - idle));
        }
        const CURLMcode wait = curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
        if (wait != CURLM_OK)
            Fail(curl_multi_strerror(wait));
    }
    CURLcode result = CURLE_OK;
    int pending = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &pending))
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            result = message->data.result;
    return result;
}

} // namespace

std::string HttpResponse::StatusText() const {
    return version + std::to_string(statusCode) + ' ' + reasonPhrase;
}

std::string HttpResponse::Text(size_t maxSize) const {
    return DecodeBodyText(body, contentType, contentEncoding, maxSize);
}

HttpResponse HttpClient::Get(const std::string& url, const BodySink& writer) const {
    InitCurlOnce();
    EasyHandle easy(curl_easy_init());
    MultiHandle multi(curl_multi_init());
    if (!easy || !multi)
        Fail("out of memory");

    Transfer transfer;
    transfer.writer = &writer;
    transfer.maxBodyInMemory = maxBodyInMemory;
    transfer.maxBodyWritten = maxBodyWritten;
    char errorText[CURL_ERROR_SIZE] = {};

    HeaderList headers;
    for (const std::string& line :
         {std::string("Accept: ") + kAccept, std::string("Accept-Charset: ") + kAcceptCharset}) {
        curl_slist* extended = curl_slist_append(headers.get(), line.c_str());
        if (!extended)
            Fail("out of memory");
        headers.release();
        headers.reset(extended);
    }

    CURL* e = easy.get();
    SetOption(e, CURLOPT_HTTPHEADER, headers.get());
    SetOption(e, CURLOPT_USERAGENT, kUserAgent);
    SetOption(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    SetOption(e, CURLOPT_HTTPGET, 1L);
    SetOption(e, CURLOPT_PROTOCOLS_STR, "http,https");
    SetOption(e, CURLOPT_FOLLOWLOCATION, 0L);
    // No proxy: libcurl would otherwise take one from the environment.
    SetOption(e, CURLOPT_PROXY, "");
    SetOption(e, CURLOPT_NOPROXY, "*");
    // The body is delivered as sent; only a body read as text is inflated, by us.
    SetOption(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    SetOption(e, CURLOPT_NOSIGNAL, 1L);
    SetOption(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect));
    SetOption(e, CURLOPT_LOW_SPEED_LIMIT, lowSpeed.bytesPerSecond);
    SetOption(e, CURLOPT_LOW_SPEED_TIME, lowSpeed.seconds);
    SetOption(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    SetOption(e, CURLOPT_SSL_VERIFYPEER, 1L);
    SetOption(e, CURLOPT_SSL_VERIFYHOST, 2L);
    SetOption(e, CURLOPT_ERRORBUFFER, errorText);
    SetOption(e, CURLOPT_HEADERFUNCTION, &OnHeader);
    SetOption(e, CURLOPT_HEADERDATA, &transfer);
    SetOption(e, CURLOPT_WRITEFUNCTION, &OnBody);
    SetOption(e, CURLOPT_WRITEDATA, &transfer);
    SetOption(e, CURLOPT_PREREQFUNCTION, &OnConnected);
    SetOption(e, CURLOPT_PREREQDATA, &transfer);
    SetOption(e, CURLOPT_DEBUGFUNCTION, &OnDebug);
    SetOption(e, CURLOPT_DEBUGDATA, &transfer);
    SetOption(e, CURLOPT_VERBOSE, 1L);

    const std::string extraAuthorities = ExtraCAFile();
    std::string current = url;
    int redirects = 0;
    for (;;) {
        const std::string scheme = SchemeOf(current);
        if (scheme == "https" && !extraAuthorities.empty() && !transfer.authorities) {
            transfer.authorities = ExtraCaStore::Load(extraAuthorities);
            SetOption(e, CURLOPT_SSL_CTX_FUNCTION, &OnSSLContext);
            SetOption(e, CURLOPT_SSL_CTX_DATA, &transfer);
            SetOption(e, CURLOPT_CA_CACHE_TIMEOUT, 0L); // keep the shared store untouched
        }
        SetOption(e, CURLOPT_URL, current.c_str());
        transfer.BeginHop();
        transfer.failure.clear();
        errorText[0] = '\0';

        const CURLcode result = RunTransfer(multi.get(), e, transfer, timeouts);
        if (transfer.writerError)
            std::rethrow_exception(transfer.writerError);
        if (!transfer.failure.empty())
            Fail(transfer.failure);
        if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && transfer.stoppedAfterStatus))
            Fail(errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(result)));

        long version = 0;
        curl_easy_getinfo(e, CURLINFO_HTTP_VERSION, &version);
        transfer.response.version = version == CURL_HTTP_VERSION_1_0   ? "HTTP/1.0 "
                                    : version == CURL_HTTP_VERSION_1_1 ? "HTTP/1.1 "
                                    : version == CURL_HTTP_VERSION_2_0 ? "HTTP/2.0 "
                                                                       : "";

        if (IsRedirectStatus(transfer.response.statusCode) && transfer.hasLocation) {
            char* target = nullptr;
            curl_easy_getinfo(e, CURLINFO_REDIRECT_URL, &target);
            if (target) {
                if (++redirects > kMaxRedirects)
                    Fail("Maximum number of redirections (" + std::to_string(kMaxRedirects) +
                         ") exceeded");
                const std::string next = target;
                // An answer that left TLS could be changed by anyone on the way.
                if (scheme == "https" && SchemeOf(next) != "https")
                    Fail("Redirect from https to " + SchemeOf(next) + " refused");
                current = next;
                continue;
            }
        }
        break;
    }

    if (transfer.response.statusCode >= 500)
        throw HttpError(transfer.response.StatusText());
    return std::move(transfer.response);
}

} // namespace corvane
