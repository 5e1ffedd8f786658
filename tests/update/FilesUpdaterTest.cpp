#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/FileTime.h"
#include "platform/PathLock.h"
#include "tests/update/FilesUpdaterFixture.h"
#include "update/AdditionalFiles.h"

#include <ostream>

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <set>
#include <thread>
#include <unistd.h>
#include <utility>

namespace corvane::test {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

std::set<std::string> DistinctAdditionalFiles() {
    return {AdditionalFiles.begin(), AdditionalFiles.end()};
}

TEST(AdditionalFilesTable, KeepsItsFortyEightRowsWithTheTwoRepeatedNames) {
    EXPECT_EQ(AdditionalFiles.size(), 48u);
    EXPECT_EQ(AdditionalFiles[0], "central.ini");
    EXPECT_EQ(AdditionalFiles[1], AdditionalFiles[13]);
    EXPECT_EQ(AdditionalFiles[7], AdditionalFiles[14]);
    EXPECT_EQ(AdditionalFiles[19], "Relatorio\\Layout01.rav");
    EXPECT_EQ(AdditionalFiles[47], "Relatorio\\Layout29.rav");
    EXPECT_EQ(DistinctAdditionalFiles().size(), 46u);
}

// The local list: which names a run compares, each once. The server holds every file and the
// workstation none, so every name of the list is fetched.
struct TListCase {
    const char* Label;
    const char* Module;
    bool Additional;
    bool WithModule;
    bool WithShared;
};

void PrintTo(const TListCase& c, std::ostream* os) {
    *os << c.Label;
}

class LocalList : public FilesUpdaterTest, public ::testing::WithParamInterface<TListCase> {};

TEST_P(LocalList, FetchesEachListedNameOnce) {
    WriteFile(FServer, "Estoque.exe", "module", TestAge());
    for (const auto name : AdditionalFiles)
        WriteFile(FServer, name, std::string(name), TestAge());

    const TRun run = Update(GetParam().Module, GetParam().Additional);

    std::multiset<std::string> expected;
    if (GetParam().WithModule)
        expected.insert("Estoque.exe");
    if (GetParam().WithShared)
        for (const auto& name : DistinctAdditionalFiles())
            expected.insert(name);
    const auto updated = run.Observer->Names(TFileOutcome::Updated);
    EXPECT_EQ(std::multiset<std::string>(updated.begin(), updated.end()), expected);
    EXPECT_EQ(run.Observer->LocalFiles, expected.size());
    EXPECT_EQ(run.Completions, 1);
    EXPECT_EQ(FileExists(FLocalFolder + "Estoque.exe"), GetParam().WithModule);
    EXPECT_EQ(FileExists(FLocalFolder + "Relatorio\\Layout29.rav"), GetParam().WithShared);
}

INSTANTIATE_TEST_SUITE_P(Cases, LocalList,
                         ::testing::Values(TListCase{"ModuleOnly", "Estoque.exe", false, true,
                                                     false},
                                           TListCase{"SharedOnly", "", true, false, true},
                                           TListCase{"Both", "Estoque.exe", true, true, true},
                                           TListCase{"None", "", false, false, false}),
                         [](const auto& c) { return std::string(c.param.Label); });

TEST_F(FilesUpdaterTest, AModuleNamedLikeASharedFileGetsOneJob) {
    WriteFile(FServer, "qtintf70.dll", "lib", TestAge());
    const TRun run = Update("QTINTF70.DLL", true);
    EXPECT_EQ(run.Observer->Names(TFileOutcome::Updated), std::vector<std::string>{"QTINTF70.DLL"});
}

// The comparison of one local file with the server's copy.
struct TCompareCase {
    const char* Label;
    const char* ServerName; // nullptr: the server lacks the file
    const char* LocalName;  // nullptr: the workstation lacks the file
    int LocalAgeMs;         // the server's age is TestAge(0)
    bool Fetched;
};

void PrintTo(const TCompareCase& c, std::ostream* os) {
    *os << c.Label;
}

class Comparison : public FilesUpdaterTest, public ::testing::WithParamInterface<TCompareCase> {};

TEST_P(Comparison, FetchesExactlyWhatDiffers) {
    const TCompareCase& c = GetParam();
    const std::string module = c.LocalName ? c.LocalName : "Estoque.exe";
    if (c.ServerName)
        WriteFile(FServer, c.ServerName, "server copy", TestAge());
    if (c.LocalName)
        WriteFile(FLocal, c.LocalName, "local copy", TestAge(c.LocalAgeMs));
    WriteFile(FServer, "Other.exe", "not asked for", TestAge());

    const TRun run = Update(module);

    const std::filesystem::path local = FLocal / module;
    if (c.Fetched) {
        EXPECT_EQ(run.Observer->Names(TFileOutcome::Updated), std::vector<std::string>{module});
        EXPECT_EQ(ReadFile(local), "server copy");
        EXPECT_EQ(FileAge(local.string()), TestAge());
    } else {
        EXPECT_TRUE(run.Observer->Records().empty());
        EXPECT_EQ(ReadFile(local), c.LocalName ? "local copy" : "<missing>");
        if (c.LocalName) {
            EXPECT_EQ(FileAge(local.string()), TestAge(c.LocalAgeMs));
        }
    }
    EXPECT_FALSE(std::filesystem::exists(FLocal / "Other.exe"));
    EXPECT_EQ(run.Completions, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Comparison,
    ::testing::Values(TCompareCase{"Missing", "Estoque.exe", nullptr, 0, true},
                      TCompareCase{"Older", "Estoque.exe", "Estoque.exe", -1, true},
                      TCompareCase{"Newer", "Estoque.exe", "Estoque.exe", 86'400'000, true},
                      TCompareCase{"Equal", "Estoque.exe", "Estoque.exe", 0, false},
                      TCompareCase{"ServerLacksIt", nullptr, "Estoque.exe", -1, false},
                      TCompareCase{"OtherCapitalsOlder", "estoque.exe", "ESTOQUE.EXE", -1, true},
                      TCompareCase{"OtherCapitalsEqual", "estoque.exe", "ESTOQUE.EXE", 0, false}),
    [](const auto& c) { return std::string(c.param.Label); });

TEST_F(FilesUpdaterTest, AFetchedFileCarriesTheServersAgeSoTheNextRunFetchesNothing) {
    WriteFile(FServer, "Estoque.exe", "module", TestAge(123));
    for (const auto name : AdditionalFiles)
        WriteFile(FServer, name, "shared", TestAge(456));

    const TRun first = Update("Estoque.exe", true);
    EXPECT_EQ(first.Observer->Names(TFileOutcome::Updated).size(), 47u);
    EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge(123));
    EXPECT_EQ(FileAge(FLocalFolder + "Relatorio\\Layout07.rav"), TestAge(456));

    const TRun second = Update("Estoque.exe", true);
    EXPECT_TRUE(second.Observer->Records().empty());
    EXPECT_EQ(second.Observer->LocalFiles, 47u);
    EXPECT_EQ(second.Observer->Queued, 0u);
    EXPECT_EQ(second.Completions, 1);
}

// The server folder as the configuration may write it: with or without a final separator.
class ServerFolderForms : public FilesUpdaterTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(ServerFolderForms, GiveTheSameNamesAndFetchIntoNewSubfolders) {
    WriteFile(FServer, "Relatorio\\Layout01.rav", "layout", TestAge());
    WriteFile(FServer, "central.ini", "ini", TestAge());
    TRun run;
    Start(run, "", true, FServer.string() + GetParam());
    Finish(run);
    const auto updated = run.Observer->Names(TFileOutcome::Updated);
    EXPECT_EQ(std::set<std::string>(updated.begin(), updated.end()),
              (std::set<std::string>{"Relatorio\\Layout01.rav", "central.ini"}));
    EXPECT_EQ(ReadFile(FLocal / "Relatorio" / "Layout01.rav"), "layout");
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerFolderForms, ::testing::Values("", "\\", "/"));

// A run whose lists cannot be built: Execute raises the listing's error, the completion is
// never called, the updater is released, and no local file is touched.
struct TFailedStart {
    const char* Label;
    std::string Module;
    std::string Remote; // "<server>" stands for the server folder
    std::string URL;
    const char* Message;
};

void PrintTo(const TFailedStart& c, std::ostream* os) {
    *os << c.Label;
}

class FailedStart : public FilesUpdaterTest, public ::testing::WithParamInterface<TFailedStart> {};

TEST_P(FailedStart, RaisesAndNeverCompletes) {
    const TFailedStart& c = GetParam();
    WriteFile(FServer, "Estoque.exe", "server", TestAge());
    WriteFile(FLocal, "Estoque.exe", "local", TestAge(-1));
    const std::string remote = c.Remote == "<server>" ? FServerFolder : c.Remote;

    TRun run;
    EXPECT_THAT([&] { Start(run, c.Module, true, remote, c.URL); },
                ThrowsMessage<Exception>(StrEq(c.Message)));
    Finish(run); // the updater does not stay in memory
    EXPECT_EQ(run.Completions, 0);
    Loop->RunUntil([] { return false; }, std::chrono::milliseconds(0));
    EXPECT_EQ(run.Completions, 0);
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "local");
    EXPECT_EQ(FileAge(FLocalFolder + "Estoque.exe"), TestAge(-1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedStart,
    ::testing::Values(TFailedStart{"MissingServerFolder", "Estoque.exe", "/no/such/server/", "",
                                   "The specified path was not found"},
                      TFailedStart{"EmptyServerFolder", "Estoque.exe", "", "",
                                   "The specified path was not found"},
                      TFailedStart{"ServerFolderTooLong", "Estoque.exe",
                                   "/" + std::string(250, 's'), "",
                                   "The specified path is too long"},
                      TFailedStart{"BadServerFolder", "Estoque.exe", "/srv/a|b", "",
                                   "Invalid characters in path"},
                      TFailedStart{"BadModuleName", "Est<oque>.exe", "<server>", "",
                                   "Invalid characters in path"},
                      TFailedStart{"BlankURLSelectsTheService", "Estoque.exe", "<server>", "   ",
                                   "Protocol field is empty"}),
    [](const auto& c) { return std::string(c.param.Label); });

TEST_F(FilesUpdaterTest, TheUpdaterOutlivesItsCallersReferenceUntilItsCompletionHasRun) {
    WriteFile(FServer, "Estoque.exe", "module", TestAge());
    std::weak_ptr<IFilesUpdater> watch;
    bool aliveInCallback = false;
    int completions = 0;
    {
        auto updater = TFilesUpdater::New(FLocalFolder, FServerFolder, "", [&] {
            ++completions;
            aliveInCallback = !watch.expired();
        });
        watch = updater;
        updater->Execute("Estoque.exe", false);
    } // the caller's only reference is gone
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(completions, 0); // never before the caller is back in its loop
    ASSERT_TRUE(RunLoopUntil([&] { return watch.expired(); }));
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(aliveInCallback);
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "module");
}

// An error after jobs were queued (here from the observer, the last step of the comparison):
// the queued jobs still run to their end, the completion is not called, and the updater is
// released once they have ended.
class TFailingObserver final : public IFilesUpdaterObserver {
public:
    void Compared(std::size_t, std::size_t AQueued) override {
        throw Exception("comparison failed after " + std::to_string(AQueued) + " jobs");
    }
    void FileDone(const std::string&, TFileOutcome, const std::string&) override {}
};

TEST_F(FilesUpdaterTest, QueuedJobsOfAFailedRunEndBeforeTheUpdaterIsReleased) {
    WriteFile(FServer, "Estoque.exe", "module", TestAge());
    const std::string target = FLocalFolder + "Estoque.exe";
    int completions = 0;
    std::weak_ptr<IFilesUpdater> watch;
    {
        TPathLock gate(target); // holds the queued job until the failure has been raised
        auto updater = TFilesUpdater::New(
            FLocalFolder, FServerFolder, "", [&] { ++completions; },
            std::make_shared<TFailingObserver>());
        watch = updater;
        EXPECT_THAT([&] { updater->Execute("Estoque.exe", false); },
                    ThrowsMessage<Exception>(StrEq("comparison failed after 1 jobs")));
        updater.reset();
        EXPECT_FALSE(watch.expired()); // the waiting job still uses it
    }
    ASSERT_TRUE(RunLoopUntil([&] { return watch.expired(); }));
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "module");
}

