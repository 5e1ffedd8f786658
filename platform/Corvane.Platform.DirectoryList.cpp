#include "Corvane.Platform.DirectoryList.h"

#include "Corvane.Errors.h"
#include "Corvane.Platform.Files.h"
#include "Corvane.Platform.Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace corvane {

namespace {

// Decodes the code point that starts at text[pos]; false for ill-formed UTF-8.
bool DecodeUtf8(std::string_view text, size_t pos, char32_t& cp, size_t& length) {
    const auto b0 = static_cast<unsigned char>(text[pos]);
    if (b0 < 0x80) {
        cp = b0;
        length = 1;
        return true;
    }
    size_t extra = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return false;
    }
    if (pos + extra >= text.size())
        return false;
    for (size_t i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(text[pos + i]);
        if ((b & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    length = extra + 1;
    return true;
}

// A key whose order is the order of the code point's first UTF-16 code unit: code points
// above U+FFFF are written with surrogates (0xD800-0xDBFF), which sort below U+E000-U+FFFF.
char32_t Utf16OrderKey(char32_t cp) {
    return cp >= 0xE000 && cp <= 0xFFFF ? cp + 0x200000 : cp;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct TFolderId {
    dev_t Device;
    ino_t Inode;
    friend bool operator==(const TFolderId&, const TFolderId&) = default;
};

struct TPendingFolder {
    std::string Native;           // native path, ending in '/'
    std::string Prefix;           // the names' prefix: root as passed, subfolders, backslashes
    std::vector<TFolderId> Above; // the folders this one was reached through
};

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

size_t Utf16Length(std::string_view text) {
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        size_t length = 1;
        if (!DecodeUtf8(text, i, cp, length)) {
            cp = 0; // an ill-formed byte counts as one unit
            length = 1;
        }
        units += cp > 0xFFFF ? 2 : 1;
        i += length;
    }
    return units;
}

bool OrdinalLess(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    while (i < common && a[i] == b[i])
        ++i;
    if (i == common)
        return a.size() < b.size();
    // Both texts share everything before i, so the code point that holds byte i starts at the
    // same place in both.
    size_t start = i;
    while (start > 0 && (static_cast<unsigned char>(a[start]) & 0xC0) == 0x80)
        --start;
    char32_t ca = 0, cb = 0;
    size_t la = 0, lb = 0;
    if (DecodeUtf8(a, start, ca, la) && DecodeUtf8(b, start, cb, lb))
        return Utf16OrderKey(ca) < Utf16OrderKey(cb);
    return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
}

std::vector<TListedFile> ListFilesWithAges(std::string_view root) {
    CheckPathChars(root);
    if (Utf16Length(root) >= MaxListingRootLength)
        throw EPathTooLongException("The specified path is too long");
    if (root.empty())
        throw EDirectoryNotFoundException("The specified path was not found");

    std::string rootNative = ToNativePath(root);
    if (rootNative.back() != '/')
        rootNative += '/';

    std::vector<TListedFile> files;
    std::vector<TPendingFolder> pending;
    pending.push_back({rootNative, std::string(root), {}});
    bool isRoot = true;

    while (!pending.empty()) {
        TPendingFolder folder = std::move(pending.back());
        pending.pop_back();

        const int fd = ::open(folder.Native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (!isRoot)
                continue; // a subfolder that vanished or is closed to us is left out
            if (error == ENOENT || error == ENOTDIR)
                throw EDirectoryNotFoundException("The specified path was not found");
            if (error == ENAMETOOLONG)
                throw EPathTooLongException("The specified path is too long");
            throw EOSError(SystemErrorMessage(error), error);
        }
        std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
        if (!dir) {
            const int error = errno;
            ::close(fd);
            if (!isRoot)
                continue;
            throw EOSError(SystemErrorMessage(error), error);
        }
        isRoot = false;

        struct stat self {};
        if (::fstat(fd, &self) != 0)
            continue;
        const TFolderId id{self.st_dev, self.st_ino};
        if (std::find(folder.Above.begin(), folder.Above.end(), id) != folder.Above.end())
            continue; // a link back into a folder above: listing it again would never end

        errno = 0;
        while (const dirent* entry = ::readdir(dir.get())) {
            const char* name = entry->d_name;
            if (IsDotOrDotDot(name))
                continue;
            unsigned char type = entry->d_type;
            struct statx sx {};
            bool haveStat = false;
            if (type == DT_REG) {
                haveStat =
                    ::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MTIME, &sx) == 0;
            } else if (type == DT_LNK || type == DT_UNKNOWN) {
                // Links are followed; the one call tells both the kind and the time.
                if (::statx(fd, name, AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MTIME, &sx) == 0) {
                    haveStat = true;
                    type = S_ISDIR(sx.stx_mode) ? DT_DIR : S_ISREG(sx.stx_mode) ? DT_REG : 0;
                } else {
                    type = DT_REG; // a dangling link: listed, but without an age
                }
            }
            if (type == DT_DIR) {
                TPendingFolder child{folder.Native + name + '/', folder.Prefix + name + '\\',
                                     folder.Above};
                child.Above.push_back(id);
                pending.push_back(std::move(child));
            } else if (type == DT_REG) {
                // Pipes, sockets and devices are not files to copy: reading a pipe would wait
                // for a writer that never comes.
                TListedFile file;
                file.FileName = folder.Prefix + name;
                file.AgeRead = haveStat && TryAgeFromUnixTime(sx.stx_mtime.tv_sec,
                                                              sx.stx_mtime.tv_nsec, file.Age);
                files.push_back(std::move(file));
            }
        }
    }

    std::sort(files.begin(), files.end(), [](const TListedFile& x, const TListedFile& y) {
        return OrdinalLess(x.FileName, y.FileName);
    });
    return files;
}

} // namespace corvane
