// corvane-update end to end: the real program against a server folder.
#include "platform/FileTime.h"
#include "service/FileService.h"
#include "tests/support/FileTree.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <rapidjson/document.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace corvane::test {
namespace {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class UpdateCommand : public ::testing::Test {
protected:
    TempFolder temp_;
    std::filesystem::path server_ = temp_.Path() / "server";
    std::filesystem::path local_ = temp_.Path() / "local";

    void SetUp() override {
        std::filesystem::create_directories(server_);
        std::filesystem::create_directories(local_);
        WriteFile(server_, "Estoque.exe", "module", TestAge(1));
        WriteFile(server_, "central.ini", "ini", TestAge(2));
        WriteFile(server_, "Relatorio\\Layout01.rav", "layout", TestAge(3));
        WriteFile(server_, "Unrelated.exe", "not asked for", TestAge(4));
    }

    CommandResult Run(const std::vector<std::string>& arguments) {
        const std::string out = (temp_.Path() / "out.txt").string();
        const std::string err = (temp_.Path() / "err.txt").string();
        std::vector<std::string> args{CORVANE_UPDATE_EXE};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = 0;
        CommandResult result;
        if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
                result.exitCode = WEXITSTATUS(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        result.out = ReadFile(out);
        result.err = ReadFile(err);
        return result;
    }

    std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        std::sort(lines.begin(), lines.end() - (lines.empty() ? 0 : 1)); // jobs end in any order
        return lines;
    }
};

enum class ServerKind { Folder, Service };

class UpdateCommandFromEitherServer : public UpdateCommand,
                                      public ::testing::WithParamInterface<ServerKind> {};

TEST_P(UpdateCommandFromEitherServer, UpdatesAndThenHasNothingToDo) {
    std::vector<std::string> args{"--local", local_.string(), "--module", "Estoque.exe"};
    std::unique_ptr<FileService> service;
    if (GetParam() == ServerKind::Folder) {
        args.insert(args.end(), {"--server", server_.string()});
    } else {
        FileServiceOptions options;
        options.root = server_.string();
        options.port = 0;
        options.threads = 2;
        options.log = [](std::string_view) {};
        service = std::make_unique<FileService>(options);
        args.insert(args.end(), {"--url", "http://127.0.0.1:" + std::to_string(service->Port())});
        // The service creates no folders on the workstation: the layouts' folder is there.
        std::filesystem::create_directories(local_ / "Relatorio");
    }
    const CommandResult first = Run(args);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(Lines(first.out),
              (std::vector<std::string>{"updated Estoque.exe", "updated Relatorio\\Layout01.rav",
                                        "updated central.ini",
                                        "47 files compared, 3 to fetch: 3 updated, 0 failed"}));
    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "Layout01.rav"), "layout");
    EXPECT_EQ(FileAge((local_ / "Estoque.exe").string()), TestAge(1));
    EXPECT_FALSE(std::filesystem::exists(local_ / "Unrelated.exe"));

    const CommandResult second = Run(args);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, "47 files compared, 0 to fetch: 0 updated, 0 failed\n");
}

INSTANTIATE_TEST_SUITE_P(Servers, UpdateCommandFromEitherServer,
                         ::testing::Values(ServerKind::Folder, ServerKind::Service),
                         [](const auto& c) {
                             return c.param == ServerKind::Folder ? "Folder" : "Service";
                         });

// With --progress the run tells how far it has got on standard error, a line at a time when
// that is no terminal, ending with the whole; without it nothing of the kind is written, and
// standard output is the same either way.
TEST_P(UpdateCommandFromEitherServer, ShowsItsProgressOnlyWhenAsked) {
    std::vector<std::string> args{"--local", local_.string(), "--module", "Estoque.exe",
                                  "--no-log"};
    std::unique_ptr<FileService> service;
    if (GetParam() == ServerKind::Folder) {
        args.insert(args.end(), {"--server", server_.string()});
    } else {
        FileServiceOptions options;
        options.root = server_.string();
        options.port = 0;
        options.threads = 2;
        options.log = [](std::string_view) {};
        service = std::make_unique<FileService>(options);
        args.insert(args.end(), {"--url", "http://127.0.0.1:" + std::to_string(service->Port())});
        std::filesystem::create_directories(local_ / "Relatorio");
    }
    const auto progressLines = [](const std::string& err) {
        std::vector<std::string> lines;
        std::istringstream text(err);
        for (std::string line; std::getline(text, line);)
            if (line.find(" arquivo") != std::string::npos)
                lines.push_back(line);
        return lines;
    };
    args.push_back("--progress");
    const CommandResult shown = Run(args);
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    const std::vector<std::string> lines = progressLines(shown.err);
    ASSERT_FALSE(lines.empty()) << shown.err;
    // The folder's listing gives no sizes; the service's does (15 bytes in all).
    EXPECT_EQ(lines.back(),
              GetParam() == ServerKind::Folder ? "3 de 3 arquivos" : "3 de 3 arquivos · 1 de 1 KB");

    std::filesystem::remove_all(local_);
    std::filesystem::create_directories(local_ / "Relatorio");
    args.pop_back();
    const CommandResult quiet = Run(args);
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(progressLines(quiet.err), std::vector<std::string>{});
    EXPECT_EQ(Lines(quiet.out), Lines(shown.out));
}

