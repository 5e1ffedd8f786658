#include "platform/FileBytes.h"

#include "platform/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

TFileBytes::TFileBytes(std::string_view path) {
    if (path.empty())
        return;
    const std::string native = ToNativePath(path);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return;
    }
    FHandle = fd;
    FSize = static_cast<uint64_t>(st.st_size);
}

TFileBytes::~TFileBytes() {
    if (FHandle >= 0)
        ::close(FHandle);
}

bool TFileBytes::ReadAt(uint64_t offset, std::span<std::byte> into) const {
    if (FHandle < 0 || offset > FSize || into.size() > FSize - offset)
        return false;
    size_t done = 0;
    while (done < into.size()) {
        const ssize_t got = ::pread(FHandle, into.data() + done, into.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

int64_t FileSizeOf(std::string_view path) {
    if (path.empty())
        return -1;
    const std::string native = ToNativePath(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

} // namespace corvane
