// The service source against the real file service on 127.0.0.1, and against a scripted
// server for the answers the real service does not give (error listings, failing downloads).
#include "platform/Errors.h"
#include "platform/FileTime.h"
#include "platform/Sha256.h"
#include "tests/support/TestHttpServer.h"
#include "tests/update/FilesUpdaterFixture.h"
#include "tests/update/ServedFolder.h"

#include <future>
#include <mutex>
#include <ostream>

namespace corvane::test {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace fs = std::filesystem;

class ServiceSource : public FilesUpdaterTest {
protected:
    void StartService() {
        served_ = std::make_unique<ServedFolder>(server_);
        url_ = served_->Url();
    }

    Run UpdateFromService(const std::string& module, bool additional, const std::string& url) {
        Run run;
        Start(run, module, additional, "", url);
        Finish(run);
        return run;
    }

    std::unique_ptr<ServedFolder> served_;
    std::string url_;
};

TEST_F(ServiceSource, FetchesWhatDiffersStampsTheServersAgeAndThenFetchesNothing) {
    WriteFile(server_, "Estoque.exe", "module", TestAge(1));
    WriteFile(server_, "central.ini", "new ini", TestAge(2));
    WriteFile(server_, "Relatorio\\Layout01.rav", "layout", TestAge(3));
    WriteFile(server_, "Unrelated.exe", "not asked for", TestAge(4));
    WriteFile(local_, "central.ini", "old ini", TestAge(-5));
    fs::create_directories(local_ / "Relatorio");
    StartService();

    const Run first = UpdateFromService("Estoque.exe", true, url_);
    EXPECT_EQ(first.completions, 1);
    EXPECT_EQ(first.observer->Names(FileOutcome::Updated),
              (std::vector<std::string>{"Estoque.exe", "Relatorio\\Layout01.rav", "central.ini"}));
    EXPECT_EQ(first.observer->Names(FileOutcome::Failed), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "module");
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "new ini");
    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "Layout01.rav"), "layout");
    EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(1));
    EXPECT_EQ(FileAge(localFolder_ + "central.ini"), TestAge(2));
    EXPECT_EQ(FileAge(localFolder_ + "Relatorio\\Layout01.rav"), TestAge(3));
    EXPECT_EQ(FilesUnder(local_),
              (std::vector<std::string>{"Estoque.exe", "Relatorio/Layout01.rav", "central.ini"}));

    const Run second = UpdateFromService("Estoque.exe", true, url_);
    EXPECT_EQ(second.completions, 1);
    EXPECT_EQ(second.observer->queued, 0u);
    EXPECT_TRUE(second.observer->Records().empty());
}

TEST_F(ServiceSource, ANameInOtherCapitalsMatchesAndIsWrittenAsTheLocalListWritesIt) {
    WriteFile(server_, "estoque.EXE", "module", TestAge(1));
    WriteFile(server_, "relatorio\\LAYOUT01.rav", "layout", TestAge(2));
    fs::create_directories(local_ / "Relatorio");
    StartService();

    const Run run = UpdateFromService("Estoque.exe", true, url_);
    EXPECT_EQ(run.observer->Names(FileOutcome::Updated),
              (std::vector<std::string>{"Estoque.exe", "Relatorio\\Layout01.rav"}));
    EXPECT_EQ(FilesUnder(local_),
              (std::vector<std::string>{"Estoque.exe", "Relatorio/Layout01.rav"}));
    EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(1));
    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "Layout01.rav"), "layout");
}

TEST_F(ServiceSource, AMissingLocalFolderFailsItsFileAndCreatesNothing) {
    WriteFile(server_, "Estoque.exe", "module", TestAge(1));
    WriteFile(server_, "Relatorio\\Layout01.rav", "layout", TestAge(2));
    StartService();

    const Run run = UpdateFromService("Estoque.exe", true, url_);
    EXPECT_EQ(run.completions, 1);
    EXPECT_EQ(run.observer->Names(FileOutcome::Updated), std::vector<std::string>{"Estoque.exe"});
    EXPECT_EQ(run.observer->Names(FileOutcome::Failed),
              std::vector<std::string>{"Relatorio\\Layout01.rav"});
    EXPECT_EQ(FilesUnder(local_), std::vector<std::string>{"Estoque.exe"});
    EXPECT_FALSE(fs::exists(local_ / "Relatorio"));
}

