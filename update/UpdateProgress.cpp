#include "update/UpdateProgress.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace corvane {

namespace {

// A whole number with its thousands grouped by full stops, as Portuguese writes them.
std::string Grouped(std::uint64_t value) {
    // Built forwards, one character at a time: GCC 12 at -O3 falsely warns (-Wrestrict) on
    // inserting into the digits.
    const std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            grouped.push_back('.');
        grouped.push_back(digits[i]);
    }
    return grouped;
}

std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t unit) {
    return value / unit + (value % unit != 0 ? 1 : 0);
}

} // namespace

std::string ProgressText(const ProgressFigures& figures) {
    if (figures.filesToFetch == 0)
        return {};
    std::string text = Grouped(figures.filesDone) + " de " + Grouped(figures.filesToFetch) +
                       (figures.filesToFetch == 1 ? " arquivo" : " arquivos");
    if (figures.bytesKnown && figures.bytesToFetch > 0) {
        const bool kilobytes = figures.bytesToFetch < (std::uint64_t{1} << 20);
        const std::uint64_t unit = kilobytes ? std::uint64_t{1} << 10 : std::uint64_t{1} << 20;
        // The total rounded up and the part done down, so the two meet only at the end.
        const std::uint64_t total = CeilDiv(figures.bytesToFetch, unit);
        const std::uint64_t done = figures.bytesDone >= figures.bytesToFetch
                                       ? total
                                       : std::min(figures.bytesDone / unit, total);
        text += " · " + Grouped(done) + " de " + Grouped(total) + (kilobytes ? " KB" : " MB");
    }
    return text;
}

double ProgressShare(const ProgressFigures& figures) {
    if (figures.bytesKnown && figures.bytesToFetch > 0)
        return std::min(1.0, static_cast<double>(figures.bytesDone) /
                                 static_cast<double>(figures.bytesToFetch));
    if (figures.filesToFetch > 0)
        return std::min(1.0, static_cast<double>(figures.filesDone) /
                                 static_cast<double>(figures.filesToFetch));
    return 0.0;
}

struct UpdateProgress::State {
    mutable std::mutex lock;
    ProgressFigures figures;
};

// Feeds the figures from one run. A file's bytes count up to its listed size as they come and
// in full once it is done, whatever became of it, so the bytes reach their total with the
// files.
class UpdateProgress::Feed final : public FilesUpdaterObserver {
public:
    explicit Feed(std::shared_ptr<State> state) : state_(std::move(state)) {}

    void FileCompared(const FileComparison& comparison) override {
        if (!comparison.queued)
            return;
        std::optional<std::uint64_t> size;
        if (comparison.serverFile)
            size = comparison.serverFile->size;
        std::lock_guard guard(state_->lock);
        ProgressFigures& figures = state_->figures;
        ++figures.filesToFetch;
        if (size)
            figures.bytesToFetch += *size;
        else
            figures.bytesKnown = false;
        files_[comparison.fileName] = {size, 0};
    }

    void BytesArrived(const std::string& fileName, std::uint64_t bytes) override {
        std::lock_guard guard(state_->lock);
        const auto file = files_.find(fileName);
        if (file == files_.end())
            return;
        Count(file->second, file->second.received + bytes);
    }

    void FileDone(const std::string& fileName, FileOutcome, const std::string&) override {
        std::lock_guard guard(state_->lock);
        const auto file = files_.find(fileName);
        if (file == files_.end())
            return;
        ++state_->figures.filesDone;
        if (file->second.size)
            Count(file->second, *file->second.size);
        files_.erase(file);
    }

private:
    struct File {
        std::optional<std::uint64_t> size;
        std::uint64_t received = 0;
    };

    // Brings the file's received bytes to received, counting no more than its size; lock held.
    void Count(File& file, std::uint64_t received) {
        const auto counted = [&file](std::uint64_t bytes) {
            return file.size ? std::min(bytes, *file.size) : bytes;
        };
        state_->figures.bytesDone += counted(received) - counted(file.received);
        file.received = received;
    }

    const std::shared_ptr<State> state_;
    std::unordered_map<std::string, File> files_; // files to fetch not yet done
};

UpdateProgress::UpdateProgress() : state_(std::make_shared<State>()) {}

std::shared_ptr<FilesUpdaterObserver> UpdateProgress::Observer() {
    return std::make_shared<Feed>(state_);
}

ProgressFigures UpdateProgress::Read() const {
    std::lock_guard guard(state_->lock);
    return state_->figures;
}

void UpdateProgress::Reset() {
    state_ = std::make_shared<State>();
}

} // namespace corvane
