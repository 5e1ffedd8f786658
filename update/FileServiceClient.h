// The clients of the HTTP file service: FileServiceClient lists the files the service holds
// (GET <base>/folderlist?folder=..&mask=..&recursive=), FileDownloadClient fetches one of them
// (GET <base>/download?file=NAME) into a local file. Each client serves one exchange at a time
// and shares nothing with other clients, so several may run on different threads at once.
#pragma once

#include "update/FileListJson.h"
#include "update/HttpClient.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

class FileServiceClient {
public:
    // Create: keeps the base URL; no network traffic.
    explicit FileServiceClient(std::string url);
    FileServiceClient(const FileServiceClient&) = delete;
    FileServiceClient& operator=(const FileServiceClient&) = delete;

    // Runs one folderlist exchange; true when the error record's status is 0. Below 300 the
    // body (a JSON array of file records) fills Items; from 300 to 499 the body (a JSON error
    // object) becomes Error, which then stays a valid empty record when the body is not one.
    // Raises the URL errors, "REST request failed: ..." for transport failures, the status
    // text for 500 and above, and the JSON reader's errors for a body that cannot be read;
    // Count is 0 after any of them.
    bool Execute(const std::string& folder, const std::string& mask, bool recursive);

    // The current error record, owned by the client; never null.
    const FileRecordError& Error() const { return *error_; }
    // The records the last listing read, in the service's order; empty after a failure.
    const FileRecordList& Files() const { return files_; }
    int Count() const { return static_cast<int>(files_.size()); }

    // The HTTP settings of the exchange (time limits, body limits); tests shorten them.
    HttpClient& HTTP() { return http_; }

private:
    struct Request {
        std::vector<std::pair<std::string, std::string>> params;
    };
    void AddFolderParam(Request& request, const std::string& folder) const;
    void AddMaskParam(Request& request, const std::string& mask) const;
    void AddRecursiveParam(Request& request, bool recursive) const;
    std::string RequestURL(const Request& request) const;

    std::string url_;
    std::unique_ptr<FileRecordError> error_;
    FileRecordList files_;
    HttpClient http_;
};

class FileDownloadClient {
public:
    // Create: keeps the base URL; no network traffic.
    explicit FileDownloadClient(std::string url);

    // Fetches remoteFileName into localFileName (created or emptied; its folder must exist)
    // in the calling thread, writing the body as it arrives. True when a file exists at
    // localFileName afterwards. Any failure (the file cannot be created, the exchange fails
    // or is answered from 300 upward, a short body, a write or close that fails) keeps its
    // message in Error and deletes the local file; only an error of that deletion is raised.
    bool Download(const std::string& remoteFileName, const std::string& localFileName);

    // The same exchange, handing the body to writer as it arrives instead of writing a file of
    // its own: for callers that put the bytes somewhere of theirs, such as a file that replaces
    // its target only once complete. Writes the trace line; true on success; on failure (an
    // error of writer included) keeps the message in Error. What writer received from a
    // failed exchange is for the caller to discard.
    bool DownloadTo(const std::string& remoteFileName, const BodySink& writer);

    // The message of the last failure of Download; empty until one occurs.
    const std::string& Error() const { return error_; }

    HttpClient& HTTP() { return http_; }

    // The encoded request URL for a remote name: the base URL and "/download?file=" and the
    // name, normalised and encoded as the exchange sends it.
    static std::string DownloadURL(const std::string& baseUrl, const std::string& remoteFileName);

private:
    std::string baseUrl_;
    std::string error_;
    HttpClient http_;
};

} // namespace corvane
