// The service source against the real file service on 127.0.0.1, and against a scripted
// server for the answers the real service does not give (error listings, failing downloads).
#include "platform/Errors.h"
#include "platform/FileTime.h"
#include "platform/Sha256.h"
#include "service/FileService.h"
#include "tests/support/TestHttpServer.h"
#include "tests/update/FilesUpdaterFixture.h"

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
        TFileServiceOptions options;
        options.Root = FServer.string();
        options.Port = 0;
        options.Threads = 2;
        options.Log = [](std::string_view) {};
        FService = std::make_unique<TFileService>(options);
        FURL = "http://127.0.0.1:" + std::to_string(FService->Port());
    }

    TRun UpdateFromService(const std::string& AModule, bool AAdditional, const std::string& AURL) {
        TRun run;
        Start(run, AModule, AAdditional, "", AURL);
        Finish(run);
        return run;
    }

    std::unique_ptr<TFileService> FService;
    std::string FURL;
};

TEST_F(ServiceSource, FetchesWhatDiffersStampsTheServersAgeAndThenFetchesNothing) {
    WriteFile(FServer, "Estoque.exe", "module", TestAge(1));
    WriteFile(FServer, "central.ini", "new ini", TestAge(2));
    WriteFile(FServer, "Relatorio\\Layout01.rav", "layout", TestAge(3));
    WriteFile(FServer, "Unrelated.exe", "not asked for", TestAge(4));
    WriteFile(FLocal, "central.ini", "old ini", TestAge(-5));
    fs::create_directories(FLocal / "Relatorio");
    StartService();

    const TRun first = UpdateFromService("Estoque.exe", true, FURL);
    EXPECT_EQ(first.Completions, 1);
    EXPECT_EQ(first.Observer->Names(TFileOutcome::Updated),
              (std::vector<std::string>{"Estoque.exe", "Relatorio\\Layout01.rav", "central.ini"}));
    EXPECT_EQ(first.Observer->Names(TFileOutcome::Failed), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "module");
    EXPECT_EQ(ReadFile(FLocal / "central.ini"), "new ini");
    EXPECT_EQ(ReadFile(FLocal / "Relatorio" / "Layout01.rav"), "layout");
    EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge(1));
    EXPECT_EQ(FileAge(FLocalFolder + "central.ini"), TestAge(2));
    EXPECT_EQ(FileAge(FLocalFolder + "Relatorio\\Layout01.rav"), TestAge(3));
    EXPECT_EQ(FilesUnder(FLocal),
              (std::vector<std::string>{"Estoque.exe", "Relatorio/Layout01.rav", "central.ini"}));

    const TRun second = UpdateFromService("Estoque.exe", true, FURL);
    EXPECT_EQ(second.Completions, 1);
    EXPECT_EQ(second.Observer->Queued, 0u);
    EXPECT_TRUE(second.Observer->Records().empty());
}

TEST_F(ServiceSource, ANameInOtherCapitalsMatchesAndIsWrittenAsTheLocalListWritesIt) {
    WriteFile(FServer, "estoque.EXE", "module", TestAge(1));
    WriteFile(FServer, "relatorio\\LAYOUT01.rav", "layout", TestAge(2));
    fs::create_directories(FLocal / "Relatorio");
    StartService();

    const TRun run = UpdateFromService("Estoque.exe", true, FURL);
    EXPECT_EQ(run.Observer->Names(TFileOutcome::Updated),
              (std::vector<std::string>{"Estoque.exe", "Relatorio\\Layout01.rav"}));
    EXPECT_EQ(FilesUnder(FLocal),
              (std::vector<std::string>{"Estoque.exe", "Relatorio/Layout01.rav"}));
    EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge(1));
    EXPECT_EQ(ReadFile(FLocal / "Relatorio" / "Layout01.rav"), "layout");
}

