// A cold run: the workstation has none of the files, the server holds the module (200 MB) and
// the shared files of kAdditionalFiles (1 MB each; the table's 48 rows name 46 files). Peer, in
// the same run: cp -r of the same server folder. Aim: at most 1.2 times cp.
#include "bench/UpdateRun.h"
#include "update/AdditionalFiles.h"

#include <cstdio>
#include <unistd.h>

using namespace corvane;
using namespace corvane::bench;

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    Scratch scratch("corvane-bench-cold");
    const auto server = scratch.Path() / "server";
    const auto local = scratch.Path() / "local";
    const auto copy = scratch.Path() / "copy";

    WriteBytes(server / "Estoque.exe", size_t{200} << 20, 'm');
    for (const auto name : kAdditionalFiles) {
        std::string native(name);
        std::replace(native.begin(), native.end(), '\\', '/');
        WriteBytes(server / native, size_t{1} << 20, 's');
    }

    auto loop = std::make_shared<MainThreadLoop>();
    MainThreadDispatcherScope scope(loop);
    const std::string localFolder = local.string() + "/";
    const std::string serverFolder = server.string() + "/";
    const std::string cp = "cp -r '" + server.string() + "' '" + copy.string() + "'";

    Times ours, cpTimes;
    int fetched = 0;
    auto fresh = [&] {
        std::filesystem::remove_all(local);
        std::filesystem::remove_all(copy);
        std::filesystem::create_directories(local);
        ::sync(); // every measurement starts without dirty pages of the one before
    };
    for (int round = 0; round < rounds; ++round) {
        fresh();
        ours.Measure([&] { fetched = RunUpdate(*loop, localFolder, serverFolder, "Estoque.exe"); });
        fresh();
        cpTimes.Measure([&] { RunShell(cp); });
    }
    std::printf("a cold run fetched %d files (the module of 200 MB and the shared files of 1 MB)\n",
                fetched);
    std::printf("median of %d rounds, wall clock: corvane cold run %.1f ms, cp -r %.1f ms\n",
                rounds, Median(ours.wall) * 1e3, Median(cpTimes.wall) * 1e3);
    std::printf("median of %d rounds, processor time: corvane %.1f ms, cp -r %.1f ms\n", rounds,
                Median(ours.processor) * 1e3, Median(cpTimes.processor) * 1e3);
    std::printf("ratio corvane/cp: %.2f wall clock, %.2f processor time (aim <= 1.2)\n",
                Median(ours.wall) / Median(cpTimes.wall),
                Median(ours.processor) / Median(cpTimes.processor));
    return 0;
}
