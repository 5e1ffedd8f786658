// A served tree in a temporary folder, the service running in this process on an ephemeral
// port of 127.0.0.1, and a plain HTTP client that sends request targets byte for byte.
#pragma once

#include "platform/ServiceProcess.h"
#include "service/FileService.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <rapidjson/document.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace corvane::test {

namespace fs = std::filesystem;

// The service's log lines, waited for without sleeping.
class LogSink {
public:
    void Add(std::string_view line) {
        {
            std::lock_guard lock(lock_);
            lines_.emplace_back(line);
        }
        changed_.notify_all();
    }
    // Waits (at most 30 s) until a line containing text has been written; returns it.
    std::optional<std::string> WaitFor(std::string_view text, size_t count = 1) {
        std::unique_lock lock(lock_);
        std::optional<std::string> last;
        changed_.wait_for(lock, std::chrono::seconds(30), [&] {
            size_t seen = 0;
            for (const auto& line : lines_)
                if (line.find(text) != std::string::npos) {
                    last = line;
                    ++seen;
                }
            return seen >= count;
        });
        return last;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

// A socket that closes itself.
class Socket {
public:
    Socket() = default;
    explicit Socket(int handle) : handle_(handle) {}
    Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}
    Socket& operator=(Socket&& other) noexcept {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        return *this;
    }
    ~Socket() { Close(); }
    int Get() const { return handle_; }
    void Close() {
        if (handle_ >= 0)
            ::close(std::exchange(handle_, -1));
    }

private:
    int handle_ = -1;
};

inline Socket Connect(std::uint16_t port) {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.Get() < 0)
        return socket;
    timeval limit{30, 0}; // a hung service fails the test instead of blocking it
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        socket.Close();
    return socket;
}

inline bool SendAll(int socket, std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

inline std::string RequestText(std::string_view method, std::string_view target,
                               std::string_view extraHeaders = {}, std::string_view body = {}) {
    std::string text(method);
    text += ' ';
    text += target;
    text += " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    text += extraHeaders;
    text += "\r\n";
    text += body;
    return text;
}

struct HttpAnswer {
    int status = 0;                             // 0: no answer could be read
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    std::string Header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

// Reads an answer to a request sent with "Connection: close": everything up to the end of
// the connection.
inline HttpAnswer ReadAnswer(int socket) {
    std::string raw;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        raw.append(buffer, static_cast<size_t>(got));
    }
    HttpAnswer answer;
    const size_t headEnd = raw.find("\r\n\r\n");
    if (raw.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos)
        return answer;
    answer.status = std::stoi(raw.substr(9, 3));
    size_t line = raw.find("\r\n") + 2;
    while (line < headEnd) {
        const size_t end = raw.find("\r\n", line);
        const std::string header = raw.substr(line, end - line);
        const size_t colon = header.find(':');
        if (colon != std::string::npos) {
            std::string name = header.substr(0, colon);
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            answer.headers[name] = header.substr(header.find_first_not_of(' ', colon + 1));
        }
        line = end + 2;
    }
    answer.body = raw.substr(headEnd + 4);
    return answer;
}

// Reads one answer on a connection that stays open: its head, then as many body bytes as
// its Content-Length gives. Returns the body.
inline std::string ReadOneAnswerBody(int socket) {
    std::string raw;
    char buffer[4096];
    size_t headEnd = std::string::npos;
    size_t length = 0;
    for (;;) {
        if (headEnd == std::string::npos && (headEnd = raw.find("\r\n\r\n")) != std::string::npos) {
            const size_t field = raw.find("Content-Length: ");
            if (field == std::string::npos || field > headEnd)
                return {};
            length = std::stoul(raw.substr(field + 16));
        }
        if (headEnd != std::string::npos && raw.size() >= headEnd + 4 + length)
            return raw.substr(headEnd + 4, length);
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        raw.append(buffer, static_cast<size_t>(got));
    }
}

inline HttpAnswer Exchange(std::uint16_t port, std::string_view method, std::string_view target,
                           std::string_view extraHeaders = {}, std::string_view body = {}) {
    Socket socket = Connect(port);
    if (socket.Get() < 0 || !SendAll(socket.Get(), RequestText(method, target, extraHeaders, body)))
        return {};
    return ReadAnswer(socket.Get());
}

inline HttpAnswer Get(std::uint16_t port, std::string_view target) {
    return Exchange(port, "GET", target);
}

// The fileName members of a listing answer; nothing when the body is not a JSON array of
// objects with a string fileName and a string age, and with a number size and a string sha256
// or neither.
inline std::optional<std::vector<std::string>> ListedNames(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.data(), body.size());
    if (document.HasParseError() || !document.IsArray())
        return std::nullopt;
    std::vector<std::string> names;
    for (const auto& item : document.GetArray()) {
        if (!item.IsObject() || !item.HasMember("fileName") || !item["fileName"].IsString() ||
            !item.HasMember("age") || !item["age"].IsString())
            return std::nullopt;
        const bool checks = item.HasMember("size") && item["size"].IsUint64() &&
                            item.HasMember("sha256") && item["sha256"].IsString();
        if (item.MemberCount() != (checks ? 4u : 2u))
            return std::nullopt;
        names.emplace_back(item["fileName"].GetString(), item["fileName"].GetStringLength());
    }
    return names;
}

