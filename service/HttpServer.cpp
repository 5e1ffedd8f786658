#include "service/HttpServer.h"

#include "platform/Errors.h"
#include "platform/ServiceSockets.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <microhttpd.h>

namespace corvane {

namespace {

using ResponsePtr = std::unique_ptr<MHD_Response, void (*)(MHD_Response*)>;

// A connection whose answer makes no progress for this long is closed. Heads have their own,
// shorter, limit (HeadWatch).
constexpr unsigned kIdleSeconds = 120;
constexpr int kListenBacklog = 1024;

// The requests of this thread whose head is still arriving: the library calls OnTarget with
// the request line and the handler only once the whole head is in. Each of the library's
// threads serves connections of its own, so the list needs no lock.
thread_local std::vector<HttpExchange*> tHeadsArriving;

void DestroyResponse(MHD_Response* response) {
    MHD_destroy_response(response);
}

// "Thu, 10 Dec 2026 13:12:37 GMT"
std::string HttpDate(std::chrono::system_clock::time_point when) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto days = std::chrono::floor<std::chrono::days>(when);
    const std::chrono::year_month_day date(days);
    const std::chrono::hh_mm_ss time(std::chrono::floor<std::chrono::seconds>(when - days));
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02u %s %04d %02d:%02d:%02d GMT",
                  kDays[std::chrono::weekday(days).c_encoding()], static_cast<unsigned>(date.day()),
                  kMonths[static_cast<unsigned>(date.month()) - 1], static_cast<int>(date.year()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

// Frees the copy of a body that a prepared answer owns, once its last connection is done.
void FreeText(void* text) {
    delete static_cast<std::string*>(text);
}

bool IsGetOrHead(const char* method) {
    return std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
           std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
}

// Whether the request's head announces a body (no route takes one).
bool AnnouncesBody(MHD_Connection* connection) {
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    return (length != nullptr && std::strcmp(length, "0") != 0) ||
           MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                       MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr;
}

SocketHandle SocketOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return info != nullptr ? SocketHandle{info->connect_fd} : SocketHandle::None;
}

HeadWatch::Entry* HeadEntryOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info != nullptr ? static_cast<HeadWatch::Entry*>(info->socket_context) : nullptr;
}

void StopArriving(HttpExchange& exchange, bool& arriving) {
    if (!arriving)
        return;
    arriving = false;
    const auto found = std::find(tHeadsArriving.begin(), tHeadsArriving.end(), &exchange);
    if (found != tHeadsArriving.end()) {
        *found = tHeadsArriving.back();
        tHeadsArriving.pop_back();
    }
}

void LibraryMessage(void* cls, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string_view message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.remove_suffix(1);
    auto* server = static_cast<HttpServer*>(cls);
    try {
        server->Log(std::string("corvane-fileservice: ") + std::string(message));
        server->LibraryError(message);
    } catch (...) {
        // nothing may leave a callback of the library
    }
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char*, size_t* uploadSize, void** context) {
    return static_cast<HttpServer*>(cls)->Answer(connection, url, method, uploadSize, context) != 0
               ? MHD_YES
               : MHD_NO;
}

void OnCompleted(void* cls, MHD_Connection* connection, void** context,
                 MHD_RequestTerminationCode termination) {
    static_cast<HttpServer*>(cls)->Completed(connection, context,
                                             termination == MHD_REQUEST_TERMINATED_COMPLETED_OK);
}

void OnConnection(void* cls, MHD_Connection* connection, void** socketContext,
                  MHD_ConnectionNotificationCode code) {
    static_cast<HttpServer*>(cls)->Connected(connection, socketContext,
                                             code == MHD_CONNECTION_NOTIFY_STARTED);
}

// Replaces the library's answer to a request it refuses after the head is in (a
// Content-Length it cannot read, for one). The library would send that answer's header
// block twice; this answer goes once, and the connection ends with it.
std::string RefusalAnswer(int& status, std::uint64_t& bodyBytes) {
    const char* reason = "Bad Request";
    std::string_view detail = "O pedido traz um cabeçalho inválido.";
    if (status == 413) {
        reason = "Content Too Large";
        detail = "O pedido anuncia um corpo maior do que o serviço de arquivos aceita.";
    } else if (status == 431) {
        reason = "Request Header Fields Too Large";
        detail = "Os cabeçalhos do pedido são grandes demais.";
    } else {
        status = 400;
    }
    const std::string body = ErrorJson(status, reason, detail);
    bodyBytes = body.size();
    std::string text = "HTTP/1.1 " + std::to_string(status) + ' ' + reason + "\r\nDate: ";
    text += HttpDate(std::chrono::system_clock::now());
    text += "\r\nConnection: close\r\nContent-Type: ";
    text += kJsonContentType;
    text += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    text += body;
    return text;
}

} // namespace

