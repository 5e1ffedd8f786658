#include "update/SelfReplacement.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "update/LauncherVersion.h"

#include <exception>

namespace corvane {

TSelfReplacementFiles PlatformSelfReplacementFiles() {
    TSelfReplacementFiles files;
    files.FileExists = [](const std::string& path) { return corvane::FileExists(path); };
    files.FileVersionOf = [](const std::string& path) { return corvane::FileVersionOf(path); };
    files.FileSizeOf = [](const std::string& path) { return corvane::FileSizeOf(path); };
    files.CopyFileOver = [](const std::string& from, const std::string& to) {
        return corvane::CopyFileOver(from, to);
    };
    files.DeleteFile = [](const std::string& path) { return DeleteFileAt(path); };
    files.MoveFile = [](const std::string& from, const std::string& to) {
        return MoveFileTo(from, to);
    };
    return files;
}

namespace {

TSelfReplacementResult Replace(const std::string& serverFolder, const std::string& currentDir,
                               const TSelfReplacementFiles& files) {
    const auto serverCopy = JoinPath(serverFolder, LauncherExeName);
    if (!files.FileExists(serverCopy))
        return TSelfReplacementResult::NotDue;
    // All three names live in the current folder, which need not be the launcher's own.
    const auto localCopy = JoinPath(currentDir, LauncherExeName);
    const auto newCopy = JoinPath(currentDir, LauncherNewName);
    const auto oldCopy = JoinPath(currentDir, LauncherOldName);

    if (!LauncherUpdateDue(files.FileVersionOf(localCopy), files.FileVersionOf(serverCopy)))
        return TSelfReplacementResult::NotDue;

    const auto expectedSize = files.FileSizeOf(serverCopy);
    // The copy's own answer is not trusted alone: its size must match the server's too.
    const bool copied = files.CopyFileOver(serverCopy, newCopy);
    const auto copiedSize = files.FileSizeOf(newCopy);
    if (!copied || expectedSize < 0 || copiedSize < 0 || copiedSize != expectedSize)
        return TSelfReplacementResult::Failed;

    if (!files.DeleteFile(oldCopy))
        return TSelfReplacementResult::Failed;
    if (!files.MoveFile(localCopy, oldCopy))
        return TSelfReplacementResult::Failed;
    if (!files.MoveFile(newCopy, localCopy)) {
        // Put the running launcher back under its name; if even that fails there is nothing
        // more to try here, and the failure is reported all the same.
        files.MoveFile(oldCopy, localCopy);
        return TSelfReplacementResult::Failed;
    }
    return TSelfReplacementResult::Replaced;
}

} // namespace

TSelfReplacementResult ReplaceLauncher(const std::string& serverFolder,
                                       const std::string& currentDir,
                                       const TSelfReplacementFiles& files) {
    try {
        return Replace(serverFolder, currentDir, files);
    } catch (const std::exception&) {
        // Only the joining of a path with invalid characters throws, before anything is
        // copied or moved: there is nothing to replace from such a folder.
        return TSelfReplacementResult::NotDue;
    }
}

} // namespace corvane
