// Downloads against curl, both fetching from the same nginx on 127.0.0.1 that this program
// starts (not as a daemon) with its own configuration in a temporary folder:
//   1. one file of 1 GiB: FileDownloadClient::Download against `curl -o`, and the peak memory
//      of the downloading process (aim: at most 1.1 times curl's time, under 64 MB);
//   2. 48 files of 1 MiB, each answer delayed 20 ms by nginx (echo module): 48 Download calls
//      on 48 threads against `curl --parallel --parallel-max 48`.
// Both sides run as fresh child processes of this program, so each is timed the same way:
// wall clock from start to exit, CPU time and peak memory from the kernel's accounting of that
// one process. Rounds alternate which side goes first, and dirty pages are flushed before each
// timed run so that one side's writes are not paid by the other. The best round of each side
// is compared.
//
// Usage: bench_download [rounds]        (default 5)
//        bench_download --fetch BASE_URL REMOTE LOCAL [REMOTE LOCAL ...]
//                                        (one download per pair, all at once; used by the above)
#include "update/FileServiceClient.h"

#include <algorithm>
#include <arpa/inet.h>
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
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint64_t kBigSize = uint64_t{1} << 30;
constexpr int kSmallCount = 48;
constexpr size_t kSmallSize = size_t{1} << 20;

// "s7.bin" and the like, built by appending (GCC 12 warns falsely on "s" + to_string(i)).
std::string Numbered(const char* prefix, int i, const char* suffix = "") {
    std::string name(prefix);
    name.append(std::to_string(i)).append(suffix);
    return name;
}

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(s);
    return ntohs(a.sin_port);
}

