#include "update/StreamSha256.h"

#include "update/RunningThreads.h"

#include <utility>

namespace corvane {

StreamSha256::StreamSha256(std::optional<std::uint64_t> expectedSize)
    : threaded_(!expectedSize || *expectedSize >= kThreadFrom) {
    if (!threaded_)
        return;
    worker_ = std::thread([this, running = RunningThreads::Enter()]() mutable {
        Work();
        running.Release();
    });
}

StreamSha256::~StreamSha256() {
    if (!worker_.joinable())
        return;
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

std::vector<char> StreamSha256::Pass(std::vector<char> block) {
    if (!threaded_) {
        hash_.Update(block.data(), block.size());
        block.clear();
        return block;
    }
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return waiting_.size() < kBlocksWaiting || error_; });
    if (error_)
        std::rethrow_exception(error_);
    waiting_.push_back(std::move(block));
    std::vector<char> empty;
    if (!spare_.empty()) {
        empty = std::move(spare_.back());
        spare_.pop_back();
    }
    guard.unlock();
    changed_.notify_all();
    empty.clear();
    return empty;
}

Sha256Digest StreamSha256::Finish() {
    if (threaded_) {
        {
            std::lock_guard guard(lock_);
            finishing_ = true;
        }
        changed_.notify_all();
        worker_.join();
        if (error_)
            std::rethrow_exception(error_);
    }
    return hash_.Finish();
}

void StreamSha256::Work() {
    std::unique_lock guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return stopping_ || finishing_ || !waiting_.empty(); });
        if (stopping_ || waiting_.empty())
            return; // stopped, or finishing with every block hashed
        std::vector<char> block = std::move(waiting_.front());
        waiting_.pop_front();
        guard.unlock();
        std::exception_ptr error;
        try {
            hash_.Update(block.data(), block.size());
        } catch (...) {
            error = std::current_exception();
        }
        guard.lock();
        if (error) {
            error_ = error;
            changed_.notify_all();
            return;
        }
        spare_.push_back(std::move(block));
        changed_.notify_all();
    }
}

} // namespace corvane
