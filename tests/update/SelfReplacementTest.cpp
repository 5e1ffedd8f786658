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
    return Bytes(MakeElf({a, b, c, d}).bytes);
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
        root_ = fs::temp_directory_path() /
                ("corvane-selfreplacement-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(root_);
        fs::create_directories(server_ = root_ / "servidor");
        fs::create_directories(current_ = root_ / "estacao");
    }
    void TearDown() override { fs::remove_all(root_); }

    // The server folder as the window holds it: with a trailing delimiter.
    std::string ServerFolder() const { return server_.string() + "/"; }

    SelfReplacementResult Replace(const SelfReplacementFiles& files) const {
        return ReplaceLauncher(ServerFolder(), current_.string(), files);
    }

    fs::path root_;
    fs::path server_;
    fs::path current_;
};

// ---- Version pairs and copies without a version ---------------------------------------

struct PairCase {
    const char* name;
    std::string local;  // empty: no local copy
    std::string server; // empty: no server copy
    SelfReplacementResult expected;
};

void PrintTo(const PairCase& c, std::ostream* out) {
    *out << c.name;
}

class SelfReplacementVersionPairs : public SelfReplacementFolders,
                                    public ::testing::WithParamInterface<PairCase> {};

TEST_P(SelfReplacementVersionPairs, ReplacesExactlyWhenBothVersionsAreReadableAndDiffer) {
    const auto& c = GetParam();
    if (!c.local.empty())
        WriteFile(current_ / "Corvane.EXE", c.local);
    if (!c.server.empty())
        WriteFile(server_ / "Corvane.EXE", c.server);

    EXPECT_EQ(Replace(PlatformSelfReplacementFiles()), c.expected);

    EXPECT_FALSE(fs::exists(current_ / "Corvane.NEW"));
    if (c.expected == SelfReplacementResult::Replaced) {
        EXPECT_EQ(ReadFile(current_ / "Corvane.EXE"), c.server);
        EXPECT_EQ(ReadFile(current_ / "Corvane.OLD"), c.local);
        EXPECT_EQ(ExitCodeOf(current_ / "Corvane.EXE"), 0);
    } else {
        EXPECT_FALSE(fs::exists(current_ / "Corvane.OLD"));
        EXPECT_EQ(fs::exists(current_ / "Corvane.EXE"), !c.local.empty());
        if (!c.local.empty()) {
            EXPECT_EQ(ReadFile(current_ / "Corvane.EXE"), c.local);
        }
    }
    EXPECT_EQ(ReadFile(server_ / "Corvane.EXE"), c.server);
}

const std::string kTruncated = Elf(2019, 1, 0, 9).substr(0, 100);