TEST_F(ServiceSource, AMissingLocalFolderFailsItsFileAndCreatesNothing) {
    WriteFile(FServer, "Estoque.exe", "module", TestAge(1));
    WriteFile(FServer, "Relatorio\\Layout01.rav", "layout", TestAge(2));
    StartService();

    const TRun run = UpdateFromService("Estoque.exe", true, FURL);
    EXPECT_EQ(run.Completions, 1);
    EXPECT_EQ(run.Observer->Names(TFileOutcome::Updated), std::vector<std::string>{"Estoque.exe"});
    EXPECT_EQ(run.Observer->Names(TFileOutcome::Failed),
              std::vector<std::string>{"Relatorio\\Layout01.rav"});
    EXPECT_EQ(FilesUnder(FLocal), std::vector<std::string>{"Estoque.exe"});
    EXPECT_FALSE(fs::exists(FLocal / "Relatorio"));
}

// The listing's answers other than a file list: an error object from 300 to 499 updates nothing and
// still completes; 500 and up fail Execute.
struct TListingCase {
    const char* Label;
    int Status;
    std::string Body;
    const char* ExecuteError; // nullptr: Execute succeeds
};

void PrintTo(const TListingCase& c, std::ostream* os) {
    *os << c.Label;
}

class ListingAnswer : public ServiceSource, public ::testing::WithParamInterface<TListingCase> {};

TEST_P(ListingAnswer, UpdatesNothing) {
    const TListingCase& c = GetParam();
    WriteFile(FLocal, "Estoque.exe", "local", TestAge(-1));
    TTestHTTPServer server([&](const TRecordedRequest&) {
        return TTestAnswer::Make(c.Status, c.Body, "application/json");
    });

    TRun run;
    const auto start = [&] { Start(run, "Estoque.exe", true, "", server.BaseURL()); };
    if (c.ExecuteError)
        EXPECT_THAT(start, ThrowsMessage<Exception>(StrEq(c.ExecuteError)));
    else
        EXPECT_NO_THROW(start());
    Finish(run);
    EXPECT_EQ(run.Completions, c.ExecuteError ? 0 : 1);
    EXPECT_EQ(run.Observer->Queued, 0u);
    EXPECT_EQ(server.RequestCount(), 1u); // the listing alone, no download
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "local");
    EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge(-1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListingAnswer,
    ::testing::Values(
        TListingCase{"ErrorObject404", 404,
                     R"({"error":"Not Found","status":404,"detail":"Pasta inexistente"})", nullptr},
        TListingCase{"ErrorObject403", 403,
                     R"({"error":"Forbidden","status":403,"detail":"Acesso negado"})", nullptr},
        TListingCase{"ServerError500", 500, "", "HTTP/1.1 500 Internal Server Error"}),
    [](const auto& c) { return std::string(c.param.Label); });

TEST_F(ServiceSource, TheRealServiceWithoutItsTreeUpdatesNothingAndCompletes) {
    WriteFile(FLocal, "Estoque.exe", "local", TestAge(-1));
    StartService();
    fs::remove_all(FServer); // the service now answers the listing with an error object

    const TRun run = UpdateFromService("Estoque.exe", true, FURL);
    EXPECT_EQ(run.Completions, 1);
    EXPECT_EQ(run.Observer->Queued, 0u);
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "local");
}

// Two server files whose names differ only in case (the service lists both): which one is
// meant cannot be told. That name fails alone and keeps its old copy; every other file is
// updated and the run completes. The folder source does the same.
class TwinNames : public ServiceSource, public ::testing::WithParamInterface<bool> {};