PreparedAnswer PrepareAnswer(std::string body, std::string_view contentType) {
    auto owned = std::make_unique<std::string>(std::move(body));
    ResponsePtr response(MHD_create_response_from_buffer_with_free_callback_cls(
                             owned->size(), owned->data(), &FreeText, owned.get()),
                         &DestroyResponse);
    if (!response)
        return nullptr;
    owned.release();
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                            std::string(contentType).c_str());
    return std::shared_ptr<MHD_Response>(response.release(), &DestroyResponse);
}

// ---- The exchange as a route sees it ----

void HttpExchange::ResponseRelease::operator()(MHD_Response* response) const {
    MHD_destroy_response(response);
}

std::string_view HttpExchange::Query() const {
    const std::string_view target(record_.target);
    const size_t question = target.find('?');
    return question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
}

SocketHandle HttpExchange::Socket() const {
    return SocketOf(connection_);
}

void HttpExchange::WhenDone(std::function<void()> action) {
    whenDone_.push_back(std::move(action));
}

MHD_Response* HttpExchange::Response() const {
    return owned_ ? owned_.get() : static_cast<MHD_Response*>(const_cast<void*>(prepared_.get()));
}

void HttpExchange::Reply(int status, std::string_view body, std::string_view contentType) {
    prepared_.reset();
    status_ = status;
    bytes_ = body.size();
    owned_.reset(MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                 MHD_RESPMEM_MUST_COPY));
    if (owned_)
        MHD_add_response_header(owned_.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                                std::string(contentType).c_str());
}

void HttpExchange::ReplyError(const ErrorAnswer& answer) {
    Reply(answer.status, ErrorJson(answer), kJsonContentType);
}

void HttpExchange::ReplyPrepared(PreparedAnswer answer, std::uint64_t bytes) {
    owned_.reset();
    status_ = 200;
    bytes_ = bytes;
    prepared_ = std::move(answer);
}

bool HttpExchange::ReplyFromFile(ServedFile& file, std::string_view contentType) {
    prepared_.reset();
    // The library takes a descriptor: the service is built for POSIX systems alone.
    owned_.reset(MHD_create_response_from_fd64(file.Size(), static_cast<int>(file.Handle())));
    if (!owned_)
        return false;
    file.Release(); // the answer closes it from now on
    status_ = 200;
    bytes_ = file.Size();
    MHD_add_response_header(owned_.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                            std::string(contentType).c_str());
    return true;
}

void HttpExchange::AddHeader(std::string_view name, std::string_view value) {
    // A prepared answer is shared by every connection sending it: its headers stay as made.
    if (owned_)
        MHD_add_response_header(owned_.get(), std::string(name).c_str(),
                                std::string(value).c_str());
}

void* HttpServer::RequestLineArrived(void*, const char* uri, MHD_Connection* connection) {
    try {
        auto exchange = std::make_unique<HttpExchange>();
        exchange->record_.target = uri;
        exchange->connection_ = connection;
        tHeadsArriving.push_back(exchange.get());
        exchange->headArriving_ = true;
        return exchange.release(); // freed by Completed, which the library always calls
    } catch (...) {
        return nullptr;
    }
}

