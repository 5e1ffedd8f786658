// The file system as the launcher and the updater use it: existence, folders, listing a tree
// with ages, copying, moving, deleting, streams of bytes and text files. Paths are system paths
// (backslashes allowed between folders); they are made native here. File ages are in
// platform/FileTime.h, the path rules in platform/Paths.h.
//
//     ForceDirectories("C:\\Corvane\\Relatorio");
//     CopyFileReplacing("\\\\srv01\\corvane\\Relatorio\\Layout01.rav",
//                       "C:\\Corvane\\Relatorio\\Layout01.rav", serverAge, FilePermissions::Data);
//     RemoveAbandonedReplacementFiles("C:\\Corvane\\Relatorio"); // what killed runs left
#pragma once

#include "platform/DateTime.h"
#include "platform/Handles.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// --- Existence and folders -------------------------------------------------------------------

// A file, not a folder, exists at the path; links are followed.
bool FileExists(std::string_view path);

// A folder exists at the path; links are followed.
bool DirectoryExists(std::string_view path);

// Creates one folder (its parent must exist). False when it could not be created.
bool CreateDir(std::string_view path);

// Creates the folder and every missing parent. A failure to create is not reported: the
// result only says whether the folder exists afterwards.
bool ForceDirectories(std::string_view path);

// The process's current folder, without a trailing delimiter; "" when it cannot be read.
std::string GetCurrentDir();

// --- Listing a tree --------------------------------------------------------------------------

struct ListedFile {
    // The root exactly as passed, then the subfolders and the name joined by backslashes.
    std::string fileName;
    // The file's last-write time in local time; nothing when it could not be read (the file
    // vanished while the tree was listed, or a link leads nowhere).
    std::optional<DateTime> age;
};

// A folder below the root whose entries could not be read (no permission, a read error).
struct UnreadFolder {
    // The root exactly as passed, then the subfolders joined by backslashes; no separator at
    // the end.
    std::string folderName;
    int errorCode = 0;
    std::string message; // the system's message for ErrorCode
};

// Lists every file (not folder) under root, in every subfolder, hidden files included, with
// one metadata call per file, and sorts the result with OrdinalLess. root should end with a
// separator: names are root + relative name. Links are followed; a link that leads back into a
// folder being listed is not entered again. A subfolder that cannot be read is left out and
// told in unreadFolders (sorted with OrdinalLess); one that vanished while the tree was listed
// is left out without a word, as its files are gone. Throws ArgumentException("Invalid
// characters in path"), PathTooLongException("The specified path is too long") for a root of
// kMaxListingRootLength or more, DirectoryNotFoundException("The specified path was not
// found") for an empty root or one that is not an existing folder, and SystemError with the
// system's message when it cannot be read.
std::vector<ListedFile> ListFilesWithAges(std::string_view root,
                                          std::vector<UnreadFolder>& unreadFolders);
// The same, for callers that need not know which subfolders could not be read.
std::vector<ListedFile> ListFilesWithAges(std::string_view root);

// --- Copying, moving, deleting ---------------------------------------------------------------

// What a file written here is for, whatever the file it was copied from allowed: a server
// share may present a program without the right to run it. Both get every access the
// system's default for new files leaves (the umask on POSIX); a program may also be started.
enum class FilePermissions {
    Data,
    Program,
};

// A new file written beside its target under a temporary name and put in the target's place
// only by Commit. Until then the target is untouched; a replacement that is not committed
// removes its temporary file, so a failed write never leaves a partial file behind. Its writer
// holds the temporary file exclusively from before its name can be seen until it is renamed or
// removed, so RemoveAbandonedReplacementFiles tells it from one an interrupted writer left.
class ReplacementFile {
public:
    // Creates the empty temporary file in the target's folder. Throws SystemError with the
    // system's message when the folder is missing or closed to writing.
    explicit ReplacementFile(std::string_view target,
                             FilePermissions permissions = FilePermissions::Data);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Appends bytes. Throws SystemError (a full disk, a file size limit) with the system's message.
    void Write(const void* data, std::size_t size);

    // Sets the last-write time from an age read as local time, closes the file and renames it
    // over the target. Throws SystemError when any step fails; the target is then as it was.
    void Commit(DateTime age);

    const std::string& TemporaryName() const { return temporary_; }

private:
    friend void CopyFileReplacing(std::string_view, std::string_view, DateTime, FilePermissions);
    friend bool CopyFileOver(std::string_view, std::string_view, FilePermissions);

    // Closes the file and renames it over the target, still holding it until it is renamed.
    void Publish();

    // Appends everything from the current position of an open file to its end with the
    // system's own copy; returns the number of bytes copied. Throws SystemError as Write does.
    std::size_t CopyFrom(FileHandle source);
    void Discard() noexcept;

