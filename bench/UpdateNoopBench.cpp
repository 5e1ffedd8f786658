// A run with nothing to do over a large server tree: 20,000 files in 200 folders beside the 49
// names a run compares (the module and the 48 rows of kAdditionalFiles), with the workstation
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
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    Scratch scratch("corvane-bench-noop");
    const auto server = scratch.Path() / "server";
    const auto local = scratch.Path() / "local";
    std::filesystem::create_directories(local);

    // 200 folders of 100 files, as a server share grows over the years.
    for (int folder = 0; folder < 200; ++folder) {
        char scratchFolder[32];
        std::snprintf(scratchFolder, sizeof scratchFolder, "Arquivo%03d", folder);
        std::filesystem::create_directories(server / scratchFolder);
        for (int file = 0; file < 100; ++file) {
            char name[32];
            std::snprintf(name, sizeof name, "Documento%03d.dat", file);
            std::ofstream(server / scratchFolder / name) << scratchFolder << name;
        }
    }
    WriteBytes(server / "Estoque.exe", 4096, 'm');
    for (const auto name : kAdditionalFiles) {
        std::string native(name);
        std::replace(native.begin(), native.end(), '\\', '/');
        WriteBytes(server / native, 1024, 's');
    }

    auto loop = std::make_shared<MainThreadLoop>();
    MainThreadDispatcherScope scope(loop);
    const std::string localFolder = local.string() + "/";
    const std::string serverFolder = server.string() + "/";
    const int first = RunUpdate(*loop, localFolder, serverFolder, "Estoque.exe");
    size_t serverFiles = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(server))
        serverFiles += entry.is_regular_file() ? 1 : 0;
    std::printf("server tree: %zu files; the first run fetched %d files\n", serverFiles, first);

    const std::string find =
        "find '" + server.string() + "' -type f -printf '%T@ %p\\n' | sort > /dev/null";
    const std::string rsync =
        "rsync -a --dry-run '" + serverFolder + "' '" + localFolder + "' > /dev/null";
    Times ours, findTimes, rsyncTimes;
    // Warm every cache once, then interleave the three so that load from elsewhere on the
    // machine falls on all of them alike.
    RunShell(find);
    RunShell(rsync);
    for (int round = 0; round < rounds; ++round) {
        int fetched = -1;
        ours.Measure([&] { fetched = RunUpdate(*loop, localFolder, serverFolder, "Estoque.exe"); });
        if (fetched != 0)
            throw std::runtime_error("a run with nothing to do fetched files");
        findTimes.Measure([&] { RunShell(find); });
        rsyncTimes.Measure([&] { RunShell(rsync); });
    }
    std::printf("median of %d rounds, wall clock: corvane no-op run %.1f ms, find|sort %.1f ms, "
                "rsync --dry-run %.1f ms\n",
                rounds, Median(ours.wall) * 1e3, Median(findTimes.wall) * 1e3,
                Median(rsyncTimes.wall) * 1e3);
    std::printf("median of %d rounds, processor time: corvane %.1f ms, find|sort %.1f ms, "
                "rsync %.1f ms\n",
                rounds, Median(ours.processor) * 1e3, Median(findTimes.processor) * 1e3,
                Median(rsyncTimes.processor) * 1e3);
    std::printf("ratio corvane/find: %.2f wall clock, %.2f processor time (aim <= 1.5)\n",
                Median(ours.wall) / Median(findTimes.wall),
                Median(ours.processor) / Median(findTimes.processor));
    std::printf("ratio corvane/rsync: %.2f wall clock, %.2f processor time (aim < 1)\n",
                Median(ours.wall) / Median(rsyncTimes.wall),
                Median(ours.processor) / Median(rsyncTimes.processor));
    return 0;
}
