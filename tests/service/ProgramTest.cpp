// The real corvane-fileservice program: its command line, its log and its clean stop.
#include "tests/service/ServiceFixture.h"

#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace corvane::test {
namespace {

// The limit of open files a program is started with.
struct OpenFiles {
    rlim_t soft;
    rlim_t hard;
};

// The program started with pipes on its standard output and error; its standard error is
// read as it comes, so that a talkative program never blocks on a full pipe.
class Program {
public:
    explicit Program(const std::vector<std::string>& args,
                     std::optional<OpenFiles> openFiles = std::nullopt) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> all{CORVANE_FILESERVICE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (!openFiles) {
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
            posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
            if (::posix_spawn(&pid_, CORVANE_FILESERVICE, &actions, nullptr, argv.data(),
                              environ) != 0)
                pid_ = -1;
            posix_spawn_file_actions_destroy(&actions);
        } else {
            // posix_spawn cannot set a limit: the child sets it between fork and exec, with
            // calls that are safe there only.
            const rlimit limit{openFiles->soft, openFiles->hard};
            pid_ = ::fork();
            if (pid_ == 0) {
                if (::dup2(out[1], STDOUT_FILENO) < 0 || ::dup2(err[1], STDERR_FILENO) < 0 ||
                    ::setrlimit(RLIMIT_NOFILE, &limit) != 0)
                    ::_exit(126);
                ::execve(CORVANE_FILESERVICE, argv.data(), environ);
                ::_exit(127);
            }
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = Socket(out[0]);
        err_ = Socket(err[0]);
        errReader_ = std::thread([this] { ReadErrors(); });
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (errReader_.joinable())
            errReader_.join();
    }
    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // The first line of standard output: the address served.
    std::string FirstLine() {
        std::string line;
        char c = 0;
        while (::read(out_.Get(), &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    // Waits for the program's end; gives what it wrote on standard error, and the exit
    // status (-1 when not a normal exit).
    int Finish(std::string& errors) {
        int status = 0;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        if (errReader_.joinable())
            errReader_.join();
        errors = errors_;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Waits (at most `limit`) until standard error holds `text` `count` times.
    bool WaitForErrors(std::string_view text, size_t count, std::chrono::seconds limit) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, limit, [&] {
            size_t seen = 0;
            for (size_t at = errors_.find(text); at != std::string::npos;
                 at = errors_.find(text, at + text.size()))
                ++seen;
            return seen >= count;
        });
    }

private:
    void ReadErrors() {
        char buffer[4096];
        for (ssize_t got; (got = ::read(err_.Get(), buffer, sizeof buffer)) > 0;) {
            {
                std::lock_guard lock(lock_);
                errors_.append(buffer, static_cast<size_t>(got));
            }
            changed_.notify_all();
        }
    }

    pid_t pid_ = -1;
    Socket out_;
    Socket err_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::string errors_;
    std::thread errReader_;
};

std::uint16_t PortOf(const std::string& address) {
    const size_t colon = address.rfind(':');
    return colon == std::string::npos
               ? 0
               : static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1)));
}

TEST(Program, ServesLogsAndStopsCleanlyOnSigtermWithADownloadUnderWay) {
    ServedTree tree;
    WriteFile(tree.Root() / "Morvik.exe", "morvik");
    WriteFile(tree.Root() / "large.bin", PatternContent(32u << 20));
    Program program({"--root", tree.Root().string(), "--port", "0"});
    ASSERT_TRUE(program.Started());
    const std::string address = program.FirstLine();
    ASSERT_EQ(address.rfind("http://127.0.0.1:", 0), 0u) << address;
    const std::uint16_t port = PortOf(address);

    EXPECT_EQ(Get(port, "/download?file=MORVIK.EXE").body, "morvik");
    // A client that stopped reading halfway through a large file.
    Socket stalled = Connect(port);
    ASSERT_TRUE(SendAll(stalled.Get(), RequestText("GET", "/download?file=large.bin")));
    char first[1024];
    ASSERT_GT(::recv(stalled.Get(), first, sizeof first, 0), 0);

    ASSERT_EQ(::kill(program.Pid(), SIGTERM), 0);
    std::string errors;
    EXPECT_EQ(program.Finish(errors), 0) << errors;
    EXPECT_NE(errors.find("GET /download?file=MORVIK.EXE 200 6 "), std::string::npos) << errors;
    EXPECT_NE(errors.find("parado"), std::string::npos) << errors;
}

struct CommandLineCase {
    std::vector<std::string> args; // "{ROOT}" stands for an existing folder
    int exitCode;
    const char* message; // part of what standard error says
};

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, RefusesWhatItCannotServe) {
    ServedTree tree;
    std::vector<std::string> args = GetParam().args;
    for (std::string& arg : args)
        if (const size_t at = arg.find("{ROOT}"); at != std::string::npos)
            arg.replace(at, 6, tree.Root().string());
    Program program(args);
    ASSERT_TRUE(program.Started());
    std::string errors;
    EXPECT_EQ(program.Finish(errors), GetParam().exitCode) << errors;
    EXPECT_NE(errors.find(GetParam().message), std::string::npos) << errors;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLine,
    ::testing::Values(
        CommandLineCase{{}, 2, "--root"}, CommandLineCase{{"--root"}, 2, "falta o valor"},
        CommandLineCase{{"--root", "/nao/existe/corvane"}, 1, "não existe"},
        CommandLineCase{{"--root", "{ROOT}", "--port", "70000"}, 2, "porta inválida"},
        CommandLineCase{{"--root", "{ROOT}", "--port", "-1"}, 2, "porta inválida"},
        CommandLineCase{{"--root", "{ROOT}", "--bind", "servidor"}, 1, "Endereço inválido"},
        CommandLineCase{{"--root", "{ROOT}", "--threads", "0"}, 2, "threads"},
        CommandLineCase{{"--root", "{ROOT}", "--header-timeout", "0"}, 2, "tempo de cabeçalho"},
        CommandLineCase{{"--root", "{ROOT}", "--header-timeout", "3601"}, 2, "tempo de cabeçalho"},
        CommandLineCase{{"--root", "{ROOT}", "--compress", "1"}, 2, "opção desconhecida"},
        CommandLineCase{{"--root", "{ROOT}", "--tls-certificate", "/nao/existe/certificado.pem"},
                        2,
                        "--tls-key"},
        CommandLineCase{
            {"--root", "{ROOT}", "--tls-key", "/nao/existe/chave.pem"}, 2, "--tls-certificate"},
        CommandLineCase{{"--root", "{ROOT}", "--tls-certificate", "/nao/existe/certificado.pem",
                         "--tls-key", "/nao/existe/chave.pem"},
                        1,
                        "não foi possível ler /nao/existe/certificado.pem"},
        CommandLineCase{{"--root", "{ROOT}", "--send-buffer", "x"}, 2, "buffer de envio"},
        CommandLineCase{{"export", "--root", "{ROOT}"}, 2, "--out"},
        CommandLineCase{{"export", "--out", "{ROOT}"}, 2, "--root"},
        CommandLineCase{
            {"export", "--root", "/nao/existe/corvane", "--out", "{ROOT}"}, 1, "não existe"},
        // The export would be served as a file of the tree, and listed again next time.
        CommandLineCase{{"export", "--root", "{ROOT}", "--out", "{ROOT}/exportacao"},
                        1,
                        "dentro da pasta servida"}));

