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

struct TCommandResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

class UpdateCommand : public ::testing::Test {
protected:
    TTempFolder FTemp;
    std::filesystem::path FServer = FTemp.Path() / "server";
    std::filesystem::path FLocal = FTemp.Path() / "local";

    void SetUp() override {
        std::filesystem::create_directories(FServer);
        std::filesystem::create_directories(FLocal);
        WriteFile(FServer, "Estoque.exe", "module", TestAge(1));
        WriteFile(FServer, "central.ini", "ini", TestAge(2));
        WriteFile(FServer, "Relatorio\\Layout01.rav", "layout", TestAge(3));
        WriteFile(FServer, "Unrelated.exe", "not asked for", TestAge(4));
    }

    TCommandResult Run(const std::vector<std::string>& AArguments) {
        const std::string out = (FTemp.Path() / "out.txt").string();
        const std::string err = (FTemp.Path() / "err.txt").string();
        std::vector<std::string> args{CORVANE_UPDATE_EXE};
        args.insert(args.end(), AArguments.begin(), AArguments.end());
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
        TCommandResult result;
        if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
                result.ExitCode = WEXITSTATUS(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        result.Out = ReadFile(out);
        result.Err = ReadFile(err);
        return result;
    }

    std::vector<std::string> Lines(const std::string& AText) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = AText.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(AText.substr(start, end - start));
        std::sort(lines.begin(), lines.end() - (lines.empty() ? 0 : 1)); // jobs end in any order
        return lines;
    }
};

enum class ServerKind { Folder, Service };

class UpdateCommandFromEitherServer : public UpdateCommand,
                                      public ::testing::WithParamInterface<ServerKind> {};

TEST_P(UpdateCommandFromEitherServer, UpdatesAndThenHasNothingToDo) {
    std::vector<std::string> args{"--local", FLocal.string(), "--module", "Estoque.exe"};
    std::unique_ptr<TFileService> service;
    if (GetParam() == ServerKind::Folder) {
        args.insert(args.end(), {"--server", FServer.string()});
    } else {
        TFileServiceOptions options;
        options.Root = FServer.string();
        options.Port = 0;
        options.Threads = 2;
        options.Log = [](std::string_view) {};
        service = std::make_unique<TFileService>(options);
        args.insert(args.end(), {"--url", "http://127.0.0.1:" + std::to_string(service->Port())});
        // The service creates no folders on the workstation: the layouts' folder is there.
        std::filesystem::create_directories(FLocal / "Relatorio");
    }
    const TCommandResult first = Run(args);
    EXPECT_EQ(first.ExitCode, 0) << first.Err;
    EXPECT_EQ(Lines(first.Out),
              (std::vector<std::string>{"updated Estoque.exe", "updated Relatorio\\Layout01.rav",
                                        "updated central.ini",
                                        "47 files compared, 3 to fetch: 3 updated, 0 failed"}));
    EXPECT_EQ(ReadFile(FLocal / "Relatorio" / "Layout01.rav"), "layout");
    EXPECT_EQ(FileAge((FLocal / "Estoque.exe").string()), TestAge(1));
    EXPECT_FALSE(std::filesystem::exists(FLocal / "Unrelated.exe"));

    const TCommandResult second = Run(args);
    EXPECT_EQ(second.ExitCode, 0) << second.Err;
    EXPECT_EQ(second.Out, "47 files compared, 0 to fetch: 0 updated, 0 failed\n");
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
    std::vector<std::string> args{"--local", FLocal.string(), "--module", "Estoque.exe",
                                  "--no-log"};
    std::unique_ptr<TFileService> service;
    if (GetParam() == ServerKind::Folder) {
        args.insert(args.end(), {"--server", FServer.string()});
    } else {
        TFileServiceOptions options;
        options.Root = FServer.string();
        options.Port = 0;
        options.Threads = 2;
        options.Log = [](std::string_view) {};
        service = std::make_unique<TFileService>(options);
        args.insert(args.end(), {"--url", "http://127.0.0.1:" + std::to_string(service->Port())});
        std::filesystem::create_directories(FLocal / "Relatorio");
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
    const TCommandResult shown = Run(args);
    EXPECT_EQ(shown.ExitCode, 0) << shown.Err;
    const std::vector<std::string> lines = progressLines(shown.Err);
    ASSERT_FALSE(lines.empty()) << shown.Err;
    // The folder's listing gives no sizes; the service's does (15 bytes in all).
    EXPECT_EQ(lines.back(),
              GetParam() == ServerKind::Folder ? "3 de 3 arquivos" : "3 de 3 arquivos · 1 de 1 KB");

    std::filesystem::remove_all(FLocal);
    std::filesystem::create_directories(FLocal / "Relatorio");
    args.pop_back();
    const TCommandResult quiet = Run(args);
    EXPECT_EQ(quiet.ExitCode, 0) << quiet.Err;
    EXPECT_EQ(progressLines(quiet.Err), std::vector<std::string>{});
    EXPECT_EQ(Lines(quiet.Out), Lines(shown.Out));
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
                if (line.find(FServer.string()) != std::string::npos)
                    lines.push_back(std::move(document));
            }
        }
        return lines;
    };
    const std::vector<std::string> args{"--local",        FLocal.string(), "--server",
                                        FServer.string(), "--module",      "Estoque.exe"};
    std::vector<std::string> noLog = args;
    noLog.push_back("--no-log");
    EXPECT_EQ(Run(noLog).ExitCode, 0);
    EXPECT_EQ(linesNamingTheServer(besideIt).size(), 0u);

    const std::filesystem::path elsewhere = FTemp.Path() / "suporte" / "run.log";
    std::vector<std::string> logged = args;
    logged.insert(logged.end(), {"--log", elsewhere.string()});
    std::filesystem::remove_all(FLocal);
    EXPECT_EQ(Run(logged).ExitCode, 0);
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
    EXPECT_EQ(start["source"].GetString(), FServer.string());
    EXPECT_STREQ(start["version"].GetString(), CORVANE_PROJECT_VERSION);
    EXPECT_EQ(linesNamingTheServer(besideIt).size(), 0u);

    std::filesystem::remove_all(FLocal);
    EXPECT_EQ(Run(args).ExitCode, 0);
    const std::vector<rapidjson::Document> beside = linesNamingTheServer(besideIt);
    ASSERT_EQ(beside.size(), 1u); // the start line names the server
    EXPECT_STREQ(beside.front()["event"].GetString(), "start");
}

