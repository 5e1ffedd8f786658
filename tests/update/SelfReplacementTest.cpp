#include "update/SelfReplacement.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "tools/make-versioned-exe/VersionedExe.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testexe::MakeElf;
using testexe::MakePE;

std::string Bytes(const std::vector<std::byte>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string Elf(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    return Bytes(MakeElf({a, b, c, d}).Bytes);
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the program and gives its exit code; -1 when it cannot be started or did not exit.
int ExitCodeOf(const fs::path& program) {
    const std::string path = program.string();
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    if (::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// A server folder and the launcher's current folder, with the copies the check finds there.
class SelfReplacementFolders : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Parameterised tests are named "Test/Case": one folder per case, not nested.
        std::string name = info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        FRoot = fs::temp_directory_path() /
                ("corvane-selfreplacement-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(FRoot);
        fs::create_directories(FServer = FRoot / "servidor");
        fs::create_directories(FCurrent = FRoot / "estacao");
    }
    void TearDown() override { fs::remove_all(FRoot); }

    // The server folder as the window holds it: with a trailing delimiter.
    std::string ServerFolder() const { return FServer.string() + "/"; }

    TSelfReplacementResult Replace(const TSelfReplacementFiles& files) const {
        return ReplaceLauncher(ServerFolder(), FCurrent.string(), files);
    }

    fs::path FRoot;
    fs::path FServer;
    fs::path FCurrent;
};

// ---- Version pairs and copies without a version ---------------------------------------

struct TPairCase {
    const char* Name;
    std::string Local;  // empty: no local copy
    std::string Server; // empty: no server copy
    TSelfReplacementResult Expected;
};

void PrintTo(const TPairCase& c, std::ostream* out) {
    *out << c.Name;
}

class SelfReplacementVersionPairs : public SelfReplacementFolders,
                                    public ::testing::WithParamInterface<TPairCase> {};

TEST_P(SelfReplacementVersionPairs, ReplacesExactlyWhenBothVersionsAreReadableAndDiffer) {
    const auto& c = GetParam();
    if (!c.Local.empty())
        WriteFile(FCurrent / "Corvane.EXE", c.Local);
    if (!c.Server.empty())
        WriteFile(FServer / "Corvane.EXE", c.Server);

    EXPECT_EQ(Replace(PlatformSelfReplacementFiles()), c.Expected);

    EXPECT_FALSE(fs::exists(FCurrent / "Corvane.NEW"));
    if (c.Expected == TSelfReplacementResult::Replaced) {
        EXPECT_EQ(ReadFile(FCurrent / "Corvane.EXE"), c.Server);
        EXPECT_EQ(ReadFile(FCurrent / "Corvane.OLD"), c.Local);
        EXPECT_EQ(ExitCodeOf(FCurrent / "Corvane.EXE"), 0);
    } else {
        EXPECT_FALSE(fs::exists(FCurrent / "Corvane.OLD"));
        EXPECT_EQ(fs::exists(FCurrent / "Corvane.EXE"), !c.Local.empty());
        if (!c.Local.empty()) {
            EXPECT_EQ(ReadFile(FCurrent / "Corvane.EXE"), c.Local);
        }
    }
    EXPECT_EQ(ReadFile(FServer / "Corvane.EXE"), c.Server);
}

const std::string Truncated = Elf(2019, 1, 0, 9).substr(0, 100);

INSTANTIATE_TEST_SUITE_P(
    SelfReplacement, SelfReplacementVersionPairs,
    ::testing::Values(
        TPairCase{"ServerHigher", Elf(2019, 1, 0, 4), Elf(2019, 1, 0, 5),
                  TSelfReplacementResult::Replaced},
        TPairCase{"ServerLower", Elf(2019, 1, 0, 5), Elf(2019, 1, 0, 4),
                  TSelfReplacementResult::Replaced},
        TPairCase{"ServerHigherInTheFirstNumber", Elf(2019, 9, 9, 9), Elf(2020, 0, 0, 0),
                  TSelfReplacementResult::Replaced},
        // These look equal in the two-digit short form and must not be taken as equal.
        TPairCase{"ShortFormLooksEqual14", Elf(1, 0, 0, 4), Elf(1, 0, 0, 14),
                  TSelfReplacementResult::Replaced},
        TPairCase{"ShortFormLooksEqual104", Elf(1, 0, 0, 4), Elf(1, 0, 0, 104),
                  TSelfReplacementResult::Replaced},
        TPairCase{"EqualVersions", Elf(2019, 1, 0, 4), Elf(2019, 1, 0, 4),
                  TSelfReplacementResult::NotDue},
        TPairCase{"EqualVersionsDifferentContent", Elf(2019, 1, 0, 4),
                  Elf(2019, 1, 0, 4) + std::string(4096, 'x'), TSelfReplacementResult::NotDue},
        TPairCase{"EqualVersionsElfAndPE", Elf(2019, 1, 0, 4), Bytes(MakePE({2019, 1, 0, 4}).Bytes),
                  TSelfReplacementResult::NotDue},
        TPairCase{"NoServerCopy", Elf(2019, 1, 0, 4), "", TSelfReplacementResult::NotDue},
        TPairCase{"NoLocalCopy", "", Elf(2019, 1, 0, 5), TSelfReplacementResult::NotDue},
        TPairCase{"LocalWithoutVersion", "#!/bin/sh\nexit 0\n", Elf(2019, 1, 0, 5),
                  TSelfReplacementResult::NotDue},
        TPairCase{"ServerWithoutVersion", Elf(2019, 1, 0, 4), "not an executable\n",
                  TSelfReplacementResult::NotDue},
        TPairCase{"ServerTruncated", Elf(2019, 1, 0, 4), Truncated,
                  TSelfReplacementResult::NotDue}),
    [](const auto& param) { return std::string(param.param.Name); });

// ---- A failure at each step ------------------------------------------------------------

enum class TStep {
    Copy,
    CopyShort,
    ServerSize,
    CopySize,
    DeleteOld,
    MoveExeToOld,
    MoveNewToExe,
    MoveNewToExeAndBack
};

struct TFailureCase {
    const char* Name;
    TStep Step;
    bool OldExisted; // a "Corvane.OLD" from an earlier replacement is there
};

void PrintTo(const TFailureCase& c, std::ostream* out) {
    *out << c.Name;
}

// The real operations, with the one named step made to fail.
TSelfReplacementFiles FailingAt(TStep step) {
    auto files = PlatformSelfReplacementFiles();
    const auto real = PlatformSelfReplacementFiles();
    auto isName = [](const std::string& path, const char* name) {
        return ExtractFileName(path) == name;
    };
    switch (step) {
    case TStep::Copy:
        files.CopyFileOver = [](const std::string&, const std::string&) { return false; };
        break;
    case TStep::CopyShort:
        // The copy says it worked but the file came out short (a share that went away).
        files.CopyFileOver = [](const std::string& from, const std::string& to) {
            const auto whole = ReadFile(ToNativePath(from));
            WriteFile(ToNativePath(to), whole.substr(0, whole.size() / 2));
            return true;
        };
        break;
    case TStep::ServerSize:
        files.FileSizeOf = [real](const std::string& path) -> int64_t {
            return path.find("servidor") != std::string::npos ? -1 : real.FileSizeOf(path);
        };
        break;
    case TStep::CopySize:
        files.FileSizeOf = [real, isName](const std::string& path) -> int64_t {
            return isName(path, "Corvane.NEW") ? -1 : real.FileSizeOf(path);
        };
        break;
    case TStep::DeleteOld:
        files.DeleteFile = [](const std::string&) { return false; };
        break;
    case TStep::MoveExeToOld:
        files.MoveFile = [real, isName](const std::string& from, const std::string& to) {
            return isName(from, "Corvane.EXE") ? false : real.MoveFile(from, to);
        };
        break;
    case TStep::MoveNewToExe:
        files.MoveFile = [real, isName](const std::string& from, const std::string& to) {
            return isName(from, "Corvane.NEW") ? false : real.MoveFile(from, to);
        };
        break;
    case TStep::MoveNewToExeAndBack:
        // The worst case: the new copy cannot be moved in and the old one cannot be put back.
        files.MoveFile = [real, isName](const std::string& from, const std::string& to) {
            return isName(from, "Corvane.EXE") ? real.MoveFile(from, to) : false;
        };
        break;
    }
    return files;
}

class SelfReplacementFailure : public SelfReplacementFolders,
                               public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(SelfReplacementFailure, ReportsTheFailureAndLeavesTheRunningLauncherInPlace) {
    const auto& c = GetParam();
    const auto local = Elf(2019, 1, 0, 4);
    const auto previous = Elf(2018, 7, 0, 1);
    WriteFile(FCurrent / "Corvane.EXE", local);
    WriteFile(FServer / "Corvane.EXE", Elf(2019, 1, 0, 5));
    if (c.OldExisted)
        WriteFile(FCurrent / "Corvane.OLD", previous);

    EXPECT_EQ(Replace(FailingAt(c.Step)), TSelfReplacementResult::Failed);

    if (c.Step == TStep::MoveNewToExeAndBack) {
        // Nothing can be moved back; the running launcher is still whole under its old name.
        EXPECT_FALSE(fs::exists(FCurrent / "Corvane.EXE"));
        EXPECT_EQ(ReadFile(FCurrent / "Corvane.OLD"), local);
        return;
    }
    EXPECT_EQ(ReadFile(FCurrent / "Corvane.EXE"), local);
    EXPECT_EQ(ExitCodeOf(FCurrent / "Corvane.EXE"), 0);
    // An earlier "Corvane.OLD" is only lost once the delete went through.
    if (c.OldExisted &&
        (c.Step == TStep::Copy || c.Step == TStep::CopyShort || c.Step == TStep::ServerSize ||
         c.Step == TStep::CopySize || c.Step == TStep::DeleteOld)) {
        EXPECT_EQ(ReadFile(FCurrent / "Corvane.OLD"), previous);
    } else {
        EXPECT_FALSE(fs::exists(FCurrent / "Corvane.OLD"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    SelfReplacement, SelfReplacementFailure,
    ::testing::Values(TFailureCase{"CopyFails", TStep::Copy, true},
                      TFailureCase{"CopyComesOutShort", TStep::CopyShort, false},
                      TFailureCase{"ServerSizeUnreadable", TStep::ServerSize, false},
                      TFailureCase{"CopySizeUnreadable", TStep::CopySize, true},
                      TFailureCase{"DeleteOldFails", TStep::DeleteOld, true},
                      TFailureCase{"MoveExeToOldFails", TStep::MoveExeToOld, true},
                      TFailureCase{"MoveExeToOldFailsWithoutOld", TStep::MoveExeToOld, false},
                      TFailureCase{"MoveNewToExeFails", TStep::MoveNewToExe, true},
                      TFailureCase{"MoveNewToExeFailsWithoutOld", TStep::MoveNewToExe, false},
                      TFailureCase{"MoveNewToExeAndBackFail", TStep::MoveNewToExeAndBack, false}),
    [](const auto& param) { return std::string(param.param.Name); });

// ---- Repeated attempts -------------------------------------------------------------------

TEST_F(SelfReplacementFolders, LaterAttemptsOverwriteTheNewCopyLeftByAFailedOne) {
    const auto local = Elf(2019, 1, 0, 4);
    const auto server = Elf(2019, 1, 0, 5);
    WriteFile(FCurrent / "Corvane.EXE", local);
    WriteFile(FServer / "Corvane.EXE", server);

    // First attempt: the copy comes out short and stays behind.
    EXPECT_EQ(Replace(FailingAt(TStep::CopyShort)), TSelfReplacementResult::Failed);
    ASSERT_EQ(ReadFile(FCurrent / "Corvane.NEW"), server.substr(0, server.size() / 2));

    // Second attempt: the copy is whole this time, then the swap fails. It overwrote the
    // short copy and still left the launcher in place.
    EXPECT_EQ(Replace(FailingAt(TStep::MoveExeToOld)), TSelfReplacementResult::Failed);
    EXPECT_EQ(ReadFile(FCurrent / "Corvane.NEW"), server);
    EXPECT_EQ(ReadFile(FCurrent / "Corvane.EXE"), local);

    // Third attempt goes through over what the others left.
    EXPECT_EQ(Replace(PlatformSelfReplacementFiles()), TSelfReplacementResult::Replaced);
    EXPECT_EQ(ReadFile(FCurrent / "Corvane.EXE"), server);
    EXPECT_EQ(ReadFile(FCurrent / "Corvane.OLD"), local);
    EXPECT_FALSE(fs::exists(FCurrent / "Corvane.NEW"));
    EXPECT_EQ(ExitCodeOf(FCurrent / "Corvane.EXE"), 0);

    // A fourth finds both at the same version and leaves everything as it is.
    EXPECT_EQ(Replace(PlatformSelfReplacementFiles()), TSelfReplacementResult::NotDue);
    EXPECT_EQ(ReadFile(FCurrent / "Corvane.OLD"), local);
}

// ---- The current folder ------------------------------------------------------------------

// Restores the process's current folder when the test ends.
class TCurrentDirGuard {
public:
    TCurrentDirGuard() : FSaved(fs::current_path()) {}
    ~TCurrentDirGuard() { fs::current_path(FSaved); }
    TCurrentDirGuard(const TCurrentDirGuard&) = delete;
    TCurrentDirGuard& operator=(const TCurrentDirGuard&) = delete;

private:
    fs::path FSaved;
};

TEST_F(SelfReplacementFolders, WorksInTheCurrentFolderNotTheLaunchersOwn) {
    const auto launcherFolder = FRoot / "programa";
    fs::create_directories(launcherFolder);
    const auto installed = Elf(2019, 1, 0, 1);
    WriteFile(launcherFolder / "Corvane.EXE", installed);
    const auto local = Elf(2019, 1, 0, 4);
    const auto server = Elf(2019, 1, 0, 5);
    WriteFile(FCurrent / "Corvane.EXE", local);
    WriteFile(FServer / "Corvane.EXE", server);

    TCurrentDirGuard guard;
    fs::current_path(FCurrent);
    EXPECT_EQ(fs::path(GetCurrentDir()), fs::canonical(FCurrent));
    EXPECT_EQ(ReplaceLauncher(ServerFolder(), GetCurrentDir(), PlatformSelfReplacementFiles()),
              TSelfReplacementResult::Replaced);

    EXPECT_EQ(ReadFile(FCurrent / "Corvane.EXE"), server);
    EXPECT_EQ(ReadFile(FCurrent / "Corvane.OLD"), local);
    EXPECT_EQ(ReadFile(launcherFolder / "Corvane.EXE"), installed);
    EXPECT_FALSE(fs::exists(launcherFolder / "Corvane.OLD"));
    EXPECT_FALSE(fs::exists(launcherFolder / "Corvane.NEW"));
}

} // namespace
} // namespace corvane
