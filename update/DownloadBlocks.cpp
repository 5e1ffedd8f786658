#include "update/DownloadBlocks.h"

#include <algorithm>
#include <utility>

namespace corvane {

DownloadBlocks::DownloadBlocks(ReplacementFile& file, std::optional<std::uint64_t> expectedSize,
                               StreamSha256* hash)
    : file_(file), hash_(hash),
      blockSize_(expectedSize && *expectedSize < kBlockSize
                     ? std::max<std::size_t>(static_cast<std::size_t>(*expectedSize), 1)
                     : kBlockSize) {}

void DownloadBlocks::Add(const char* data, std::size_t size) {
    while (size > 0) {
        if (block_.capacity() < blockSize_)
            block_.reserve(blockSize_);
        const std::size_t taken = std::min(size, blockSize_ - block_.size());
        block_.insert(block_.end(), data, data + taken);
        data += taken;
        size -= taken;
        if (block_.size() == blockSize_)
            PassOn();
    }
}

void DownloadBlocks::Finish() {
    if (!block_.empty())
        PassOn();
}

void DownloadBlocks::PassOn() {
    file_.Write(block_.data(), block_.size());
    if (hash_)
        block_ = hash_->Pass(std::move(block_));
    else
        block_.clear();
}

} // namespace corvane
