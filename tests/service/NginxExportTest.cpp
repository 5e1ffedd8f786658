// nginx serving an export of the tree (corvane-fileservice export) answers as the service
// does: the real corvane-update updates from it, its answers are the service's, and it refuses
// every name the service refuses.
#include "service/NginxExport.h"
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "tests/service/ServiceFixture.h"
#include "tests/service/TraversalCases.h"
#include "tests/support/FileTree.h"
#include "update/FileServiceClient.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end, its output in files of the scratch folder.
ProgramRun RunProgram(std::vector<std::string> args, const fs::path& scratch) {
    const std::string out = (scratch / "run-out.txt").string();
    const std::string err = (scratch / "run-err.txt").string();
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ProgramRun run;
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            run.exitCode = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

// nginx as scripts/install-deps.sh installs it; empty when it is nowhere to be found.
std::string FindNginx() {
    std::vector<std::string> folders{"/usr/sbin", "/usr/local/sbin", "/usr/bin", "/sbin"};
    if (const char* path = std::getenv("PATH"))
        for (std::string_view rest(path); !rest.empty();) {
            const size_t colon = rest.find(':');
            folders.emplace_back(rest.substr(0, colon));
            rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
        }
    for (const std::string& folder : folders)
        if (::access((folder + "/nginx").c_str(), X_OK) == 0)
            return folder + "/nginx";
    return {};
}

std::uint16_t FreePort() {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

// nginx on an ephemeral port of 127.0.0.1, everything of its own under a private prefix, with
// the export's two includes.
class NginxProcess {
public:
    NginxProcess(const fs::path& prefix, const fs::path& httpInclude, const fs::path& serverInclude)
        : prefix_(prefix) {
        const std::string nginx = FindNginx();
        if (nginx.empty()) {
            problem_ = "nginx not found: scripts/install-deps.sh installs nginx-light";
            return;
        }
        fs::create_directories(prefix / "logs");
        // Another process may take the port between our look and nginx's bind: try again.
        for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
            const std::uint16_t port = FreePort();
            WriteFile(prefix / "nginx.conf", Configuration(port, httpInclude, serverInclude));
            std::vector<std::string> args{nginx,
                                          "-p",
                                          prefix.string(),
                                          "-c",
                                          (prefix / "nginx.conf").string(),
                                          "-e",
                                          (prefix / "logs" / "error.log").string()};
            std::vector<char*> argv;
            for (std::string& arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
                pid_ = -1;
                break;
            }
            if (WaitUntilListening(port))
                port_ = port;
            else
                Stop();
        }
        if (port_ == 0)
            problem_ = "nginx did not start: " + ReadFile(prefix / "logs" / "error.log");
    }
    ~NginxProcess() { Stop(); }

    std::uint16_t Port() const { return port_; }
    // Why nginx is not serving; empty when it is.
    const std::string& Problem() const { return problem_; }
    // Makes nginx read its configuration again, as an administrator does after an export.
    void Reload() const { ::kill(pid_, SIGHUP); }

    // How many workers nginx runs now: more than one while the workers of an earlier
    // configuration finish.
    size_t Workers() const {
        std::ifstream children("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) +
                               "/children");
        size_t count = 0;
        for (std::string child; children >> child;)
            ++count;
        return count;
    }

private:
    static std::string Configuration(std::uint16_t port, const fs::path& httpInclude,
                                     const fs::path& serverInclude) {
        // As root, the workers would otherwise become nobody, who may not enter the test's
        // folders.
        std::string text = ::geteuid() == 0 ? "user root;\n" : "";
        text += "worker_processes 1;\ndaemon off;\npid nginx.pid;\n"
                "events { worker_connections 256; }\n"
                "http {\n"
                "    access_log off;\n"
                "    client_body_temp_path body;\n    proxy_temp_path proxy;\n"
                "    fastcgi_temp_path fastcgi;\n    uwsgi_temp_path uwsgi;\n"
                "    scgi_temp_path scgi;\n"
                "    include " +
                httpInclude.string() +
                ";\n"
                "    server {\n"
                "        listen 127.0.0.1:" +
                std::to_string(port) +
                ";\n"
                "        include " +
                serverInclude.string() + ";\n    }\n}\n";
        return text;
    }

    // Until nginx accepts connections, or has ended (its port was taken).
    bool WaitUntilListening(std::uint16_t port) const {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Connect(port).Get() >= 0)
                return true;
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
                return false;
            std::this_thread::sleep_for(20ms); // an external process starting, not a test's wait
        }
        return false;
    }

    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    fs::path prefix_;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string problem_;
};

