#include "update/SelfReplacement.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "update/LauncherVersion.h"
#include "update/LocalFilePermissions.h"

#include <exception>

namespace corvane {

SelfReplacementFiles PlatformSelfReplacementFiles() {
    SelfReplacementFiles files;
    files.fileExists = [](const std::string& path) { return corvane::FileExists(path); };
    files.fileVersionOf = [](const std::string& path) { return corvane::FileVersionOf(path); };
    files.fileSizeOf = [](const std::string& path) { return corvane::FileSizeOf(path); };
    files.copyFileOver = [](const std::string& from, const std::string& to) {
        // The new launcher must start, whatever the share lets its copy do.
        return corvane::CopyFileOver(from, to, LocalFilePermissions(kLauncherExeName));
    };
    files.deleteFile = [](const std::string& path) { return DeleteFileAt(path); };
    files.moveFile = [](const std::string& from, const std::string& to) {
        return MoveFileTo(from, to);
    };
    return files;
}

namespace {

SelfReplacementResult Replace(const std::string& serverFolder, const std::string& currentDir,
                              const SelfReplacementFiles& files) {
    const auto serverCopy = JoinPath(serverFolder, kLauncherExeName);
    if (!files.fileExists(serverCopy))
        return SelfReplacementResult::NotDue;
    // All three names live in the current folder, which need not be the launcher's own.
    const auto localCopy = JoinPath(currentDir, kLauncherExeName);
    const auto newCopy = JoinPath(currentDir, kLauncherNewName);
    const auto oldCopy = JoinPath(currentDir, kLauncherOldName);

    if (!LauncherUpdateDue(files.fileVersionOf(localCopy), files.fileVersionOf(serverCopy)))
        return SelfReplacementResult::NotDue;

    const auto expectedSize = files.fileSizeOf(serverCopy);
    // The copy's own answer is not trusted alone: its size must match the server's too.
    const bool copied = files.copyFileOver(serverCopy, newCopy);
    const auto copiedSize = files.fileSizeOf(newCopy);
    if (!copied || expectedSize < 0 || copiedSize < 0 || copiedSize != expectedSize)
        return SelfReplacementResult::Failed;

    if (!files.deleteFile(oldCopy))
        return SelfReplacementResult::Failed;
    if (!files.moveFile(localCopy, oldCopy))
        return SelfReplacementResult::Failed;
    if (!files.moveFile(newCopy, localCopy)) {
        // Put the running launcher back under its name; if even that fails there is nothing
        // more to try here, and the failure is reported all the same.
        files.moveFile(oldCopy, localCopy);
        return SelfReplacementResult::Failed;
    }
    return SelfReplacementResult::Replaced;
}

} // namespace

SelfReplacementResult ReplaceLauncher(const std::string& serverFolder,
                                      const std::string& currentDir,
                                      const SelfReplacementFiles& files) {
    try {
        return Replace(serverFolder, currentDir, files);
    } catch (const std::exception&) {
        // Only the joining of a path with invalid characters throws, before anything is
        // copied or moved: there is nothing to replace from such a folder.
        return SelfReplacementResult::NotDue;
    }
}

bool RestorePreviousLauncher(const std::string& currentDir, const SelfReplacementFiles& files) {
    try {
        const auto localCopy = JoinPath(currentDir, kLauncherExeName);
        const auto newCopy = JoinPath(currentDir, kLauncherNewName);
        const auto oldCopy = JoinPath(currentDir, kLauncherOldName);
        if (!files.fileExists(oldCopy))
            return false;
        if (!files.moveFile(localCopy, newCopy) && !files.deleteFile(localCopy))
            return false;
        return files.moveFile(oldCopy, localCopy);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace corvane
