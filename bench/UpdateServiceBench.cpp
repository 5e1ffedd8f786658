// End to end over HTTP: corvane-update --url filling an empty installation (the module of 200 MB
// and the shared files of AdditionalFiles, 246 MB in all) from the file service on 127.0.0.1,
// against corvane-update --server filling it from the same tree on the same disk, in the same
// run. The service's start and its first listing, which read every file once for its hash, are
// timed on their own before the rounds; the rounds print wall-clock and processor time.
#include "bench/UpdateRun.h"
#include "service/FileService.h"
#include "update/AdditionalFiles.h"
#include "update/FileServiceClient.h"

#include <cstdio>
#include <memory>
#include <set>
#include <unistd.h>

using namespace corvane;
using namespace corvane::bench;

int main(int argc, char** argv) {
    const int Rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    TScratch LScratch("corvane-bench-service");
    const auto LServer = LScratch.Path() / "server";
    const auto LLocal = LScratch.Path() / "local";

    WriteBytes(LServer / "Estoque.exe", size_t{200} << 20, 'm');
    std::set<std::filesystem::path> LFolders;
    for (const auto LName : AdditionalFiles) {
        std::string LNative(LName);
        std::replace(LNative.begin(), LNative.end(), '\\', '/');
        WriteBytes(LServer / LNative, size_t{1} << 20, 's');
        LFolders.insert(std::filesystem::path(LNative).parent_path());
    }

    TFileServiceOptions LOptions;
    LOptions.Root = LServer.string();
    LOptions.Port = 0;
    LOptions.Log = [](std::string_view) {};
    ::sync();
    std::unique_ptr<TFileService> service;
    const double serviceStart =
        Seconds([&] { service = std::make_unique<TFileService>(LOptions); });
    const std::string serviceUrl = "http://127.0.0.1:" + std::to_string(service->Port());
    const double firstListing = Seconds([&] {
        TRESTClientFileList listing(serviceUrl);
        listing.Execute("\\", "*.*", true);
    });

    const std::string LCommon = std::string("'") + CORVANE_UPDATE_EXE + "' --local '" +
                                LLocal.string() + "' --module Estoque.exe ";
    const std::string LByURL = LCommon + "--url " + serviceUrl + " > /dev/null 2>&1";
    const std::string LByFolder = LCommon + "--server '" + LServer.string() + "' > /dev/null 2>&1";

    // Both start from an installation that has its folders and none of the files: the service
    // creates no folder on the workstation.
    auto LFresh = [&] {
        std::filesystem::remove_all(LLocal);
        for (const auto& LFolder : LFolders)
            std::filesystem::create_directories(LLocal / LFolder);
        ::sync(); // every measurement starts without dirty pages of the one before
    };
    auto LCountFiles = [&] {
        int LCount = 0;
        for (const auto& LEntry : std::filesystem::recursive_directory_iterator(LLocal))
            LCount += LEntry.is_regular_file() ? 1 : 0;
        return LCount;
    };

    TTimes LURL, LFolder;
    int LFetchedByURL = 0, LFetchedByFolder = 0;
    for (int round = 0; round < Rounds; ++round) {
        LFresh();
        LURL.Measure([&] { RunShell(LByURL); });
        LFetchedByURL = LCountFiles();
        LFresh();
        LFolder.Measure([&] { RunShell(LByFolder); });
        LFetchedByFolder = LCountFiles();
    }
    std::printf("an empty installation filled with %d files over HTTP, %d from the folder "
                "(a module of 200 MB, shared files of 1 MB)\n",
                LFetchedByURL, LFetchedByFolder);
    std::printf("the service's start: %.1f ms, its first listing of the tree: %.1f ms\n",
                serviceStart * 1e3, firstListing * 1e3);
    std::printf("median of %d rounds, wall clock: corvane-update --url %.1f ms, --server %.1f ms\n",
                Rounds, Median(LURL.Wall) * 1e3, Median(LFolder.Wall) * 1e3);
    std::printf("median of %d rounds, processor time: corvane-update --url %.1f ms (the service "
                "in this process included), --server %.1f ms\n",
                Rounds, Median(LURL.Processor) * 1e3, Median(LFolder.Processor) * 1e3);
    std::printf("ratio --url/--server: %.2f wall clock\n",
                Median(LURL.Wall) / Median(LFolder.Wall));
    return LFetchedByURL == LFetchedByFolder ? 0 : 1;
}
