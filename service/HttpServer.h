// The file service's HTTP side, on libmicrohttpd: the daemon and its threads, the connections
// and the limit on their heads, the library's own messages, one access-log line per request,
// and the answers handed to the library. The protocol only names its resources and answers
// them:
//
//     HttpServer server(options);
//     server.Get("/folderlist", [](HttpExchange& exchange) { exchange.Reply(200, json, type); });
//     server.Start(); // serves until Stop or destruction
//
// GET and HEAD reach the routes (HEAD sends the same head without the body); other methods,
// resources no route names, a route that throws and heads the library refuses are answered
// here with the service's JSON errors.
#pragma once

#include "platform/Handles.h"
#include "platform/ServiceFiles.h"
#include "service/AccessLog.h"
#include "service/AnswerJson.h"
#include "service/HeadWatch.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct MHD_Connection;
struct MHD_Daemon;
struct MHD_Response;

namespace corvane {

// An answer made once and handed to any number of connections; it owns a copy of its body.
using PreparedAnswer = std::shared_ptr<const void>;

// Makes a prepared answer (nothing when the library has no memory for it).
PreparedAnswer PrepareAnswer(std::string body, std::string_view contentType);

struct HttpServerOptions {
    std::string bind = "127.0.0.1"; // a numeric IPv4 or IPv6 address
    std::uint16_t port = 0;         // 0: any free port
    unsigned threads = 1;
    unsigned connectionLimit = 1; // connections held at once; more wait to be accepted
    // How long a connection may take to send a request's head, from when it is accepted or
    // from its previous answer.
    std::chrono::seconds headerTimeout{20};
    // HTTPS: the certificate (PEM, with its chain) and its private key (PEM); empty for HTTP.
    std::string tlsCertificate;
    std::string tlsKey;
    // Receives one line per request and the library's own messages.
    std::function<void(std::string_view)> log;
};

// One request and its answer, as a route sees it. The route sets one answer; none set drops
// the connection.
class HttpExchange {
public:
    // The query of the request target, still escaped ("" when it has none).
    std::string_view Query() const;
    bool IsHead() const { return head_; }
    // The connection's socket (SocketHandle::None when the library does not tell it).
    SocketHandle Socket() const;
    // Runs once the exchange has ended, whether its answer was sent, cut short or never made.
    void WhenDone(std::function<void()> action);

    // An answer made for this request from a copy of body.
    void Reply(int status, std::string_view body, std::string_view contentType);
    void ReplyError(const ErrorAnswer& answer);
    // A prepared answer, sent with status 200; bytes is the length of its body.
    void ReplyPrepared(PreparedAnswer answer, std::uint64_t bytes);
    // The file from its start, sent by the kernel without passing through this process. The
    // answer takes the file's handle and closes it; false (the file left as it was) when the
    // library has no memory for the answer.
    bool ReplyFromFile(ServedFile& file, std::string_view contentType);
    // A header of the answer set so far.
    void AddHeader(std::string_view name, std::string_view value);

private:
    friend class HttpServer;
    struct ResponseRelease {
        void operator()(MHD_Response* response) const;
    };

    MHD_Response* Response() const;

    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    RequestRecord record_;
    MHD_Connection* connection_ = nullptr;
    bool answered_ = false;     // an answer was looked for
    bool headArriving_ = false; // listed in its thread's heads still arriving
    bool refused_ = false;      // answered by the library's refusal, not by a route
    bool headSeen_ = false;     // the handler has been called for it
    bool head_ = false;         // a HEAD request: the answer goes without its body
    int status_ = 0;
    std::uint64_t bytes_ = 0;
    std::unique_ptr<MHD_Response, ResponseRelease> owned_; // made for this request
    PreparedAnswer prepared_;                              // or prepared once, sent again
    std::vector<std::function<void()>> whenDone_;
};

class HttpServer {
public:
    using Handler = std::function<void(HttpExchange& exchange)>;

    explicit HttpServer(HttpServerOptions options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Answers GET and HEAD of the resource at path (no query) with handler; before Start.
    void Get(std::string_view path, Handler handler);

    // Listens and serves. Throws Exception (with a Portuguese message) when the address is
    // not numeric, nothing can listen on it or the certificate and key cannot be used.
    void Start();
    // Stops listening, ends the open exchanges and waits for the server's threads.
    void Stop();

    // The port listened on.
    std::uint16_t Port() const { return port_; }

    // Called by the library's callbacks.
    int Answer(MHD_Connection* connection, const char* url, const char* method,
               std::size_t* uploadSize, void** context);
    void Completed(MHD_Connection* connection, void** context, bool completedOk);
    void Connected(MHD_Connection* connection, void** socketContext, bool started);
    void LibraryError(std::string_view message);
    void Log(std::string_view line) const;

private:
    struct Route {
        std::string path;
        Handler handler;
    };
    struct DaemonStopper {
        void operator()(MHD_Daemon* daemon) const;
    };

    // The library hands each request line here first, before the rest of its head arrives.
    static void* RequestLineArrived(void* cls, const char* uri, MHD_Connection* connection);
    void Respond(HttpExchange& exchange, std::string_view path);

    HttpServerOptions options_;
    std::vector<Route> routes_;
    HeadWatch heads_; // outlives the daemon, whose connections remove themselves from it
    std::unique_ptr<MHD_Daemon, DaemonStopper> daemon_;
    std::uint16_t port_ = 0;
};

} // namespace corvane