bool PortAnswers(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

void WriteFile(const fs::path& path, uint64_t size, unsigned seed) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(8 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
    for (uint64_t left = size; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

// Starts a program found on PATH, standard error and output going to the files when given.
pid_t Spawn(const std::vector<std::string>& args, const char* errFile = nullptr,
            const char* outFile = nullptr) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (errFile)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile,
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (outFile)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile,
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

struct Run {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    double peakMiB = 0;
};

// Runs a program to its end and reads its own accounting.
Run RunTimed(const std::vector<std::string>& args, const char* errFile) {
    ::sync();
    Run run;
    const std::string outFile = std::string(errFile) + ".out";
    const auto start = Clock::now();
    const pid_t pid = Spawn(args, errFile, outFile.c_str());
    if (pid < 0)
        return run;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    // Our fetcher reports its own peak; curl's is not known without its cooperation.
    std::ifstream report(outFile);
    for (std::string word; report >> word;)
        if (word == "VmHWM:" && report >> run.peakMiB)
            run.peakMiB /= 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct Side {
    double wall = 1e9;
    double cpu = 1e9;
    double peakMiB = 0;
    bool ok = true;
    void Add(const Run& run) {
        ok = ok && run.ok;
        wall = std::min(wall, run.wall);
        cpu = std::min(cpu, run.cpu);
        peakMiB = std::max(peakMiB, run.peakMiB);
    }
};

void Report(const char* oursName, const Side& ours, const char* theirsName, const Side& theirs) {
    std::printf("  %-36s wall %7.3f s   cpu %6.3f s   peak memory %6.1f MiB\n", oursName, ours.wall,
                ours.cpu, ours.peakMiB);
    std::printf("  %-36s wall %7.3f s   cpu %6.3f s\n", theirsName, theirs.wall, theirs.cpu);
    std::printf("  ratio ours/curl                      wall %.2f        cpu %.2f\n",
                ours.wall / theirs.wall, ours.cpu / theirs.cpu);
}

// Runs both sides `rounds` times, in turns first.
void Compare(int rounds, Side& ours, const std::vector<std::string>& oursArgs, Side& theirs,
             const std::vector<std::string>& theirsArgs, const char* errFile,
             const std::function<void()>& clean) {
    for (int r = 0; r < rounds; ++r) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (r % 2 == 0))
                ours.Add(RunTimed(oursArgs, errFile));
            else
                theirs.Add(RunTimed(theirsArgs, errFile));
            clean();
        }
    }
}

int Fetch(int argc, char** argv) {
    const std::string base = argv[2];
    std::vector<std::thread> jobs;
    std::vector<char> ok(static_cast<size_t>((argc - 3) / 2), 0);
    for (int i = 3; i + 1 < argc; i += 2)
        jobs.emplace_back([&, i] {
            corvane::FileDownloadClient client(base);
            ok[static_cast<size_t>((i - 3) / 2)] = client.Download(argv[i], argv[i + 1]);
            if (!client.Error().empty())
                std::fprintf(stderr, "%s: %s\n", argv[i], client.Error().c_str());
        });
    for (auto& job : jobs)
        job.join();
    // The peak resident size of this process image (ru_maxrss would also count the parent's).
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            std::printf("%s\n", line.c_str());
    return std::count(ok.begin(), ok.end(), 0) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::string(argv[1]) == "--fetch")
        return Fetch(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string self = fs::canonical("/proc/self/exe").string();

    char pattern[] = "/tmp/corvane-bench-download-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path root = pattern;
    // nginx's workers may run as another user: the tree must be readable by all.
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    for (const char* sub : {"www", "www/files", "tmp", "out"})
        fs::create_directory(root / sub, root);
    WriteFile(root / "www/files/big.bin", kBigSize, 1);
    for (int i = 0; i < kSmallCount; ++i)
        WriteFile(root / "www/files" / Numbered("s", i, ".bin"), kSmallSize,
                  100u + static_cast<unsigned>(i));

    const int fastPort = FreePort();
    const int slowPort = FreePort();
    const std::string p = root.string();
    std::ofstream(root / "nginx.conf")
        << "load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;\n"
        << "worker_processes 2;\nerror_log " << p << "/error.log;\npid " << p << "/nginx.pid;\n"
        << "events { worker_connections 1024; }\nhttp {\n  access_log off;\n  sendfile on;\n"
        << "  tcp_nopush on;\n  client_body_temp_path " << p << "/tmp;\n"
        << "  proxy_temp_path " << p << "/tmp;\n  fastcgi_temp_path " << p << "/tmp;\n"
        << "  uwsgi_temp_path " << p << "/tmp;\n  scgi_temp_path " << p << "/tmp;\n"
        << "  server {\n    listen 127.0.0.1:" << fastPort << ";\n    root " << p << "/www;\n"
        << "    location = /download { rewrite ^ /files/$arg_file last; }\n"
        << "    location /files/ { internal; }\n  }\n"
        << "  server {\n    listen 127.0.0.1:" << slowPort << ";\n    root " << p << "/www;\n"
        << "    location = /download { echo_sleep 0.02; echo_exec /files/$arg_file; }\n"
        << "    location /files/ { internal; }\n  }\n}\n";
    const pid_t nginx = Spawn({"nginx", "-p", p, "-c", p + "/nginx.conf", "-g", "daemon off;"});
    for (int i = 0; i < 200 && !(PortAnswers(fastPort) && PortAnswers(slowPort)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    if (nginx < 0 || !PortAnswers(fastPort) || !PortAnswers(slowPort)) {
        std::fprintf(stderr, "nginx did not start; see %s/error.log\n", p.c_str());
        return 2;
    }

    const std::string fast = "http://127.0.0.1:" + std::to_string(fastPort);
    const std::string slow = "http://127.0.0.1:" + std::to_string(slowPort);
    const fs::path out = root / "out";
    // The trace lines and any error of the children go to a log.
    const std::string log = p + "/children.log";
    const auto clean = [&] {
        for (const auto& entry : fs::directory_iterator(out))
            fs::remove(entry.path());
    };

    // 1. One file of 1 GiB.
    const std::string big = (out / "big.bin").string();
    const std::vector<std::string> oursBig = {self, "--fetch", fast, "big.bin", big};
    const std::vector<std::string> curlBig = {"curl", "-sS", "-o", big,
                                              fast + "/download?file=big.bin"};
    RunTimed(oursBig, log.c_str()); // warms the caches, untimed
    clean();
    Side ours1, curl1;
    Compare(rounds, ours1, oursBig, curl1, curlBig, log.c_str(), clean);

    // 2. 48 files of 1 MiB, each answer delayed 20 ms.
    std::vector<std::string> oursSmall = {self, "--fetch", slow};
    std::vector<std::string> curlSmall = {
        "curl", "-sS", "--no-progress-meter", "--parallel", "--parallel-max", "48"};
    for (int i = 0; i < kSmallCount; ++i) {
        const std::string name = Numbered("s", i, ".bin");
        oursSmall.push_back(name);
        oursSmall.push_back((out / name).string());
        curlSmall.push_back("-o");
        curlSmall.push_back((out / name).string());
        curlSmall.push_back(slow + "/download?file=" + name);
    }
    Side ours2, curl2;
    Compare(rounds, ours2, oursSmall, curl2, curlSmall, log.c_str(), clean);

    ::kill(nginx, SIGQUIT);
    ::waitpid(nginx, nullptr, 0);

    std::printf("bench 1: one 1 GiB file from nginx on 127.0.0.1, best of %d rounds\n", rounds);
    Report("FileDownloadClient.Download", ours1, "curl -o", curl1);
    std::printf("  aim: wall ratio <= 1.10, our peak memory < 64 MiB\n");
    std::printf("bench 2: 48 files of 1 MiB, each answer delayed 20 ms, best of %d rounds\n",
                rounds);
    Report("48 parallel Download calls", ours2, "curl --parallel --parallel-max 48", curl2);
    const bool ok = ours1.ok && curl1.ok && ours2.ok && curl2.ok;
    if (!ok)
        std::printf("some downloads failed (see %s): the times above are not valid\n", log.c_str());
    std::fflush(stdout);
    if (ok) {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    return ok ? 0 : 1;
}