// A server subfolder closed to the workstation hides its files: the rest of the tree is still
// updated, and the folder is told to the observer and in the trace line the launcher writes.
TEST_F(FilesUpdaterTest, AServerSubfolderThatCannotBeReadIsReportedAndTheRestUpdated) {
    WriteFile(FServer, "central.ini", "new ini", TestAge());
    WriteFile(FServer, "Relatorio\\Layout01.rav", "new layout", TestAge());
    WriteFile(FLocal, "Relatorio\\Layout01.rav", "old layout", TestAge(-1));
    std::filesystem::permissions(FServer / "Relatorio", std::filesystem::perms::none);
    const std::string trace = (FTemp.Path() / "trace.txt").string();
    const auto result = RunWithoutFilePrivileges(FTemp.Path(), [&] {
        // The trace line goes to standard error: here, into a file the test reads.
        const int traceFile = ::open(trace.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (traceFile < 0 || ::dup2(traceFile, STDERR_FILENO) < 0)
            return 20;
        const TRun run = Update("", true);
        if (run.Observer->FailedFolders() !=
            std::vector<std::pair<std::string, std::string>>{{"Relatorio", "Permission denied"}})
            return 10;
        if (run.Observer->Names(TFileOutcome::Updated) != std::vector<std::string>{"central.ini"})
            return 11;
        return run.Completions == 1 ? 0 : 12;
    });
    if (!result)
        GTEST_SKIP() << NoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
    EXPECT_EQ(ReadFile(trace), "Pasta do servidor não lida: Relatorio: Permission denied\n");
    EXPECT_EQ(ReadFile(FLocal / "central.ini"), "new ini");
    EXPECT_EQ(ReadFile(FLocal / "Relatorio" / "Layout01.rav"), "old layout");
}

TEST_F(FilesUpdaterTest, AnUpdaterRunsOnce) {
    WriteFile(FServer, "Estoque.exe", "module", TestAge());
    int completions = 0;
    auto updater = TFilesUpdater::New(FLocalFolder, FServerFolder, "", [&] { ++completions; });
    const std::weak_ptr<IFilesUpdater> watch = updater;
    updater->Execute("Estoque.exe", false);
    EXPECT_THAT([&] { updater->Execute("Estoque.exe", false); },
                ThrowsMessage<Exception>(StrEq("An update run can be executed only once")));
    updater.reset();
    ASSERT_TRUE(RunLoopUntil([&] { return watch.expired(); }));
    EXPECT_EQ(completions, 1);
}

// Overlapping runs (a click during a run): both want the same file; one writes it, the other
// waits for it and then finds it current.
TEST_F(FilesUpdaterTest, OverlappingRunsWriteAFileOnce) {
    WriteFile(FServer, "Estoque.exe", "new module", TestAge());
    WriteFile(FLocal, "Estoque.exe", "old module", TestAge(-5));
    const std::string target = FLocalFolder + "Estoque.exe";
    TRun first, second;
    {
        // Holding the file's lock keeps both jobs at the door until both are there.
        TPathLock gate(target);
        Start(first, "Estoque.exe", false, FServerFolder);
        Start(second, "Estoque.exe", false, FServerFolder);
        while (TPathLock::Waiting(target) < 2)
            std::this_thread::yield();
    }
    Finish(first);
    Finish(second);
    std::vector<TFileOutcome> outcomes;
    for (const TRun* run : {&first, &second})
        for (const auto& [name, record] : run->Observer->Records())
            outcomes.push_back(record.Outcome);
    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes,
              (std::vector<TFileOutcome>{TFileOutcome::Updated, TFileOutcome::AlreadyCurrent}));
    EXPECT_EQ(ReadFile(FLocal / "Estoque.exe"), "new module");
    EXPECT_EQ(first.Completions + second.Completions, 2);
}

} // namespace
} // namespace corvane::test
