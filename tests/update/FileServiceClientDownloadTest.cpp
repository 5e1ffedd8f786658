#include "platform/FileSystem.h"
#include "tests/support/TestCertificate.h"
#include "tests/support/TestHttpServer.h"
#include "update/Errors.h"
#include "update/FileServiceClient.h"
#include "update/HttpCertificates.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

namespace corvane {
namespace {

using test::RecordedRequest;
using test::TestAnswer;
using test::TestHttpServer;
using ::testing::StartsWith;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("corvane-download-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Local(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

// ---- The request the service receives ----

struct NameCase {
    const char* name;
    const char* basePath; // appended to the server's base URL
    const char* remote;
    const char* requestLine;
};

class DownloadRequests : public DownloadTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(DownloadRequests, CarryTheRemoteNameEncoded) {
    const NameCase& c = GetParam();
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "x"); });
    FileDownloadClient client(server.BaseURL() + c.basePath);
    EXPECT_TRUE(client.Download(c.remote, Local("target.bin")));
    EXPECT_EQ(server.LastRequest().requestLine, c.requestLine);
    EXPECT_EQ(server.LastRequest().Header("User-Agent"), "Embarcadero RESTClient/1.0");
    EXPECT_FALSE(server.LastRequest().HasHeader("Accept-Encoding"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, DownloadRequests,
    ::testing::Values(
        NameCase{"Plain", "", "Morvik.exe", "GET /download?file=Morvik.exe HTTP/1.1"},
        NameCase{"Backslash", "", "Relatorio\\Layout01.rav",
                 "GET /download?file=Relatorio%5CLayout01.rav HTTP/1.1"},
        NameCase{"Space", "", "Meu arquivo.txt", "GET /download?file=Meu%20arquivo.txt HTTP/1.1"},
        NameCase{"Accent", "", "Relatório.pdf", "GET /download?file=Relat%C3%B3rio.pdf HTTP/1.1"},
        NameCase{"HashCutsTheName", "", "a#b.dll", "GET /download?file=a HTTP/1.1"},
        NameCase{"TrailingBlanksAndSlashes", "", "Pasta/Nome final/  ",
                 "GET /download?file=Pasta/Nome%20final HTTP/1.1"},
        NameCase{"QueryCharacters", "", "x'y*z&w=1+2%",
                 "GET /download?file=x%27y%2Az&w=1+2%25 HTTP/1.1"},
        NameCase{"BasePath", "/svc", "Morvik.exe", "GET /svc/download?file=Morvik.exe HTTP/1.1"},
        NameCase{"BaseWithTrailingSlash", "/svc/", "Morvik.exe",
                 "GET /svc/download?file=Morvik.exe HTTP/1.1"},
        NameCase{"BaseWithBackslashes", "\\svc\\", "Relatorio\\A.rav",
                 "GET /svc/download?file=Relatorio%5CA.rav HTTP/1.1"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// ---- The answers the service may give ----

struct AnswerCase {
    const char* name;
    TestAnswer answer;
    bool result;
    const char* content; // the local file's content when Result
    const char* error;   // Error() afterwards; a trailing "*" matches any rest
};

TestAnswer WithReason(TestAnswer answer, std::string reason) {
    answer.reason = std::move(reason);
    return answer;
}

TestAnswer WithHeader(TestAnswer answer, std::string name, std::string value) {
    answer.headers.emplace_back(std::move(name), std::move(value));
    return answer;
}

TestAnswer Truncated() {
    TestAnswer answer = TestAnswer::Make(200, std::string(200000, 'p'));
    answer.contentLength = 300000;
    return answer;
}

TestAnswer Endless() {
    TestAnswer answer = TestAnswer::Make(200, std::string(65536, 'e'));
    answer.endless = true;
    return answer;
}

void ExpectMessage(const std::string& actual, const std::string& expected) {
    if (!expected.empty() && expected.back() == '*')
        EXPECT_THAT(actual, StartsWith(expected.substr(0, expected.size() - 1)));
    else
        EXPECT_EQ(actual, expected);
}

class DownloadAnswers : public DownloadTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(DownloadAnswers, LeaveTheFileOnlyOnSuccess) {
    const AnswerCase& c = GetParam();
    TestHttpServer server([&](const RecordedRequest& request) {
        if (request.target == "/download?file=moved")
            return TestAnswer::Redirect(307, "/download?file=final");
        return c.answer;
    });
    const std::string local = Local("Morvik.exe");
    std::ofstream(local) << "the previous content";
    FileDownloadClient client(server.BaseURL());
    client.HTTP().timeouts.receive = 300;
    client.HTTP().maxBodyWritten = 1 << 20;
    EXPECT_EQ(client.Download(std::string(c.name) == "Redirected" ? "moved" : "Morvik.exe", local),
              c.result);
    if (c.result) {
        EXPECT_EQ(ReadFile(local), c.content);
    } else {
        EXPECT_FALSE(fs::exists(local)) << "a failed download left its file";
    }
    ExpectMessage(client.Error(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DownloadAnswers,
    ::testing::Values(
        AnswerCase{"Ok", TestAnswer::Make(200, "conteúdo\r\n", "application/octet-stream"), true,
                   "conteúdo\r\n", ""},
        AnswerCase{"EmptyBody", TestAnswer::Make(200), true, "", ""},
        AnswerCase{"GzipBodyIsKeptAsSent",
                   WithHeader(TestAnswer::Make(200, "\x1f\x8b raw"), "Content-Encoding", "gzip"),
                   true, "\x1f\x8b raw", ""},
        AnswerCase{"Redirected", TestAnswer::Make(200, "final"), true, "final", ""},
        AnswerCase{"NotFoundEmpty", TestAnswer::Make(404), false, "", "Not Found"},
        AnswerCase{
            "NotFoundText",
            TestAnswer::Make(404, "Arquivo n\xE3o encontrado", "text/plain; charset=ISO-8859-1"),
            false, "", "Arquivo não encontrado"},
        AnswerCase{"ForbiddenOwnReason", WithReason(TestAnswer::Make(403), "Sem acesso"), false, "",
                   "Sem acesso"},
        AnswerCase{"ServerError", TestAnswer::Make(500, "falhou"), false, "",
                   "HTTP/1.1 500 Internal Server Error"},
        AnswerCase{"Unavailable", TestAnswer::Make(503), false, "",
                   "HTTP/1.1 503 Service Unavailable"},
        AnswerCase{"ShortBody", Truncated(), false, "",
                   "REST request failed: transfer closed with 100000 bytes remaining to read"},
        AnswerCase{"Stalled", TestAnswer::Stall(), false, "",
                   "REST request failed: The operation timed out: nothing received for 300 ms"},
        AnswerCase{"EndlessBody", Endless(), false, "",
                   "REST request failed: The answer is larger than 1048576 bytes"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// The file's bytes must survive whole: a body in many pieces, each byte value.
TEST_F(DownloadTest, LargeBinaryBodyArrivesByteForByte) {
    std::string body(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>((i * 7919) >> 3);
    TestHttpServer server([&](const RecordedRequest&) { return TestAnswer::Make(200, body); });
    FileDownloadClient client(server.BaseURL());
    ASSERT_TRUE(client.Download("Modulo.exe", Local("Modulo.exe")));
    EXPECT_TRUE(ReadFile(Local("Modulo.exe")) == body);
}

TEST_F(DownloadTest, DownloadToHandsTheBodyToTheCallersWriter) {
    TestHttpServer server([](const RecordedRequest& request) {
        if (request.target == "/download?file=falta")
            return TestAnswer::Make(404, "Arquivo não encontrado", "text/plain");
        return TestAnswer::Make(200, std::string(100000, 'w'));
    });
    FileDownloadClient client(server.BaseURL());
    std::string received;
    const auto collect = [&](const char* data, size_t size) { received.append(data, size); };
    EXPECT_TRUE(client.DownloadTo("Morvik.exe", collect));
    EXPECT_EQ(received, std::string(100000, 'w'));

    received.clear();
    EXPECT_FALSE(client.DownloadTo("falta", collect));
    EXPECT_EQ(client.Error(), "Arquivo não encontrado");
    EXPECT_TRUE(received.empty());

    EXPECT_FALSE(client.DownloadTo("Morvik.exe", [](const char*, size_t) {
        throw SystemError("No space left on device", 28);
    }));
    EXPECT_EQ(client.Error(), "No space left on device");
}

TEST_F(DownloadTest, TraceLineIsNinetyTwoMarksAndTheRemoteName) {
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "x"); });
    FileDownloadClient client(server.BaseURL());
    ::testing::internal::CaptureStderr();
    client.Download("Morvik.exe", Local("Morvik.exe"));
    const std::string trace = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(trace, std::string(92, '>') + "Morvik.exe\n");
}

// ---- Local files that cannot be written ----

TEST_F(DownloadTest, MissingFolderRaisesPathNotFoundAndSendsNothing) {
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "x"); });
    FileDownloadClient client(server.BaseURL());
    const std::string local = Local("nao-existe/Morvik.exe");
    EXPECT_THAT(
        [&] { client.Download("Morvik.exe", local); },
        ThrowsMessage<DirectoryNotFoundException>(StrEq("The specified path was not found")));
    EXPECT_EQ(client.Error(), "Cannot create file \"" + local + "\". No such file or directory");
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(DownloadTest, FileInUseRaisesAndStaysAsItWas) {
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "novo"); });
    const std::string local = Local("Morvik.exe");
    FileStream holder(local);
    holder.Write("em uso", 6);
    FileDownloadClient client(server.BaseURL());
    EXPECT_THAT([&] { client.Download("Morvik.exe", local); },
                ThrowsMessage<SystemError>(StrEq("Device or resource busy")));
    EXPECT_EQ(client.Error(), "Cannot create file \"" + local + "\". Device or resource busy");
    EXPECT_EQ(ReadFile(local), "em uso");
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(DownloadTest, FolderInPlaceOfTheFileGivesFalseAndStays) {
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "x"); });
    const std::string local = Local("Morvik.exe");
    fs::create_directory(local);
    FileDownloadClient client(server.BaseURL());
    EXPECT_FALSE(client.Download("Morvik.exe", local));
    EXPECT_EQ(client.Error(), "Cannot create file \"" + local + "\". Is a directory");
    EXPECT_TRUE(fs::is_directory(local));
}

TEST_F(DownloadTest, PathsTheSystemRefusesRaiseThePathErrors) {
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "x"); });
    FileDownloadClient client(server.BaseURL());
    const std::string tooLong = Local(std::string(260, 'a'));
    EXPECT_THAT([&] { client.Download("Morvik.exe", tooLong); },
                ThrowsMessage<PathTooLongException>(StrEq("The specified path is too long")));
    EXPECT_THAT(client.Error(), StartsWith("Cannot create file \"" + tooLong + "\". "));
    EXPECT_THAT([&] { client.Download("Morvik.exe", Local("a<b>.exe")); },
                ThrowsMessage<ArgumentException>(StrEq("Invalid characters in path")));
    EXPECT_FALSE(fs::exists(Local("a<b>.exe")));
    EXPECT_EQ(server.RequestCount(), 0u);
}

