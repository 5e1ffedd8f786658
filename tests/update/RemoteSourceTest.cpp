// Both sources held to the same rules: a server's age is compared in the form a local file
// keeps it, so a file fetched once is not fetched again; an age no file can carry fails its
// file without fetching it; and the path limit counts characters, not bytes.
#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/Unicode.h"
#include "service/FileService.h"
#include "tests/support/TestHttpServer.h"
#include "tests/update/FilesUpdaterFixture.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <tuple>

namespace corvane::test {
namespace {

namespace fs = std::filesystem;

enum class SourceKind { Folder, Service };

std::string SourceName(SourceKind source) {
    return source == SourceKind::Folder ? "Folder" : "Service";
}

void PrintTo(SourceKind source, std::ostream* os) {
    *os << SourceName(source);
}

// A server age: the text the service lists, and the same age to stamp on a server file.
struct TAgeCase {
    const char* Label;
    const char* Zone;
    const char* Listed;
    TDateTimeParts Age;
};

void PrintTo(const TAgeCase& c, std::ostream* os) {
    *os << c.Label;
}

using TAgeParam = std::tuple<SourceKind, TAgeCase>;

class ServerAge : public FilesUpdaterTest, public ::testing::WithParamInterface<TAgeParam> {
protected:
    void SetUp() override {
        FilesUpdaterTest::SetUp();
        // A server folder on a file system that keeps every moment (tmpfs), so that the
        // local one may keep less, as a share and a workstation's disk differ.
        if (fs::is_directory("/dev/shm")) {
            FMemory = std::make_unique<TTempFolder>("/dev/shm");
            FServer = FMemory->Path();
            FServerFolder = FMemory->Folder();
        }
    }

    TRun UpdateModule(const std::string& AURL) {
        TRun run;
        Start(run, "Estoque.exe", false, AURL.empty() ? FServerFolder : "", AURL);
        Finish(run);
        return run;
    }