// The size and SHA-256 a listing gives a file, or nothing.
struct ListedFileContent {
    std::uint64_t size = 0;
    std::string sha256;
    friend bool operator==(const ListedFileContent&, const ListedFileContent&) = default;
};

inline std::optional<ListedFileContent> ListedContent(const std::string& body,
                                                      std::string_view name) {
    rapidjson::Document document;
    document.Parse(body.data(), body.size());
    if (document.HasParseError() || !document.IsArray())
        return std::nullopt;
    for (const auto& item : document.GetArray())
        if (item.IsObject() && item.HasMember("fileName") && item["fileName"].IsString() &&
            name == item["fileName"].GetString() && item.HasMember("size") &&
            item["size"].IsUint64() && item.HasMember("sha256") && item["sha256"].IsString())
            return ListedFileContent{item["size"].GetUint64(), item["sha256"].GetString()};
    return std::nullopt;
}

// The age a listing gives a file, or nothing.
inline std::optional<std::string> ListedAge(const std::string& body, std::string_view name) {
    rapidjson::Document document;
    document.Parse(body.data(), body.size());
    if (document.HasParseError() || !document.IsArray())
        return std::nullopt;
    for (const auto& item : document.GetArray())
        if (item.IsObject() && item.HasMember("fileName") && item["fileName"].IsString() &&
            name == item["fileName"].GetString())
            return std::string(item["age"].GetString());
    return std::nullopt;
}

// True for the service's error object with this status.
inline bool IsErrorObject(const std::string& body, int status) {
    rapidjson::Document document;
    document.Parse(body.data(), body.size());
    return !document.HasParseError() && document.IsObject() && document.HasMember("error") &&
           document["error"].IsString() && document.HasMember("detail") &&
           document["detail"].IsString() && document.HasMember("status") &&
           document["status"].IsInt() && document["status"].GetInt() == status;
}

inline void WriteFile(const fs::path& path, std::string_view content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}

// A file of the given size whose bytes tell their own position (so a short or shifted
// body shows).
inline std::string PatternContent(size_t size) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
    return content;
}

// A temporary folder with the served root inside it and a secret file beside the root.
class ServedTree {
public:
    ServedTree() {
        static int counter = 0;
        base_ = fs::temp_directory_path() /
                ("corvane-service-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(base_);
        fs::create_directories(Root());
        WriteFile(base_ / "secret.txt", kSecret);
    }
    ~ServedTree() {
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }
    fs::path Base() const { return base_; }
    fs::path Root() const { return base_ / "root"; }

    static constexpr std::string_view kSecret = "segredo-fora-da-raiz";

private:
    fs::path base_;
};

// A running service over a served tree.
class ServiceTest : public ::testing::Test {
protected:
    void StartService(std::chrono::seconds headerTimeout = FileServiceOptions().headerTimeout) {
        RaiseOpenFileLimit();
        FileServiceOptions options;
        options.root = tree_.Root().string();
        options.port = 0;
        options.threads = 2;
        options.headerTimeout = headerTimeout;
        // Files count as settled at once (small ones are sent from memory from their first
        // request on, hashes kept from the first listing), so that every case here goes the
        // way a file unchanged for a while goes.
        options.contentSettle = std::chrono::milliseconds(0);
        options.log = [this](std::string_view line) { log_.Add(line); };
        service_ = std::make_unique<FileService>(options);
    }
    std::uint16_t Port() const { return service_->Port(); }

    ServedTree tree_;
    LogSink log_;
    std::unique_ptr<FileService> service_;
};

} // namespace corvane::test
