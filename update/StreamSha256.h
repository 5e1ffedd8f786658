// SHA-256 of a download, worked out beside it: for a large stream the thread that receives the
// bytes passes them on in whole blocks, and a thread of the hash's own hashes each block on
// another processor while the next one fills, so checking a file hardly slows its download. A
// small stream is hashed as its blocks come, where a thread would cost more than it saves.
//
//   StreamSha256 hash(listedSize);           // the size the listing gave, if any
//   block = hash.Pass(std::move(block));     // as each block is filled; an empty one comes back
//   if (hash.Finish() != listedHash) ...
#pragma once

#include "platform/Sha256.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace corvane {

class StreamSha256 {
public:
    // Streams of this many bytes or more, and those of unknown length, get a thread.
    static constexpr std::uint64_t kThreadFrom = std::uint64_t{4} << 20;

    // Throws what Sha256 throws, and std::system_error when no thread can be started.
    explicit StreamSha256(std::optional<std::uint64_t> expectedSize);
    // Stops the thread, if any, without finishing.
    ~StreamSha256();
    StreamSha256(const StreamSha256&) = delete;
    StreamSha256& operator=(const StreamSha256&) = delete;

    // Takes a block of the stream, after those passed before, and gives back an empty block to
    // fill next (one hashed earlier, its capacity kept, when there is one). Throws what the
    // hashing threw.
    std::vector<char> Pass(std::vector<char> block);
    // The digest of every byte passed. Call once; throws what the hashing threw.
    Sha256Digest Finish();

private:
    // Blocks waiting to be hashed; past this the receiving thread waits for the hashing one.
    static constexpr std::size_t kBlocksWaiting = 4;

    void Work();

    Sha256 hash_;
    const bool threaded_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::vector<char>> waiting_; // blocks to hash, in order
    std::vector<std::vector<char>> spare_;  // hashed blocks, to be filled again
    bool finishing_ = false;
    bool stopping_ = false;
    std::exception_ptr error_;
    std::thread worker_; // last: it starts once the rest exists
};

} // namespace corvane
