#include "service/FileService.h"

#include "platform/ServiceProcess.h"
#include "platform/ServiceSockets.h"
#include "platform/Trace.h"
#include "service/AnswerJson.h"
#include "service/FormQuery.h"

#include <algorithm>
#include <thread>

namespace corvane {

namespace {

constexpr std::string_view kFileType = "application/octet-stream";

// Files up to this size are kept in memory, as long as the cache's budget allows.
constexpr std::size_t kLargestFileInMemory = std::size_t{4} << 20;

// How the process's handles are shared out.
struct HandleBudget {
    unsigned threads = 1;
    unsigned connections = 1;
    unsigned filesSent = 1;
};

HandleBudget BudgetOf(const FileServiceOptions& options) {
    HandleBudget budget;
    budget.threads =
        options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    // Handles: a few for the process itself (standard streams, the listening socket, the
    // tree's watch and walk) and two per thread of the library; one per connection; two per
    // file being sent (the answer's and the download watch's). Connections get three
    // quarters of the rest, so that a crowd of them, idle until the head limit ends them, is
    // taken in in one go; files being sent are held to what is left, so that opening one
    // never fails for want of a handle.
    const long usable = std::max(OpenFileLimit() - 16 - 2 * static_cast<long>(budget.threads), 16L);
    const long connections =
        std::clamp(usable * 3 / 4, static_cast<long>(budget.threads), 100'000L);
    budget.connections = static_cast<unsigned>(connections);
    budget.filesSent =
        static_cast<unsigned>(std::clamp((usable - connections) / 2, 1L, 1'000'000L));
    return budget;
}

HttpServerOptions ServerOptionsOf(const FileServiceOptions& options,
                                  std::function<void(std::string_view)> log) {
    const HandleBudget budget = BudgetOf(options);
    HttpServerOptions server;
    server.bind = options.bind;
    server.port = options.port;
    server.threads = budget.threads;
    server.connectionLimit = budget.connections;
    server.headerTimeout = options.headerTimeout;
    server.tlsCertificate = options.tlsCertificate;
    server.tlsKey = options.tlsKey;
    server.log = std::move(log);
    return server;
}

// The ready answer for a file kept in memory.
FileContentCache::Prepared MemoryAnswer(std::string bytes) {
    return PrepareAnswer(std::move(bytes), kFileType);
}

} // namespace

FileService::FileService(FileServiceOptions options)
    : options_(std::move(options)),
      catalog_(options_.root, options_.listContentChecks, options_.contentSettle),
      contents_(std::size_t{options_.fileCacheMiB} << 20, kLargestFileInMemory,
                options_.contentSettle, &MemoryAnswer),
      maxFilesSent_(BudgetOf(options_).filesSent),
      server_(ServerOptionsOf(options_, [this](std::string_view line) { Log(line); })) {
    // The protocol: the two exchanges of the workstations' updater.
    server_.Get("/folderlist", [this](HttpExchange& exchange) { AnswerListing(exchange); });
    server_.Get("/download", [this](HttpExchange& exchange) { AnswerDownload(exchange); });
    server_.Start();
}

FileService::~FileService() {
    Stop();
}

void FileService::Stop() {
    server_.Stop();
}

void FileService::Log(std::string_view line) const {
    if (options_.log)
        options_.log(line);
    else
        WriteTraceLine(line);
}

// folderlist?folder=...&mask=...&recursive: the files of a folder, or of its whole tree.
void FileService::AnswerListing(HttpExchange& exchange) {
    const auto params = ParseFormQuery(exchange.Query());
    const QueryParam* folder = FindParam(params, "folder");
    const QueryParam* mask = FindParam(params, "mask");
    const bool recursive = FindParam(params, "recursive") != nullptr;
    const ListingAnswer answer =
        catalog_.Listing(folder ? folder->value : std::string_view(),
                         mask ? mask->value : std::string_view(), recursive);
    const ListingText& text = *answer.body;
    if (answer.status != 200) {
        exchange.Reply(answer.status, text.json, kJsonContentType);
        return;
    }
    // The cached text is sent from one answer, made the first time it was asked for; the
    // answer owns a copy of the text, as the catalogue may drop its own while the answer is
    // still being sent. (From memory rather than from a file, the library hands each
    // connection as much as its socket takes at once, not a file's 128 KiB.)
    std::call_once(text.prepareOnce,
                   [&text] { text.prepared = PrepareAnswer(text.json, kJsonContentType); });
    if (text.prepared)
        exchange.ReplyPrepared(text.prepared, text.json.size());
    else
        exchange.Reply(200, text.json, kJsonContentType); // none could be made: a copy of its own
}

// download?file=...: one file's bytes.
void FileService::AnswerDownload(HttpExchange& exchange) {
    const auto name = DownloadFileName(exchange.Query());
    if (!name) {
        exchange.ReplyError(kNoSuchFile);
        return;
    }
    if (filesSent_.fetch_add(1) >= maxFilesSent_) {
        filesSent_.fetch_sub(1);
        exchange.ReplyError(kAllFilesBeingSent);
        exchange.AddHeader("Retry-After", "5");
        return;
    }
    exchange.WhenDone([this] { filesSent_.fetch_sub(1); });
    std::optional<ServedFile> file = catalog_.Open(*name);
    if (!file) {
        exchange.ReplyError(kNoSuchFile);
        return;
    }
    const SocketHandle socket = exchange.Socket();
    // Bounded for downloads alone: a listing's connection keeps the size the system gives it,
    // which grows to hold the listing and hands it over in a few turns, not one per 256 KiB.
    // From memory as from disk: a socket that takes a whole file at once has the kernel copy
    // it into buffers of its own, megabytes for each of many connections, and those copies
    // fall out of the processor's caches before the workstations read them.
    if (socket != SocketHandle::None && options_.sendBufferKiB != 0)
        SetSendBuffer(socket, static_cast<int>(std::min(options_.sendBufferKiB, 1u << 20) * 1024));
    // A small file goes from memory, the same bytes to every workstation.
    if (std::optional<FileContentCache::Content> content = contents_.Find(*file)) {
        exchange.ReplyPrepared(std::move(content->prepared), content->size);
        return;
    }
    // Sent from the file by the kernel (sendfile): the bytes never pass through this
    // process. The watch gets a handle of its own, taken first.
    std::optional<ServedFile> watched;
    if (!exchange.IsHead())
        watched = file->Duplicate();
    const std::uint64_t size = file->Size();
    if (!exchange.ReplyFromFile(*file, kFileType))
        return;
    if (socket != SocketHandle::None && watched) {
        const std::uint64_t ticket = watch_.Add(socket, std::move(*watched), size);
        exchange.WhenDone([this, ticket] { watch_.Remove(ticket); });
    }
}

} // namespace corvane