// Makes this thread's file accesses those of an unprivileged user, for one test: even when the
// tests run as root, permissions then apply. The user id is the traditional "nobody".
class UnprivilegedFiles {
public:
    UnprivilegedFiles() : old_(static_cast<uid_t>(::setfsuid(65534))) {
        active_ = static_cast<uid_t>(::setfsuid(65534)) == 65534;
    }
    ~UnprivilegedFiles() { ::setfsuid(old_); }
    bool Active() const { return active_; }

private:
    uid_t old_;
    bool active_ = false;
};

TEST_F(DownloadTest, AccessDeniedRows) {
    TestHttpServer server([](const RecordedRequest&) { return TestAnswer::Make(200, "x"); });
    FileDownloadClient client(server.BaseURL());
    // A folder nobody may write into: the file cannot be created, and its deletion then
    // finds no file, which is raised.
    const fs::path locked = folder_ / "somente-leitura";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    // A read-only file in a folder everyone may write into: it cannot be opened for writing,
    // but it can be deleted, so the download ends false without a file.
    const fs::path shared = folder_ / "aberta";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all);
    const std::string readOnly = (shared / "Morvik.exe").string();
    std::ofstream(readOnly) << "protegido";
    fs::permissions(readOnly,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(folder_, fs::perms::all);

    UnprivilegedFiles nobody;
    if (!nobody.Active())
        GTEST_SKIP() << "cannot change the file-system user of this thread";
    const std::string inLocked = (locked / "Morvik.exe").string();
    EXPECT_THAT([&] { client.Download("Morvik.exe", inLocked); },
                ThrowsMessage<SystemError>(StrEq("No such file or directory")));
    EXPECT_EQ(client.Error(), "Cannot create file \"" + inLocked + "\". Permission denied");

    EXPECT_FALSE(client.Download("Morvik.exe", readOnly));
    EXPECT_EQ(client.Error(), "Cannot create file \"" + readOnly + "\". Permission denied");
    EXPECT_FALSE(fs::exists(readOnly));
    EXPECT_EQ(server.RequestCount(), 0u);
}