// The system service's configuration leaves both names empty for plain HTTP.
TEST(Program, EmptyCertificateAndKeyServePlainHttp) {
    ServedTree tree;
    WriteFile(tree.Root() / "Morvik.exe", "morvik");
    Program program(
        {"--root", tree.Root().string(), "--port", "0", "--tls-certificate", "", "--tls-key", ""});
    ASSERT_TRUE(program.Started());
    const std::string address = program.FirstLine();
    ASSERT_EQ(address.rfind("http://127.0.0.1:", 0), 0u) << address;
    EXPECT_EQ(Get(PortOf(address), "/download?file=Morvik.exe").body, "morvik");
}

TEST(Program, APortInUseIsReported) {
    ServedTree tree;
    FileServiceOptions options;
    options.root = tree.Root().string();
    options.port = 0;
    options.log = [](std::string_view) {};
    FileService holder(options);
    Program program({"--root", tree.Root().string(), "--port", std::to_string(holder.Port())});
    std::string errors;
    EXPECT_EQ(program.Finish(errors), 1) << errors;
    EXPECT_NE(errors.find("não pôde escutar"), std::string::npos) << errors;
}

// This process holds `count` sockets at once, or the test cannot be made here.
bool CanHoldSockets(rlim_t count) {
    RaiseOpenFileLimit();
    if (OpenFileLimit() >= static_cast<long>(count))
        return true;
    const rlimit more{count, count}; // a privileged process may raise its hard limit
    return ::setrlimit(RLIMIT_NOFILE, &more) == 0;
}

