// Listing a server folder tree: every file with its age in one pass, sorted ordinally.
#pragma once

#include "platform/DateTime.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct TListedFile {
    // The root exactly as passed, then the subfolders and the name joined by backslashes.
    std::string FileName;
    // The file's last-write time in local time; only meaningful when AgeRead is true.
    TDateTime Age = 0.0;
    // False when the file's time could not be read (it vanished while the tree was listed).
    bool AgeRead = false;
};

// A folder below the root whose entries could not be read (no permission, a read error).
struct TUnreadFolder {
    // The root exactly as passed, then the subfolders joined by backslashes; no separator at
    // the end.
    std::string FolderName;
    int ErrorCode = 0;
    std::string Message; // the system's message for ErrorCode
};

// Roots at or over this length (in UTF-16 code units) are refused.
constexpr size_t MaxListingRootLength = 248;

// Lists every file (not folder) under root, in every subfolder, hidden files included, with
// one metadata call per file, and sorts the result with OrdinalLess. root should end with a
// separator: names are root + relative name. Links are followed; a link that leads back into a
// folder being listed is not entered again. A subfolder that cannot be read is left out and
// told in unreadFolders (sorted with OrdinalLess); one that vanished while the tree was listed
// is left out without a word, as its files are gone. Throws EArgumentException("Invalid characters
// in path"), EPathTooLongException("The specified path is too long") for a root of 248 or more,
// EDirectoryNotFoundException("The specified path was not found") for an empty root or one that
// is not an existing folder, and EOSError with the system's message when it cannot be read.
std::vector<TListedFile> ListFilesWithAges(std::string_view root,
                                           std::vector<TUnreadFolder>& unreadFolders);
// The same, for callers that need not know which subfolders could not be read.
std::vector<TListedFile> ListFilesWithAges(std::string_view root);

// Ordinal order of two UTF-8 texts by their UTF-16 code units, letter case significant (the
// order of the system's sorted name lists). Ill-formed UTF-8 compares by its bytes.
bool OrdinalLess(std::string_view a, std::string_view b);

// The length of a UTF-8 text in UTF-16 code units, the unit of the system's path limits.
size_t Utf16Length(std::string_view text);

} // namespace corvane