    std::unique_ptr<TTempFolder> FMemory;
};

TEST_P(ServerAge, AFileFetchedOnceIsNotFetchedAgain) {
    const auto& [source, c] = GetParam();
    const TZoneGuard zone(c.Zone);
    WriteFile(FLocal, "Estoque.exe", "old module", TestAge());
    std::unique_ptr<TTestHTTPServer> service;
    std::string url;
    if (source == SourceKind::Service) {
        // The service lists the clock value as it stands, whatever zone its server is in.
        const std::string listing =
            std::string(R"([{"fileName":"Estoque.exe","age":")") + c.Listed + R"("}])";
        service = std::make_unique<TTestHTTPServer>([listing](const TRecordedRequest& r) {
            if (r.Target.rfind("/folderlist", 0) == 0)
                return TTestAnswer::Make(200, listing, "application/json");
            return TTestAnswer::Make(200, "module", "application/octet-stream");
        });
        url = service->BaseURL();
    } else {
        SetFileAge(WriteFile(FServer, "Estoque.exe", "module").string(), EncodeDateTime(c.Age));
    }

    const TRun first = UpdateModule(url);
    EXPECT_EQ(first.Observer->Names(TFileOutcome::Updated),
              std::vector<std::string>{"Estoque.exe"});
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "module");
    const size_t requests = service ? service->RequestCount() : 0;

    const TRun second = UpdateModule(url);
    EXPECT_EQ(second.Completions, 1);
    EXPECT_EQ(second.Observer->Queued, 0u) << "the file is fetched again";
    EXPECT_TRUE(second.Observer->Records().empty());
    if (service) {
        EXPECT_EQ(service->RequestCount(), requests + 1); // the listing alone
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerAge,
    ::testing::Combine(
        ::testing::Values(SourceKind::Folder, SourceKind::Service),
        ::testing::Values(
            // The hour the clocks skipped when Berlin went to summer time in 2021.
            TAgeCase{"SkippedHour",
                     "Europe/Berlin",
                     "2021-03-28T02:30:00.000",
                     {2021, 3, 28, 2, 30, 0, 0}},
            // Past what ext4 keeps (2446); tmpfs keeps it.
            TAgeCase{"LastAge",
                     "Europe/Berlin",
                     "9999-12-31T23:59:59.999",
                     {9999, 12, 31, 23, 59, 59, 999}},
            // Before what ext4 keeps (1901).
            TAgeCase{
                "FirstAge", "Europe/Berlin", "0001-01-01T00:00:00.000", {1, 1, 1, 0, 0, 0, 0}})),
    [](const auto& AInfo) {
        return SourceName(std::get<0>(AInfo.param)) + std::get<1>(AInfo.param).Label;
    });

// An age whose moment the zone's rules move past 9999 (its clocks skip the last hour of
// the year) cannot be carried by any file: that file fails with a clear message before a byte
// of it is fetched, its old copy stays, and the other files are updated.
TEST_F(FilesUpdaterTest, AServerAgeNoFileCanCarryFailsItsFileWithoutFetchingIt) {
    const TZoneGuard zone("AAA0BBB,J365/23,J1/1");
    WriteFile(FLocal, "Estoque.exe", "old module", TestAge(-1));
    WriteFile(FLocal, "central.ini", "old ini", TestAge(-1));
    TTestHTTPServer service([](const TRecordedRequest& r) {
        if (r.Target.rfind("/folderlist", 0) == 0)
            return TTestAnswer::Make(
                200,
                R"([{"fileName":"Estoque.exe","age":"9999-12-31T23:30:00.000"},)"
                R"({"fileName":"central.ini","age":"2024-05-01T10:20:30.000"}])",
                "application/json");
        return TTestAnswer::Make(200, "new", "application/octet-stream");
    });

    TRun run;
    Start(run, "Estoque.exe", true, "", service.BaseURL());
    Finish(run);

    EXPECT_EQ(run.Completions, 1);
    const auto records = run.Observer->Records();
    ASSERT_EQ(records.count("Estoque.exe"), 1u);
    EXPECT_EQ(records.find("Estoque.exe")->second.Outcome, TFileOutcome::Failed);
    EXPECT_EQ(records.find("Estoque.exe")->second.Message,
              "A data do arquivo no servidor (31/12/9999 23:30:00) não pode ser gravada neste "
              "computador. O arquivo local não foi alterado.");
    EXPECT_EQ(run.Observer->Names(TFileOutcome::Updated), std::vector<std::string>{"central.ini"});
    for (const TRecordedRequest& request : service.Requests())
        EXPECT_EQ(request.Target.find("Estoque.exe"), std::string::npos) << request.Target;
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "old module");
    EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge(-1));
    EXPECT_EQ(FilesUnder(FLocal), (std::vector<std::string>{"Estoque.exe", "central.ini"}));
}

// The 260-character limit of a local path counts its characters (UTF-16 units), not its bytes,
// in both sources: an accented installation folder far over 260 bytes is updated, a path of
// 260 characters fails its file.
struct TPathCase {
    const char* Label;
    size_t Units; // of the module's local path
    bool Fetched;
};

void PrintTo(const TPathCase& c, std::ostream* os) {
    *os << c.Label;
}

using TPathParam = std::tuple<SourceKind, TPathCase>;

class LocalPathLimit : public FilesUpdaterTest, public ::testing::WithParamInterface<TPathParam> {};

TEST_P(LocalPathLimit, CountsCharactersNotBytes) {
    const auto& [source, c] = GetParam();
    // An installation folder of accented folder names ("ç" and "ã": two bytes, one unit each)
    // that leaves the module's path exactly c.Units characters long.
    const std::string module = "/Estoque.exe";
    std::string folder = FLocal.string(); // the temporary folder's path is ASCII
    const size_t folderUnits = c.Units - module.size();
    for (size_t units = folder.size(); units < folderUnits;) {
        const size_t left = folderUnits - units;
        size_t letters = std::min<size_t>(60, left - 1);
        if (left - 1 - letters == 1)
            --letters; // else the last level would have no letter
        folder += '/';
        for (size_t i = 0; i < letters; ++i)
            folder += i % 2 ? "\xC3\xA3" : "\xC3\xA7";
        units += letters + 1;
    }
    ASSERT_EQ(Utf16Length(folder + module), c.Units);
    ASSERT_GT((folder + module).size(), MaxPathLength);
    fs::create_directories(folder);
    FLocal = folder;
    FLocalFolder = folder + "/";
    WriteFile(FServer, "Estoque.exe", "module", TestAge());
    std::unique_ptr<TFileService> service;
    std::string url;
    if (source == SourceKind::Service) {
        TFileServiceOptions options;
        options.Root = FServer.string();
        options.Port = 0;
        options.Threads = 2;
        options.Log = [](std::string_view) {};
        service = std::make_unique<TFileService>(options);
        url = "http://127.0.0.1:" + std::to_string(service->Port());
    }

    TRun run;
    Start(run, "Estoque.exe", false, url.empty() ? FServerFolder : "", url);
    Finish(run);

    const auto records = run.Observer->Records();
    ASSERT_EQ(records.count("Estoque.exe"), 1u);
    if (c.Fetched) {
        EXPECT_EQ(records.find("Estoque.exe")->second.Outcome, TFileOutcome::Updated);
        EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "module");
    } else {
        EXPECT_EQ(records.find("Estoque.exe")->second.Outcome, TFileOutcome::Failed);
        EXPECT_EQ(records.find("Estoque.exe")->second.Message, "The specified path is too long");
        EXPECT_EQ(FilesUnder(FLocal), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalPathLimit,
    ::testing::Combine(::testing::Values(SourceKind::Folder, SourceKind::Service),
                       ::testing::Values(TPathCase{"TwoHundredCharacters", 200, true},
                                         TPathCase{"JustUnderTheLimit", 259, true},
                                         TPathCase{"AtTheLimit", 260, false})),
    [](const auto& AInfo) {
        return SourceName(std::get<0>(AInfo.param)) + std::get<1>(AInfo.param).Label;
    });

} // namespace
} // namespace corvane::test
