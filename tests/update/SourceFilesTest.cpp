// What both sources, the server folder and the file service, leave in the installation: the
// permissions of programs and data files whatever the server presents, and no temporary file
// of runs that were killed.
#include "tests/support/ReplacementWriter.h"
#include "tests/update/FilesUpdaterFixture.h"
#include "tests/update/ServedFolder.h"

#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace corvane::test {
namespace {

namespace fs = std::filesystem;

enum class Source { Folder, Service };

class SourceFiles : public FilesUpdaterTest, public ::testing::WithParamInterface<Source> {
protected:
    void SetUp() override {
        FilesUpdaterTest::SetUp();
        if (GetParam() == Source::Folder)
            return;
        served_ = std::make_unique<ServedFolder>(server_);
        url_ = served_->Url();
    }

    Run UpdateFromSource(const std::string& module) {
        Run run;
        const bool fromService = GetParam() == Source::Service;
        Start(run, module, true, fromService ? "" : serverFolder_, fromService ? url_ : "");
        Finish(run);
        return run;
    }

    static fs::perms ExpectedPermissions(bool program) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return fs::perms((program ? 0777 : 0666) & ~mask);
    }

    std::unique_ptr<ServedFolder> served_;
    std::string url_;
};

// A share presents the module as 0644 and a data file as 0755: the local module can be
// started, the data file cannot; replacing an old copy of other permissions changes nothing.
TEST_P(SourceFiles, ProgramsCanBeStartedAndDataFilesCannot) {
    fs::permissions(WriteFile(server_, "Morvik.exe", "module", TestAge(1)), fs::perms(0644));
    fs::permissions(WriteFile(server_, "TeamViewerQS_pt.EXE", "tool", TestAge(2)), fs::perms(0444));
    fs::permissions(WriteFile(server_, "central.ini", "ini", TestAge(3)), fs::perms(0755));
    fs::permissions(WriteFile(local_, "central.ini", "old", TestAge(-3)), fs::perms(0777));

    const Run run = UpdateFromSource("Morvik.exe");
    const Run tool = UpdateFromSource("TeamViewerQS_pt.EXE");

    EXPECT_EQ(run.observer->Names(FileOutcome::Updated),
              (std::vector<std::string>{"Morvik.exe", "central.ini"}));
    EXPECT_EQ(tool.observer->Names(FileOutcome::Updated),
              std::vector<std::string>{"TeamViewerQS_pt.EXE"});
    EXPECT_EQ(fs::status(local_ / "Morvik.exe").permissions(), ExpectedPermissions(true));
    EXPECT_EQ(fs::status(local_ / "TeamViewerQS_pt.EXE").permissions(), ExpectedPermissions(true));
    EXPECT_EQ(fs::status(local_ / "central.ini").permissions(), ExpectedPermissions(false));
}

// Runs killed mid-copy left their temporary files beside the module and in a shared file's
// subfolder; the next run removes them, but not a file another process is still writing, nor
// one that merely looks alike. Once that writer is gone too, the run after removes its file.
TEST_P(SourceFiles, ARunRemovesWhatKilledRunsLeftAndNothingElse) {
    WriteFile(server_, "Morvik.exe", "module", TestAge(1));
    WriteFile(server_, "Relatorio\\Layout01.rav", "layout", TestAge(2));
    fs::create_directories(local_ / "Relatorio");
    fs::create_directories(local_ / "Outros");
    ReplacementWriter killedModule(local_ / "Morvik.exe");
    ReplacementWriter killedLayout(local_ / "Relatorio" / "Layout01.rav");
    // Not a folder this run writes to: it is not looked at.
    ReplacementWriter killedElsewhere(local_ / "Outros" / "x.dll");
    ReplacementWriter alive(local_ / "gds32.dll");
    const auto lookalike = WriteFile(local_, ".corvane-0123456789abcdef.tmp.bak", "mine");
    killedModule.Kill();
    killedLayout.Kill();
    killedElsewhere.Kill();

    const Run first = UpdateFromSource("Morvik.exe");
    EXPECT_EQ(first.observer->Names(FileOutcome::Failed), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(killedModule.TemporaryFile()));
    EXPECT_FALSE(fs::exists(killedLayout.TemporaryFile()));
    EXPECT_TRUE(fs::exists(killedElsewhere.TemporaryFile()));
    EXPECT_TRUE(fs::exists(alive.TemporaryFile()));
    EXPECT_EQ(ReadFile(lookalike), "mine");
    EXPECT_EQ(ReadFile(local_ / "Morvik.exe"), "module");
    EXPECT_EQ(ReadFile(local_ / "Relatorio" / "Layout01.rav"), "layout");

    alive.Kill();
    UpdateFromSource("Morvik.exe");
    EXPECT_FALSE(fs::exists(alive.TemporaryFile()));
    EXPECT_EQ(
        FilesUnder(local_),
        (std::vector<std::string>{".corvane-0123456789abcdef.tmp.bak", "Morvik.exe",
                                  "Outros/" + killedElsewhere.TemporaryFile().filename().string(),
                                  "Relatorio/Layout01.rav"}));
}

INSTANTIATE_TEST_SUITE_P(Sources, SourceFiles, ::testing::Values(Source::Folder, Source::Service),
                         [](const auto& c) {
                             return c.param == Source::Folder ? "Folder" : "Service";
                         });

} // namespace
} // namespace corvane::test