TEST_F(UpdateCommand, ReadsTheServerFolderFromTheConfigurationLikeTheLauncher) {
    // The launcher appends a backslash to "Local Exe"; the local folder is the file's own.
    WriteFile(FLocal, "Corvane.ini", "[Servidor]\nLocal Exe=\"" + FServer.string() + "\"\n");
    const TCommandResult result = Run({"--ini", (FLocal / "Corvane.ini").string(),
                                       "--no-additional-files", "--module", "Estoque.exe"});
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(Lines(result.Out),
              (std::vector<std::string>{"updated Estoque.exe",
                                        "1 files compared, 1 to fetch: 1 updated, 0 failed"}));
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "module");
}

TEST_F(UpdateCommand, ExitsWithOneWhenAFileFailed) {
    std::filesystem::create_directories(FLocal / "central.ini"); // a folder in the file's place
    const TCommandResult result = Run({"--local", FLocal.string(), "--server", FServer.string()});
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(Lines(result.Out),
              (std::vector<std::string>{"failed central.ini: Is a directory",
                                        "updated Relatorio\\Layout01.rav",
                                        "46 files compared, 2 to fetch: 1 updated, 1 failed"}));
}

TEST_F(UpdateCommand, ReportsAServerSubfolderThatCannotBeReadAndExitsWithOne) {
    std::filesystem::permissions(FServer / "Relatorio", std::filesystem::perms::none);
    const auto exitCode = RunWithoutFilePrivileges(FTemp.Path(), [&] {
        return Run({"--local", FLocal.string(), "--server", FServer.string(), "--module",
                    "Estoque.exe"})
            .ExitCode;
    });
    if (!exitCode)
        GTEST_SKIP() << NoUnprivilegedUser;
    EXPECT_EQ(*exitCode, 1);
    EXPECT_EQ(Lines(ReadFile(FTemp.Path() / "out.txt")),
              (std::vector<std::string>{"failed Relatorio: Permission denied",
                                        "updated Estoque.exe", "updated central.ini",
                                        "47 files compared, 2 to fetch: 2 updated, 0 failed"}));
    EXPECT_EQ(ReadFile(FLocal / "central.ini"), "ini");
}