// The run is logged beside the executable, in the file --log names, or nowhere with --no-log;
// every line of it is JSON.
TEST_F(UpdateCommand, LogsBesideItselfElsewhereOrNotAtAll) {
    const std::filesystem::path besideIt =
        std::filesystem::path(CORVANE_UPDATE_EXE).parent_path() / "Logs" / "corvane-update.log";
    // The server folder is this test's own: a line naming it comes from this test.
    const auto linesNamingTheServer = [&](const std::filesystem::path& log) {
        std::vector<rapidjson::Document> lines;
        for (const auto& path : {log, std::filesystem::path(log.string() + ".1")}) {
            if (!std::filesystem::exists(path))
                continue;
            std::istringstream text(ReadFile(path));
            for (std::string line; std::getline(text, line);) {
                rapidjson::Document document;
                document.Parse(line.data(), line.size());
                EXPECT_FALSE(document.HasParseError()) << line;
                if (line.find(server_.string()) != std::string::npos)
                    lines.push_back(std::move(document));
            }
        }
        return lines;
    };
    const std::vector<std::string> args{"--local",        local_.string(), "--server",
                                        server_.string(), "--module",      "Estoque.exe"};
    std::vector<std::string> noLog = args;
    noLog.push_back("--no-log");
    EXPECT_EQ(Run(noLog).exitCode, 0);
    EXPECT_EQ(linesNamingTheServer(besideIt).size(), 0u);

    const std::filesystem::path elsewhere = temp_.Path() / "suporte" / "run.log";
    std::vector<std::string> logged = args;
    logged.insert(logged.end(), {"--log", elsewhere.string()});
    std::filesystem::remove_all(local_);
    EXPECT_EQ(Run(logged).exitCode, 0);
    std::istringstream text(ReadFile(elsewhere));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    // The start, the module and the 46 shared files, the end.
    ASSERT_EQ(lines.size(), 49u);
    rapidjson::Document start;
    start.Parse(lines.front().data(), lines.front().size());
    ASSERT_TRUE(start.IsObject());
    EXPECT_STREQ(start["event"].GetString(), "start");
    EXPECT_EQ(start["source"].GetString(), server_.string());
    EXPECT_STREQ(start["version"].GetString(), CORVANE_PROJECT_VERSION);
    EXPECT_EQ(linesNamingTheServer(besideIt).size(), 0u);

    std::filesystem::remove_all(local_);
    EXPECT_EQ(Run(args).exitCode, 0);
    const std::vector<rapidjson::Document> beside = linesNamingTheServer(besideIt);
    ASSERT_EQ(beside.size(), 1u); // the start line names the server
    EXPECT_STREQ(beside.front()["event"].GetString(), "start");
}

TEST_F(UpdateCommand, ReadsTheServerFolderFromTheConfigurationLikeTheLauncher) {
    // The launcher appends a backslash to "Local Exe"; the local folder is the file's own.
    WriteFile(local_, "Corvane.ini", "[Servidor]\nLocal Exe=\"" + server_.string() + "\"\n");
    const CommandResult result = Run({"--ini", (local_ / "Corvane.ini").string(),
                                      "--no-additional-files", "--module", "Estoque.exe"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{"updated Estoque.exe",
                                        "1 files compared, 1 to fetch: 1 updated, 0 failed"}));
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "module");
}

TEST_F(UpdateCommand, ExitsWithOneWhenAFileFailed) {
    std::filesystem::create_directories(local_ / "central.ini"); // a folder in the file's place
    const CommandResult result = Run({"--local", local_.string(), "--server", server_.string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{"failed central.ini: Is a directory",
                                        "updated Relatorio\\Layout01.rav",
                                        "46 files compared, 2 to fetch: 1 updated, 1 failed"}));
}