TEST_P(TwinNames, FailOnlyTheirOwnFile) {
    const bool fromService = GetParam();
    WriteFile(FServer, "central.ini", "one", TestAge(1));
    WriteFile(FServer, "CENTRAL.INI", "other", TestAge(2));
    WriteFile(FServer, "Estoque.exe", "module", TestAge(3));
    WriteFile(FServer, "gds32.dll", "lib", TestAge(4));
    WriteFile(FLocal, "central.ini", "old", TestAge(-1));
    StartService();

    TRun run;
    Start(run, "Estoque.exe", true, fromService ? "" : FServerFolder, fromService ? FURL : "");
    Finish(run);
    EXPECT_EQ(run.Completions, 1);
    EXPECT_EQ(run.Observer->Names(TFileOutcome::Updated),
              (std::vector<std::string>{"Estoque.exe", "gds32.dll"}));
    const auto records = run.Observer->Records();
    ASSERT_EQ(records.count("central.ini"), 1u);
    EXPECT_EQ(records.find("central.ini")->second.Outcome, TFileOutcome::Failed);
    EXPECT_EQ(records.find("central.ini")->second.Message, "Duplicates not allowed");
    EXPECT_EQ(run.Observer->Queued, 3u);
    EXPECT_EQ(ReadFile(FLocal / "central.ini"), "old");
    EXPECT_EQ(FileAge(FLocalFolder + "central.ini"), TestAge(-1));
    EXPECT_EQ(ReadFile(FLocal / "gds32.dll"), "lib");
}

INSTANTIATE_TEST_SUITE_P(Sources, TwinNames, ::testing::Values(false, true),
                         [](const auto& c) { return c.param ? "Service" : "Folder"; });

// A download that fails in any way leaves the previous file as it was, with no temporary
// file beside it, and the next run repairs it.
enum class TDownloadFault { NotFound, Unavailable, Truncated, ServiceDies };

struct TDownloadCase {
    const char* Label;
    TDownloadFault Fault;
};

void PrintTo(const TDownloadCase& c, std::ostream* os) {
    *os << c.Label;
}

class DownloadFault : public ServiceSource, public ::testing::WithParamInterface<TDownloadCase> {
protected:
    static constexpr const char* Listing =
        R"([{"fileName":"Estoque.exe","age":"2024-05-01T10:20:30.000"},)"
        R"({"fileName":"central.ini","age":"2024-05-01T10:20:30.000"}])";
    const std::string FModule = std::string(1024 * 1024, 'n');
    mutable std::once_flag FAskedOnce;
    mutable std::promise<void> FModuleAskedSignal;
    std::future<void> FModuleAsked = FModuleAskedSignal.get_future();

    TTestAnswer Answer(const TRecordedRequest& ARequest, bool AFaulty) const {
        if (ARequest.Target.rfind("/folderlist", 0) == 0)
            return TTestAnswer::Make(200, Listing, "application/json");
        if (ARequest.Target.find("central.ini") != std::string::npos)
            return TTestAnswer::Make(200, "new ini", "application/octet-stream");
        if (!AFaulty)
            return TTestAnswer::Make(200, FModule, "application/octet-stream");
        switch (GetParam().Fault) {
        case TDownloadFault::NotFound:
            return TTestAnswer::Make(
                404, R"({"error":"Not Found","status":404,"detail":"Arquivo inexistente"})",
                "application/json");
        case TDownloadFault::Unavailable:
            return TTestAnswer::Make(503, "busy", "text/plain");
        case TDownloadFault::Truncated: {
            TTestAnswer answer = TTestAnswer::Make(200, FModule.substr(0, 300000));
            answer.ContentLength = FModule.size();
            return answer;
        }
        case TDownloadFault::ServiceDies: {
            std::call_once(FAskedOnce, [this] { FModuleAskedSignal.set_value(); });
            TTestAnswer answer = TTestAnswer::Make(200, FModule);
            answer.StallAfterBytes = 300000;
            return answer;
        }
        }
        return TTestAnswer::Make(500);
    }
};

