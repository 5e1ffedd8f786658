// SHA-256 of a download, worked out beside it: for a large stream the thread that receives the
// bytes only copies them into blocks, and a thread of the hash's own hashes the blocks on
// another processor, so checking a file hardly slows its download. A small stream is hashed
// as it comes, where a thread would cost more than it saves.
//
//   StreamSha256 hash(listedSize);   // the size the listing gave, if any
//   hash.Update(data, size);         // as the bytes arrive
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

    void Update(const char* data, std::size_t size);
    // The digest of every byte given. Call once; throws what the hashing threw.
    Sha256Digest Finish();

private:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
    // Blocks waiting to be hashed; past this the receiving thread waits for the hashing one.
    static constexpr std::size_t kBlocksWaiting = 4;

    void HandOver(); // passes the filled block to the thread
    void Work();

    Sha256 hash_;
    const bool threaded_;
    std::vector<char> filling_;
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
