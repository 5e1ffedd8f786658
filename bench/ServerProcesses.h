// Shared by the file-service benchmarks: the real corvane-fileservice and nginx as child
// processes on 127.0.0.1, one-shot HTTP exchanges, and the machine's load.
//
//   ServerProcess service = StartFileService(tree, workers, work / "fileservice.log");
//   ServerProcess nginx = StartNginx(work / "nginx", workers, "location = /x { ... }");
//   const HttpReply reply = HttpGet(service.port, "/folderlist?folder=%5C&mask=*.*&recursive=");
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace corvane::bench {

namespace fs = std::filesystem;

[[noreturn]] inline void Fail(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::exit(1);
}

inline void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A child process with its standard output on a pipe and its errors appended to a file.
struct ServerProcess {
    pid_t pid = -1;
    int out = -1;
    std::uint16_t port = 0;
};

inline ServerProcess Spawn(const std::vector<std::string>& args, const fs::path& errors) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        Fail("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& arg : copy)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ServerProcess child;
    if (::posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        Fail("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    child.out = out[0];
    return child;
}

inline std::string ReadAll(int handle) {
    std::string text;
    char buffer[65536];
    for (ssize_t got; (got = ::read(handle, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(got));
    return text;
}

inline std::string ReadLine(int handle) {
    std::string line;
    char c = 0;
    while (::read(handle, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

// Stops the child and returns its exit code (-1 when it did not exit normally).
inline int Stop(ServerProcess& child, int signal = SIGTERM) {
    ::kill(child.pid, signal);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    ::close(child.out);
    child.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a program to its end; its exit code.
inline int Run(const std::vector<std::string>& args, const fs::path& errors) {
    ServerProcess child = Spawn(args, errors);
    ReadAll(child.out);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    ::close(child.out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::uint16_t FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

// A connected socket to 127.0.0.1:port, or -1; a stalled peer fails it after 30 s.
inline int ConnectLoopback(std::uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    const timeval limit{30, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

struct HttpReply {
    int status = 0; // 0: no whole answer
    std::string body;
};

// One GET on a connection of its own, closed after the answer, as the workstations' updater
// asks: the answer's body by its Content-Length.
inline HttpReply HttpGet(std::uint16_t port, const std::string& target) {
    HttpReply reply;
    const int s = ConnectLoopback(port);
    if (s < 0)
        return reply;
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::string raw;
    if (::send(s, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
        char buffer[65536];
        size_t headEnd = std::string::npos;
        size_t length = 0;
        for (;;) {
            if (headEnd == std::string::npos &&
                (headEnd = raw.find("\r\n\r\n")) != std::string::npos) {
                std::string head = raw.substr(0, headEnd);
                for (char& c : head)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                const size_t field = head.find("\r\ncontent-length:");
                if (field == std::string::npos || raw.compare(0, 9, "HTTP/1.1 ") != 0)
                    break;
                length = std::strtoull(head.c_str() + field + 17, nullptr, 10);
                raw.reserve(headEnd + 4 + length);
            }
            if (headEnd != std::string::npos && raw.size() >= headEnd + 4 + length) {
                reply.status = std::atoi(raw.c_str() + 9);
                reply.body = raw.substr(headEnd + 4, length);
                break;
            }
            const ssize_t got = ::recv(s, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            raw.append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(s);
    return reply;
}

// corvane-fileservice serving tree with the given number of threads, on a port of its choice;
// program: another build of it to measure instead of this build's.
inline ServerProcess StartFileService(const fs::path& tree, unsigned workers,
                                      const fs::path& errors,
                                      const std::string& program = CORVANE_FILESERVICE) {
    ServerProcess service = Spawn(
        {program, "--root", tree.string(), "--port", "0", "--threads", std::to_string(workers)},
        errors);
    const std::string address = ReadLine(service.out);
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos)
        Fail("corvane-fileservice did not start: see " + errors.string());
    service.port = static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1)));
    return service;
}

// nginx with its own prefix, on a free port of 127.0.0.1, with the given workers; http holds
// what goes in its http block besides the server, server what goes in the server block.
inline ServerProcess StartNginx(const fs::path& prefix, unsigned workers, const std::string& http,
                                const std::string& server) {
    fs::create_directories(prefix / "logs");
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::uint16_t port = FreePort();
        WriteText(prefix / "nginx.conf",
                  "worker_processes " + std::to_string(workers) +
                      ";\ndaemon off;\npid nginx.pid;\n" +
                      (::geteuid() == 0 ? "user root;\n" : "") +
                      "events { worker_connections 4096; }\n"
                      "http {\n"
                      "  access_log logs/access.log;\n"
                      "  client_body_temp_path body;\n  proxy_temp_path proxy;\n"
                      "  fastcgi_temp_path fastcgi;\n  uwsgi_temp_path uwsgi;\n"
                      "  scgi_temp_path scgi;\n"
                      "  sendfile on; tcp_nopush on; tcp_nodelay on; gzip off;\n"
                      "  keepalive_requests 1000000;\n" +
                      http + "  server {\n    listen 127.0.0.1:" + std::to_string(port) + ";\n" +
                      server + "  }\n}\n");
        ServerProcess nginx =
            Spawn({"nginx", "-p", prefix.string(), "-c", (prefix / "nginx.conf").string(), "-e",
                   (prefix / "logs" / "error.log").string()},
                  prefix / "logs" / "stderr.log");
        // Ready once it accepts a connection; gone when its port was taken meanwhile.
        for (int wait = 0; wait < 600; ++wait) {
            const int s = ConnectLoopback(port);
            if (s >= 0) {
                ::close(s);
                nginx.port = port;
                return nginx;
            }
            if (::waitpid(nginx.pid, nullptr, WNOHANG) == nginx.pid)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (nginx.port == 0 && ::kill(nginx.pid, 0) == 0)
            Stop(nginx);
    }
    Fail("nginx did not start: see " + (prefix / "logs" / "error.log").string());
}

// The peak resident memory of a process, in KiB (VmHWM), or -1.
inline long PeakMemoryKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// The machine's load averages, as uptime prints them.
inline std::string LoadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    return one + ", " + five + ", " + fifteen;
}

} // namespace corvane::bench