// The listing's answers other than a file list: an error object from 300 to 499 updates nothing and
// still completes; 500 and up fail Execute.
struct ListingCase {
    const char* label;
    int status;
    std::string body;
    const char* executeError; // nullptr: Execute succeeds
};

void PrintTo(const ListingCase& c, std::ostream* os) {
    *os << c.label;
}

class ListingAnswer : public ServiceSource, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(ListingAnswer, UpdatesNothing) {
    const ListingCase& c = GetParam();
    WriteFile(local_, "Estoque.exe", "local", TestAge(-1));
    TestHttpServer server([&](const RecordedRequest&) {
        return TestAnswer::Make(c.status, c.body, "application/json");
    });

    Run run;
    const auto start = [&] { Start(run, "Estoque.exe", true, "", server.BaseURL()); };
    if (c.executeError)
        EXPECT_THAT(start, ThrowsMessage<Exception>(StrEq(c.executeError)));
    else
        EXPECT_NO_THROW(start());
    Finish(run);
    EXPECT_EQ(run.completions, c.executeError ? 0 : 1);
    EXPECT_EQ(run.observer->queued, 0u);
    EXPECT_EQ(server.RequestCount(), 1u); // the listing alone, no download
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "local");
    EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(-1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListingAnswer,
    ::testing::Values(
        ListingCase{"ErrorObject404", 404,
                    R"({"error":"Not Found","status":404,"detail":"Pasta inexistente"})", nullptr},
        ListingCase{"ErrorObject403", 403,
                    R"({"error":"Forbidden","status":403,"detail":"Acesso negado"})", nullptr},
        ListingCase{"ServerError500", 500, "", "HTTP/1.1 500 Internal Server Error"}),
    [](const auto& c) { return std::string(c.param.label); });

TEST_F(ServiceSource, TheRealServiceWithoutItsTreeUpdatesNothingAndCompletes) {
    WriteFile(local_, "Estoque.exe", "local", TestAge(-1));
    StartService();
    fs::remove_all(server_); // the service now answers the listing with an error object

    const Run run = UpdateFromService("Estoque.exe", true, url_);
    EXPECT_EQ(run.completions, 1);
    EXPECT_EQ(run.observer->queued, 0u);
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "local");
}

// Two server files whose names differ only in case (the service lists both): which one is
// meant cannot be told. That name fails alone and keeps its old copy; every other file is
// updated and the run completes. The folder source does the same.
class TwinNames : public ServiceSource, public ::testing::WithParamInterface<bool> {};

TEST_P(TwinNames, FailOnlyTheirOwnFile) {
    const bool fromService = GetParam();
    WriteFile(server_, "central.ini", "one", TestAge(1));
    WriteFile(server_, "CENTRAL.INI", "other", TestAge(2));
    WriteFile(server_, "Estoque.exe", "module", TestAge(3));
    WriteFile(server_, "gds32.dll", "lib", TestAge(4));
    WriteFile(local_, "central.ini", "old", TestAge(-1));
    StartService();

    Run run;
    Start(run, "Estoque.exe", true, fromService ? "" : serverFolder_, fromService ? url_ : "");
    Finish(run);
    EXPECT_EQ(run.completions, 1);
    EXPECT_EQ(run.observer->Names(FileOutcome::Updated),
              (std::vector<std::string>{"Estoque.exe", "gds32.dll"}));
    const auto records = run.observer->Records();
    ASSERT_EQ(records.count("central.ini"), 1u);
    EXPECT_EQ(records.find("central.ini")->second.outcome, FileOutcome::Failed);
    EXPECT_EQ(records.find("central.ini")->second.message, "Duplicates not allowed");
    EXPECT_EQ(run.observer->queued, 3u);
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "old");
    EXPECT_EQ(FileAge(localFolder_ + "central.ini"), TestAge(-1));
    EXPECT_EQ(ReadFile(local_ / "gds32.dll"), "lib");
}

INSTANTIATE_TEST_SUITE_P(Sources, TwinNames, ::testing::Values(false, true),
                         [](const auto& c) { return c.param ? "Service" : "Folder"; });

// A download that fails in any way leaves the previous file as it was, with no temporary
// file beside it, and the next run repairs it.
enum class DownloadFaultKind { NotFound, Unavailable, Truncated, ServiceDies };

struct DownloadCase {
    const char* label;
    DownloadFaultKind fault;
};

void PrintTo(const DownloadCase& c, std::ostream* os) {
    *os << c.label;
}

