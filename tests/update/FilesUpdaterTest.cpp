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
    return {kAdditionalFiles.begin(), kAdditionalFiles.end()};
}

TEST(AdditionalFilesTable, KeepsItsFortyEightRowsWithTheTwoRepeatedNames) {
    EXPECT_EQ(kAdditionalFiles.size(), 48u);
    EXPECT_EQ(kAdditionalFiles[0], "central.ini");
    EXPECT_EQ(kAdditionalFiles[1], kAdditionalFiles[13]);
    EXPECT_EQ(kAdditionalFiles[7], kAdditionalFiles[14]);
    EXPECT_EQ(kAdditionalFiles[19], "Relatorio\\Layout01.rav");
    EXPECT_EQ(kAdditionalFiles[47], "Relatorio\\Layout29.rav");
    EXPECT_EQ(DistinctAdditionalFiles().size(), 46u);
}

// The local list: which names a run compares, each once. The server holds every file and the
// workstation none, so every name of the list is fetched.
struct ListCase {
    const char* label;
    const char* module;
    bool additional;
    bool withModule;
    bool withShared;
};

void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.label;
}

class LocalList : public FilesUpdaterTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(LocalList, FetchesEachListedNameOnce) {
    WriteFile(server_, "Estoque.exe", "module", TestAge());
    for (const auto name : kAdditionalFiles)
        WriteFile(server_, name, std::string(name), TestAge());

    const Run run = Update(GetParam().module, GetParam().additional);

    std::multiset<std::string> expected;
    if (GetParam().withModule)
        expected.insert("Estoque.exe");
    if (GetParam().withShared)
        for (const auto& name : DistinctAdditionalFiles())
            expected.insert(name);
    const auto updated = run.observer->Names(FileOutcome::Updated);
    EXPECT_EQ(std::multiset<std::string>(updated.begin(), updated.end()), expected);
    EXPECT_EQ(run.observer->localFiles, expected.size());
    EXPECT_EQ(run.completions, 1);
    EXPECT_EQ(FileExists(localFolder_ + "Estoque.exe"), GetParam().withModule);
    EXPECT_EQ(FileExists(localFolder_ + "Relatorio\\Layout29.rav"), GetParam().withShared);
}

INSTANTIATE_TEST_SUITE_P(Cases, LocalList,
                         ::testing::Values(ListCase{"ModuleOnly", "Estoque.exe", false, true,
                                                    false},
                                           ListCase{"SharedOnly", "", true, false, true},
                                           ListCase{"Both", "Estoque.exe", true, true, true},
                                           ListCase{"None", "", false, false, false}),
                         [](const auto& c) { return std::string(c.param.label); });

TEST_F(FilesUpdaterTest, AModuleNamedLikeASharedFileGetsOneJob) {
    WriteFile(server_, "qtintf70.dll", "lib", TestAge());
    const Run run = Update("QTINTF70.DLL", true);
    EXPECT_EQ(run.observer->Names(FileOutcome::Updated), std::vector<std::string>{"QTINTF70.DLL"});
}

// The comparison of one local file with the server's copy.
struct CompareCase {
    const char* label;
    const char* serverName; // nullptr: the server lacks the file
    const char* localName;  // nullptr: the workstation lacks the file
    int localAgeMs;         // the server's age is TestAge(0)
    bool fetched;
};

void PrintTo(const CompareCase& c, std::ostream* os) {
    *os << c.label;
}

class Comparison : public FilesUpdaterTest, public ::testing::WithParamInterface<CompareCase> {};

