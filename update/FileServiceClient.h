// The clients of the HTTP file service: TRESTClientFileList lists the files the service holds
// (GET <base>/folderlist?folder=..&mask=..&recursive=), TRESTClientDownload fetches one of them
// (GET <base>/download?file=NAME) into a local file. Each client serves one exchange at a time
// and shares nothing with other clients, so several may run on different threads at once.
#pragma once

#include "update/FileListJson.h"
#include "update/HttpExchange.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

class TRESTClientFileList {
public:
    // Create: keeps the base URL; no network traffic.
    explicit TRESTClientFileList(std::string AURL);
    TRESTClientFileList(const TRESTClientFileList&) = delete;
    TRESTClientFileList& operator=(const TRESTClientFileList&) = delete;

    // Runs one folderlist exchange; true when the error record's status is 0. Below 300 the
    // body (a JSON array of file records) fills Items; from 300 to 499 the body (a JSON error
    // object) becomes Error, which then stays a valid empty record when the body is not one.
    // Raises the URL errors, "REST request failed: ..." for transport failures, the status
    // text for 500 and above, and the JSON reader's errors for a body that cannot be read;
    // Count is 0 after any of them.
    bool Execute(const std::string& AFolder, const std::string& AMask, bool ARecursive);

    // The current error record, owned by the client; never null.
    const TFileInfoErrorDTO& Error() const { return *FError; }
    // The records the last listing read, in the service's order; empty after a failure.
    const TFilesInfoDTO& Files() const { return FFiles; }
    int Count() const { return static_cast<int>(FFiles.size()); }

    // The HTTP settings of the exchange (time limits, body limits); tests shorten them.
    THTTPExchange& HTTP() { return FHTTP; }

private:
    struct TRequest {
        std::vector<std::pair<std::string, std::string>> Params;
    };
    void AddFolderParam(TRequest& ARequest, const std::string& AFolder) const;
    void AddMaskParam(TRequest& ARequest, const std::string& AMask) const;
    void AddRecursiveParam(TRequest& ARequest, bool ARecursive) const;
    std::string RequestURL(const TRequest& ARequest) const;

    std::string FURL;
    std::unique_ptr<TFileInfoErrorDTO> FError;
    TFilesInfoDTO FFiles;
    THTTPExchange FHTTP;
};

class TRESTClientDownload {
public:
    // Create: keeps the base URL; no network traffic.
    explicit TRESTClientDownload(std::string AURL);

    // Fetches ARemoteFileName into ALocalFileName (created or emptied; its folder must exist)
    // in the calling thread, writing the body as it arrives. True when a file exists at
    // ALocalFileName afterwards. Any failure (the file cannot be created, the exchange fails
    // or is answered from 300 upward, a short body, a write or close that fails) keeps its
    // message in Error and deletes the local file; only an error of that deletion is raised.
    bool Download(const std::string& ARemoteFileName, const std::string& ALocalFileName);

    // The same exchange, handing the body to AWriter as it arrives instead of writing a file of
    // its own: for callers that put the bytes somewhere of theirs, such as a file that replaces
    // its target only once complete. Writes the trace line; true on success; on failure (an
    // error of AWriter included) keeps the message in Error. What AWriter received from a
    // failed exchange is for the caller to discard.
    bool DownloadTo(const std::string& ARemoteFileName, const THTTPBodyWriter& AWriter);

    // The same fetch on a thread of its own (without the trace line, leaving Error alone),
    // while the calling thread keeps its event loop turning through the installed main-thread
    // dispatcher every 300 ms until the fetch has ended.
    bool ThreadedDownload(const std::string& ARemoteFileName, const std::string& ALocalFileName);

    // The message of the last failure of Download; empty until one occurs.
    const std::string& Error() const { return FError; }

    THTTPExchange& HTTP() { return FHTTP; }

    // The encoded request URL for a remote name: the base URL and "/download?file=" and the
    // name, normalised and encoded as the exchange sends it.
    static std::string DownloadURL(const std::string& ABaseURL, const std::string& ARemoteFileName);

private:
    std::string FBaseURL;
    std::string FError;
    THTTPExchange FHTTP;
};

} // namespace corvane