// The tree served both ways: the traversal tree, the names the protocol's tests use, and an
// installation's files on the server.
class NginxExport : public ServiceTest {
protected:
    void SetUp() override {
        const fs::path root = tree_.Root();
        PlantTraversalTree(tree_);
        WriteFile(root / "README", "leia-me");
        WriteFile(root / "empty.dat", "");
        WriteFile(root / "a+b&c=d.txt", "sinais");
        WriteFile(root / "Relatorio" / "Sub" / "deep.txt", "fundo");
        WriteFile(root / "Relatório 2" / "acentuação.txt", "acentos");
        WriteFile(root / "twin.ini", "minúsculas");
        WriteFile(root / "TWIN.INI", "maiúsculas");
        WriteFile(root / "$RECYCLE.txt", "cifrão");
        fs::create_symlink("Morvik.exe", root / "goodlink");
        // What a workstation's installation asks for, in other letter cases than its own.
        WriteFile(root, "FARMÁCIA.EXE", "module", TestAge(1));
        WriteFile(root, "central.ini", "ini", TestAge(2));
        WriteFile(root, "GDS32.DLL", "gds", TestAge(3));
        SetFileAge((root / "Relatorio" / "Layout01.rav").string(), TestAge(4));
        WriteFile(root, "Unrelated.exe", "not asked for", TestAge(5));

        Export();
        nginx_ = std::make_unique<NginxProcess>(tree_.Base() / "nginx",
                                                ExportFolder() / "nginx-http.conf",
                                                ExportFolder() / "nginx-server.conf");
        ASSERT_EQ(nginx_->Problem(), "");
        StartService();
    }

    fs::path ExportFolder() const { return tree_.Base() / "export"; }

    void Export() {
        const ProgramRun run = RunProgram({CORVANE_FILESERVICE, "export", "--root",
                                           tree_.Root().string(), "--out", ExportFolder()},
                                          tree_.Base());
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }

    std::uint16_t NginxPort() const { return nginx_->Port(); }

    std::unique_ptr<NginxProcess> nginx_;
};

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    std::sort(lines.begin(), lines.end() - (lines.empty() ? 0 : 1)); // jobs end in any order
    return lines;
}

TEST_F(NginxExport, TheUpdaterFillsAnEmptyInstallationAndThenFetchesNothing) {
    const fs::path local = tree_.Base() / "estacao";
    fs::create_directories(local / "Relatorio"); // the updater creates no folders
    const std::vector<std::string> args{CORVANE_UPDATE_EXE,
                                        "--local",
                                        local.string(),
                                        "--url",
                                        "http://127.0.0.1:" + std::to_string(NginxPort()),
                                        "--module",
                                        "Farmácia.exe"};
    const ProgramRun first = RunProgram(args, tree_.Base());
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_EQ(SortedLines(first.out),
              (std::vector<std::string>{"updated Farmácia.exe", "updated Relatorio\\Layout01.rav",
                                        "updated central.ini", "updated gds32.dll",
                                        "47 files compared, 4 to fetch: 4 updated, 0 failed"}));
    EXPECT_EQ(ReadFile(local / "Farmácia.exe"), "module");
    EXPECT_EQ(ReadFile(local / "gds32.dll"), "gds");
    EXPECT_EQ(ReadFile(local / "Relatorio" / "Layout01.rav"), "layout 1");
    for (const auto& [name, age] : {std::pair<std::string, DateTime>{"Farmácia.exe", TestAge(1)},
                                    {"central.ini", TestAge(2)},
                                    {"gds32.dll", TestAge(3)},
                                    {"Relatorio/Layout01.rav", TestAge(4)}})
        EXPECT_EQ(FileAge((local / name).string()), age) << name;
    EXPECT_FALSE(fs::exists(local / "Unrelated.exe"));

    const ProgramRun second = RunProgram(args, tree_.Base());
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(second.out, "47 files compared, 0 to fetch: 0 updated, 0 failed\n");
}

class NginxAnswer : public NginxExport, public ::testing::WithParamInterface<const char*> {};

