#include "update/RunLog.h"

#include "platform/DateTime.h"
#include "platform/LogFile.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Trace.h"
#include "update/Iso8601.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <atomic>
#include <exception>
#include <string_view>

namespace corvane {

namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

std::string NewRunId() {
    static std::atomic<unsigned> runs{0};
    return std::to_string(CurrentProcessId()) + '-' + std::to_string(++runs);
}

void Text(JsonWriter& writer, std::string_view value) {
    writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

void Age(JsonWriter& writer, const std::optional<DateTime>& age) {
    if (age)
        Text(writer, DateToISO8601(*age));
    else
        writer.Null();
}

// A line's opening members: when, which run, what.
void Open(JsonWriter& writer, const std::string& runId, const char* event) {
    writer.StartObject();
    writer.Key("time");
    Text(writer, DateToISO8601(Now()));
    writer.Key("run");
    Text(writer, runId);
    writer.Key("event");
    writer.String(event);
}

std::string Close(JsonWriter& writer, const rapidjson::StringBuffer& buffer) {
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::uint64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
}

} // namespace

struct RunLog::FileLine {
    const std::string& file;
    const char* decision;
    std::optional<DateTime> localAge;
    std::optional<DateTime> serverAge;
    std::optional<std::uint64_t> bytes;
    std::optional<std::uint64_t> milliseconds;
    const std::string* error = nullptr;
    const std::optional<Sha256Digest>* sha256 = nullptr;
};

std::string DefaultRunLogPath() {
    try {
        return JoinPath(ExtractFilePath(ExecutablePath()), "Logs\\corvane-update.log");
    } catch (const std::exception&) {
        return {};
    }
}

RunLog::RunLog(std::string path, const std::string& module, const std::string& source,
               const std::string& version)
    : path_(std::move(path)), runId_(NewRunId()) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    Open(writer, runId_, "start");
    writer.Key("module");
    Text(writer, module);
    writer.Key("source");
    Text(writer, source);
    writer.Key("version");
    Text(writer, version);
    std::lock_guard guard(lock_);
    Append(Close(writer, buffer));
}

void RunLog::FileCompared(const FileComparison& comparison) {
    std::optional<DateTime> serverAge;
    if (comparison.serverFile)
        serverAge = comparison.serverFile->age;
    std::lock_guard guard(lock_);
    ++totals_.files;
    if (comparison.queued) {
        queued_[comparison.fileName] = {
            comparison.localAge, serverAge,
            comparison.serverFile ? comparison.serverFile->sha256 : std::nullopt, Clock::now(), 0};
        return;
    }
    const bool onServer = comparison.serverFile != nullptr;
    ++(onServer ? totals_.current : totals_.notOnServer);
    WriteFileLine({comparison.fileName, onServer ? "current" : "notOnServer", comparison.localAge,
                   serverAge, std::nullopt, std::nullopt});
}

void RunLog::FolderFailed(const std::string& folderName, const std::string& message) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    Open(writer, runId_, "folder");
    writer.Key("folder");
    Text(writer, folderName);
    writer.Key("error");
    Text(writer, message);
    std::lock_guard guard(lock_);
    Append(Close(writer, buffer));
}

void RunLog::FileStarted(const std::string& fileName) {
    std::lock_guard guard(lock_);
    if (const auto file = queued_.find(fileName); file != queued_.end())
        file->second.started = Clock::now();
}

void RunLog::BytesArrived(const std::string& fileName, std::uint64_t bytes) {
    std::lock_guard guard(lock_);
    if (const auto file = queued_.find(fileName); file != queued_.end())
        file->second.bytes += bytes;
}

void RunLog::FileDone(const std::string& fileName, FileOutcome outcome,
                      const std::string& message) {
    std::lock_guard guard(lock_);
    const auto file = queued_.find(fileName);
    if (file == queued_.end())
        return;
    const Queued& queued = file->second;
    const char* decision = "current";
    switch (outcome) {
    case FileOutcome::Updated:
        decision = "fetched";
        ++totals_.fetched;
        break;
    case FileOutcome::AlreadyCurrent:
        ++totals_.current;
        break;
    case FileOutcome::Failed:
        decision = "failed";
        ++totals_.failed;
        break;
    }
    totals_.bytes += queued.bytes;
    WriteFileLine({fileName, decision, queued.localAge, queued.serverAge, queued.bytes,
                   MillisecondsSince(queued.started),
                   outcome == FileOutcome::Failed ? &message : nullptr, &queued.sha256});
    queued_.erase(file);
}

void RunLog::RunEnded(const std::string& error) {
    std::lock_guard guard(lock_);
    if (ended_)
        return;
    ended_ = true;
    // A file whose job never ran (the run broke off while queueing) is not left out.
    const std::string unfinished = error.empty() ? std::string("Unknown exception") : error;
    for (const auto& [fileName, queued] : queued_) {
        ++totals_.failed;
        WriteFileLine({fileName, "failed", queued.localAge, queued.serverAge, queued.bytes,
                       std::nullopt, &unfinished, &queued.sha256});
    }
    queued_.clear();
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    Open(writer, runId_, "end");
    for (const auto& [name, value] :
         {std::pair{"files", totals_.files}, std::pair{"current", totals_.current},
          std::pair{"fetched", totals_.fetched}, std::pair{"failed", totals_.failed},
          std::pair{"notOnServer", totals_.notOnServer}, std::pair{"bytes", totals_.bytes},
          std::pair{"ms", MillisecondsSince(start_)}}) {
        writer.Key(name);
        writer.Uint64(value);
    }
    if (!error.empty()) {
        writer.Key("error");
        Text(writer, error);
    }
    Append(Close(writer, buffer));
}

void RunLog::WriteFileLine(const FileLine& line) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    Open(writer, runId_, "file");
    writer.Key("file");
    Text(writer, line.file);
    writer.Key("decision");
    writer.String(line.decision);
    writer.Key("localAge");
    Age(writer, line.localAge);
    writer.Key("serverAge");
    Age(writer, line.serverAge);
    if (line.bytes) {
        writer.Key("bytes");
        writer.Uint64(*line.bytes);
    }
    if (line.milliseconds) {
        writer.Key("ms");
        writer.Uint64(*line.milliseconds);
    }
    if (line.error) {
        writer.Key("error");
        Text(writer, *line.error);
    }
    if (line.sha256 && *line.sha256) {
        writer.Key("sha256");
        Text(writer, Sha256Hex(**line.sha256));
    }
    Append(Close(writer, buffer));
}

void RunLog::Append(const std::string& json) {
    if (path_.empty())
        return;
    try {
        AppendToLog(path_, json + '\n', kRunLogMaxBytes);
    } catch (const std::exception& e) {
        if (!failureTraced_) {
            failureTraced_ = true;
            try {
                WriteTraceLine("Log não gravado: " + path_ + ": " + e.what());
            } catch (...) {
            }
        }
    } catch (...) {
    }
}

} // namespace corvane