class DownloadFault : public ServiceSource, public ::testing::WithParamInterface<DownloadCase> {
protected:
    static constexpr const char* kListing =
        R"([{"fileName":"Estoque.exe","age":"2024-05-01T10:20:30.000"},)"
        R"({"fileName":"central.ini","age":"2024-05-01T10:20:30.000"}])";
    const std::string module_ = std::string(1024 * 1024, 'n');
    mutable std::once_flag askedOnce_;
    mutable std::promise<void> moduleAskedSignal_;
    std::future<void> moduleAsked_ = moduleAskedSignal_.get_future();

    TestAnswer Answer(const RecordedRequest& request, bool faulty) const {
        if (request.target.rfind("/folderlist", 0) == 0)
            return TestAnswer::Make(200, kListing, "application/json");
        if (request.target.find("central.ini") != std::string::npos)
            return TestAnswer::Make(200, "new ini", "application/octet-stream");
        if (!faulty)
            return TestAnswer::Make(200, module_, "application/octet-stream");
        switch (GetParam().fault) {
        case DownloadFaultKind::NotFound:
            return TestAnswer::Make(
                404, R"({"error":"Not Found","status":404,"detail":"Arquivo inexistente"})",
                "application/json");
        case DownloadFaultKind::Unavailable:
            return TestAnswer::Make(503, "busy", "text/plain");
        case DownloadFaultKind::Truncated: {
            TestAnswer answer = TestAnswer::Make(200, module_.substr(0, 300000));
            answer.contentLength = module_.size();
            return answer;
        }
        case DownloadFaultKind::ServiceDies: {
            std::call_once(askedOnce_, [this] { moduleAskedSignal_.set_value(); });
            TestAnswer answer = TestAnswer::Make(200, module_);
            answer.stallAfterBytes = 300000;
            return answer;
        }
        }
        return TestAnswer::Make(500);
    }
};

TEST_P(DownloadFault, LeavesTheOldFileIntactAndTheNextRunRepairsIt) {
    WriteFile(local_, "Estoque.exe", "old module", TestAge(-1));
    WriteFile(local_, "central.ini", "old ini", TestAge(-1));
    TestHttpServer faulty([&](const RecordedRequest& r) { return Answer(r, true); });

    Run run;
    Start(run, "Estoque.exe", true, "", faulty.BaseURL());
    if (GetParam().fault == DownloadFaultKind::ServiceDies) {
        // The service goes away while the module's answer is on its way.
        ASSERT_EQ(moduleAsked_.wait_for(std::chrono::minutes(1)), std::future_status::ready);
        faulty.Stop();
    }
    Finish(run);
    EXPECT_EQ(run.completions, 1);
    const auto records = run.observer->Records();
    ASSERT_EQ(records.count("Estoque.exe"), 1u);
    EXPECT_EQ(records.find("Estoque.exe")->second.outcome, FileOutcome::Failed);
    // A service that died may also have failed the other file; one that lives serves it.
    if (GetParam().fault != DownloadFaultKind::ServiceDies) {
        EXPECT_EQ(run.observer->Names(FileOutcome::Updated),
                  std::vector<std::string>{"central.ini"});
    }
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "old module");
    EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(-1));
    EXPECT_EQ(FilesUnder(local_), (std::vector<std::string>{"Estoque.exe", "central.ini"}));

    TestHttpServer healthy([&](const RecordedRequest& r) { return Answer(r, false); });
    const Run next = UpdateFromService("Estoque.exe", true, healthy.BaseURL());
    EXPECT_EQ(next.observer->Names(FileOutcome::Failed), std::vector<std::string>{});
    EXPECT_EQ(next.observer->Records().count("Estoque.exe"), 1u);
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), module_);
    EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadFault,
    ::testing::Values(DownloadCase{"NotFound404", DownloadFaultKind::NotFound},
                      DownloadCase{"Unavailable503", DownloadFaultKind::Unavailable},
                      DownloadCase{"TruncatedBody", DownloadFaultKind::Truncated},
                      DownloadCase{"ServiceDiesMidDownload", DownloadFaultKind::ServiceDies}),
    [](const auto& c) { return std::string(c.param.label); });

// A listing that gives a file's size and SHA-256 has the download checked against them: a body
// that does not match fails that file with the system's message and leaves the old copy as it
// was; an old listing without them is trusted as before. A body longer than listed is refused
// as soon as it passes the size, so one that never ends cannot hold the run.
enum class ListedCheck { None, Both, SizeOnly, HashOnly };

