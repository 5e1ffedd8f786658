// A download's bytes on their way to its file, gathered into blocks of 256 KiB. The pieces a
// transfer hands over come in uneven sizes at uneven offsets; written as they come, each lands
// in the system's file cache a small page at a time, while a whole block at a block's offset
// lands in large pages: the receiving thread of a large download spends about half the
// processor time, the copy into the block included. The same whole block then goes to the
// download's hash, so checking a download copies nothing of its own.
//
//   DownloadBlocks blocks(file, listedSize, hash);   // hash: null when there is none
//   blocks.Add(data, size);                          // as the bytes arrive
//   blocks.Finish();                                 // the last, partial block
#pragma once

#include "platform/FileSystem.h"
#include "update/StreamSha256.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

class DownloadBlocks {
public:
    static constexpr std::size_t kBlockSize = std::size_t{256} << 10;

    // A stream expected to be smaller than a block gets a block of its size.
    DownloadBlocks(ReplacementFile& file, std::optional<std::uint64_t> expectedSize,
                   StreamSha256* hash);
    DownloadBlocks(const DownloadBlocks&) = delete;
    DownloadBlocks& operator=(const DownloadBlocks&) = delete;

    // Throws what the file's Write and the hash's Pass throw.
    void Add(const char* data, std::size_t size);
    // Writes and hashes what is left. Call once, after the last Add.
    void Finish();

private:
    void PassOn();

    ReplacementFile& file_;
    StreamSha256* const hash_;
    const std::size_t blockSize_;
    std::vector<char> block_;
};

} // namespace corvane
