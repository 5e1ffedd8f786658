// A cold run: the workstation has none of the files, the server holds the module (200 MB) and
// the shared files of AdditionalFiles (1 MB each; the table's 48 rows name 46 files). Peer, in
// the same run: cp -r of the same server folder. Aim: at most 1.2 times cp.
#include "bench/UpdateRun.h"
#include "update/AdditionalFiles.h"

#include <cstdio>
#include <unistd.h>

using namespace corvane;
using namespace corvane::bench;

int main(int argc, char** argv) {
    const int Rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    TScratch LScratch("corvane-bench-cold");
    const auto LServer = LScratch.Path() / "server";
    const auto LLocal = LScratch.Path() / "local";
    const auto LCopy = LScratch.Path() / "copy";

    WriteBytes(LServer / "Estoque.exe", size_t{200} << 20, 'm');
    for (const auto LName : AdditionalFiles) {
        std::string LNative(LName);
        std::replace(LNative.begin(), LNative.end(), '\\', '/');
        WriteBytes(LServer / LNative, size_t{1} << 20, 's');
    }

    auto LLoop = std::make_shared<TMainThreadLoop>();
    TMainThreadDispatcherScope LScope(LLoop);
    const std::string LLocalFolder = LLocal.string() + "/";
    const std::string LServerFolder = LServer.string() + "/";
    const std::string LCp = "cp -r '" + LServer.string() + "' '" + LCopy.string() + "'";

    TTimes LOurs, LCpTimes;
    int LFetched = 0;
    auto LFresh = [&] {
        std::filesystem::remove_all(LLocal);
        std::filesystem::remove_all(LCopy);
        std::filesystem::create_directories(LLocal);
        ::sync(); // every measurement starts without dirty pages of the one before
    };
    for (int round = 0; round < Rounds; ++round) {
        LFresh();
        LOurs.Measure(
            [&] { LFetched = RunUpdate(*LLoop, LLocalFolder, LServerFolder, "Estoque.exe"); });
        LFresh();
        LCpTimes.Measure([&] { RunShell(LCp); });
    }
    std::printf("a cold run fetched %d files (the module of 200 MB and the shared files of 1 MB)\n",
                LFetched);
    std::printf("median of %d rounds, wall clock: corvane cold run %.1f ms, cp -r %.1f ms\n",
                Rounds, Median(LOurs.Wall) * 1e3, Median(LCpTimes.Wall) * 1e3);
    std::printf("median of %d rounds, processor time: corvane %.1f ms, cp -r %.1f ms\n", Rounds,
                Median(LOurs.Processor) * 1e3, Median(LCpTimes.Processor) * 1e3);
    std::printf("ratio corvane/cp: %.2f wall clock, %.2f processor time (aim <= 1.2)\n",
                Median(LOurs.Wall) / Median(LCpTimes.Wall),
                Median(LOurs.Processor) / Median(LCpTimes.Processor));
    return 0;
}