    std::string target_;    // native
    std::string temporary_; // native
    FileHandle handle_ = FileHandle::None;
    bool committed_ = false;
};

// Copies source over target: the bytes go to a temporary file beside the target, which is
// stamped with age and then renamed over the target. On any failure the temporary file is
// removed and the target, if there was one, stays as it was. The target's folder must exist;
// the copy gets the given permissions, not the source's. A source that changes while it is
// copied fails the copy rather than leave a mixed file stamped as current. Both paths are
// checked with CheckPathLength and CheckPathChars first.
void CopyFileReplacing(std::string_view source, std::string_view target, DateTime age,
                       FilePermissions permissions);

// Copies the file at from to to, replacing a file already there in one step, and says whether
// it worked. The copy gets the given permissions, not the source's.
bool CopyFileOver(std::string_view from, std::string_view to, FilePermissions permissions);

// Removes from folder (not its subfolders) the temporary files of replacements whose writers
// were interrupted (a process killed mid-copy, a power cut): only names a ReplacementFile
// makes, and only those that no live writer, in this process or another, still holds. Raises
// nothing: a folder that cannot be read, or a file that cannot be removed, stays as it is for
// a later call. Returns how many files it removed.
std::size_t RemoveAbandonedReplacementFiles(std::string_view folder);

// Moves (renames) the file at from to to, in one step; a running executable may be moved.
// Refuses when a file already exists at to, so nothing is ever overwritten by a move.
bool MoveFileTo(std::string_view from, std::string_view to);

// Deletes the file at path. True when no file is left there, also when there was none.
bool DeleteFileAt(std::string_view path);

// Deletes a file after testing its path: 260 characters (UTF-16 code units) or more raise
// PathTooLongException "The specified path is too long", a character not allowed in paths
// ArgumentException "Invalid characters in path", a folder that does not exist
// DirectoryNotFoundException "The specified path was not found". A deletion that fails because
// the file does not exist, access is denied or the file is in use (open in a FileStream)
// raises SystemError with the system's message; any other failure is ignored.
void DeleteFileChecked(std::string_view path);

// --- Streams of bytes ------------------------------------------------------------------------

// A local file written from its start, as a download writes it: created when missing and
// emptied when present, open for reading and writing and shared with no one while it is open:
// another FileStream on the same file, in this or another process, fails with the system's
// message for a file in use. New files get the normal permissions (every access the umask
// leaves), so a fetched program can be started.
class FileStream {
public:
    // Throws SystemError "Cannot create file \"<path>\". <system message>".
    explicit FileStream(std::string_view path);
    // Closes the file when Close was not called; errors are ignored then.
    ~FileStream();
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Appends the bytes. Throws SystemError "Cannot write file \"<path>\". <system message>" when
    // they cannot all be written (a full disk, a file size limit).
    void Write(const char* data, std::size_t size);

    // Closes the file. Throws SystemError "Cannot close file \"<path>\". <system message>".
    void Close();

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    FileHandle handle_ = FileHandle::None;
};

// Random access to the bytes of one regular file. Readers of file formats take only the few
// pieces they need, so a large executable on a server share is never read whole. Opening never
// blocks (a pipe or a device under the name is refused) and never throws: a file that cannot
// be opened is simply not open.
class FileBytes {
public:
    explicit FileBytes(std::string_view path);
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool IsOpen() const { return handle_ != FileHandle::None; }

    // The size the file had when it was opened; 0 when it is not open.
    std::uint64_t Size() const { return size_; }

    // Fills into with the bytes at offset. False when the file is not open, when the range
    // is not wholly inside the file, or when the read fails or comes back short (a file cut
    // while it is being read).
    bool ReadAt(std::uint64_t offset, std::span<std::byte> into) const;

private:
    FileHandle handle_ = FileHandle::None;
    std::uint64_t size_ = 0;
};

// The size of a regular file in bytes, or -1 when there is none at the path (missing, a
// folder, a device) or it cannot be examined.
std::int64_t FileSizeOf(std::string_view path);

// --- Text files ------------------------------------------------------------------------------

// Reads a whole file into content; false when it cannot be opened or read.
bool ReadWholeFile(std::string_view path, std::string& content);

// The text of a file's bytes as UTF-8. A UTF-8 byte-order mark is dropped; a UTF-16 one
// (little or big endian, as Windows editors save "Unicode") decides that encoding; text without
// a mark that is not valid UTF-8 is read as Windows-1252, the code page of the Portuguese
// Windows workstations whose files get copied here. Never fails: what cannot be decoded becomes
// U+FFFD.
std::string TextFileToUtf8(std::string_view bytes);

} // namespace corvane
