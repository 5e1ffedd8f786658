// How far the update runs under way have got, for the line under the waiting panel's spinner
// and corvane-update --progress: the files done of the files to fetch, and the bytes when the
// listing gave the size of every file to fetch. The runs' jobs feed it from the pool's threads
// through the observer each run is given; the main thread reads it when it redraws (the
// launcher at most ten times a second).
//
//   UpdateProgress progress;
//   ModuleFilesUpdater::New(local, server, url, done, progress.Observer())->Execute("Estoque.exe",
//   true);
//   ...
//   ShowLine(ProgressText(progress.Read()));   // "3 de 12 arquivos · 45 de 200 MB"
#pragma once

#include "update/FilesUpdater.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

struct ProgressFigures {
    std::size_t filesDone = 0; // fetched, found current meanwhile, or failed
    std::size_t filesToFetch = 0;
    std::uint64_t bytesDone = 0; // of the files to fetch; a file done counts whole
    std::uint64_t bytesToFetch = 0;
    bool bytesKnown = true; // every file to fetch has a listed size
    friend bool operator==(const ProgressFigures&, const ProgressFigures&) = default;
};

// The figures in Portuguese, "3 de 12 arquivos · 45 de 200 MB": the bytes only when known,
// in KB below 1 MB; empty while there is nothing to fetch.
std::string ProgressText(const ProgressFigures& figures);

// The share of the work done, from 0 to 1: by bytes when known, else by files.
double ProgressShare(const ProgressFigures& figures);

class UpdateProgress {
public:
    UpdateProgress();

    // A new observer that feeds this progress from the events of one run.
    std::shared_ptr<FilesUpdaterObserver> Observer();

    // The figures now; any thread.
    ProgressFigures Read() const;

    // Starts again from nothing, for when no run is under way; observers given before keep
    // feeding figures nobody reads.
    void Reset();

private:
    struct State;
    class Feed;
    std::shared_ptr<State> state_;
};

} // namespace corvane
