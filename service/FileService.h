// corvane-fileservice: the HTTP file service of the hospital's server. It answers the two
// exchanges of the workstations' updater, folderlist and download, for one folder tree.
#pragma once

#include "service/DownloadWatch.h"
#include "service/FileCatalog.h"
#include "service/FileContentCache.h"
#include "service/HttpServer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

struct FileServiceOptions {
    std::string root;               // the folder whose tree is served
    std::string bind = "127.0.0.1"; // a numeric IPv4 or IPv6 address
    std::uint16_t port = 8080;      // 0: any free port (see FileService::Port)
    unsigned threads = 0;           // 0: one per processor
    // How long a connection may take to send a request's head, from when it is accepted or
    // from its previous answer; past it the connection is closed.
    std::chrono::seconds headerTimeout{20};
    // HTTPS: the certificate (PEM, followed by its chain) and its private key (PEM), as text;
    // both empty for plain HTTP.
    std::string tlsCertificate;
    std::string tlsKey;
    // The send buffer of each connection that a download is sent on, in KiB; 0 leaves its size
    // to the system, which grows it up to some MiB per connection. Bounded, it bounds the
    // kernel memory a crowd of workstations fetching files takes, and how far the service runs
    // ahead of a slow reader; it also bounds what one connection can carry per round trip (the
    // kernel doubles the size asked for, up to the system's limit net.core.wmem_max: 128 KiB
    // carry some 12 MB/s at a round trip of 20 ms). Listings are left to the system's size:
    // one listing, sent whole in few turns, is what every workstation waits for first.
    unsigned sendBufferKiB = 128;
    // Memory for the contents of files of up to 4 MiB, in MiB: such files are read once and
    // sent from memory while they stay unchanged. 0 sends every file from disk.
    unsigned fileCacheMiB = 64;
    // False lists names and ages alone, as services did before listings carried each file's
    // size and SHA-256: the workstations then fetch without checking (for comparisons).
    bool listContentChecks = true;
    // How long a file must have stood unchanged before what is taken from its content (its
    // hash in the listing, its bytes in memory) is kept for as long as its stamp is the same: a
    // change within the same tick of the system's clock leaves the stamp as it was.
    std::chrono::milliseconds contentSettle{1000};
    // Receives one line per request and the HTTP library's own messages; when empty they
    // go to standard error.
    std::function<void(std::string_view)> log;
};

// Serves from construction until Stop or destruction. Answers are never compressed.
class FileService {
public:
    // Throws DirectoryNotFoundException for a root that is not a folder, Exception (with
    // a Portuguese message) when the address cannot be used, nothing can listen on it or the
    // certificate and key cannot be used.
    explicit FileService(FileServiceOptions options);
    ~FileService();
    FileService(const FileService&) = delete;
    FileService& operator=(const FileService&) = delete;

    // The port listened on.
    std::uint16_t Port() const { return server_.Port(); }

    FileCatalog& Catalog() { return catalog_; }
    const FileContentCache& Contents() const { return contents_; }

    // Stops listening, ends the open exchanges and waits for the service's threads.
    void Stop();

private:
    void AnswerListing(HttpExchange& exchange);
    void AnswerDownload(HttpExchange& exchange);
    void Log(std::string_view line) const;

    FileServiceOptions options_;
    FileCatalog catalog_;
    FileContentCache contents_; // small files, ready to be sent from memory
    DownloadWatch watch_;       // outlives the server, whose completions remove from it
    unsigned maxFilesSent_ = 1; // files sent at once; a download past it is answered 503
    std::atomic<unsigned> filesSent_{0};
    HttpServer server_;
};

} // namespace corvane