// ---- The server ----

void HttpServer::DaemonStopper::operator()(MHD_Daemon* daemon) const {
    MHD_stop_daemon(daemon);
}

HttpServer::HttpServer(HttpServerOptions options)
    : options_(std::move(options)), heads_(options_.headerTimeout) {}

HttpServer::~HttpServer() {
    Stop();
}

void HttpServer::Get(std::string_view path, Handler handler) {
    routes_.push_back({std::string(path), std::move(handler)});
}

void HttpServer::Start() {
    if (!IsNumericAddress(options_.bind))
        throw Exception("Endereço inválido para o serviço de arquivos: \"" + options_.bind +
                        "\". Use um endereço numérico, como 127.0.0.1.");
    unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_TURBO | MHD_USE_ERROR_LOG;
    // The library reads the certificate and key while it starts.
    std::vector<MHD_OptionItem> tls;
    if (!options_.tlsCertificate.empty() || !options_.tlsKey.empty()) {
        if (options_.tlsCertificate.empty() || options_.tlsKey.empty())
            throw Exception("O serviço de arquivos precisa do certificado e da chave para HTTPS.");
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
            throw Exception("A biblioteca HTTP deste sistema não tem suporte a HTTPS.");
        flags |= MHD_USE_TLS;
        tls.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, options_.tlsCertificate.data()});
        tls.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, options_.tlsKey.data()});
    }
    tls.push_back({MHD_OPTION_END, 0, nullptr});
    const auto cannotListen = [&] {
        return Exception(
            "O serviço de arquivos não pôde escutar em " + options_.bind + " porta " +
            std::to_string(options_.port) +
            ((flags & MHD_USE_TLS) != 0 ? " com o certificado e a chave dados." : "."));
    };
    std::optional<ListeningSocket> listening =
        ListenOn(options_.bind, options_.port, kListenBacklog);
    if (!listening)
        throw cannotListen();
    const std::uint16_t port = listening->Port();
    // The library closes the socket it is given, whether it starts or not.
    const MHD_socket socket = static_cast<MHD_socket>(listening->Release());
    daemon_.reset(MHD_start_daemon(
        flags, options_.port, nullptr, nullptr, &OnRequest, this, MHD_OPTION_EXTERNAL_LOGGER,
        &LibraryMessage, this, MHD_OPTION_LISTEN_SOCKET, socket, MHD_OPTION_THREAD_POOL_SIZE,
        options_.threads, MHD_OPTION_CONNECTION_LIMIT, options_.connectionLimit,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_URI_LOG_CALLBACK,
        &RequestLineArrived, this, MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, this,
        MHD_OPTION_NOTIFY_CONNECTION, &OnConnection, this, MHD_OPTION_ARRAY, tls.data(),
        MHD_OPTION_END));
    if (!daemon_)
        throw cannotListen();
    port_ = port;
}

void HttpServer::Stop() {
    daemon_.reset();
}

void HttpServer::Log(std::string_view line) const {
    if (options_.log)
        options_.log(line);
}

void HttpServer::Respond(HttpExchange& exchange, std::string_view path) {
    for (const Route& route : routes_) {
        if (route.path == path) {
            route.handler(exchange);
            return;
        }
    }
    exchange.ReplyError(kNoSuchResource);
}

