// A local file written from its start, as a download writes it, and the checked deletion that
// removes it again when the download fails.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// A file created when missing and emptied when present, open for reading and writing and shared
// with no one while it is open: another TFileStream on the same file, in this or another
// process, fails with the system's message for a file in use. New files get the normal
// permissions (every access the umask leaves), so a fetched program can be started.
class TFileStream {
public:
    // Throws EOSError "Cannot create file \"<path>\". <system message>".
    explicit TFileStream(std::string_view path);
    // Closes the file when Close was not called; errors are ignored then.
    ~TFileStream();
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    // Appends the bytes. Throws EOSError "Cannot write file \"<path>\". <system message>" when
    // they cannot all be written (a full disk, a file size limit).
    void Write(const char* data, size_t size);

    // Closes the file. Throws EOSError "Cannot close file \"<path>\". <system message>".
    void Close();

    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    int FHandle = -1;
};

// Deletes a file after testing its path: 260 characters (UTF-16 code units) or more raise
// EPathTooLongException "The specified path is too long", a character not allowed in paths
// EArgumentException "Invalid characters in path", a folder that does not exist
// EDirectoryNotFoundException "The specified path was not found". A deletion that fails because the
// file does not exist, access is denied or the file is in use (open in a TFileStream) raises
// EOSError with the system's message; any other failure is ignored.
void DeleteFileChecked(std::string_view path);

} // namespace corvane
