// Random access to the bytes of one file, and the file's size. Readers of file formats take
// only the few pieces they need, so a large executable on a server share is never read whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace corvane {

// One open regular file, read by offset. Opening never blocks (a pipe or a device under the
// name is refused) and never throws: a file that cannot be opened is simply not open.
class TFileBytes {
public:
    explicit TFileBytes(std::string_view path);
    ~TFileBytes();
    TFileBytes(const TFileBytes&) = delete;
    TFileBytes& operator=(const TFileBytes&) = delete;

    bool IsOpen() const { return FHandle >= 0; }

    // The size the file had when it was opened; 0 when it is not open.
    uint64_t Size() const { return FSize; }

    // Fills into with the bytes at offset. False when the file is not open, when the range
    // is not wholly inside the file, or when the read fails or comes back short (a file cut
    // while it is being read).
    bool ReadAt(uint64_t offset, std::span<std::byte> into) const;

private:
    int FHandle = -1;
    uint64_t FSize = 0;
};

// The size of a regular file in bytes, or -1 when there is none at the path (missing, a
// folder, a device) or it cannot be examined.
int64_t FileSizeOf(std::string_view path);

} // namespace corvane
