#include "update/FileServiceClient.h"

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "update/HttpUrl.h"
#include "update/MainThread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace corvane {

// ---- TRESTClientFileList ----

TRESTClientFileList::TRESTClientFileList(std::string AURL)
    : FURL(std::move(AURL)), FError(std::make_unique<TFileInfoErrorDTO>()) {}

void TRESTClientFileList::AddFolderParam(TRequest& ARequest, const std::string& AFolder) const {
    if (!AFolder.empty())
        ARequest.Params.emplace_back("folder", AFolder);
}

void TRESTClientFileList::AddMaskParam(TRequest& ARequest, const std::string& AMask) const {
    if (!AMask.empty())
        ARequest.Params.emplace_back("mask", AMask);
}

void TRESTClientFileList::AddRecursiveParam(TRequest& ARequest, bool ARecursive) const {
    // Recursion off is told by the parameter's absence.
    if (ARecursive)
        ARequest.Params.emplace_back("recursive", "");
}

std::string TRESTClientFileList::RequestURL(const TRequest& ARequest) const {
    TURI uri = NormalizeURL(FURL);
    uri.Path += "/folderlist";
    std::string query = uri.HasQuery ? EncodeQueryText(uri.Query) : std::string();
    bool hasQuery = uri.HasQuery;
    for (const auto& [name, value] : ARequest.Params) {
        if (hasQuery && !query.empty())
            query += '&';
        query += name + '=' + EncodeQueryValue(value);
        hasQuery = true;
    }
    std::string url = uri.Origin() + EncodeURLPath(uri.Path);
    if (hasQuery)
        url += '?' + query;
    return url;
}

bool TRESTClientFileList::Execute(const std::string& AFolder, const std::string& AMask,
                                  bool ARecursive) {
    FFiles = TFilesInfoDTO();
    FError = std::make_unique<TFileInfoErrorDTO>();

    TRequest request;
    AddFolderParam(request, AFolder);
    AddMaskParam(request, AMask);
    AddRecursiveParam(request, ARecursive);
    const THTTPResponse response = FHTTP.Get(RequestURL(request));

    const std::string text = response.Text(FHTTP.MaxBodyInMemory);
    if (response.StatusCode < 300) {
        try {
            TFilesInfoDTOHelper::FromJSON(FFiles, text);
        } catch (...) {
            FFiles = TFilesInfoDTO(); // nobody reads a partial listing
            throw;
        }
    } else {
        // 300 to 499: the service's error object. When the body is not one, the empty
        // record set above stays, so Error and the destructor remain safe.
        FError = JsonToObject<TFileInfoErrorDTO>(text);
    }
    return FError->FStatus == 0;
}

// ---- TRESTClientDownload ----

namespace {

// Runs the download exchange, handing the body of a success to AWriter. Returns the failure's
// message, or nothing on success.
std::optional<std::string> Fetch(const THTTPExchange& AHTTP, const std::string& AURL,
                                 const std::string& ARemoteFileName,
                                 const THTTPBodyWriter& AWriter) {
    try {
        const THTTPResponse response =
            AHTTP.Get(TRESTClientDownload::DownloadURL(AURL, ARemoteFileName), AWriter);
        if (response.StatusCode < 300)
            return std::nullopt;
        // 300 to 499 (500 and above were raised): the body text, else the reason phrase.
        if (response.Body.empty())
            return response.ReasonPhrase;
        return response.Text(AHTTP.MaxBodyInMemory);
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
}

// Creates the local file, fetches into it and closes it. Returns the failure's message, or
// nothing on success. The file is closed when this returns.
std::optional<std::string> FetchToFile(const THTTPExchange& AHTTP, const std::string& AURL,
                                       const std::string& ARemoteFileName,
                                       const std::string& ALocalFileName) {
    try {
        TFileStream file(ALocalFileName);
        if (auto failure =
                Fetch(AHTTP, AURL, ARemoteFileName,
                      [&file](const char* data, size_t size) { file.Write(data, size); }))
            return failure;
        file.Close();
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
}

// The completion event of a threaded download: reset by hand, not signalled at first.
struct TCompletionEvent {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Signalled = false;

    void Signal() {
        {
            std::lock_guard lock(Lock);
            Signalled = true;
        }
        Changed.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds ATimeout) {
        std::unique_lock lock(Lock);
        return Changed.wait_for(lock, ATimeout, [this] { return Signalled; });
    }
};

} // namespace

TRESTClientDownload::TRESTClientDownload(std::string AURL) : FBaseURL(std::move(AURL)) {}

std::string TRESTClientDownload::DownloadURL(const std::string& ABaseURL,
                                             const std::string& ARemoteFileName) {
    // The base URL is cleaned on its own first, so that a trailing "/" gives the same request
    // as the clean form (as it does for the listing); then the name's own rules apply: a "#"
    // ends it, trailing blanks and "/" go, its backslashes stay.
    const std::string base = NormalizeURL(ABaseURL).ToString();
    const TURI uri = NormalizeURL(base + "/download?file=" + ARemoteFileName);
    std::string url = uri.Origin() + EncodeURLPath(uri.Path);
    if (uri.HasQuery)
        url += '?' + EncodeQueryText(uri.Query);
    return url;
}

bool TRESTClientDownload::Download(const std::string& ARemoteFileName,
                                   const std::string& ALocalFileName) {
    OutputDebugString(std::string(92, '>') + ARemoteFileName);
    if (const auto failure = FetchToFile(FHTTP, FBaseURL, ARemoteFileName, ALocalFileName)) {
        FError = *failure;
        DeleteFileChecked(ALocalFileName);
    }
    return FileExists(ALocalFileName);
}

bool TRESTClientDownload::DownloadTo(const std::string& ARemoteFileName,
                                     const THTTPBodyWriter& AWriter) {
    OutputDebugString(std::string(92, '>') + ARemoteFileName);
    if (const auto failure = Fetch(FHTTP, FBaseURL, ARemoteFileName, AWriter)) {
        FError = *failure;
        return false;
    }
    return true;
}

bool TRESTClientDownload::ThreadedDownload(const std::string& ARemoteFileName,
                                           const std::string& ALocalFileName) {
    auto done = std::make_shared<TCompletionEvent>();
    // The thread owns copies of everything it uses, so it may outlive this client.
    std::thread([done, http = FHTTP, url = FBaseURL, remote = ARemoteFileName,
                 local = ALocalFileName] {
        if (FetchToFile(http, url, remote, local)) {
            try {
                DeleteFileChecked(local);
            } catch (...) {
                // Nobody hears this thread: the result is whether the file exists.
            }
        }
        done->Signal();
    }).detach();

    while (!done->WaitFor(std::chrono::milliseconds(300)))
        ProcessMessages();
    return FileExists(ALocalFileName);
}

} // namespace corvane