// Status, type and body as the service gives them, for the listings the updater asks for and
// for names in every letter case and form the service takes.
TEST_P(NginxAnswer, IsTheServicesAnswer) {
    const std::string target = GetParam();
    const HttpAnswer service = Get(Port(), target);
    const HttpAnswer nginx = Get(NginxPort(), target);
    ASSERT_NE(service.status, 0) << target;
    EXPECT_EQ(nginx.status, service.status) << target << " -> " << nginx.body;
    EXPECT_EQ(nginx.Header("content-type"), service.Header("content-type")) << target;
    EXPECT_EQ(nginx.body, service.body) << target;
    EXPECT_EQ(nginx.Header("content-encoding"), "") << target;
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, NginxAnswer,
    ::testing::Values(
        // The listing every morning, and other ways of writing the same question.
        "/folderlist?folder=%5C&mask=*.*&recursive=", "/folderlist?folder=%5c&mask=*.*&recursive=1",
        "/folderlist?folder=%2F&mask=*&recursive=", "/folderlist?mask=%2A.%2A&RECURSIVE=",
        "/folderlist?recursive&folder=/", "/folderlist?folder=%5C&mask=*.*", "/folderlist",
        "/folderlist?folder=&mask=",
        // Names as listed, in other letter cases, with either separator.
        "/download?file=Morvik.exe", "/download?file=MORVIK.EXE", "/download?file=morvik.exe",
        "/download?file=Relatorio%5CLayout01.rav", "/download?file=relatorio%5clayout01.RAV",
        "/download?file=relatorio/sub/DEEP.TXT",
        "/download?file=Relat%C3%B3rio%202%5Cacentua%C3%A7%C3%A3o.txt",
        "/download?file=RELAT%C3%93RIO%202%5CACENTUA%C3%87%C3%83O.TXT",
        "/download?file=relat%c3%b3rio%202/Acentua%C3%87%c3%a3o.txt",
        "/download?file=FARM%C3%81CIA.EXE", "/download?file=Farm%C3%A1cia.exe",
        "/download?file=a+b&c=d.txt", "/download?file=empty.dat", "/download?file=goodlink",
        "/download?file=GOODLINK", "/download?file=$RECYCLE.txt", "/download?file=$recycle.TXT",
        // Two names that differ only in letter case: each as written, then the first.
        "/download?file=twin.ini", "/download?file=TWIN.INI", "/download?file=Twin.Ini",
        // Names that name no file.
        "/download?file=missing.dll", "/download?file=Relatorio", "/download?file=", "/download",
        "/download?name=Morvik.exe", "/download?file=a%20b&c=d.txt",
        "/download?file=Morvik.exe&x=1"));

TEST_F(NginxExport, OtherMethodsAreRefusedAndHeadSendsNoBody) {
    const HttpAnswer service =
        Exchange(Port(), "POST", "/download?file=Morvik.exe", "Content-Length: 4\r\n", "abcd");
    const HttpAnswer nginx =
        Exchange(NginxPort(), "POST", "/download?file=Morvik.exe", "Content-Length: 4\r\n", "abcd");
    EXPECT_EQ(nginx.status, 405);
    EXPECT_EQ(nginx.Header("allow"), service.Header("allow"));
    EXPECT_EQ(nginx.body, service.body);

    const HttpAnswer head = Exchange(NginxPort(), "HEAD", "/download?file=MORVIK.EXE");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header("content-length"), "6");
    EXPECT_EQ(head.body, "");
}

class NginxTraversal : public NginxExport, public ::testing::WithParamInterface<const char*> {};

TEST_P(NginxTraversal, IsRefusedWithTheServicesErrorObject) {
    const std::string target = "/download?file=" + ExpandTraversal(GetParam(), tree_);
    const HttpAnswer answer = Get(NginxPort(), target);
    EXPECT_EQ(answer.status, 404) << target;
    EXPECT_TRUE(IsErrorObject(answer.body, 404)) << target << " -> " << answer.body;
    EXPECT_EQ(answer.body.find(ServedTree::kSecret), std::string::npos) << target;
}

INSTANTIATE_TEST_SUITE_P(EveryEncoding, NginxTraversal, ::testing::ValuesIn(kTraversalNames));

// Paths other than the two resources reach no file: nginx's own refusal (400 for a path that
// climbs above "/", 404 otherwise), never the secret or a served file.
TEST_F(NginxExport, PathsOtherThanTheTwoResourcesAreNotFiles) {
    for (const char* target : kOtherPathTargets) {
        const HttpAnswer answer = Get(NginxPort(), target);
        EXPECT_TRUE(answer.status == 400 || answer.status == 404)
            << target << " -> " << answer.status;
        EXPECT_EQ(answer.body.find(ServedTree::kSecret), std::string::npos) << target;
        EXPECT_EQ(answer.body.find("morvik"), std::string::npos) << target;
        EXPECT_EQ(answer.body.find("layout 1"), std::string::npos) << target;
    }
}

// A link put in a listed file's place after the export leads nowhere.
TEST_F(NginxExport, ALinkSwappedInAfterTheExportIsNotFollowed) {
    fs::remove(tree_.Root() / "README");
    fs::create_symlink("../secret.txt", tree_.Root() / "README");
    const HttpAnswer answer = Get(NginxPort(), "/download?file=README");
    EXPECT_EQ(answer.status, 404);
    EXPECT_TRUE(IsErrorObject(answer.body, 404)) << answer.body;
}

