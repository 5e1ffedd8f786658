// Bounded reads for the version reader: every read is checked against the source's size, and
// a reader serves a fixed number of reads, so no input can keep it busy for long.
#pragma once

#include "update/VersionInfo.h"

#include <array>
#include <bit>

namespace corvane::versioninfo {

// Enough for every real executable, which needs a few dozen reads; far too few to let a
// damaged file make the reader crawl through gigabytes or around a loop.
constexpr int kMaxReads = 16384;

// a + b, false when the sum does not fit.
inline bool CheckedAdd(uint64_t a, uint64_t b, uint64_t& sum) {
    sum = a + b;
    return sum >= a;
}

class BoundedReader {
public:
    explicit BoundedReader(ByteSource& source) : source_(source), size_(source.Size()) {}

    uint64_t Size() const { return size_; }
    void SetOrder(std::endian order) { order_ = order; }
    std::endian Order() const { return order_; }

    bool Read(uint64_t offset, std::span<std::byte> into) {
        if (reads_ >= kMaxReads)
            return false;
        ++reads_;
        if (offset > size_ || into.size() > size_ - offset)
            return false;
        return source_.ReadAt(offset, into);
    }

    bool U16(uint64_t offset, uint16_t& value) { return Number(offset, value); }
    bool U32(uint64_t offset, uint32_t& value) { return Number(offset, value); }
    bool U64(uint64_t offset, uint64_t& value) { return Number(offset, value); }

    // A number at offset inside a block already read.
    template <typename T> T Get(std::span<const std::byte> block, size_t offset) const {
        T value = 0;
        for (size_t i = 0; i < sizeof(T); ++i) {
            const auto byte = static_cast<T>(std::to_integer<uint8_t>(block[offset + i]));
            if (order_ == std::endian::little)
                value |= static_cast<T>(byte << (8 * i));
            else
                value = static_cast<T>((value << 8) | byte);
        }
        return value;
    }

private:
    template <typename T> bool Number(uint64_t offset, T& value) {
        std::array<std::byte, sizeof(T)> raw;
        if (!Read(offset, raw))
            return false;
        value = Get<T>(raw, 0);
        return true;
    }

    ByteSource& source_;
    uint64_t size_;
    std::endian order_ = std::endian::little;
    int reads_ = 0;
};

std::optional<FileVersionLocation> LocatePEVersion(BoundedReader& reader);
std::optional<FileVersionLocation> LocateElfVersion(BoundedReader& reader);

} // namespace corvane::versioninfo
