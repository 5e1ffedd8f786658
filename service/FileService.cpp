#include "service/FileService.h"

#include "platform/Errors.h"
#include "platform/Process.h"
#include "platform/Trace.h"
#include "service/AccessLog.h"
#include "service/AnswerJson.h"
#include "service/FormQuery.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>
#include <thread>
#include <vector>

namespace corvane {

// The HTTP library counts the references to an answer: this lets go of one. (Outside the
// anonymous namespace, as FileService::Reply holds one.)
struct ResponseRelease {
    void operator()(MHD_Response* response) const { MHD_destroy_response(response); }
};
using ResponsePtr = std::unique_ptr<MHD_Response, ResponseRelease>;

struct FileService::Request {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    RequestRecord record;
    bool answered = false;
    std::uint64_t watchTicket = 0; // a download being watched for its file being cut short
    bool sendsFile = false;        // counted among the files being sent
    MHD_Connection* connection = nullptr;
    bool headArriving = false; // listed in its thread's heads still arriving
    bool refused = false;      // answered by LibraryError, not by Answer
    bool headSeen = false;     // the handler has been called for it
    bool head = false;         // a HEAD request: the answer goes without its body
};

namespace {

constexpr const char* kJsonType = "application/json; charset=utf-8";
// A connection whose answer makes no progress for this long is closed. Heads have their own,
// shorter, limit (HeadWatch).
constexpr unsigned kIdleSeconds = 120;

// The requests of this thread whose head is still arriving: the library calls OnTarget with
// the request line and the handler only once the whole head is in. Each of the library's
// threads serves connections of its own, so the list needs no lock.
thread_local std::vector<FileService::Request*> tHeadsArriving;

void StopArriving(FileService::Request& request) {
    if (!request.headArriving)
        return;
    request.headArriving = false;
    const auto found = std::find(tHeadsArriving.begin(), tHeadsArriving.end(), &request);
    if (found != tHeadsArriving.end()) {
        *found = tHeadsArriving.back();
        tHeadsArriving.pop_back();
    }
}

HeadWatch::Entry* HeadEntryOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info != nullptr ? static_cast<HeadWatch::Entry*>(info->socket_context) : nullptr;
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

ResponsePtr TextResponse(std::string_view body, const char* type) {
    ResponsePtr response(MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY));
    if (response)
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE, type);
    return response;
}

// Frees the copy of a listing or of a file's content that a prepared answer owns, once its
// last connection is done.
void FreeText(void* text) {
    delete static_cast<std::string*>(text);
}

// Files up to this size are kept in memory, as long as the cache's budget allows.
constexpr std::size_t kLargestFileInMemory = std::size_t{4} << 20;

// An answer made once and sent again and again: it owns its body, and the library counts its
// references, so it outlives whoever prepared it for as long as a connection sends it.
std::shared_ptr<MHD_Response> PreparedAnswer(std::string body, const char* type) {
    auto owned = std::make_unique<std::string>(std::move(body));
    ResponsePtr response(MHD_create_response_from_buffer_with_free_callback_cls(
        owned->size(), owned->data(), &FreeText, owned.get()));
    if (!response)
        return nullptr;
    owned.release();
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE, type);
    return std::shared_ptr<MHD_Response>(response.release(), ResponseRelease());
}

// The ready answer for a file kept in memory.
FileContentCache::Prepared MemoryAnswer(std::string bytes) {
    return PreparedAnswer(std::move(bytes), "application/octet-stream");
}

bool IsGetOrHead(const char* method) {
    return std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
           std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
}

// Whether the request's head announces a body (neither exchange has one).
bool AnnouncesBody(MHD_Connection* connection) {
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    return (length != nullptr && std::strcmp(length, "0") != 0) ||
           MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                       MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr;
}

std::string_view QueryOf(std::string_view target) {
    const size_t question = target.find('?');
    return question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
}

void LibraryMessage(void* cls, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string_view message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.remove_suffix(1);
    auto* service = static_cast<FileService*>(cls);
    try {
        service->Log(std::string("corvane-fileservice: ") + std::string(message));
        service->LibraryError(message);
    } catch (...) {
        // nothing may leave a callback of the library
    }
}

void* OnTarget(void*, const char* uri, MHD_Connection* connection) {
    try {
        auto request = std::make_unique<FileService::Request>();
        request->record.target = uri;
        request->connection = connection;
        tHeadsArriving.push_back(request.get());
        request->headArriving = true;
        return request.release(); // freed by OnCompleted, which the library always calls
    } catch (...) {
        return nullptr;
    }
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char*, size_t* uploadSize, void** context) {
    return static_cast<FileService*>(cls)->Answer(connection, url, method, uploadSize, context) != 0
               ? MHD_YES
               : MHD_NO;
}

