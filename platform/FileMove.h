// The file operations of the launcher's self-replacement: the current folder, copying a file
// over another, deleting and moving (renaming) one. Paths are system paths (backslashes
// allowed); they are made native here. None of them throws: each says whether it worked.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The process's current folder, without a trailing delimiter; "" when it cannot be read.
std::string GetCurrentDir();

// Copies the file at from to to, replacing a file already there. The copy keeps the source's
// permissions, so a copied executable stays executable.
bool CopyFileOver(std::string_view from, std::string_view to);

// Deletes the file at path. True when no file is left there, also when there was none.
bool DeleteFileAt(std::string_view path);

// Moves (renames) the file at from to to, in one step; a running executable may be moved.
// Refuses when a file already exists at to, so nothing is ever overwritten by a move.
bool MoveFileTo(std::string_view from, std::string_view to);

} // namespace corvane