TEST_P(Comparison, FetchesExactlyWhatDiffers) {
    const CompareCase& c = GetParam();
    const std::string module = c.localName ? c.localName : "Estoque.exe";
    if (c.serverName)
        WriteFile(server_, c.serverName, "server copy", TestAge());
    if (c.localName)
        WriteFile(local_, c.localName, "local copy", TestAge(c.localAgeMs));
    WriteFile(server_, "Other.exe", "not asked for", TestAge());

    const Run run = Update(module);

    const std::filesystem::path local = local_ / module;
    if (c.fetched) {
        EXPECT_EQ(run.observer->Names(FileOutcome::Updated), std::vector<std::string>{module});
        EXPECT_EQ(ReadFile(local), "server copy");
        EXPECT_EQ(FileAge(local.string()), TestAge());
    } else {
        EXPECT_TRUE(run.observer->Records().empty());
        EXPECT_EQ(ReadFile(local), c.localName ? "local copy" : "<missing>");
        if (c.localName) {
            EXPECT_EQ(FileAge(local.string()), TestAge(c.localAgeMs));
        }
    }
    EXPECT_FALSE(std::filesystem::exists(local_ / "Other.exe"));
    EXPECT_EQ(run.completions, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Comparison,
    ::testing::Values(CompareCase{"Missing", "Estoque.exe", nullptr, 0, true},
                      CompareCase{"Older", "Estoque.exe", "Estoque.exe", -1, true},
                      CompareCase{"Newer", "Estoque.exe", "Estoque.exe", 86'400'000, true},
                      CompareCase{"Equal", "Estoque.exe", "Estoque.exe", 0, false},
                      CompareCase{"ServerLacksIt", nullptr, "Estoque.exe", -1, false},
                      CompareCase{"OtherCapitalsOlder", "estoque.exe", "ESTOQUE.EXE", -1, true},
                      CompareCase{"OtherCapitalsEqual", "estoque.exe", "ESTOQUE.EXE", 0, false}),
    [](const auto& c) { return std::string(c.param.label); });

TEST_F(FilesUpdaterTest, AFetchedFileCarriesTheServersAgeSoTheNextRunFetchesNothing) {
    WriteFile(server_, "Estoque.exe", "module", TestAge(123));
    for (const auto name : kAdditionalFiles)
        WriteFile(server_, name, "shared", TestAge(456));

    const Run first = Update("Estoque.exe", true);
    EXPECT_EQ(first.observer->Names(FileOutcome::Updated).size(), 47u);
    EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(123));
    EXPECT_EQ(FileAge(localFolder_ + "Relatorio\\Layout07.rav"), TestAge(456));

    const Run second = Update("Estoque.exe", true);
    EXPECT_TRUE(second.observer->Records().empty());
    EXPECT_EQ(second.observer->localFiles, 47u);
    EXPECT_EQ(second.observer->queued, 0u);
    EXPECT_EQ(second.completions, 1);
}

// The server folder as the configuration may write it: with or without a final separator.
class ServerFolderForms : public FilesUpdaterTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(ServerFolderForms, GiveTheSameNamesAndFetchIntoNewSubfolders) {
    WriteFile(server_, "Relatorio\\Layout01.rav", "layout", TestAge());
    WriteFile(server_, "central.ini", "ini", TestAge());
    Run run;
    Start(run, "", true, server_.string() + GetParam());
    Finish(run);
    const auto updated = run.observer->Names(FileOutcome::Updated);
    EXPECT_EQ(std::set<std::string>(updated.begin(), updated.end()),
              (std::set<std::string>{"Relatorio\\Layout01.rav", "central.ini"}));
    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "Layout01.rav"), "layout");
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerFolderForms, ::testing::Values("", "\\", "/"));

// A run whose lists cannot be built: Execute raises the listing's error, the completion is
// never called, the updater is released, and no local file is touched.
struct FailedStartCase {
    const char* label;
    std::string module;
    std::string remote; // "<server>" stands for the server folder
    std::string url;
    const char* message;
};

void PrintTo(const FailedStartCase& c, std::ostream* os) {
    *os << c.label;
}

class FailedStart : public FilesUpdaterTest,
                    public ::testing::WithParamInterface<FailedStartCase> {};

TEST_P(FailedStart, RaisesAndNeverCompletes) {
    const FailedStartCase& c = GetParam();
    WriteFile(server_, "Estoque.exe", "server", TestAge());
    WriteFile(local_, "Estoque.exe", "local", TestAge(-1));
    const std::string remote = c.remote == "<server>" ? serverFolder_ : c.remote;

    Run run;
    EXPECT_THAT([&] { Start(run, c.module, true, remote, c.url); },
                ThrowsMessage<Exception>(StrEq(c.message)));
    Finish(run); // the updater does not stay in memory
    EXPECT_EQ(run.completions, 0);
    loop_->RunUntil([] { return false; }, std::chrono::milliseconds(0));
    EXPECT_EQ(run.completions, 0);
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "local");
    EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(-1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedStart,
    ::testing::Values(FailedStartCase{"MissingServerFolder", "Estoque.exe", "/no/such/server/", "",
                                      "The specified path was not found"},
                      FailedStartCase{"EmptyServerFolder", "Estoque.exe", "", "",
                                      "The specified path was not found"},
                      FailedStartCase{"ServerFolderTooLong", "Estoque.exe",
                                      "/" + std::string(250, 's'), "",
                                      "The specified path is too long"},
                      FailedStartCase{"BadServerFolder", "Estoque.exe", "/srv/a|b", "",
                                      "Invalid characters in path"},
                      FailedStartCase{"BadModuleName", "Est<oque>.exe", "<server>", "",
                                      "Invalid characters in path"},
                      FailedStartCase{"BlankURLSelectsTheService", "Estoque.exe", "<server>", "   ",
                                      "Protocol field is empty"}),
    [](const auto& c) { return std::string(c.param.label); });