// The soft limit of open files of a running process, from /proc; -1 when it cannot be read.
long SoftOpenFileLimitOf(pid_t pid) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(limits, line);)
        if (line.rfind("Max open files", 0) == 0)
            return std::strtol(line.c_str() + 14, nullptr, 10);
    return -1;
}

// One exchange whose answer must come within `limit`.
HttpAnswer GetWithin(std::uint16_t port, std::string_view target, std::chrono::seconds limit) {
    Socket socket = Connect(port);
    if (socket.Get() < 0)
        return {};
    const timeval patience{static_cast<time_t>(limit.count()), 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    if (!SendAll(socket.Get(), RequestText("GET", target)))
        return {};
    return ReadAnswer(socket.Get());
}

// True when the service ends the connection (whatever it sent before) by the deadline.
bool EndsBy(int socket, std::chrono::steady_clock::time_point deadline) {
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        const timeval patience{
            static_cast<time_t>(std::max<std::int64_t>(left.count(), 1000) / 1'000'000),
            static_cast<suseconds_t>(std::max<std::int64_t>(left.count(), 1000) % 1'000'000)};
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno == ECONNRESET))
            return true;
        if (got < 0)
            return false;
    }
}

// More connections than the process has handles, none of which sends a whole request: the
// service closes them once the head limit is up, so a workstation's request waits for that
// at worst, and is answered at once after.
TEST(Program, IdleConnectionsBeyondTheOpenFileLimitKeepNoOneOut) {
    using namespace std::chrono_literals;
    constexpr int kIdle = 1100;
    constexpr auto kHeaderTimeout = 3s;
    if (!CanHoldSockets(kIdle + 256))
        GTEST_SKIP() << "this process cannot hold " << kIdle << " sockets";
    ServedTree tree;
    WriteFile(tree.Root() / "Morvik.exe", "morvik");
    // Started below its hard limit of 1,024 open files, which it raises itself to.
    Program program({"--root", tree.Root().string(), "--port", "0", "--header-timeout",
                     std::to_string(kHeaderTimeout.count())},
                    OpenFiles{512, 1024});
    ASSERT_TRUE(program.Started());
    const std::uint16_t port = PortOf(program.FirstLine());
    ASSERT_NE(port, 0);
    EXPECT_EQ(SoftOpenFileLimitOf(program.Pid()), 1024);

    // A client that keeps its connection after an answer and then says nothing more.
    Socket kept = Connect(port);
    ASSERT_TRUE(
        SendAll(kept.Get(), "GET /download?file=Morvik.exe HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    ASSERT_EQ(ReadOneAnswerBody(kept.Get()), "morvik");

    const auto start = std::chrono::steady_clock::now();
    std::vector<Socket> idle;
    idle.reserve(kIdle + 1);
    for (int i = 0; i < kIdle; ++i) {
        idle.push_back(Connect(port));
        ASSERT_GE(idle.back().Get(), 0) << "connection " << i;
        // Every other one sends part of a request's head and stops.
        if (i % 2 == 1) {
            ASSERT_TRUE(SendAll(idle.back().Get(),
                                "GET /download?file=Morvik.exe HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
        }
    }
    const auto asked = std::chrono::steady_clock::now();
    const HttpAnswer during = GetWithin(port, "/download?file=Morvik.exe", kHeaderTimeout + 5s);
    const auto waited = std::chrono::steady_clock::now() - asked;
    EXPECT_EQ(during.status, 200);
    EXPECT_EQ(during.body, "morvik");
    EXPECT_LT(waited, kHeaderTimeout + 5s);

    // Every one of them is closed by the service, the kept one too: those it could not take
    // in at first get the whole limit from when it does.
    idle.push_back(std::move(kept));
    const auto deadline = start + 2 * kHeaderTimeout + 5s;
    for (size_t i = 0; i < idle.size(); ++i)
        ASSERT_TRUE(EndsBy(idle[i].Get(), deadline)) << "connection " << i << " is still open";

    const auto again = std::chrono::steady_clock::now();
    const HttpAnswer after = GetWithin(port, "/download?file=Morvik.exe", kHeaderTimeout);
    EXPECT_EQ(after.body, "morvik");
    EXPECT_LT(std::chrono::steady_clock::now() - again, kHeaderTimeout);
}

// With few handles, more downloads at once than the handles left after the connections: the
// ones past what fits are told to come back (503), none is refused a file it could have, and
// files are sent again once those downloads end.
TEST(Program, FilesBeingSentAreHeldToTheHandlesLeft) {
    using namespace std::chrono_literals;
    ServedTree tree;
    const std::string large = PatternContent(32u << 20); // well over what the sockets buffer
    WriteFile(tree.Root() / "large.bin", large);
    Program program({"--root", tree.Root().string(), "--port", "0", "--threads", "1"},
                    OpenFiles{64, 64});
    ASSERT_TRUE(program.Started());
    const std::uint16_t port = PortOf(program.FirstLine());
    ASSERT_NE(port, 0);

    constexpr int kDownloads = 30;
    std::vector<Socket> sending; // their answers are left unread, so their files stay open
    for (int i = 0; i < kDownloads; ++i) {
        Socket socket = Connect(port);
        ASSERT_GE(socket.Get(), 0) << "download " << i;
        ASSERT_TRUE(SendAll(socket.Get(), RequestText("GET", "/download?file=large.bin")));
        std::string raw;
        char buffer[65536];
        while (raw.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = ::recv(socket.Get(), buffer, sizeof buffer, 0);
            ASSERT_GT(got, 0) << "download " << i << " got no answer";
            raw.append(buffer, static_cast<size_t>(got));
        }
        if (raw.compare(0, 12, "HTTP/1.1 200") == 0) {
            const std::string body = raw.substr(raw.find("\r\n\r\n") + 4);
            EXPECT_EQ(body, large.substr(0, body.size())) << "download " << i;
            sending.push_back(std::move(socket));
        } else {
            ASSERT_EQ(raw.compare(0, 12, "HTTP/1.1 503"), 0) << "download " << i << ": " << raw;
            EXPECT_NE(raw.find("Retry-After: "), std::string::npos) << raw;
        }
    }
    ASSERT_FALSE(sending.empty());

    for (Socket& socket : sending) {
        const linger reset{1, 0};
        ::setsockopt(socket.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        socket.Close();
    }
    ASSERT_TRUE(program.WaitForErrors(" interrompida", sending.size(), 30s));
    const HttpAnswer again = Get(port, "/download?file=large.bin");
    EXPECT_EQ(again.status, 200);
    EXPECT_TRUE(again.body == large) << "got " << again.body.size() << " bytes";
}

} // namespace
} // namespace corvane::test
