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
struct AgeCase {
    const char* label;
    const char* zone;
    const char* listed;
    DateTimeParts age;
};

void PrintTo(const AgeCase& c, std::ostream* os) {
    *os << c.label;
}

using AgeParam = std::tuple<SourceKind, AgeCase>;

class ServerAge : public FilesUpdaterTest, public ::testing::WithParamInterface<AgeParam> {
protected:
    void SetUp() override {
        FilesUpdaterTest::SetUp();
        // A server folder on a file system that keeps every moment (tmpfs), so that the
        // local one may keep less, as a share and a workstation's disk differ.
        if (fs::is_directory("/dev/shm")) {
            memory_ = std::make_unique<TempFolder>("/dev/shm");
            server_ = memory_->Path();
            serverFolder_ = memory_->Folder();
        }
    }

    Run UpdateModule(const std::string& url) {
        Run run;
        Start(run, "Estoque.exe", false, url.empty() ? serverFolder_ : "", url);
        Finish(run);
        return run;
    }

    std::unique_ptr<TempFolder> memory_;
};

TEST_P(ServerAge, AFileFetchedOnceIsNotFetchedAgain) {
    const auto& [source, c] = GetParam();
    const ZoneGuard zone(c.zone);
    WriteFile(local_, "Estoque.exe", "old module", TestAge());
    std::unique_ptr<TestHttpServer> service;
    std::string url;
    if (source == SourceKind::Service) {
        // The service lists the clock value as it stands, whatever zone its server is in.
        const std::string listing =
            std::string(R"([{"fileName":"Estoque.exe","age":")") + c.listed + R"("}])";
        service = std::make_unique<TestHttpServer>([listing](const RecordedRequest& r) {
            if (r.target.rfind("/folderlist", 0) == 0)
                return TestAnswer::Make(200, listing, "application/json");
            return TestAnswer::Make(200, "module", "application/octet-stream");
        });
        url = service->BaseURL();
    } else {
        SetFileAge(WriteFile(server_, "Estoque.exe", "module").string(), EncodeDateTime(c.age));
    }

    const Run first = UpdateModule(url);
    EXPECT_EQ(first.observer->Names(FileOutcome::Updated), std::vector<std::string>{"Estoque.exe"});
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "module");
    const size_t requests = service ? service->RequestCount() : 0;

    const Run second = UpdateModule(url);
    EXPECT_EQ(second.completions, 1);
    EXPECT_EQ(second.observer->queued, 0u) << "the file is fetched again";
    EXPECT_TRUE(second.observer->Records().empty());
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
            AgeCase{"SkippedHour",
                    "Europe/Berlin",
                    "2021-03-28T02:30:00.000",
                    {2021, 3, 28, 2, 30, 0, 0}},
            // Past what ext4 keeps (2446); tmpfs keeps it.
            AgeCase{"LastAge",
                    "Europe/Berlin",
                    "9999-12-31T23:59:59.999",
                    {9999, 12, 31, 23, 59, 59, 999}},
            // Before what ext4 keeps (1901).
            AgeCase{
                "FirstAge", "Europe/Berlin", "0001-01-01T00:00:00.000", {1, 1, 1, 0, 0, 0, 0}})),
    [](const auto& testParam) {
        return SourceName(std::get<0>(testParam.param)) + std::get<1>(testParam.param).label;
    });

