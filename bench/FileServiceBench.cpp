// corvane-fileservice against nginx, measured with wrk in the same run:
//  1. the whole-tree listing of a 20,000-file tree, nginx serving the same JSON as a file;
//  2. the download of a 1 MB file, nginx serving the same file.
// Both servers listen on 127.0.0.1 with as many workers as there are processors; wrk keeps 64
// connections open. Rounds alternate between the two; the median of each is compared.
//
// bench_fileservice [seconds per round, default 5] [rounds, default 3]
#include <algorithm>
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
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kListing = "/folderlist?folder=%5C&mask=*.*&recursive=";
constexpr const char* kDownload = "/download?file=big.bin";

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "bench_fileservice: %s\n", message.c_str());
    std::exit(1);
}

// A child process with its standard output on a pipe and its errors in a file.
struct TChild {
    pid_t Pid = -1;
    int Out = -1;
};

TChild Spawn(const std::vector<std::string>& args, const fs::path& errors) {
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
    TChild child;
    if (::posix_spawnp(&child.Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        Fail("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    child.Out = out[0];
    return child;
}

std::string ReadAll(int handle) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(handle, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(got));
    return text;
}

std::string ReadLine(int handle) {
    std::string line;
    char c = 0;
    while (::read(handle, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

int Stop(TChild& child, int signal) {
    ::kill(child.Pid, signal);
    int status = 0;
    ::waitpid(child.Pid, &status, 0);
    ::close(child.Out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::uint16_t FreePort() {
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

// One GET with "Connection: close"; the body, or nothing when the status is not 200.
std::string Fetch(std::uint16_t port, const std::string& target) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail("cannot connect to port " + std::to_string(port));
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(s, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        Fail("send");
    const std::string raw = ReadAll(s);
    ::close(s);
    const size_t head = raw.find("\r\n\r\n");
    if (raw.compare(0, 12, "HTTP/1.1 200") != 0 || head == std::string::npos)
        Fail("unexpected answer to " + target + ": " + raw.substr(0, 80));
    return raw.substr(head + 4);
}

// wrk's requests per second, or a failure when some answers were not 2xx.
double Wrk(std::uint16_t port, const char* target, int seconds, const fs::path& work) {
    TChild wrk = Spawn({"wrk", "-t", "2", "-c", "64", "-d", std::to_string(seconds) + "s",
                        "http://127.0.0.1:" + std::to_string(port) + target},
                       work / "wrk-errors.log");
    const std::string output = ReadAll(wrk.Out);
    int status = 0;
    ::waitpid(wrk.Pid, &status, 0);
    ::close(wrk.Out);
    if (output.find("Non-2xx") != std::string::npos ||
        output.find("Socket errors") != std::string::npos)
        Fail("wrk saw errors on port " + std::to_string(port) + ":\n" + output);
    const size_t at = output.find("Requests/sec:");
    if (at == std::string::npos)
        Fail("wrk gave no result:\n" + output);
    return std::strtod(output.c_str() + at + 13, nullptr);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    std::signal(SIGPIPE, SIG_IGN);

    char pattern[] = "/tmp/corvane-bench-fileservice-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        Fail("mkdtemp");
    const fs::path work(pattern);
    ::chmod(pattern, 0755); // nginx's workers run as another user
    const fs::path tree = work / "tree";
    const fs::path www = work / "www";
    const fs::path nginxPrefix = work / "nginx";
    fs::create_directories(www);
    fs::create_directories(nginxPrefix / "logs");

    // 100 folders of 200 small files, and the 1 MB file at the root.
    std::printf("building a tree of 20,000 files in %s\n", tree.c_str());
    for (int folder = 0; folder < 100; ++folder) {
        char folderName[32];
        std::snprintf(folderName, sizeof folderName, "Pasta%03d", folder);
        fs::create_directories(tree / folderName);
        for (int file = 0; file < 200; ++file) {
            char fileName[32];
            std::snprintf(fileName, sizeof fileName, "Arquivo%04d.dll", file);
            WriteText(tree / folderName / fileName, std::string(100, 'x'));
        }
    }
    std::string big(1 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + 7);
    WriteText(tree / "big.bin", big);

    TChild service = Spawn({CORVANE_FILESERVICE, "--root", tree.string(), "--port", "0",
                            "--threads", std::to_string(workers)},
                           work / "fileservice.log");
    const std::string address = ReadLine(service.Out);
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos)
        Fail("corvane-fileservice did not start: see " + (work / "fileservice.log").string());
    const auto servicePort = static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1)));

    // nginx serves the service's own answer as a static file.
    const std::string listing = Fetch(servicePort, kListing);
    WriteText(www / "folderlist.json", listing);
    if (Fetch(servicePort, kDownload) != big)
        Fail("the service's download differs from the file");
    const std::uint16_t nginxPort = FreePort();
    WriteText(nginxPrefix / "nginx.conf",
              "worker_processes " + std::to_string(workers) +
                  ";\n"
                  "daemon off;\n"
                  "pid " +
                  (nginxPrefix / "nginx.pid").string() +
                  ";\n"
                  "error_log " +
                  (nginxPrefix / "logs" / "error.log").string() +
                  ";\n"
                  "events { worker_connections 4096; }\n"
                  "http {\n"
                  "  access_log " +
                  (nginxPrefix / "logs" / "access.log").string() +
                  ";\n"
                  "  client_body_temp_path " +
                  (nginxPrefix / "body").string() +
                  ";\n"
                  "  sendfile on; tcp_nopush on; tcp_nodelay on; gzip off;\n"
                  "  keepalive_requests 1000000;\n"
                  "  server {\n"
                  "    listen 127.0.0.1:" +
                  std::to_string(nginxPort) +
                  ";\n"
                  "    location = /folderlist { default_type \"application/json; charset=utf-8\"; "
                  "alias " +
                  (www / "folderlist.json").string() +
                  "; }\n"
                  "    location = /download { default_type application/octet-stream; alias " +
                  (tree / "big.bin").string() + "; }\n  }\n}\n");
    TChild nginx =
        Spawn({"nginx", "-p", nginxPrefix.string(), "-c", (nginxPrefix / "nginx.conf").string()},
              work / "nginx-stderr.log");
    // nginx is ready once it answers.
    std::string nginxListing;
    for (int attempt = 0; attempt < 200 && nginxListing.empty(); ++attempt) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in probe{};
        probe.sin_family = AF_INET;
        probe.sin_port = htons(nginxPort);
        probe.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&probe), sizeof probe) == 0;
        ::close(s);
        if (up)
            nginxListing = Fetch(nginxPort, kListing);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (nginxListing != listing || Fetch(nginxPort, kDownload) != big)
        Fail("nginx does not serve the same answers: see " + work.string());

    std::printf("listing: %zu bytes of JSON; download: %zu bytes; %u workers each; "
                "wrk -t 2 -c 64, %d rounds of %d s\n",
                listing.size(), big.size(), workers, rounds, seconds);
    struct Case {
        const char* Name;
        const char* Target;
        std::vector<double> Ours;
        std::vector<double> Peer;
    };
    std::vector<Case> cases = {{"listing of 20,000 files", kListing, {}, {}},
                               {"download of 1 MB", kDownload, {}, {}}};
    for (Case& c : cases) {
        Wrk(servicePort, c.Target, 1, work); // warm-up
        Wrk(nginxPort, c.Target, 1, work);
        for (int round = 0; round < rounds; ++round) {
            c.Ours.push_back(Wrk(servicePort, c.Target, seconds, work));
            c.Peer.push_back(Wrk(nginxPort, c.Target, seconds, work));
            std::printf("  %s, round %d: corvane-fileservice %.0f req/s, nginx %.0f req/s\n",
                        c.Name, round + 1, c.Ours.back(), c.Peer.back());
            std::fflush(stdout);
        }
    }
    bool met = true;
    for (const Case& c : cases) {
        const double ours = Median(c.Ours);
        const double peer = Median(c.Peer);
        const double ratio = ours / peer;
        met = met && ratio >= 0.8;
        std::printf("%s: corvane-fileservice %.0f req/s, nginx %.0f req/s, ratio %.2f "
                    "(aim >= 0.80)\n",
                    c.Name, ours, peer, ratio);
    }
    const int serviceExit = Stop(service, SIGTERM);
    Stop(nginx, SIGTERM);
    if (serviceExit != 0)
        Fail("corvane-fileservice ended with " + std::to_string(serviceExit) + " on SIGTERM");
    std::error_code ignored;
    fs::remove_all(work, ignored);
    std::printf("%s\n", met ? "aim met" : "aim not met");
    return 0;
}