TEST_F(UpdateCommand, ANameTheServerHoldsInTwoCapitalisationsFailsAlone) {
    WriteFile(FServer, "CENTRAL.INI", "twin", TestAge(5));
    WriteFile(FLocal, "central.ini", "old", TestAge(-1));
    const TCommandResult result =
        Run({"--local", FLocal.string(), "--server", FServer.string(), "--module", "Estoque.exe"});
    EXPECT_EQ(result.ExitCode, 1) << result.Err;
    EXPECT_EQ(Lines(result.Out),
              (std::vector<std::string>{"failed central.ini: Duplicates not allowed",
                                        "updated Estoque.exe", "updated Relatorio\\Layout01.rav",
                                        "47 files compared, 3 to fetch: 2 updated, 1 failed"}));
    EXPECT_EQ(ReadFile(FLocal / "central.ini"), "old");
}

struct TCannotStart {
    const char* Label;
    std::vector<std::string> Arguments; // "<local>" and "<server>" stand for the folders
    const char* ErrorStart;
};

void PrintTo(const TCannotStart& c, std::ostream* os) {
    *os << c.Label;
}

class UpdateCommandCannotStart : public UpdateCommand,
                                 public ::testing::WithParamInterface<TCannotStart> {};

TEST_P(UpdateCommandCannotStart, ExitsWithTwoAndSaysWhy) {
    std::vector<std::string> args = GetParam().Arguments;
    for (auto& arg : args) {
        if (arg == "<local>")
            arg = FLocal.string();
        else if (arg == "<server>")
            arg = FServer.string();
    }
    WriteFile(FLocal, "Estoque.exe", "old", TestAge(-1));
    const TCommandResult result = Run(args);
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Err.rfind(GetParam().ErrorStart, 0), 0u) << result.Err;
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "old");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateCommandCannotStart,
    ::testing::Values(
        TCannotStart{
            "MissingServerFolder",
            {"--local", "<local>", "--server", "/no/such/folder", "--module", "Estoque.exe"},
            "The specified path was not found\n"},
        TCannotStart{
            "ServiceNotAnswering",
            {"--local", "<local>", "--url", "http://127.0.0.1:1", "--module", "Estoque.exe"},
            "REST request failed"},
        TCannotStart{"NoServer", {"--local", "<local>"}, "corvane-update: give exactly one of"},
        TCannotStart{"UnknownOption",
                     {"--local", "<local>", "--fast"},
                     "corvane-update: unknown argument: --fast\nusage:"},
        TCannotStart{"LogAndNoLog",
                     {"--local", "<local>", "--server", "<server>", "--log", "x.log", "--no-log"},
                     "corvane-update: give at most one of --log and --no-log\nusage:"},
        TCannotStart{"MissingConfiguration",
                     {"--ini", "/no/such/Corvane.ini"},
                     "corvane-update: configuration file not found"}),
    [](const auto& c) { return std::string(c.param.Label); });

TEST_F(UpdateCommand, TrustsTheAuthorityFileOfTheConfigurationBesideIt) {
    // "ca" names a file beside the configuration; one that cannot be read fails the listing.
    WriteFile(FLocal, "Corvane.ini", "[Servidor]\nurl=https://127.0.0.1:1\nca=hospital.pem\n");
    const TCommandResult result = Run({"--ini", (FLocal / "Corvane.ini").string()});
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_NE(result.Err.find("Cannot read the certificate authorities in \"" +
                              (FLocal / "hospital.pem").string() + "\""),
              std::string::npos)
        << result.Err;
}

TEST_F(UpdateCommand, AConfigurationWithoutServerOrURLCannotStart) {
    WriteFile(FLocal, "Corvane.ini", "[Servidor]\nurl=   \n");
    const TCommandResult result = Run({"--ini", (FLocal / "Corvane.ini").string()});
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_NE(result.Err.find("no server folder"), std::string::npos) << result.Err;
}

} // namespace
} // namespace corvane::test
