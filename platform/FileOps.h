// The file operations of an update run: folder chains and a copy that replaces its target
// only once the new file is complete. (The checked delete is DeleteFileChecked, in
// platform/FileStream.) Paths are system paths
// (backslashes allowed); they are made native here.
#pragma once

#include "platform/DateTime.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// Paths handed to the copy must be shorter than this many UTF-16
// code units unless they carry the extended-length prefix "\\?\".
constexpr size_t MaxPathLength = 260;

// Throws EPathTooLongException("The specified path is too long") for a path of MaxPathLength
// or more without the extended-length prefix.
void CheckPathLength(std::string_view path);

// The age that a file in folder reads back once stamped with age. As a rule the age itself;
// but a local time the clocks skip (a daylight-saving gap) reads back moved on by the gap, and
// a moment outside the range the folder's file system keeps reads back clamped to its limit.
// Comparing a server's age with a local file's in this form lets a file fetched once compare
// equal on the next run. False when no file can carry the age: the zone's rules move it out
// of the range of ages, or the file system refuses it.
bool TryStampedAge(TDateTime age, std::string_view folder, TDateTime& stamped);

// Creates the folder and every missing parent. A failure to create is not reported: the
// result only says whether the folder exists afterwards.
bool ForceDirectories(std::string_view path);

// A new file written beside its target under a temporary name and put in the target's place
// only by Commit. Until then the target is untouched; a replacement that is not committed
// removes its temporary file, so a failed write never leaves a partial file behind.
class TReplacementFile {
public:
    // Creates the empty temporary file in the target's folder with the given permission bits
    // (the process's umask applies). Throws EOSError with the system's message when the folder
    // is missing or closed to writing.
    explicit TReplacementFile(std::string_view target, unsigned permissions = 0666);
    ~TReplacementFile();
    TReplacementFile(const TReplacementFile&) = delete;
    TReplacementFile& operator=(const TReplacementFile&) = delete;

    // Appends bytes. Throws EOSError (a full disk, a file size limit) with the system's message.
    void Write(const void* data, size_t size);

    // Appends everything from the current position of an open file to its end with the kernel's
    // copy; returns the number of bytes copied. Throws EOSError as Write does.
    std::size_t CopyFrom(int sourceHandle);

    // Sets the last-write time from an age read as local time, closes the file and renames it
    // over the target. Throws EOSError when any step fails; the target is then as it was.
    void Commit(TDateTime age);

    const std::string& TemporaryName() const { return FTemporary; }

private:
    void Discard() noexcept;

    std::string FTarget;    // native
    std::string FTemporary; // native
    int FHandle = -1;
    bool FCommitted = false;
};

// Copies source over target: the bytes go to a temporary file beside the target, which is
// stamped with age and then renamed over the target. On any failure the temporary file is
// removed and the target, if there was one, stays as it was. The target's folder must exist;
// the copy gets the source's permission bits. A source that changes while it is copied fails
// the copy rather than leave a mixed file stamped as current.
void CopyFileReplacing(std::string_view source, std::string_view target, TDateTime age);

} // namespace corvane