TEST_F(UpdateCommand, ReportsAServerSubfolderThatCannotBeReadAndExitsWithOne) {
    std::filesystem::permissions(server_ / "Relatorio", std::filesystem::perms::none);
    const auto exitCode = RunWithoutFilePrivileges(temp_.Path(), [&] {
        return Run({"--local", local_.string(), "--server", server_.string(), "--module",
                    "Estoque.exe"})
            .exitCode;
    });
    if (!exitCode)
        GTEST_SKIP() << kNoUnprivilegedUser;
    EXPECT_EQ(*exitCode, 1);
    EXPECT_EQ(Lines(ReadFile(temp_.Path() / "out.txt")),
              (std::vector<std::string>{"failed Relatorio: Permission denied",
                                        "updated Estoque.exe", "updated central.ini",
                                        "47 files compared, 2 to fetch: 2 updated, 0 failed"}));
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "ini");
}

TEST_F(UpdateCommand, ANameTheServerHoldsInTwoCapitalisationsFailsAlone) {
    WriteFile(server_, "CENTRAL.INI", "twin", TestAge(5));
    WriteFile(local_, "central.ini", "old", TestAge(-1));
    const CommandResult result =
        Run({"--local", local_.string(), "--server", server_.string(), "--module", "Estoque.exe"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{"failed central.ini: Duplicates not allowed",
                                        "updated Estoque.exe", "updated Relatorio\\Layout01.rav",
                                        "47 files compared, 3 to fetch: 2 updated, 1 failed"}));
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "old");
}

struct CannotStart {
    const char* label;
    std::vector<std::string> arguments; // "<local>" and "<server>" stand for the folders
    const char* errorStart;
};

void PrintTo(const CannotStart& c, std::ostream* os) {
    *os << c.label;
}

class UpdateCommandCannotStart : public UpdateCommand,
                                 public ::testing::WithParamInterface<CannotStart> {};

TEST_P(UpdateCommandCannotStart, ExitsWithTwoAndSaysWhy) {
    std::vector<std::string> args = GetParam().arguments;
    for (auto& arg : args) {
        if (arg == "<local>")
            arg = local_.string();
        else if (arg == "<server>")
            arg = server_.string();
    }
    WriteFile(local_, "Estoque.exe", "old", TestAge(-1));
    const CommandResult result = Run(args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err.rfind(GetParam().errorStart, 0), 0u) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "old");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateCommandCannotStart,
    ::testing::Values(
        CannotStart{
            "MissingServerFolder",
            {"--local", "<local>", "--server", "/no/such/folder", "--module", "Estoque.exe"},
            "The specified path was not found\n"},
        CannotStart{
            "ServiceNotAnswering",
            {"--local", "<local>", "--url", "http://127.0.0.1:1", "--module", "Estoque.exe"},
            "REST request failed"},
        CannotStart{"NoServer", {"--local", "<local>"}, "corvane-update: give exactly one of"},
        CannotStart{"UnknownOption",
                    {"--local", "<local>", "--fast"},
                    "corvane-update: unknown argument: --fast\nusage:"},
        CannotStart{"LogAndNoLog",
                    {"--local", "<local>", "--server", "<server>", "--log", "x.log", "--no-log"},
                    "corvane-update: give at most one of --log and --no-log\nusage:"},
        CannotStart{"MissingConfiguration",
                    {"--ini", "/no/such/Corvane.ini"},
                    "corvane-update: configuration file not found"}),
    [](const auto& c) { return std::string(c.param.label); });

TEST_F(UpdateCommand, TrustsTheAuthorityFileOfTheConfigurationBesideIt) {
    // "ca" names a file beside the configuration; one that cannot be read fails the listing.
    WriteFile(local_, "Corvane.ini", "[Servidor]\nurl=https://127.0.0.1:1\nca=hospital.pem\n");
    const CommandResult result = Run({"--ini", (local_ / "Corvane.ini").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Cannot read the certificate authorities in \"" +
                              (local_ / "hospital.pem").string() + "\""),
              std::string::npos)
        << result.err;
}

TEST_F(UpdateCommand, AConfigurationWithoutServerOrURLCannotStart) {
    WriteFile(local_, "Corvane.ini", "[Servidor]\nurl=   \n");
    const CommandResult result = Run({"--ini", (local_ / "Corvane.ini").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("no server folder"), std::string::npos) << result.err;
}

} // namespace
} // namespace corvane::test
