// The launcher's replacement of its own executable by the copy in the server folder. The file
// operations come in as parameters, so the steps and their recovery are tested with failures
// injected at any of them, without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

// The file operations the replacement uses; PlatformSelfReplacementFiles gives the real ones.
struct SelfReplacementFiles {
    std::function<bool(const std::string&)> fileExists;
    std::function<std::string(const std::string&)> fileVersionOf;
    std::function<int64_t(const std::string&)> fileSizeOf;
    // Copies over an existing file of the target's name; the copy may be started.
    std::function<bool(const std::string& from, const std::string& to)> copyFileOver;
    // True when no file is left at the path.
    std::function<bool(const std::string&)> deleteFile;
    // Never overwrites an existing file.
    std::function<bool(const std::string& from, const std::string& to)> moveFile;
};

SelfReplacementFiles PlatformSelfReplacementFiles();

enum class SelfReplacementResult {
    NotDue,   // no server copy, a copy without a version, or the same version on both sides
    Failed,   // the copy or the swap failed; "Corvane.EXE" is the launcher that was there
    Replaced, // "Corvane.EXE" is the server's copy, "Corvane.OLD" the one that was running
};

// The names of the three copies in the current folder.
inline constexpr const char* kLauncherExeName = "Corvane.EXE";
inline constexpr const char* kLauncherNewName = "Corvane.NEW";
inline constexpr const char* kLauncherOldName = "Corvane.OLD";

// Compares the version of serverFolder's "Corvane.EXE" with the one in currentDir and, when
// they differ, copies the server's beside it as "Corvane.NEW", checks the copy's size and
// swaps the two ("Corvane.EXE" becomes "Corvane.OLD"). Whatever step fails, what was moved
// is put back, so "Corvane.EXE" stays a runnable launcher. Throws nothing.
SelfReplacementResult ReplaceLauncher(const std::string& serverFolder,
                                      const std::string& currentDir,
                                      const SelfReplacementFiles& files);

// After a replacement whose new launcher could not be started: puts the launcher that was
// running back under "Corvane.EXE" from "Corvane.OLD"; the new copy goes back to
// "Corvane.NEW", or is deleted when it cannot. True when "Corvane.EXE" is the previous
// launcher again. Throws nothing.
bool RestorePreviousLauncher(const std::string& currentDir, const SelfReplacementFiles& files);

} // namespace corvane