// An age whose moment the zone's rules move past 9999 (its clocks skip the last hour of
// the year) cannot be carried by any file: that file fails with a clear message before a byte
// of it is fetched, its old copy stays, and the other files are updated.
TEST_F(FilesUpdaterTest, AServerAgeNoFileCanCarryFailsItsFileWithoutFetchingIt) {
    const ZoneGuard zone("AAA0BBB,J365/23,J1/1");
    WriteFile(local_, "Estoque.exe", "old module", TestAge(-1));
    WriteFile(local_, "central.ini", "old ini", TestAge(-1));
    TestHttpServer service([](const RecordedRequest& r) {
        if (r.target.rfind("/folderlist", 0) == 0)
            return TestAnswer::Make(
                200,
                R"([{"fileName":"Estoque.exe","age":"9999-12-31T23:30:00.000"},)"
                R"({"fileName":"central.ini","age":"2024-05-01T10:20:30.000"}])",
                "application/json");
        return TestAnswer::Make(200, "new", "application/octet-stream");
    });

    Run run;
    Start(run, "Estoque.exe", true, "", service.BaseURL());
    Finish(run);

    EXPECT_EQ(run.completions, 1);
    const auto records = run.observer->Records();
    ASSERT_EQ(records.count("Estoque.exe"), 1u);
    EXPECT_EQ(records.find("Estoque.exe")->second.outcome, FileOutcome::Failed);
    EXPECT_EQ(records.find("Estoque.exe")->second.message,
              "A data do arquivo no servidor (31/12/9999 23:30:00) não pode ser gravada neste "
              "computador. O arquivo local não foi alterado.");
    EXPECT_EQ(run.observer->Names(FileOutcome::Updated), std::vector<std::string>{"central.ini"});
    for (const RecordedRequest& request : service.Requests())
        EXPECT_EQ(request.target.find("Estoque.exe"), std::string::npos) << request.target;
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "old module");
    EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(-1));
    EXPECT_EQ(FilesUnder(local_), (std::vector<std::string>{"Estoque.exe", "central.ini"}));
}

// The 260-character limit of a local path counts its characters (UTF-16 units), not its bytes,
// in both sources: an accented installation folder far over 260 bytes is updated, a path of
// 260 characters fails its file.
struct PathCase {
    const char* label;
    size_t units; // of the module's local path
    bool fetched;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.label;
}

using PathParam = std::tuple<SourceKind, PathCase>;

class LocalPathLimit : public FilesUpdaterTest, public ::testing::WithParamInterface<PathParam> {};

TEST_P(LocalPathLimit, CountsCharactersNotBytes) {
    const auto& [source, c] = GetParam();
    // An installation folder of accented folder names ("ç" and "ã": two bytes, one unit each)
    // that leaves the module's path exactly c.Units characters long.
    const std::string module = "/Estoque.exe";
    std::string folder = local_.string(); // the temporary folder's path is ASCII
    const size_t folderUnits = c.units - module.size();
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
    ASSERT_EQ(Utf16Length(folder + module), c.units);
    ASSERT_GT((folder + module).size(), kMaxPathLength);
    fs::create_directories(folder);
    local_ = folder;
    localFolder_ = folder + "/";
    WriteFile(server_, "Estoque.exe", "module", TestAge());
    std::unique_ptr<FileService> service;
    std::string url;
    if (source == SourceKind::Service) {
        FileServiceOptions options;
        options.root = server_.string();
        options.port = 0;
        options.threads = 2;
        options.log = [](std::string_view) {};
        service = std::make_unique<FileService>(options);
        url = "http://127.0.0.1:" + std::to_string(service->Port());
    }

    Run run;
    Start(run, "Estoque.exe", false, url.empty() ? serverFolder_ : "", url);
    Finish(run);

    const auto records = run.observer->Records();
    ASSERT_EQ(records.count("Estoque.exe"), 1u);
    if (c.fetched) {
        EXPECT_EQ(records.find("Estoque.exe")->second.outcome, FileOutcome::Updated);
        EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "module");
    } else {
        EXPECT_EQ(records.find("Estoque.exe")->second.outcome, FileOutcome::Failed);
        EXPECT_EQ(records.find("Estoque.exe")->second.message, "The specified path is too long");
        EXPECT_EQ(FilesUnder(local_), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalPathLimit,
    ::testing::Combine(::testing::Values(SourceKind::Folder, SourceKind::Service),
                       ::testing::Values(PathCase{"TwoHundredCharacters", 200, true},
                                         PathCase{"JustUnderTheLimit", 259, true},
                                         PathCase{"AtTheLimit", 260, false})),
    [](const auto& testParam) {
        return SourceName(std::get<0>(testParam.param)) + std::get<1>(testParam.param).label;
    });

} // namespace
} // namespace corvane::test
