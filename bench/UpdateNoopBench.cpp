// A run with nothing to do over a large server tree: 20,000 files in 200 folders beside the 49
// names a run compares (the module and the 48 rows of AdditionalFiles), with the workstation
// already up to date. Peers, on the same tree in the same run:
//   find ROOT -type f -printf '%T@ %p\n' | sort   (list every file with its time, sorted)
//   rsync -a --dry-run SERVER/ LOCAL/             (compare the pair of folders)
// Aim: at most 1.5 times find, and faster than rsync.
#include "bench/UpdateRun.h"
#include "update/AdditionalFiles.h"

#include <cstdio>

using namespace corvane;
using namespace corvane::bench;

int main(int argc, char** argv) {
    const int Rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    TScratch LScratch("corvane-bench-noop");
    const auto LServer = LScratch.Path() / "server";
    const auto LLocal = LScratch.Path() / "local";
    std::filesystem::create_directories(LLocal);

    // 200 folders of 100 files, as a server share grows over the years.
    for (int folder = 0; folder < 200; ++folder) {
        char LFolder[32];
        std::snprintf(LFolder, sizeof LFolder, "Arquivo%03d", folder);
        std::filesystem::create_directories(LServer / LFolder);
        for (int file = 0; file < 100; ++file) {
            char LName[32];
            std::snprintf(LName, sizeof LName, "Documento%03d.dat", file);
            std::ofstream(LServer / LFolder / LName) << LFolder << LName;
        }
    }
    WriteBytes(LServer / "Estoque.exe", 4096, 'm');
    for (const auto LName : AdditionalFiles) {
        std::string LNative(LName);
        std::replace(LNative.begin(), LNative.end(), '\\', '/');
        WriteBytes(LServer / LNative, 1024, 's');
    }

    auto LLoop = std::make_shared<TMainThreadLoop>();
    TMainThreadDispatcherScope LScope(LLoop);
    const std::string LLocalFolder = LLocal.string() + "/";
    const std::string LServerFolder = LServer.string() + "/";
    const int LFirst = RunUpdate(*LLoop, LLocalFolder, LServerFolder, "Estoque.exe");
    size_t LServerFiles = 0;
    for (const auto& LEntry : std::filesystem::recursive_directory_iterator(LServer))
        LServerFiles += LEntry.is_regular_file() ? 1 : 0;
    std::printf("server tree: %zu files; the first run fetched %d files\n", LServerFiles, LFirst);

    const std::string LFind =
        "find '" + LServer.string() + "' -type f -printf '%T@ %p\\n' | sort > /dev/null";
    const std::string LRsync =
        "rsync -a --dry-run '" + LServerFolder + "' '" + LLocalFolder + "' > /dev/null";
    TTimes LOurs, LFindTimes, LRsyncTimes;
    // Warm every cache once, then interleave the three so that load from elsewhere on the
    // machine falls on all of them alike.
    RunShell(LFind);
    RunShell(LRsync);
    for (int round = 0; round < Rounds; ++round) {
        int LFetched = -1;
        LOurs.Measure(
            [&] { LFetched = RunUpdate(*LLoop, LLocalFolder, LServerFolder, "Estoque.exe"); });
        if (LFetched != 0)
            throw std::runtime_error("a run with nothing to do fetched files");
        LFindTimes.Measure([&] { RunShell(LFind); });
        LRsyncTimes.Measure([&] { RunShell(LRsync); });
    }
    std::printf("median of %d rounds, wall clock: corvane no-op run %.1f ms, find|sort %.1f ms, "
                "rsync --dry-run %.1f ms\n",
                Rounds, Median(LOurs.Wall) * 1e3, Median(LFindTimes.Wall) * 1e3,
                Median(LRsyncTimes.Wall) * 1e3);
    std::printf("median of %d rounds, processor time: corvane %.1f ms, find|sort %.1f ms, "
                "rsync %.1f ms\n",
                Rounds, Median(LOurs.Processor) * 1e3, Median(LFindTimes.Processor) * 1e3,
                Median(LRsyncTimes.Processor) * 1e3);
    std::printf("ratio corvane/find: %.2f wall clock, %.2f processor time (aim <= 1.5)\n",
                Median(LOurs.Wall) / Median(LFindTimes.Wall),
                Median(LOurs.Processor) / Median(LFindTimes.Processor));
    std::printf("ratio corvane/rsync: %.2f wall clock, %.2f processor time (aim < 1)\n",
                Median(LOurs.Wall) / Median(LRsyncTimes.Wall),
                Median(LOurs.Processor) / Median(LRsyncTimes.Processor));
    return 0;
}
