// The real corvane-fileservice program: its command line, its log and its clean stop.
#include "ServiceFixture.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace corvane::test {
namespace {

// The program started with pipes on its standard output and error.
class TProgram {
public:
    explicit TProgram(const std::vector<std::string>& args) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        std::vector<std::string> all{CORVANE_FILESERVICE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&FPid, CORVANE_FILESERVICE, &actions, nullptr, argv.data(), environ) != 0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        FOut = TSocket(out[0]);
        FErr = TSocket(err[0]);
    }
    ~TProgram() {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    bool Started() const { return FPid > 0; }
    pid_t Pid() const { return FPid; }

    // The first line of standard output: the address served.
    std::string FirstLine() {
        std::string line;
        char c = 0;
        while (::read(FOut.Get(), &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    // Reads standard error to its end, then the exit status (-1 when not a normal exit).
    int Finish(std::string& errors) {
        char buffer[4096];
        for (ssize_t got; (got = ::read(FErr.Get(), buffer, sizeof buffer)) > 0;)
            errors.append(buffer, static_cast<size_t>(got));
        int status = 0;
        ::waitpid(std::exchange(FPid, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t FPid = -1;
    TSocket FOut;
    TSocket FErr;
};

std::uint16_t PortOf(const std::string& address) {
    const size_t colon = address.rfind(':');
    return colon == std::string::npos
               ? 0
               : static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1)));
}

TEST(Program, ServesLogsAndStopsCleanlyOnSigtermWithADownloadUnderWay) {
    TServedTree tree;
    WriteFile(tree.Root() / "Morvik.exe", "morvik");
    WriteFile(tree.Root() / "large.bin", PatternContent(32u << 20));
    TProgram program({"--root", tree.Root().string(), "--port", "0"});
    ASSERT_TRUE(program.Started());
    const std::string address = program.FirstLine();
    ASSERT_EQ(address.rfind("http://127.0.0.1:", 0), 0u) << address;
    const std::uint16_t port = PortOf(address);

    EXPECT_EQ(Get(port, "/download?file=MORVIK.EXE").Body, "morvik");
    // A client that stopped reading halfway through a large file.
    TSocket stalled = Connect(port);
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
    std::vector<std::string> Args; // "{ROOT}" stands for an existing folder
    int ExitCode;
    const char* Message; // part of what standard error says
};

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, RefusesWhatItCannotServe) {
    TServedTree tree;
    std::vector<std::string> args = GetParam().Args;
    for (std::string& arg : args)
        if (arg == "{ROOT}")
            arg = tree.Root().string();
    TProgram program(args);
    ASSERT_TRUE(program.Started());
    std::string errors;
    EXPECT_EQ(program.Finish(errors), GetParam().ExitCode) << errors;
    EXPECT_NE(errors.find(GetParam().Message), std::string::npos) << errors;
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
        CommandLineCase{{"--root", "{ROOT}", "--compress", "1"}, 2, "opção desconhecida"}));

TEST(Program, APortInUseIsReported) {
    TServedTree tree;
    TFileServiceOptions options;
    options.Root = tree.Root().string();
    options.Port = 0;
    options.Log = [](std::string_view) {};
    TFileService holder(options);
    TProgram program({"--root", tree.Root().string(), "--port", std::to_string(holder.Port())});
    std::string errors;
    EXPECT_EQ(program.Finish(errors), 1) << errors;
    EXPECT_NE(errors.find("não pôde escutar"), std::string::npos) << errors;
}

} // namespace
} // namespace corvane::test