TEST_F(FilesUpdaterTest, TheUpdaterOutlivesItsCallersReferenceUntilItsCompletionHasRun) {
    WriteFile(server_, "Estoque.exe", "module", TestAge());
    std::weak_ptr<FilesUpdater> watch;
    bool aliveInCallback = false;
    int completions = 0;
    {
        auto updater = ModuleFilesUpdater::New(localFolder_, serverFolder_, "", [&] {
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
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "module");
}

// An error after jobs were queued (here from the observer, the last step of the comparison):
// the queued jobs still run to their end, the completion is not called, and the updater is
// released once they have ended.
class FailingObserver final : public FilesUpdaterObserver {
public:
    void Compared(std::size_t, std::size_t queued) override {
        throw Exception("comparison failed after " + std::to_string(queued) + " jobs");
    }
    void FileDone(const std::string&, FileOutcome, const std::string&) override {}
};

TEST_F(FilesUpdaterTest, QueuedJobsOfAFailedRunEndBeforeTheUpdaterIsReleased) {
    WriteFile(server_, "Estoque.exe", "module", TestAge());
    const std::string target = localFolder_ + "Estoque.exe";
    int completions = 0;
    std::weak_ptr<FilesUpdater> watch;
    {
        PathLock gate(target); // holds the queued job until the failure has been raised
        auto updater = ModuleFilesUpdater::New(
            localFolder_, serverFolder_, "", [&] { ++completions; },
            std::make_shared<FailingObserver>());
        watch = updater;
        EXPECT_THAT([&] { updater->Execute("Estoque.exe", false); },
                    ThrowsMessage<Exception>(StrEq("comparison failed after 1 jobs")));
        updater.reset();
        EXPECT_FALSE(watch.expired()); // the waiting job still uses it
    }
    ASSERT_TRUE(RunLoopUntil([&] { return watch.expired(); }));
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "module");
}

// A server subfolder closed to the workstation hides its files: the rest of the tree is still
// updated, and the folder is told to the observer and in the trace line the launcher writes.
TEST_F(FilesUpdaterTest, AServerSubfolderThatCannotBeReadIsReportedAndTheRestUpdated) {
    WriteFile(server_, "central.ini", "new ini", TestAge());
    WriteFile(server_, "Relatorio\\Layout01.rav", "new layout", TestAge());
    WriteFile(local_, "Relatorio\\Layout01.rav", "old layout", TestAge(-1));
    std::filesystem::permissions(server_ / "Relatorio", std::filesystem::perms::none);
    const std::string trace = (temp_.Path() / "trace.txt").string();
    const auto result = RunWithoutFilePrivileges(temp_.Path(), [&] {
        // The trace line goes to standard error: here, into a file the test reads.
        const int traceFile = ::open(trace.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (traceFile < 0 || ::dup2(traceFile, STDERR_FILENO) < 0)
            return 20;
        const Run run = Update("", true);
        if (run.observer->FailedFolders() !=
            std::vector<std::pair<std::string, std::string>>{{"Relatorio", "Permission denied"}})
            return 10;
        if (run.observer->Names(FileOutcome::Updated) != std::vector<std::string>{"central.ini"})
            return 11;
        return run.completions == 1 ? 0 : 12;
    });
    if (!result)
        GTEST_SKIP() << kNoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
    EXPECT_EQ(ReadFile(trace), "Pasta do servidor não lida: Relatorio: Permission denied\n");
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "new ini");
    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "Layout01.rav"), "old layout");
}

TEST_F(FilesUpdaterTest, AnUpdaterRunsOnce) {
    WriteFile(server_, "Estoque.exe", "module", TestAge());
    int completions = 0;
    auto updater = ModuleFilesUpdater::New(localFolder_, serverFolder_, "", [&] { ++completions; });
    const std::weak_ptr<FilesUpdater> watch = updater;
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
    WriteFile(server_, "Estoque.exe", "new module", TestAge());
    WriteFile(local_, "Estoque.exe", "old module", TestAge(-5));
    const std::string target = localFolder_ + "Estoque.exe";
    Run first, second;
    {
        // Holding the file's lock keeps both jobs at the door until both are there.
        PathLock gate(target);
        Start(first, "Estoque.exe", false, serverFolder_);
        Start(second, "Estoque.exe", false, serverFolder_);
        while (PathLock::Waiting(target) < 2)
            std::this_thread::yield();
    }
    Finish(first);
    Finish(second);
    std::vector<FileOutcome> outcomes;
    for (const Run* run : {&first, &second})
        for (const auto& [name, record] : run->observer->Records())
            outcomes.push_back(record.outcome);
    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes,
              (std::vector<FileOutcome>{FileOutcome::Updated, FileOutcome::AlreadyCurrent}));
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "new module");
    EXPECT_EQ(first.completions + second.completions, 2);
}

} // namespace
} // namespace corvane::test