struct VerifyCase {
    const char* label;
    ListedCheck listed;
    std::int64_t sizeOffset = 0; // added to the body's true length in the listing
    bool wrongHash = false;      // the listing gives the hash of other bytes
    bool endless = false;        // the body never ends
    bool fails = false;
};

void PrintTo(const VerifyCase& c, std::ostream* os) {
    *os << c.label;
}

class VerifiedDownload : public ServiceSource, public ::testing::WithParamInterface<VerifyCase> {
protected:
    const std::string module_ = std::string(std::size_t{5} << 20, 'n') + "end";

    static std::string HexOf(const std::string& bytes) {
        Sha256 hash;
        hash.Update(bytes.data(), bytes.size());
        return Sha256Hex(hash.Finish());
    }

    std::string Listing() const {
        const VerifyCase& c = GetParam();
        std::string module = R"({"fileName":"Estoque.exe","age":"2024-05-01T10:20:30.000")";
        const auto size = static_cast<std::int64_t>(module_.size()) + c.sizeOffset;
        if (c.listed == ListedCheck::Both || c.listed == ListedCheck::SizeOnly)
            module += ",\"size\":" + std::to_string(size);
        if (c.listed == ListedCheck::Both || c.listed == ListedCheck::HashOnly)
            module += ",\"sha256\":\"" + HexOf(c.wrongHash ? module_ + "x" : module_) + "\"";
        return "[" + module + R"(},{"fileName":"central.ini","age":"2024-05-01T10:20:30.000",)" +
               R"("size":7,"sha256":")" + HexOf("new ini") + "\"}]";
    }
};

TEST_P(VerifiedDownload, KeepsTheOldFileWhenTheBytesDoNotMatchTheListing) {
    const VerifyCase& c = GetParam();
    WriteFile(local_, "Estoque.exe", "old module", TestAge(-1));
    WriteFile(local_, "central.ini", "old ini", TestAge(-1));
    const std::string listing = Listing();
    TestHttpServer server([&](const RecordedRequest& r) {
        if (r.target.rfind("/folderlist", 0) == 0)
            return TestAnswer::Make(200, listing, "application/json");
        if (r.target.find("central.ini") != std::string::npos)
            return TestAnswer::Make(200, "new ini");
        TestAnswer answer = TestAnswer::Make(200, module_);
        answer.endless = c.endless;
        return answer;
    });

    const Run run = UpdateFromService("Estoque.exe", true, server.BaseURL());
    EXPECT_EQ(run.completions, 1);
    const auto records = run.observer->Records();
    ASSERT_EQ(records.count("Estoque.exe"), 1u);
    const auto& module = records.find("Estoque.exe")->second;
    const std::vector<std::string> updated =
        c.fails ? std::vector<std::string>{"central.ini"}
                : std::vector<std::string>{"Estoque.exe", "central.ini"};
    EXPECT_EQ(run.observer->Names(FileOutcome::Updated), updated);
    if (c.fails) {
        EXPECT_EQ(module.outcome, FileOutcome::Failed);
        EXPECT_EQ(module.message, "Arquivo corrompido no download: Estoque.exe");
        EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "old module");
        EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(-1));
    } else {
        EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), module_);
        EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge());
    }
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "new ini");
    // No temporary file is left beside the targets.
    EXPECT_EQ(FilesUnder(local_), (std::vector<std::string>{"Estoque.exe", "central.ini"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerifiedDownload,
    ::testing::Values(VerifyCase{"OldListingWithoutChecks", ListedCheck::None},
                      VerifyCase{"SizeAndHashMatch", ListedCheck::Both},
                      VerifyCase{"HashAloneMatches", ListedCheck::HashOnly},
                      VerifyCase{"WrongHash", ListedCheck::Both, 0, true, false, true},
                      VerifyCase{"WrongHashAlone", ListedCheck::HashOnly, 0, true, false, true},
                      VerifyCase{"BodyShorterThanListed", ListedCheck::SizeOnly, 1, false, false,
                                 true},
                      VerifyCase{"BodyLongerThanListed", ListedCheck::Both, -1, false, false, true},
                      VerifyCase{"EndlessBody", ListedCheck::SizeOnly, 0, false, true, true}),
    [](const auto& c) { return std::string(c.param.label); });

} // namespace
} // namespace corvane::test
