// The log of update runs that support staff read afterwards: JSON lines appended to
// Logs/corvane-update.log in the executable's folder, rotated to one .1 file at 1 MB. A run
// writes its start, one line for each file of its local list, and its end with the totals; the
// lines of runs that overlap (two clicks, the launcher and corvane-update) carry the run's id.
//
//   auto log = std::make_shared<RunLog>(DefaultRunLogPath(), "Estoque.exe", url, version);
//   ModuleFilesUpdater::New(local, server, url, done, log)->Execute("Estoque.exe", true);
//
// The lines, one JSON object each ("time" is the local clock, ages are as the service lists
// them, null for a file that is not there):
//   {"time":"2024-05-01T10:20:30.123","run":"4711-1","event":"start","module":"Estoque.exe",
//    "source":"http://srv01:8080","version":"2019.1.0.4"}
//   {"time":..,"run":..,"event":"file","file":"central.ini","decision":"fetched",
//    "localAge":"2024-04-02T08:00:00.000","serverAge":"2024-05-01T09:00:00.000",
//    "bytes":1024,"ms":12,"sha256":".."}
//   {"time":..,"run":..,"event":"folder","folder":"Relatorio","error":"Permission denied"}
//   {"time":..,"run":..,"event":"end","files":47,"current":44,"fetched":2,"failed":1,
//    "notOnServer":0,"bytes":2048,"ms":830}
// A file's decision is "current" (its copy carries the server's age, or another run brought
// it there meanwhile), "fetched", "failed" (with "error") or "notOnServer" (left as it is);
// "sha256" is the hash the download was checked against, when the listing gave one. The end
// carries "error" when the run could not be done. Writing never fails a run: a line that
// cannot be written is dropped, and the first such failure is traced.
#pragma once

#include "update/FilesUpdater.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace corvane {

// The log's size limit; past it the file becomes NAME.1.
inline constexpr std::uint64_t kRunLogMaxBytes = std::uint64_t{1} << 20;

// Logs/corvane-update.log in the folder of this process's executable; empty when the
// executable's path cannot be told.
std::string DefaultRunLogPath();

class RunLog final : public FilesUpdaterObserver {
public:
    // Writes the run's start line: the module (empty for the shared files alone), the source
    // (the service's URL or the server folder) and the launcher's version.
    RunLog(std::string path, const std::string& module, const std::string& source,
           const std::string& version);

    void FileCompared(const FileComparison& comparison) override;
    void FolderFailed(const std::string& folderName, const std::string& message) override;
    void FileStarted(const std::string& fileName) override;
    void BytesArrived(const std::string& fileName, std::uint64_t bytes) override;
    void FileDone(const std::string& fileName, FileOutcome outcome,
                  const std::string& message) override;
    void RunEnded(const std::string& error) override;

    const std::string& RunId() const { return runId_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Queued {
        std::optional<DateTime> localAge;
        std::optional<DateTime> serverAge;
        std::optional<Sha256Digest> sha256;
        Clock::time_point started;
        std::uint64_t bytes = 0;
    };
    struct Totals {
        std::uint64_t files = 0, current = 0, fetched = 0, failed = 0, notOnServer = 0;
        std::uint64_t bytes = 0;
    };
    struct FileLine;

    void WriteFileLine(const FileLine& line);
    // Appends one JSON line; lock_ held. Never raises.
    void Append(const std::string& json);

    const std::string path_;
    const std::string runId_;
    const Clock::time_point start_ = Clock::now();
    std::mutex lock_;
    std::unordered_map<std::string, Queued> queued_; // files to fetch not yet done
    Totals totals_;
    bool failureTraced_ = false;
    bool ended_ = false;
};

} // namespace corvane