void OnCompleted(void* cls, MHD_Connection* connection, void** context,
                 MHD_RequestTerminationCode termination) {
    static_cast<FileService*>(cls)->Completed(connection, context, static_cast<int>(termination));
}

void OnConnection(void* cls, MHD_Connection* connection, void** socketContext,
                  MHD_ConnectionNotificationCode code) {
    static_cast<FileService*>(cls)->Connected(connection, socketContext,
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
    text += kJsonType;
    text += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    text += body;
    return text;
}

} // namespace

void FileService::DaemonStopper::operator()(MHD_Daemon* daemon) const {
    MHD_stop_daemon(daemon);
}

FileService::FileService(FileServiceOptions options)
    : options_(std::move(options)),
      catalog_(options_.root, options_.listContentChecks, options_.contentSettle),
      contents_(std::size_t{options_.fileCacheMiB} << 20, kLargestFileInMemory,
                options_.contentSettle, &MemoryAnswer),
      heads_(options_.headerTimeout) {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* address = nullptr;
    unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_TURBO | MHD_USE_ERROR_LOG;
    if (::inet_pton(AF_INET, options_.bind.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(options_.port);
        address = reinterpret_cast<const sockaddr*>(&v4);
    } else if (::inet_pton(AF_INET6, options_.bind.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(options_.port);
        address = reinterpret_cast<const sockaddr*>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        throw Exception("Endereço inválido para o serviço de arquivos: \"" + options_.bind +
                        "\". Use um endereço numérico, como 127.0.0.1.");
    }
    const unsigned threads = options_.threads != 0
                                 ? options_.threads
                                 : std::max(1u, std::thread::hardware_concurrency());
    // Handles: a few for the process itself (standard streams, the listening socket, the
    // tree's watch and walk) and two per thread of the library; one per connection; two per
    // file being sent (the answer's and the download watch's). Connections get three
    // quarters of the rest, so that a crowd of them, idle until the head limit ends them, is
    // taken in in one go; files being sent are held to what is left, so that opening one
    // never fails for want of a handle.
    const long usable = std::max(OpenFileLimit() - 16 - 2 * static_cast<long>(threads), 16L);
    const long connections = std::clamp(usable * 3 / 4, static_cast<long>(threads), 100'000L);
    maxFilesSent_ = static_cast<unsigned>(std::clamp((usable - connections) / 2, 1L, 1'000'000L));
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
    daemon_.reset(MHD_start_daemon(
        flags, options_.port, nullptr, nullptr, &OnRequest, this, MHD_OPTION_EXTERNAL_LOGGER,
        &LibraryMessage, this, MHD_OPTION_SOCK_ADDR, address, MHD_OPTION_THREAD_POOL_SIZE, threads,
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(connections),
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_LISTEN_BACKLOG_SIZE, 1024u,
        MHD_OPTION_URI_LOG_CALLBACK, &OnTarget, this, MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted,
        this, MHD_OPTION_NOTIFY_CONNECTION, &OnConnection, this, MHD_OPTION_ARRAY, tls.data(),
        MHD_OPTION_END));
    if (!daemon_)
        throw Exception("O serviço de arquivos não pôde escutar em " + options_.bind + " porta " +
                        std::to_string(options_.port) +
                        ((flags & MHD_USE_TLS) != 0 ? " com o certificado e a chave dados." : "."));
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_.get(), MHD_DAEMON_INFO_BIND_PORT);
    port_ = info != nullptr ? info->port : options_.port;
}

FileService::~FileService() {
    Stop();
}

void FileService::Stop() {
    daemon_.reset();
}

void FileService::Log(std::string_view line) const {
    if (options_.log)
        options_.log(line);
    else
        OutputDebugString(line);
}

// What a route answers: the status, the length of the body and the answer to queue, either
// made for this request (owned) or prepared once and sent again (borrowed).
struct FileService::Reply {
    int status = 200;
    std::uint64_t bytes = 0;
    ResponsePtr owned;
    MHD_Response* borrowed = nullptr;
    // Holds a borrowed answer until it is queued: the tree may change meanwhile, and the
    // catalogue let go of the text and its answer.
    std::shared_ptr<const void> borrowedFrom;

    MHD_Response* Response() const { return owned ? owned.get() : borrowed; }

    static Reply Error(const ErrorAnswer& answer) {
        Reply reply;
        reply.status = answer.status;
        const std::string body = ErrorJson(answer);
        reply.bytes = body.size();
        reply.owned = TextResponse(body, kJsonType);
        return reply;
    }
};

const FileService::Route FileService::kRoutes[] = {
    {"/folderlist", &FileService::AnswerListing},
    {"/download", &FileService::AnswerDownload},
};

FileService::Reply FileService::Respond(Request& request, std::string_view path,
                                        std::string_view query) {
    for (const Route& route : kRoutes)
        if (route.path == path)
            return (this->*route.answer)(request, query);
    return Reply::Error(kNoSuchResource);
}

FileService::Reply FileService::AnswerListing(Request&, std::string_view query) {
    const auto params = ParseFormQuery(query);
    const QueryParam* folder = FindParam(params, "folder");
    const QueryParam* mask = FindParam(params, "mask");
    const bool recursive = FindParam(params, "recursive") != nullptr;
    const ListingAnswer answer =
        catalog_.Listing(folder ? folder->value : std::string_view(),
                         mask ? mask->value : std::string_view(), recursive);
    const ListingText& text = *answer.body;
    Reply reply;
    reply.status = answer.status;
    reply.bytes = text.json.size();
    if (answer.status != 200) {
        reply.owned = TextResponse(text.json, kJsonType);
        return reply;
    }
    // The cached text is sent from one answer, made the first time it was asked for; the
    // answer owns a copy of the text, as the catalogue may drop its own while the answer is
    // still being sent. (From memory rather than from a file, the library hands each
    // connection as much as its socket takes at once, not a file's 128 KiB.)
    std::call_once(text.prepareOnce,
                   [&text] { text.prepared = PreparedAnswer(text.json, kJsonType); });
    if (text.prepared) {
        reply.borrowed = static_cast<MHD_Response*>(text.prepared.get());
        reply.borrowedFrom = answer.body;
    } else {
        reply.owned = TextResponse(text.json, kJsonType); // none could be made: a copy of its own
    }
    return reply;
}

FileService::Reply FileService::AnswerDownload(Request& request, std::string_view query) {
    const auto name = DownloadFileName(query);
    if (!name)
        return Reply::Error(kNoSuchFile);
    if (filesSent_.fetch_add(1) >= maxFilesSent_) {
        filesSent_.fetch_sub(1);
        Reply reply = Reply::Error(kAllFilesBeingSent);
        if (reply.owned)
            MHD_add_response_header(reply.owned.get(), MHD_HTTP_HEADER_RETRY_AFTER, "5");
        return reply;
    }
    request.sendsFile = true;
    std::optional<ServedFile> file = catalog_.Open(*name);
    if (!file)
        return Reply::Error(kNoSuchFile);
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(request.connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    // Bounded for downloads alone: a listing's connection keeps the size the system gives it,
    // which grows to hold the listing and hands it over in a few turns, not one per 256 KiB.
    // From memory as from disk: a socket that takes a whole file at once has the kernel copy
    // it into buffers of its own, megabytes for each of many connections, and those copies
    // fall out of the processor's caches before the workstations read them.
    if (info != nullptr && options_.sendBufferKiB != 0)
        SetSendBuffer(info->connect_fd,
                      static_cast<int>(std::min(options_.sendBufferKiB, 1u << 20) * 1024));
    // A small file goes from memory, the same bytes to every workstation.
    if (std::optional<FileContentCache::Content> content = contents_.Find(*file)) {
        Reply reply;
        reply.bytes = content->size;
        reply.borrowed = static_cast<MHD_Response*>(const_cast<void*>(content->prepared.get()));
        reply.borrowedFrom = std::move(content->prepared);
        return reply;
    }
    // Sent from the file by the kernel (sendfile): the bytes never pass through this
    // process. The watch gets a handle of its own, taken first.
    std::optional<ServedFile> watched;
    if (!request.head)
        watched = file->Duplicate();
    const std::uint64_t size = file->Size();
    Reply reply;
    reply.owned.reset(MHD_create_response_from_fd64(size, file->Handle()));
    if (!reply.owned)
        return reply;
    file->Release(); // the answer closes it from now on
    reply.bytes = size;
    MHD_add_response_header(reply.owned.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                            "application/octet-stream");
    if (info != nullptr && watched)
        request.watchTicket = watch_.Add(info->connect_fd, std::move(*watched), size);
    return reply;
}

int FileService::Answer(void* connectionHandle, const char* url, const char* method,
                        size_t* uploadSize, void** context) {
    auto* connection = static_cast<MHD_Connection*>(connectionHandle);
    auto* request = static_cast<Request*>(*context);
    if (request == nullptr)
        return 0; // no memory for the request's record: drop the connection
    if (!request->headSeen) {
        request->headSeen = true;
        request->record.method = method;
        request->head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
        StopArriving(*request);
        if (HeadWatch::Entry* head = HeadEntryOf(connection))
            head->HeadArrived();
        // A request without a body is answered at the library's next call, once all of it is
        // in: an answer queued before that makes the library close the connection after it,
        // and every request would cost the client a new connection. Anything else is answered
        // at once, its body left unread, and the connection ends with the answer.
        if (IsGetOrHead(method) && !AnnouncesBody(connection))
            return 1;
    }
    *uploadSize = 0; // neither exchange has a body: whatever comes is dropped
    if (request->answered)
        return 1;
    request->answered = true;

    Reply reply;
    try {
        if (IsGetOrHead(method)) {
            reply = Respond(*request, url, QueryOf(request->record.target));
        } else {
            reply = Reply::Error(kOnlyGet);
            if (reply.owned)
                MHD_add_response_header(reply.owned.get(), MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        }
    } catch (const std::exception& error) {
        Log(std::string("corvane-fileservice: ") + error.what());
        reply = Reply::Error(kAnswerFailed);
    }
    if (reply.Response() == nullptr)
        return 0;
    request->record.status = reply.status;
    if (!request->head)
        request->record.bytes = reply.bytes;
    return MHD_queue_response(connection, static_cast<unsigned>(reply.status), reply.Response()) ==
                   MHD_YES
               ? 1
               : 0;
}

void FileService::Completed(void* connection, void** context, int termination) {
    // On a connection that stays open the next head has the whole limit; on one that
    // closes, the watch lets go of it right after.
    if (HeadWatch::Entry* head = HeadEntryOf(static_cast<MHD_Connection*>(connection)))
        head->WaitForHead();
    std::unique_ptr<Request> request(static_cast<Request*>(*context));
    *context = nullptr;
    if (!request)
        return;
    StopArriving(*request);
    if (request->watchTicket != 0)
        watch_.Remove(request->watchTicket);
    if (request->sendsFile)
        filesSent_.fetch_sub(1);
    if (!request->refused)
        request->record.completed = termination == MHD_REQUEST_TERMINATED_COMPLETED_OK;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - request->start);
    try {
        Log(FormatRequestLine(request->record, elapsed.count()));
    } catch (...) {
        // a line that cannot be written must not take the service down
    }
}

void FileService::Connected(void* connectionHandle, void** socketContext, bool started) {
    if (started) {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(
            static_cast<MHD_Connection*>(connectionHandle), MHD_CONNECTION_INFO_CONNECTION_FD);
        try {
            if (info != nullptr)
                *socketContext = &heads_.Add(info->connect_fd);
        } catch (...) {
            *socketContext = nullptr; // not watched, no worse than before
        }
    } else if (*socketContext != nullptr) {
        heads_.Remove(*static_cast<HeadWatch::Entry*>(*socketContext));
        *socketContext = nullptr;
    }
}

void FileService::LibraryError(std::string_view message) {
    constexpr std::string_view kRefusal = "Error processing request (HTTP response code is ";
    // Under HTTPS the socket carries the TLS session: the library's own answer has to do.
    if (message.substr(0, kRefusal.size()) != kRefusal || !options_.tlsCertificate.empty())
        return;
    int status = 400;
    std::from_chars(message.data() + kRefusal.size(), message.data() + message.size(), status);
    // The library says which request it refuses only here, before it builds its answer and
    // on the connection's own thread: it is the one of this thread's whose head is in but
    // that the handler has not seen (the others on the list are still receiving theirs).
    for (Request* request : tHeadsArriving) {
        if (MHD_get_connection_info(request->connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE) ==
            nullptr)
            continue;
        StopArriving(*request);
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(request->connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (info == nullptr)
            return;
        std::uint64_t bytes = 0;
        const std::string answer = RefusalAnswer(status, bytes);
        request->refused = true;
        request->record.status = status;
        request->record.bytes = bytes;
        request->record.completed = SendLastAnswer(info->connect_fd, answer);
        return;
    }
}

} // namespace corvane
