// Faults during the transfers: each leaves the old local file as it was, reports the file as
// failed, still completes the run once, and the next run repairs the file.
#include "platform/FileTime.h"
#include "platform/PathLock.h"
#include "tests/update/FilesUpdaterFixture.h"

#include <csignal>
#include <sys/resource.h>

namespace corvane::test {
namespace {

class TransferFault : public FilesUpdaterTest {
protected:
    void SetUp() override {
        FilesUpdaterTest::SetUp();
        WriteFile(server_, "Estoque.exe", std::string(4 * 1024 * 1024, 'n'), TestAge());
        WriteFile(server_, "central.ini", "new ini", TestAge());
        WriteFile(local_, "Estoque.exe", "old module", TestAge(-1));
        WriteFile(local_, "central.ini", "old ini", TestAge(-1));
    }

    // The module failed with the message; the other file went through; nothing else is left
    // in the local folder (no temporary file).
    void ExpectModuleFailed(const Run& run, const std::string& message) {
        const auto records = run.observer->Records();
        ASSERT_EQ(records.count("Estoque.exe"), 1u);
        EXPECT_EQ(records.find("Estoque.exe")->second.outcome, FileOutcome::Failed);
        EXPECT_EQ(records.find("Estoque.exe")->second.message, message);
        EXPECT_EQ(run.completions, 1);
        ExpectOldModuleIntact();
    }

    void ExpectOldModuleIntact() {
        EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "old module");
        EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge(-1));
        EXPECT_EQ(FilesUnder(local_), (std::vector<std::string>{"Estoque.exe", "central.ini"}));
    }

    void ExpectNextRunRepairs() {
        const Run next = Update("Estoque.exe", false);
        EXPECT_EQ(next.observer->Names(FileOutcome::Updated),
                  std::vector<std::string>{"Estoque.exe"});
        EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), ReadFile(server_ / "Estoque.exe"));
        EXPECT_EQ(FileAge(localFolder_ + "Estoque.exe"), TestAge());
    }

    // Runs an update as a user without the power to ignore file permissions and returns 0
    // when the module failed with message while central.ini was updated.
    std::optional<int> UpdateWithoutPrivileges(const std::string& message) {
        return RunWithoutFilePrivileges(temp_.Path(), [&] {
            const Run run = Update("Estoque.exe", true);
            const auto records = run.observer->Records();
            const auto module = records.find("Estoque.exe");
            const auto ini = records.find("central.ini");
            if (module == records.end() || ini == records.end())
                return 10;
            if (module->second.outcome != FileOutcome::Failed || module->second.message != message)
                return 11;
            return run.completions == 1 ? 0 : 12;
        });
    }
};

TEST_F(TransferFault, SourceDeletedBetweenListingAndCopy) {
    const std::string target = localFolder_ + "Estoque.exe";
    Run run;
    {
        PathLock gate(target); // the job waits here, after the listing
        Start(run, "Estoque.exe", true, serverFolder_);
        std::filesystem::remove(server_ / "Estoque.exe");
    }
    Finish(run);
    ExpectModuleFailed(run, "No such file or directory");
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "new ini");

    WriteFile(server_, "Estoque.exe", "module again", TestAge());
    ExpectNextRunRepairs();
}

TEST_F(TransferFault, DiskFullInTheMiddleOfACopy) {
    // A file size limit of 1 MB fails the 4 MB module exactly as a full disk would.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 1024 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const Run run = Update("Estoque.exe", true);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    ExpectModuleFailed(run, "File too large");
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "new ini");
    ExpectNextRunRepairs();
}

TEST_F(TransferFault, SourceWithoutReadPermission) {
    std::filesystem::permissions(server_ / "Estoque.exe", std::filesystem::perms::none);
    const auto result = UpdateWithoutPrivileges("Permission denied");
    if (!result)
        GTEST_SKIP() << kNoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
    ExpectOldModuleIntact();
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "new ini");

    std::filesystem::permissions(server_ / "Estoque.exe", std::filesystem::perms(0644));
    ExpectNextRunRepairs();
}

TEST_F(TransferFault, TargetFolderWithoutWritePermission) {
    // The module sits in a folder closed to writing; central.ini in one that is open.
    std::filesystem::create_directories(local_ / "Relatorio");
    WriteFile(server_, "Relatorio\\Layout01.rav", "new layout", TestAge());
    WriteFile(local_, "Relatorio\\Layout01.rav", "old layout", TestAge(-1));
    std::filesystem::permissions(local_ / "Relatorio", std::filesystem::perms(0555));
    const auto result = RunWithoutFilePrivileges(temp_.Path(), [&] {
        const Run run = Update("", true);
        const auto records = run.observer->Records();
        const auto layout = records.find("Relatorio\\Layout01.rav");
        if (layout == records.end() || layout->second.outcome != FileOutcome::Failed ||
            layout->second.message != "Permission denied")
            return 10;
        const auto ini = records.find("central.ini");
        if (ini == records.end() || ini->second.outcome != FileOutcome::Updated)
            return 11;
        return run.completions == 1 ? 0 : 12;
    });
    if (!result)
        GTEST_SKIP() << kNoUnprivilegedUser;
    EXPECT_EQ(*result, 0);
    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "Layout01.rav"), "old layout");
    EXPECT_EQ(FileAge(localFolder_ + "Relatorio\\Layout01.rav"), TestAge(-1));
    EXPECT_EQ(FilesUnder(local_ / "Relatorio"), std::vector<std::string>{"Layout01.rav"});
    EXPECT_EQ(ReadFile(local_ / "central.ini"), "new ini");

    std::filesystem::permissions(local_ / "Relatorio", std::filesystem::perms(0755));
    const Run next = Update("", true);
    EXPECT_EQ(next.observer->Names(FileOutcome::Updated),
              std::vector<std::string>{"Relatorio\\Layout01.rav"});
    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "Layout01.rav"), "new layout");
}

TEST_F(TransferFault, AFolderInTheTargetsPlace) {
    std::filesystem::remove(local_ / "Estoque.exe");
    std::filesystem::create_directories(local_ / "Estoque.exe" / "keep");
    WriteFile(local_, "Estoque.exe\\keep\\data.txt", "kept");
    const Run run = Update("Estoque.exe", false);
    EXPECT_EQ(run.observer->Names(FileOutcome::Failed), std::vector<std::string>{"Estoque.exe"});
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe" / "keep" / "data.txt"), "kept");
    EXPECT_EQ(FilesUnder(local_),
              (std::vector<std::string>{"Estoque.exe/keep/data.txt", "central.ini"}));
    EXPECT_EQ(run.completions, 1);
}

} // namespace
} // namespace corvane::test
