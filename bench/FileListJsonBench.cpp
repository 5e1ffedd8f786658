// Reading a listing of 100,000 file records into the record array, against RapidJSON's SAX
// reader alone walking the same text with the same flags and a handler that does nothing.
// Prints the ratio (aim: at most 1.5), then the peak memory of reading the largest listings
// accepted, a realistic one and one of empty objects, as multiples of the input, beside
// RapidJSON's own document.
#include "update/FileListJson.h"

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;

namespace {

constexpr unsigned kFlags = rapidjson::kParseNumbersAsStringsFlag |
                            rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag;

// A listing as the file service sends it: module executables, shared libraries, report
// layouts and configuration files in a few folders, ages in local time with milliseconds.
std::string MakeListing(size_t records, std::uint32_t seed = 1) {
    static const char* const kFolders[] = {"",
                                           "Relatorio\\\\",
                                           "Relatorio\\\\Estoque\\\\",
                                           "Drivers\\\\Impressoras\\\\",
                                           "Config\\\\",
                                           "Relat\\u00f3rios\\\\Cl\\u00ednica\\\\"};
    static const char* const kStems[] = {"Morvik",      "Layout",    "gds32",      "libeay32",
                                         "Faturamento", "Estoque",   "Compras",    "midas",
                                         "ssleay32",    "Assinador", "Prontuario", "Agenda"};
    static const char* const kExts[] = {".exe", ".dll", ".rav", ".ini", ".fr3", ".xml"};
    std::mt19937 random(seed);
    auto pick = [&](auto& list) { return list[random() % std::size(list)]; };
    std::string json = "[";
    char age[64];
    for (size_t i = 0; i < records; ++i) {
        if (i > 0)
            json += ",\n";
        std::snprintf(age, sizeof age, "%04u-%02u-%02uT%02u:%02u:%02u.%03u",
                      2015 + static_cast<unsigned>(random() % 10),
                      1 + static_cast<unsigned>(random() % 12),
                      1 + static_cast<unsigned>(random() % 28),
                      static_cast<unsigned>(random() % 24), static_cast<unsigned>(random() % 60),
                      static_cast<unsigned>(random() % 60), static_cast<unsigned>(random() % 1000));
        json += "{\"fileName\":\"";
        json += pick(kFolders);
        json += pick(kStems);
        json += std::to_string(random() % 1000);
        json += pick(kExts);
        json += "\",\"age\":\"";
        json += age;
        json += "\"}";
    }
    json += "]";
    return json;
}

const std::string& Listing() {
    static const std::string kListing = MakeListing(100'000);
    return kListing;
}

void FromJSONIntoTheArray(benchmark::State& state) {
    const std::string& json = Listing();
    FileRecordList files;
    for (auto _ : state) {
        FileRecordListJson::FromJSON(files, json);
        benchmark::DoNotOptimize(files);
        state.PauseTiming();
        files = FileRecordList();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}
BENCHMARK(FromJSONIntoTheArray)->Unit(benchmark::kMillisecond)->Repetitions(9);

void BareRapidJsonReader(benchmark::State& state) {
    const std::string& json = Listing();
    for (auto _ : state) {
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::Reader reader;
        rapidjson::MemoryStream stream(json.data(), json.size());
        reader.Parse<kFlags>(stream, handler);
        if (reader.HasParseError())
            state.SkipWithError("parse error");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}
BENCHMARK(BareRapidJsonReader)->Unit(benchmark::kMillisecond)->Repetitions(9);

// Keeps the CPU time per iteration of every repetition, and prints only the aggregates.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> aggregates;
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
            else
                aggregates.push_back(run);
        ConsoleReporter::ReportRuns(aggregates);
    }
    std::map<std::string, std::vector<double>> times;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Fastest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

// Resident memory in kB: the current size and the peak since the last reset.
long StatusKb(const char* newKey) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(newKey) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// Peak growth of resident memory while newRead runs, as a multiple of the input's size. It runs
// in a child process, so that neither run finds memory the other left to the allocator.
template <class Read> double PeakMultiple(const std::string& json, Read newRead) {
    int channel[2];
    if (pipe(channel) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        // Free memory the allocator kept from earlier runs is still resident, and reading into
        // it would not show: it goes back to the system first.
        malloc_trim(0);
        const long before = StatusKb("VmRSS");
        double multiple = -1;
        if (ResetPeak()) {
            newRead();
            multiple = static_cast<double>(StatusKb("VmHWM") - before) * 1024.0 /
                       static_cast<double>(json.size());
        }
        const ssize_t written = write(channel[1], &multiple, sizeof multiple);
        _exit(written == sizeof multiple ? 0 : 1);
    }
    close(channel[1]);
    double multiple = -1;
    if (child < 0 || read(channel[0], &multiple, sizeof multiple) != sizeof multiple)
        multiple = -1;
    close(channel[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return multiple;
}

void ReportMemory(const char* name, const std::string& json) {
    const double ours = PeakMultiple(json, [&] {
        FileRecordList files;
        FileRecordListJson::FromJSON(files, json);
        benchmark::DoNotOptimize(files);
    });
    const double dom = PeakMultiple(json, [&] {
        rapidjson::Document document;
        document.Parse<kFlags>(json.data(), json.size());
        benchmark::DoNotOptimize(&document);
    });
    std::printf("%-44s %6.1f MB in, peak memory %5.2fx the input (RapidJSON document: %5.2fx)\n",
                name, static_cast<double>(json.size()) / 1e6, ours, dom);
}

} // namespace

int main(int argc, char** argv) {
    // --no_memory skips the memory report (for profiling the timed part alone). The
    // repetitions of both benchmarks run interleaved, so that a busy machine slows both alike.
    bool memory = true;
    std::vector<char*> args{argv[0]};
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.push_back(interleave.data());
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--no_memory")
            memory = false;
        else
            args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.times.find("FromJSONIntoTheArray");
    const auto bare = reporter.times.find("BareRapidJsonReader");
    if (ours != reporter.times.end() && bare != reporter.times.end()) {
        std::printf("\nFromJSON / bare RapidJSON SAX reader, 100,000 records (%.1f MB), CPU time:\n"
                    "  median of %zu runs: %.2fx   fastest runs: %.2fx   (aim: at most 1.50x)\n\n",
                    static_cast<double>(Listing().size()) / 1e6, ours->second.size(),
                    Median(ours->second) / Median(bare->second),
                    Fastest(ours->second) / Fastest(bare->second));
    }
    if (!memory) {
        benchmark::Shutdown();
        return 0;
    }
    std::string big = MakeListing(kMaxListingRecords, 2);
    ReportMemory("Realistic listing, 1,000,000 records:", big);
    big.clear();
    big.shrink_to_fit();
    std::string empties = "[{}";
    while (empties.size() < 3 * kMaxListingRecords)
        empties += ",{}";
    empties += "]";
    ReportMemory("Empty objects (3 bytes a record):", empties);
    benchmark::Shutdown();
    return 0;
}
