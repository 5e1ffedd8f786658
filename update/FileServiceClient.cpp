#include "update/FileServiceClient.h"

#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "update/HttpUrl.h"

#include <optional>

namespace corvane {

// ---- FileServiceClient ----

FileServiceClient::FileServiceClient(std::string url)
    : url_(std::move(url)), error_(std::make_unique<FileRecordError>()) {}

void FileServiceClient::AddFolderParam(Request& request, const std::string& folder) const {
    if (!folder.empty())
        request.params.emplace_back("folder", folder);
}

void FileServiceClient::AddMaskParam(Request& request, const std::string& mask) const {
    if (!mask.empty())
        request.params.emplace_back("mask", mask);
}

void FileServiceClient::AddRecursiveParam(Request& request, bool recursive) const {
    // Recursion off is told by the parameter's absence.
    if (recursive)
        request.params.emplace_back("recursive", "");
}

std::string FileServiceClient::RequestURL(const Request& request) const {
    Url uri = NormalizeURL(url_);
    uri.path += "/folderlist";
    std::string query = uri.hasQuery ? EncodeQueryText(uri.query) : std::string();
    bool hasQuery = uri.hasQuery;
    for (const auto& [name, value] : request.params) {
        if (hasQuery && !query.empty())
            query += '&';
        query += name + '=' + EncodeQueryValue(value);
        hasQuery = true;
    }
    std::string url = uri.Origin() + EncodeURLPath(uri.path);
    if (hasQuery)
        url += '?' + query;
    return url;
}

bool FileServiceClient::Execute(const std::string& folder, const std::string& mask,
                                bool recursive) {
    files_ = FileRecordList();
    error_ = std::make_unique<FileRecordError>();

    Request request;
    AddFolderParam(request, folder);
    AddMaskParam(request, mask);
    AddRecursiveParam(request, recursive);
    const HttpResponse response = http_.Get(RequestURL(request));

    const std::string text = response.Text(http_.maxBodyInMemory);
    if (response.statusCode < 300) {
        try {
            FileRecordListJson::FromJSON(files_, text);
        } catch (...) {
            files_ = FileRecordList(); // nobody reads a partial listing
            throw;
        }
    } else {
        // 300 to 499: the service's error object. When the body is not one, the empty
        // record set above stays, so Error and the destructor remain safe.
        error_ = JsonToObject<FileRecordError>(text);
    }
    return error_->status == 0;
}

// ---- FileDownloadClient ----

namespace {

// Runs the download exchange, handing the body of a success to writer. Returns the failure's
// message, or nothing on success.
std::optional<std::string> Fetch(const HttpClient& http, const std::string& url,
                                 const std::string& remoteFileName, const BodySink& writer) {
    try {
        const HttpResponse response =
            http.Get(FileDownloadClient::DownloadURL(url, remoteFileName), writer);
        if (response.statusCode < 300)
            return std::nullopt;
        // 300 to 499 (500 and above were raised): the body text, else the reason phrase.
        if (response.body.empty())
            return response.reasonPhrase;
        return response.Text(http.maxBodyInMemory);
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
}

// Creates the local file, fetches into it and closes it. Returns the failure's message, or
// nothing on success. The file is closed when this returns.
std::optional<std::string> FetchToFile(const HttpClient& http, const std::string& url,
                                       const std::string& remoteFileName,
                                       const std::string& localFileName) {
    try {
        FileStream file(localFileName);
        if (auto failure = Fetch(http, url, remoteFileName, [&file](const char* data, size_t size) {
                file.Write(data, size);
            }))
            return failure;
        file.Close();
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
}

} // namespace

FileDownloadClient::FileDownloadClient(std::string url) : baseUrl_(std::move(url)) {}

std::string FileDownloadClient::DownloadURL(const std::string& baseUrl,
                                            const std::string& remoteFileName) {
    // The base URL is cleaned on its own first, so that a trailing "/" gives the same request
    // as the clean form (as it does for the listing); then the name's own rules apply: a "#"
    // ends it, trailing blanks and "/" go, its backslashes stay.
    const std::string base = NormalizeURL(baseUrl).ToString();
    const Url uri = NormalizeURL(base + "/download?file=" + remoteFileName);
    std::string url = uri.Origin() + EncodeURLPath(uri.path);
    if (uri.hasQuery)
        url += '?' + EncodeQueryText(uri.query);
    return url;
}

bool FileDownloadClient::Download(const std::string& remoteFileName,
                                  const std::string& localFileName) {
    WriteTraceLine(std::string(92, '>') + remoteFileName);
    if (const auto failure = FetchToFile(http_, baseUrl_, remoteFileName, localFileName)) {
        error_ = *failure;
        DeleteFileChecked(localFileName);
    }
    return FileExists(localFileName);
}

bool FileDownloadClient::DownloadTo(const std::string& remoteFileName, const BodySink& writer) {
    WriteTraceLine(std::string(92, '>') + remoteFileName);
    if (const auto failure = Fetch(http_, baseUrl_, remoteFileName, writer)) {
        error_ = *failure;
        return false;
    }
    return true;
}

} // namespace corvane
