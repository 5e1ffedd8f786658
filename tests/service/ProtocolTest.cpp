// The folderlist and download exchanges as the workstations' updater uses them.
#include "tests/service/ServiceFixture.h"

#include "platform/FileTime.h"

#include <algorithm>

namespace corvane::test {
namespace {

// The tree every protocol case is answered from.
class ProtocolTree : public ServiceTest {
protected:
    void SetUp() override {
        const fs::path root = tree_.Root();
        WriteFile(root / "Morvik.exe", "morvik");
        WriteFile(root / "README", "leia-me");
        WriteFile(root / "empty.dat", "");
        WriteFile(root / "a+b&c=d.txt", "sinais");
        WriteFile(root / "Relatorio" / "Layout01.rav", "layout 1");
        WriteFile(root / "Relatorio" / "Layout02.RAV", "layout 2");
        WriteFile(root / "Relatorio" / "Sub" / "deep.txt", "fundo");
        WriteFile(root / "Relatório 2" / "acentuação.txt", "acentos");
        fs::create_directory_symlink("..", root / "outdir");
        fs::create_symlink("Morvik.exe", root / "goodlink");
        fs::create_symlink("../secret.txt", root / "outlink");
        // Names that cannot travel as the service's names: not UTF-8, or with a backslash.
        WriteFile(root / "caf\xE9.txt", "latin-1");
        WriteFile(root / "Relatorio" / "back\\slash.txt", "barra");
        StartService();
    }
};

const std::vector<std::string> kWholeTree = {"Morvik.exe",
                                             "README",
                                             "Relatorio\\Layout01.rav",
                                             "Relatorio\\Layout02.RAV",
                                             "Relatorio\\Sub\\deep.txt",
                                             "Relatório 2\\acentuação.txt",
                                             "a+b&c=d.txt",
                                             "empty.dat",
                                             "goodlink"};
const std::vector<std::string> kRootFolder = {"Morvik.exe", "README", "a+b&c=d.txt", "empty.dat",
                                              "goodlink"};

struct ListingCase {
    const char* target;
    int status;                     // 404 answers carry the error object
    std::vector<std::string> names; // the fileName members, in any order
};

class Listing : public ProtocolTree, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(Listing, AnswersTheFilesOfTheFolder) {
    const ListingCase& c = GetParam();
    const HttpAnswer answer = Get(Port(), c.target);
    ASSERT_EQ(answer.status, c.status) << answer.body;
    EXPECT_EQ(answer.Header("content-type"), "application/json; charset=utf-8");
    if (c.status != 200) {
        EXPECT_TRUE(IsErrorObject(answer.body, c.status)) << answer.body;
        return;
    }
    auto names = ListedNames(answer.body);
    ASSERT_TRUE(names) << answer.body;
    std::vector<std::string> expected = c.names;
    std::sort(names->begin(), names->end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(*names, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folderlist, Listing,
    ::testing::Values(
        // What the updater asks every morning: the whole tree.
        ListingCase{"/folderlist?folder=%5C&mask=*.*&recursive=", 200, kWholeTree},
        ListingCase{"/folderlist?folder=%5C&mask=*.*&recursive=1", 200, kWholeTree},
        ListingCase{"/folderlist?folder=%2F&mask=*&recursive=", 200, kWholeTree},
        // Without recursive, only the folder itself.
        ListingCase{"/folderlist?folder=%5C&mask=*.*", 200, kRootFolder},
        ListingCase{"/folderlist", 200, kRootFolder},
        ListingCase{"/folderlist?mask=", 200, kRootFolder},
        // Folders and masks without regard to case; names stay relative to the root.
        ListingCase{"/folderlist?folder=relatorio&mask=*.rav",
                    200,
                    {"Relatorio\\Layout01.rav", "Relatorio\\Layout02.RAV"}},
        ListingCase{
            "/folderlist?folder=%5CRELATORIO%5C&mask=*.*&recursive=",
            200,
            {"Relatorio\\Layout01.rav", "Relatorio\\Layout02.RAV", "Relatorio\\Sub\\deep.txt"}},
        ListingCase{"/folderlist?folder=Relatorio%2FSub", 200, {"Relatorio\\Sub\\deep.txt"}},
        ListingCase{
            "/folderlist?folder=Relat%C3%B3rio+2&mask=*.TXT", 200, {"Relatório 2\\acentuação.txt"}},
        ListingCase{"/folderlist?folder=RELAT%C3%93RIO+2&mask=ACENTUA%C3%87%C3%83O.*",
                    200,
                    {"Relatório 2\\acentuação.txt"}},
        // Wildcards: '?' is one letter, "*." the names without a dot.
        ListingCase{"/folderlist?folder=%5C&mask=layout0%3F.rav&recursive=",
                    200,
                    {"Relatorio\\Layout01.rav", "Relatorio\\Layout02.RAV"}},
        ListingCase{"/folderlist?folder=%5C&mask=*.", 200, {"README", "goodlink"}},
        ListingCase{"/folderlist?folder=%5C&mask=m*", 200, {"Morvik.exe"}},
        ListingCase{"/folderlist?folder=%5C&mask=*.dll&recursive=", 200, {}},
        // Folders that do not exist, are files, or leave the root.
        ListingCase{"/folderlist?folder=Nope&mask=*.*", 404, {}},
        ListingCase{"/folderlist?folder=Morvik.exe", 404, {}},
        ListingCase{"/folderlist?folder=outdir&mask=*.*&recursive=", 404, {}},
        ListingCase{"/folderlist?folder=..&mask=*.*&recursive=", 404, {}},
        ListingCase{"/folderlist?folder=Relatorio%5C..%5C..&recursive=", 404, {}},
        ListingCase{"/folderlist?folder=%252e%252e&recursive=", 404, {}},
        ListingCase{"/folderlist?folder=C%3A%5C&recursive=", 404, {}},
        ListingCase{"/folderlist?folder=%5C%5Cserver%5Cshare&recursive=", 404, {}},
        ListingCase{"/folderlist?folder=Relatorio%00&recursive=", 404, {}}));

struct DownloadCase {
    const char* target;
    int status;
    const char* content; // for 200
};

class Download : public ProtocolTree, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(Download, AnswersTheFileOrAnErrorObject) {
    const DownloadCase& c = GetParam();
    const HttpAnswer answer = Get(Port(), c.target);
    ASSERT_EQ(answer.status, c.status) << answer.body;
    if (c.status != 200) {
        EXPECT_EQ(answer.Header("content-type"), "application/json; charset=utf-8");
        EXPECT_TRUE(IsErrorObject(answer.body, c.status)) << answer.body;
        return;
    }
    EXPECT_EQ(answer.body, c.content);
    EXPECT_EQ(answer.Header("content-length"), std::to_string(std::string_view(c.content).size()));
    EXPECT_EQ(answer.Header("content-type"), "application/octet-stream");
}

INSTANTIATE_TEST_SUITE_P(
    Files, Download,
    ::testing::Values(DownloadCase{"/download?file=Morvik.exe", 200, "morvik"},
                      // The updater asks with its own record's letter case.
                      DownloadCase{"/download?file=MORVIK.EXE", 200, "morvik"},
                      DownloadCase{"/download?file=Relatorio%5CLayout01.rav", 200, "layout 1"},
                      DownloadCase{"/download?file=relatorio%5Clayout02.rav", 200, "layout 2"},
                      DownloadCase{"/download?file=relatorio/sub/DEEP.TXT", 200, "fundo"},
                      DownloadCase{"/download?file=Relat%C3%B3rio%202%5Cacentua%C3%A7%C3%A3o.txt",
                                   200, "acentos"},
                      DownloadCase{"/download?file=RELAT%C3%93RIO%202%5CACENTUA%C3%87%C3%83O.TXT",
                                   200, "acentos"},
                      // The download client sends '+', '&' and '=' as they are.
                      DownloadCase{"/download?file=a+b&c=d.txt", 200, "sinais"},
                      DownloadCase{"/download?file=empty.dat", 200, ""},
                      DownloadCase{"/download?file=goodlink", 200, "morvik"},
                      // Names that name no file.
                      DownloadCase{"/download?file=missing.dll", 404, nullptr},
                      DownloadCase{"/download?file=Relatorio", 404, nullptr},
                      DownloadCase{"/download?file=", 404, nullptr},
                      DownloadCase{"/download", 404, nullptr},
                      DownloadCase{"/download?name=Morvik.exe", 404, nullptr},
                      DownloadCase{"/download?file=a%20b&c=d.txt", 404, nullptr},
                      // Resources the service does not have.
                      DownloadCase{"/", 404, nullptr}, DownloadCase{"/Morvik.exe", 404, nullptr},
                      DownloadCase{"/download/Morvik.exe", 404, nullptr},
                      DownloadCase{"/FOLDERLIST", 404, nullptr}));

TEST_F(ProtocolTree, AgesAreTheFilesLocalTimesWithMilliseconds) {
    SetFileAge((tree_.Root() / "Relatorio" / "Layout01.rav").string(),
               EncodeDateTime(2022, 3, 1, 10, 15, 30, 123));
    SetFileAge((tree_.Root() / "Morvik.exe").string(), EncodeDateTime(2021, 12, 31, 23, 59, 59, 0));
    const HttpAnswer answer = Get(Port(), "/folderlist?folder=%5C&mask=*.*&recursive=");
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(ListedAge(answer.body, "Relatorio\\Layout01.rav"), "2022-03-01T10:15:30.123");
    EXPECT_EQ(ListedAge(answer.body, "Morvik.exe"), "2021-12-31T23:59:59.000");
}

// Each file is listed with what a download of it must match: its length and its SHA-256 in
// lower-case hex; a link with those of the file it leads to.
TEST_F(ProtocolTree, ListsEachFilesSizeAndSha256) {
    const HttpAnswer answer = Get(Port(), "/folderlist?folder=%5C&mask=*.*&recursive=");
    ASSERT_EQ(answer.status, 200);
    const ListedFileContent morvik{
        6, "8ab58ebbc1d7bea061c4b7f8acab3ce1aa515794faae00362cae255d4318d020"};
    EXPECT_EQ(ListedContent(answer.body, "Morvik.exe"), morvik);
    EXPECT_EQ(ListedContent(answer.body, "goodlink"), morvik);
    EXPECT_EQ(
        ListedContent(answer.body, "empty.dat"),
        (ListedFileContent{0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}));
    EXPECT_EQ(
        ListedContent(answer.body, "Relatorio\\Layout01.rav"),
        (ListedFileContent{8, "8bbb9edb5802a8e9cce5fe6b887a787c2ac2f9a4a9179797e460e9098841a316"}));
}

TEST_F(ProtocolTree, NeverCompressesEvenWhenAskedTo) {
    const std::string gzip = "Accept-Encoding: gzip, deflate, br\r\n";
    for (const char* target :
         {"/folderlist?folder=%5C&mask=*.*&recursive=", "/download?file=README"}) {
        const HttpAnswer plain = Get(Port(), target);
        const HttpAnswer asked = Exchange(Port(), "GET", target, gzip);
        ASSERT_EQ(asked.status, 200) << target;
        EXPECT_EQ(asked.headers.count("content-encoding"), 0u) << target;
        EXPECT_EQ(asked.body, plain.body) << target;
    }
}

TEST_F(ProtocolTree, OtherMethodsAreRefusedAndHeadSendsNoBody) {
    const HttpAnswer post =
        Exchange(Port(), "POST", "/download?file=Morvik.exe", "Content-Length: 4\r\n", "abcd");
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.Header("allow"), "GET, HEAD");
    EXPECT_TRUE(IsErrorObject(post.body, 405)) << post.body;

    const HttpAnswer head = Exchange(Port(), "HEAD", "/download?file=Morvik.exe");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header("content-length"), "6");
    EXPECT_EQ(head.body, "");
}

// A client that keeps its connection (a proxy in front of the service, say) is answered
// request after request on it, whatever the answer was.
TEST_F(ProtocolTree, AnswersRequestAfterRequestOnOneConnection) {
    Socket socket = Connect(Port());
    ASSERT_GE(socket.Get(), 0);
    const auto ask = [&socket](std::string_view method, std::string_view target) -> bool {
        return SendAll(socket.Get(), std::string(method) + " " + std::string(target) +
                                         " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    };
    ASSERT_TRUE(ask("GET", "/download?file=Morvik.exe"));
    EXPECT_EQ(ReadOneAnswerBody(socket.Get()), "morvik");
    ASSERT_TRUE(ask("GET", "/folderlist?folder=%5C&mask=*.*&recursive="));
    const auto names = ListedNames(ReadOneAnswerBody(socket.Get()));
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), kWholeTree.size());
    ASSERT_TRUE(ask("GET", "/download?file=missing.dll"));
    EXPECT_TRUE(IsErrorObject(ReadOneAnswerBody(socket.Get()), 404));
    ASSERT_TRUE(ask("GET", "/download?file=README"));
    EXPECT_EQ(ReadOneAnswerBody(socket.Get()), "leia-me");
}

// Small files go from memory once asked for: a file changed since is sent as it is now.
TEST_F(ProtocolTree, SendsAChangedFileAsItIsNow) {
    const fs::path readme = tree_.Root() / "README";
    EXPECT_EQ(Get(Port(), "/download?file=README").body, "leia-me");
    EXPECT_EQ(service_->Contents().HeldBytes(), 7u);
    WriteFile(readme, "leia-me, de novo");
    EXPECT_EQ(Get(Port(), "/download?file=README").body, "leia-me, de novo");
    WriteFile(tree_.Root() / "novo.tmp", "outro texto, mesmo tamanho");
    fs::rename(tree_.Root() / "novo.tmp", readme);
    const HttpAnswer answer = Get(Port(), "/download?file=readme");
    EXPECT_EQ(answer.body, "outro texto, mesmo tamanho");
    EXPECT_EQ(answer.Header("content-type"), "application/octet-stream");
    fs::remove(readme);
    EXPECT_TRUE(IsErrorObject(Get(Port(), "/download?file=README").body, 404));
}

TEST_F(ProtocolTree, LogsOneLinePerRequest) {
    ASSERT_EQ(Get(Port(), "/download?file=Morvik.exe").status, 200);
    ASSERT_EQ(Get(Port(), "/folderlist?folder=Nope").status, 404);
    const auto download = log_.WaitFor("GET /download?file=Morvik.exe 200 6 ");
    ASSERT_TRUE(download);
    EXPECT_TRUE(download->ends_with("ms")) << *download;
    const auto missing = log_.WaitFor("GET /folderlist?folder=Nope 404 ");
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->ends_with("ms")) << *missing;
}

} // namespace
} // namespace corvane::test