int HttpServer::Answer(MHD_Connection* connection, const char* url, const char* method,
                       std::size_t* uploadSize, void** context) {
    auto* exchange = static_cast<HttpExchange*>(*context);
    if (exchange == nullptr)
        return 0; // no memory for the request's record: drop the connection
    if (!exchange->headSeen_) {
        exchange->headSeen_ = true;
        exchange->record_.method = method;
        exchange->head_ = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
        StopArriving(*exchange, exchange->headArriving_);
        if (HeadWatch::Entry* head = HeadEntryOf(connection))
            head->HeadArrived();
        // A request without a body is answered at the library's next call, once all of it is
        // in: an answer queued before that makes the library close the connection after it,
        // and every request would cost the client a new connection. Anything else is answered
        // at once, its body left unread, and the connection ends with the answer.
        if (IsGetOrHead(method) && !AnnouncesBody(connection))
            return 1;
    }
    *uploadSize = 0; // no route takes a body: whatever comes is dropped
    if (exchange->answered_)
        return 1;
    exchange->answered_ = true;

    try {
        if (IsGetOrHead(method)) {
            Respond(*exchange, url);
        } else {
            exchange->ReplyError(kOnlyGet);
            exchange->AddHeader(MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        }
    } catch (const std::exception& error) {
        Log(std::string("corvane-fileservice: ") + error.what());
        exchange->ReplyError(kAnswerFailed);
    }
    MHD_Response* response = exchange->Response();
    if (response == nullptr)
        return 0;
    exchange->record_.status = exchange->status_;
    if (!exchange->head_)
        exchange->record_.bytes = exchange->bytes_;
    const bool queued = MHD_queue_response(connection, static_cast<unsigned>(exchange->status_),
                                           response) == MHD_YES;
    // The library holds what it queued.
    exchange->owned_.reset();
    exchange->prepared_.reset();
    return queued ? 1 : 0;
}

void HttpServer::Completed(MHD_Connection* connection, void** context, bool completedOk) {
    // On a connection that stays open the next head has the whole limit; on one that
    // closes, the watch lets go of it right after.
    if (HeadWatch::Entry* head = HeadEntryOf(connection))
        head->WaitForHead();
    std::unique_ptr<HttpExchange> exchange(static_cast<HttpExchange*>(*context));
    *context = nullptr;
    if (!exchange)
        return;
    StopArriving(*exchange, exchange->headArriving_);
    for (const std::function<void()>& action : exchange->whenDone_)
        action();
    if (!exchange->refused_)
        exchange->record_.completed = completedOk;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - exchange->start_);
    try {
        Log(FormatRequestLine(exchange->record_, elapsed.count()));
    } catch (...) {
        // a line that cannot be written must not take the service down
    }
}

void HttpServer::Connected(MHD_Connection* connection, void** socketContext, bool started) {
    if (started) {
        const SocketHandle socket = SocketOf(connection);
        try {
            if (socket != SocketHandle::None)
                *socketContext = &heads_.Add(socket);
        } catch (...) {
            *socketContext = nullptr; // not watched, no worse than before
        }
    } else if (*socketContext != nullptr) {
        heads_.Remove(*static_cast<HeadWatch::Entry*>(*socketContext));
        *socketContext = nullptr;
    }
}

void HttpServer::LibraryError(std::string_view message) {
    constexpr std::string_view kRefusal = "Error processing request (HTTP response code is ";
    // Under HTTPS the socket carries the TLS session: the library's own answer has to do.
    if (message.substr(0, kRefusal.size()) != kRefusal || !options_.tlsCertificate.empty())
        return;
    int status = 400;
    std::from_chars(message.data() + kRefusal.size(), message.data() + message.size(), status);
    // The library says which request it refuses only here, before it builds its answer and
    // on the connection's own thread: it is the one of this thread's whose head is in but
    // that the handler has not seen (the others on the list are still receiving theirs).
    for (HttpExchange* exchange : tHeadsArriving) {
        if (MHD_get_connection_info(exchange->connection_,
                                    MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE) == nullptr)
            continue;
        StopArriving(*exchange, exchange->headArriving_);
        const SocketHandle socket = SocketOf(exchange->connection_);
        if (socket == SocketHandle::None)
            return;
        std::uint64_t bytes = 0;
        const std::string answer = RefusalAnswer(status, bytes);
        exchange->refused_ = true;
        exchange->record_.status = status;
        exchange->record_.bytes = bytes;
        exchange->record_.completed = SendLastAnswer(socket, answer);
        return;
    }
}

} // namespace corvane