INSTANTIATE_TEST_SUITE_P(
    SelfReplacement, SelfReplacementVersionPairs,
    ::testing::Values(
        PairCase{"ServerHigher", Elf(2019, 1, 0, 4), Elf(2019, 1, 0, 5),
                 SelfReplacementResult::Replaced},
        PairCase{"ServerLower", Elf(2019, 1, 0, 5), Elf(2019, 1, 0, 4),
                 SelfReplacementResult::Replaced},
        PairCase{"ServerHigherInTheFirstNumber", Elf(2019, 9, 9, 9), Elf(2020, 0, 0, 0),
                 SelfReplacementResult::Replaced},
        // These look equal in the two-digit short form and must not be taken as equal.
        PairCase{"ShortFormLooksEqual14", Elf(1, 0, 0, 4), Elf(1, 0, 0, 14),
                 SelfReplacementResult::Replaced},
        PairCase{"ShortFormLooksEqual104", Elf(1, 0, 0, 4), Elf(1, 0, 0, 104),
                 SelfReplacementResult::Replaced},
        PairCase{"EqualVersions", Elf(2019, 1, 0, 4), Elf(2019, 1, 0, 4),
                 SelfReplacementResult::NotDue},
        PairCase{"EqualVersionsDifferentContent", Elf(2019, 1, 0, 4),
                 Elf(2019, 1, 0, 4) + std::string(4096, 'x'), SelfReplacementResult::NotDue},
        PairCase{"EqualVersionsElfAndPE", Elf(2019, 1, 0, 4), Bytes(MakePE({2019, 1, 0, 4}).bytes),
                 SelfReplacementResult::NotDue},
        PairCase{"NoServerCopy", Elf(2019, 1, 0, 4), "", SelfReplacementResult::NotDue},
        PairCase{"NoLocalCopy", "", Elf(2019, 1, 0, 5), SelfReplacementResult::NotDue},
        PairCase{"LocalWithoutVersion", "#!/bin/sh\nexit 0\n", Elf(2019, 1, 0, 5),
                 SelfReplacementResult::NotDue},
        PairCase{"ServerWithoutVersion", Elf(2019, 1, 0, 4), "not an executable\n",
                 SelfReplacementResult::NotDue},
        PairCase{"ServerTruncated", Elf(2019, 1, 0, 4), kTruncated, SelfReplacementResult::NotDue}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- A failure at each step ------------------------------------------------------------

enum class Step {
    Copy,
    CopyShort,
    ServerSize,
    CopySize,
    DeleteOld,
    MoveExeToOld,
    MoveNewToExe,
    MoveNewToExeAndBack
};

struct FailureCase {
    const char* name;
    Step step;
    bool oldExisted; // a "Corvane.OLD" from an earlier replacement is there
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

// The real operations, with the one named step made to fail.
SelfReplacementFiles FailingAt(Step step) {
    auto files = PlatformSelfReplacementFiles();
    const auto real = PlatformSelfReplacementFiles();
    auto isName = [](const std::string& path, const char* name) {
        return ExtractFileName(path) == name;
    };
    switch (step) {
    case Step::Copy:
        files.copyFileOver = [](const std::string&, const std::string&) { return false; };
        break;
    case Step::CopyShort:
        // The copy says it worked but the file came out short (a share that went away).
        files.copyFileOver = [](const std::string& from, const std::string& to) {
            const auto whole = ReadFile(ToNativePath(from));
            WriteFile(ToNativePath(to), whole.substr(0, whole.size() / 2));
            return true;
        };
        break;
    case Step::ServerSize:
        files.fileSizeOf = [real](const std::string& path) -> int64_t {
            return path.find("servidor") != std::string::npos ? -1 : real.fileSizeOf(path);
        };
        break;
    case Step::CopySize:
        files.fileSizeOf = [real, isName](const std::string& path) -> int64_t {
            return isName(path, "Corvane.NEW") ? -1 : real.fileSizeOf(path);
        };
        break;
    case Step::DeleteOld:
        files.deleteFile = [](const std::string&) { return false; };
        break;
    case Step::MoveExeToOld:
        files.moveFile = [real, isName](const std::string& from, const std::string& to) {
            return isName(from, "Corvane.EXE") ? false : real.moveFile(from, to);
        };
        break;
    case Step::MoveNewToExe:
        files.moveFile = [real, isName](const std::string& from, const std::string& to) {
            return isName(from, "Corvane.NEW") ? false : real.moveFile(from, to);
        };
        break;
    case Step::MoveNewToExeAndBack:
        // The worst case: the new copy cannot be moved in and the old one cannot be put back.
        files.moveFile = [real, isName](const std::string& from, const std::string& to) {
            return isName(from, "Corvane.EXE") ? real.moveFile(from, to) : false;
        };
        break;
    }
    return files;
}

class SelfReplacementFailure : public SelfReplacementFolders,
                               public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SelfReplacementFailure, ReportsTheFailureAndLeavesTheRunningLauncherInPlace) {
    const auto& c = GetParam();
    const auto local = Elf(2019, 1, 0, 4);
    const auto previous = Elf(2018, 7, 0, 1);
    WriteFile(current_ / "Corvane.EXE", local);
    WriteFile(server_ / "Corvane.EXE", Elf(2019, 1, 0, 5));
    if (c.oldExisted)
        WriteFile(current_ / "Corvane.OLD", previous);

    EXPECT_EQ(Replace(FailingAt(c.step)), SelfReplacementResult::Failed);

    if (c.step == Step::MoveNewToExeAndBack) {
        // Nothing can be moved back; the running launcher is still whole under its old name.
        EXPECT_FALSE(fs::exists(current_ / "Corvane.EXE"));
        EXPECT_EQ(ReadFile(current_ / "Corvane.OLD"), local);
        return;
    }
    EXPECT_EQ(ReadFile(current_ / "Corvane.EXE"), local);
    EXPECT_EQ(ExitCodeOf(current_ / "Corvane.EXE"), 0);
    // An earlier "Corvane.OLD" is only lost once the delete went through.
    if (c.oldExisted &&
        (c.step == Step::Copy || c.step == Step::CopyShort || c.step == Step::ServerSize ||
         c.step == Step::CopySize || c.step == Step::DeleteOld)) {
        EXPECT_EQ(ReadFile(current_ / "Corvane.OLD"), previous);
    } else {
        EXPECT_FALSE(fs::exists(current_ / "Corvane.OLD"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    SelfReplacement, SelfReplacementFailure,
    ::testing::Values(FailureCase{"CopyFails", Step::Copy, true},
                      FailureCase{"CopyComesOutShort", Step::CopyShort, false},
                      FailureCase{"ServerSizeUnreadable", Step::ServerSize, false},
                      FailureCase{"CopySizeUnreadable", Step::CopySize, true},
                      FailureCase{"DeleteOldFails", Step::DeleteOld, true},
                      FailureCase{"MoveExeToOldFails", Step::MoveExeToOld, true},
                      FailureCase{"MoveExeToOldFailsWithoutOld", Step::MoveExeToOld, false},
                      FailureCase{"MoveNewToExeFails", Step::MoveNewToExe, true},
                      FailureCase{"MoveNewToExeFailsWithoutOld", Step::MoveNewToExe, false},
                      FailureCase{"MoveNewToExeAndBackFail", Step::MoveNewToExeAndBack, false}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- Repeated attempts -------------------------------------------------------------------

TEST_F(SelfReplacementFolders, LaterAttemptsOverwriteTheNewCopyLeftByAFailedOne) {
    const auto local = Elf(2019, 1, 0, 4);
    const auto server = Elf(2019, 1, 0, 5);
    WriteFile(current_ / "Corvane.EXE", local);
    WriteFile(server_ / "Corvane.EXE", server);

    // First attempt: the copy comes out short and stays behind.
    EXPECT_EQ(Replace(FailingAt(Step::CopyShort)), SelfReplacementResult::Failed);
    ASSERT_EQ(ReadFile(current_ / "Corvane.NEW"), server.substr(0, server.size() / 2));

    // Second attempt: the copy is whole this time, then the swap fails. It overwrote the
    // short copy and still left the launcher in place.
    EXPECT_EQ(Replace(FailingAt(Step::MoveExeToOld)), SelfReplacementResult::Failed);
    EXPECT_EQ(ReadFile(current_ / "Corvane.NEW"), server);
    EXPECT_EQ(ReadFile(current_ / "Corvane.EXE"), local);

    // Third attempt goes through over what the others left.
    EXPECT_EQ(Replace(PlatformSelfReplacementFiles()), SelfReplacementResult::Replaced);
    EXPECT_EQ(ReadFile(current_ / "Corvane.EXE"), server);
    EXPECT_EQ(ReadFile(current_ / "Corvane.OLD"), local);
    EXPECT_FALSE(fs::exists(current_ / "Corvane.NEW"));
    EXPECT_EQ(ExitCodeOf(current_ / "Corvane.EXE"), 0);

    // A fourth finds both at the same version and leaves everything as it is.
    EXPECT_EQ(Replace(PlatformSelfReplacementFiles()), SelfReplacementResult::NotDue);
    EXPECT_EQ(ReadFile(current_ / "Corvane.OLD"), local);
}

// ---- The current folder ------------------------------------------------------------------

// Restores the process's current folder when the test ends.
class CurrentDirGuard {
public:
    CurrentDirGuard() : saved_(fs::current_path()) {}
    ~CurrentDirGuard() { fs::current_path(saved_); }
    CurrentDirGuard(const CurrentDirGuard&) = delete;
    CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

private:
    fs::path saved_;
};

TEST_F(SelfReplacementFolders, WorksInTheCurrentFolderNotTheLaunchersOwn) {
    const auto launcherFolder = root_ / "programa";
    fs::create_directories(launcherFolder);
    const auto installed = Elf(2019, 1, 0, 1);
    WriteFile(launcherFolder / "Corvane.EXE", installed);
    const auto local = Elf(2019, 1, 0, 4);
    const auto server = Elf(2019, 1, 0, 5);
    WriteFile(current_ / "Corvane.EXE", local);
    WriteFile(server_ / "Corvane.EXE", server);

    CurrentDirGuard guard;
    fs::current_path(current_);
    EXPECT_EQ(fs::path(GetCurrentDir()), fs::canonical(current_));
    EXPECT_EQ(ReplaceLauncher(ServerFolder(), GetCurrentDir(), PlatformSelfReplacementFiles()),
              SelfReplacementResult::Replaced);

    EXPECT_EQ(ReadFile(current_ / "Corvane.EXE"), server);
    EXPECT_EQ(ReadFile(current_ / "Corvane.OLD"), local);
    EXPECT_EQ(ReadFile(launcherFolder / "Corvane.EXE"), installed);
    EXPECT_FALSE(fs::exists(launcherFolder / "Corvane.OLD"));
    EXPECT_FALSE(fs::exists(launcherFolder / "Corvane.NEW"));
}

} // namespace
} // namespace corvane