// Ignores SIGXFSZ and limits the size of files this process writes, for one test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int);
};

TEST_F(DownloadTest, WriteThatFailsLikeAFullDiskLeavesNoFile) {
    TestHttpServer server(
        [](const RecordedRequest&) { return TestAnswer::Make(200, std::string(2 << 20, 'd')); });
    const std::string local = Local("Grande.dll");
    FileDownloadClient client(server.BaseURL());
    bool result;
    {
        FileSizeLimit limit(1 << 20);
        result = client.Download("Grande.dll", local);
    }
    EXPECT_FALSE(result);
    EXPECT_FALSE(fs::exists(local));
    EXPECT_EQ(client.Error(), "Cannot write file \"" + local + "\". File too large");
}

TEST_F(DownloadTest, BadBaseURLFailsTheDownloadWithoutAFile) {
    FileDownloadClient client("   ");
    EXPECT_FALSE(client.Download("Morvik.exe", Local("Morvik.exe")));
    EXPECT_EQ(client.Error(), "Protocol field is empty");
    EXPECT_FALSE(fs::exists(Local("Morvik.exe")));
}

// ---- HTTPS ----

TEST_F(DownloadTest, SelfSignedServiceIsRefusedWithoutTheCAAndUsedWithIt) {
    const test::TestCertificate certificate = test::MakeSelfSignedCertificate({}, {"127.0.0.1"});
    const std::string caFile = Local("hospital-ca.pem");
    std::ofstream(caFile) << certificate.certificatePem;
    TestHttpServer server(
        [](const RecordedRequest& request) {
            if (request.target.rfind("/folderlist", 0) == 0)
                return TestAnswer::Make(200, R"([{"fileName":"Morvik.exe"}])", "application/json");
            return TestAnswer::Make(200, "seguro");
        },
        certificate);
    struct Reset {
        ~Reset() { SetExtraCAFile(""); }
    } reset;

    SetExtraCAFile("");
    FileDownloadClient refused(server.BaseURL());
    EXPECT_FALSE(refused.Download("Morvik.exe", Local("Morvik.exe")));
    EXPECT_THAT(refused.Error(), StartsWith("REST request failed: SSL certificate problem: "));
    EXPECT_FALSE(fs::exists(Local("Morvik.exe")));
    FileServiceClient refusedList(server.BaseURL());
    EXPECT_THAT(
        [&] { refusedList.Execute("\\", "*.*", true); },
        ThrowsMessage<HttpError>(StartsWith("REST request failed: SSL certificate problem: ")));

    SetExtraCAFile(caFile);
    FileDownloadClient accepted(server.BaseURL());
    EXPECT_TRUE(accepted.Download("Morvik.exe", Local("Morvik.exe")));
    EXPECT_EQ(ReadFile(Local("Morvik.exe")), "seguro");
    FileServiceClient acceptedList(server.BaseURL());
    EXPECT_TRUE(acceptedList.Execute("\\", "*.*", true));
    EXPECT_EQ(acceptedList.Count(), 1);
}

} // namespace
} // namespace corvane