// The export holds the root's listings only: other folders and masks get an error object, not
// a listing that would be wrong.
TEST_F(NginxExport, OtherListingsAreRefusedWithAnErrorObject) {
    for (const char* target :
         {"/folderlist?folder=Relatorio&recursive=", "/folderlist?folder=%5C&mask=*.rav&recursive=",
          "/folderlist?%66older=Relatorio&recursive=", "/folderlist?folder=..&recursive="}) {
        const HttpAnswer answer = Get(NginxPort(), target);
        EXPECT_EQ(answer.status, 400) << target;
        EXPECT_TRUE(IsErrorObject(answer.body, 400)) << target << " -> " << answer.body;
    }
}

// Exports after changes on the server, each followed by a reload, while a workstation keeps
// asking: every listing it gets is whole and of one export (the new files of the exports
// before it, none of the later ones), and once the last reload is through every name in the
// listing can be fetched. (While nginx reloads, old and new workers answer side by side for a
// moment: a name new in the listing may not be found yet by an old worker.)
TEST_F(NginxExport, ReexportsReachReadersWhole) {
    constexpr int kExports = 5;
    std::atomic<bool> done{false};
    int listings = 0;
    std::vector<std::string> faults;
    std::thread reader([&] {
        while (!done.load()) {
            const HttpAnswer listing =
                Get(NginxPort(), "/folderlist?folder=%5C&mask=*.*&recursive=");
            const auto names = ListedNames(listing.body);
            if (listing.status != 200 || !names) {
                faults.push_back("listing " + std::to_string(listing.status) + ": " +
                                 listing.body.substr(0, 200));
                continue;
            }
            ++listings;
            std::vector<std::string> added;
            for (const std::string& name : *names)
                if (name.rfind("Novo", 0) == 0)
                    added.push_back(name);
            std::sort(added.begin(), added.end());
            for (size_t i = 0; i < added.size(); ++i)
                if (added[i] != "Novo" + std::to_string(i) + ".dll")
                    faults.push_back("a listing of no one export: " + added[i]);
        }
    });
    for (int i = 0; i < kExports; ++i) {
        const std::string name = "Novo" + std::to_string(i) + ".dll";
        WriteFile(tree_.Root() / name, name);
        Export();
        nginx_->Reload();
    }
    // The last export is served, and by workers of its configuration alone.
    const std::string lastName = "Novo" + std::to_string(kExports - 1) + ".dll";
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    std::optional<std::vector<std::string>> last;
    while (std::chrono::steady_clock::now() < deadline) {
        last = ListedNames(Get(NginxPort(), "/folderlist?folder=%5C&mask=*.*&recursive=").body);
        if (last && std::count(last->begin(), last->end(), lastName) == 1 && nginx_->Workers() == 1)
            break;
        std::this_thread::sleep_for(20ms); // nginx's workers taking the new configuration
    }
    done = true;
    reader.join();
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
    EXPECT_GT(listings, 0);
    ASSERT_TRUE(last);
    ASSERT_EQ(std::count(last->begin(), last->end(), lastName), 1);
    for (int i = 0; i < kExports; ++i) {
        const std::string name = "Novo" + std::to_string(i) + ".dll";
        EXPECT_EQ(Get(NginxPort(), "/download?file=" + name).body, name);
    }
    // The listings of the last two exports stay, the older ones are gone.
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(ExportFolder()))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    const std::string newest = std::to_string(kExports + 1);
    const std::string before = std::to_string(kExports);
    EXPECT_EQ(files, (std::vector<std::string>{"folderlist-raiz." + before + ".json",
                                               "folderlist-raiz." + newest + ".json",
                                               "folderlist." + before + ".json",
                                               "folderlist." + newest + ".json", "nginx-http.conf",
                                               "nginx-server.conf"}));
}

// The export matches names in the form the updater sends them: the same escapes as its
// download client.
TEST(UpdaterQueryForm, IsHowTheDownloadClientWritesTheName) {
    for (const char* name :
         {"Morvik.exe", "Relatorio\\Layout01.rav", "Relatório 2\\acentuação.txt", "a b.txt",
          "a+b&c=d.txt", "x'y.txt", "100%.txt", "[a]{b}^`|<>\"*.txt", "$RECYCLE.txt", "~tmp;1,2"})
        EXPECT_EQ("http://h/download?file=" + UpdaterQueryForm(name),
                  FileDownloadClient::DownloadURL("http://h", name))
            << name;
}

} // namespace
} // namespace corvane::test