TEST_P(DownloadFault, LeavesTheOldFileIntactAndTheNextRunRepairsIt) {
    WriteFile(FLocal, "Estoque.exe", "old module", TestAge(-1));
    WriteFile(FLocal, "central.ini", "old ini", TestAge(-1));
    TTestHTTPServer faulty([&](const TRecordedRequest& r) { return Answer(r, true); });

    TRun run;
    Start(run, "Estoque.exe", true, "", faulty.BaseURL());
    if (GetParam().Fault == TDownloadFault::ServiceDies) {
        // The service goes away while the module's answer is on its way.
        ASSERT_EQ(FModuleAsked.wait_for(std::chrono::minutes(1)), std::future_status::ready);
        faulty.Stop();
    }
    Finish(run);
    EXPECT_EQ(run.Completions, 1);
    const auto records = run.Observer->Records();
    ASSERT_EQ(records.count("Estoque.exe"), 1u);
    EXPECT_EQ(records.find("Estoque.exe")->second.Outcome, TFileOutcome::Failed);
    // A service that died may also have failed the other file; one that lives serves it.
    if (GetParam().Fault != TDownloadFault::ServiceDies) {
        EXPECT_EQ(run.Observer->Names(TFileOutcome::Updated),
                  std::vector<std::string>{"central.ini"});
    }
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "old module");
    EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge(-1));
    EXPECT_EQ(FilesUnder(FLocal), (std::vector<std::string>{"Estoque.exe", "central.ini"}));

    TTestHTTPServer healthy([&](const TRecordedRequest& r) { return Answer(r, false); });
    const TRun next = UpdateFromService("Estoque.exe", true, healthy.BaseURL());
    EXPECT_EQ(next.Observer->Names(TFileOutcome::Failed), std::vector<std::string>{});
    EXPECT_EQ(next.Observer->Records().count("Estoque.exe"), 1u);
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), FModule);
    EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadFault,
    ::testing::Values(TDownloadCase{"NotFound404", TDownloadFault::NotFound},
                      TDownloadCase{"Unavailable503", TDownloadFault::Unavailable},
                      TDownloadCase{"TruncatedBody", TDownloadFault::Truncated},
                      TDownloadCase{"ServiceDiesMidDownload", TDownloadFault::ServiceDies}),
    [](const auto& c) { return std::string(c.param.Label); });

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
    WriteFile(FLocal, "Estoque.exe", "old module", TestAge(-1));
    WriteFile(FLocal, "central.ini", "old ini", TestAge(-1));
    const std::string listing = Listing();
    TTestHTTPServer server([&](const TRecordedRequest& r) {
        if (r.Target.rfind("/folderlist", 0) == 0)
            return TTestAnswer::Make(200, listing, "application/json");
        if (r.Target.find("central.ini") != std::string::npos)
            return TTestAnswer::Make(200, "new ini");
        TTestAnswer answer = TTestAnswer::Make(200, module_);
        answer.Endless = c.endless;
        return answer;
    });

    const TRun run = UpdateFromService("Estoque.exe", true, server.BaseURL());
    EXPECT_EQ(run.Completions, 1);
    const auto records = run.Observer->Records();
    ASSERT_EQ(records.count("Estoque.exe"), 1u);
    const auto& module = records.find("Estoque.exe")->second;
    const std::vector<std::string> updated =
        c.fails ? std::vector<std::string>{"central.ini"}
                : std::vector<std::string>{"Estoque.exe", "central.ini"};
    EXPECT_EQ(run.Observer->Names(TFileOutcome::Updated), updated);
    if (c.fails) {
        EXPECT_EQ(module.Outcome, TFileOutcome::Failed);
        EXPECT_EQ(module.Message, "Arquivo corrompido no download: Estoque.exe");
        EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "old module");
        EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge(-1));
    } else {
        EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), module_);
        EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge());
    }
    EXPECT_EQ(ReadFile(FLocal / "central.ini"), "new ini");
    // No temporary file is left beside the targets.
    EXPECT_EQ(FilesUnder(FLocal), (std::vector<std::string>{"Estoque.exe", "central.ini"}));
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
