// End to end over HTTP: corvane-update --url filling an empty installation (the module of 200 MB
// and the shared files of kAdditionalFiles, 246 MB in all) from the file service on 127.0.0.1,
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
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    Scratch scratch("corvane-bench-service");
    const auto server = scratch.Path() / "server";
    const auto local = scratch.Path() / "local";

    WriteBytes(server / "Estoque.exe", size_t{200} << 20, 'm');
    std::set<std::filesystem::path> folders;
    for (const auto name : kAdditionalFiles) {
        std::string native(name);
        std::replace(native.begin(), native.end(), '\\', '/');
        WriteBytes(server / native, size_t{1} << 20, 's');
        folders.insert(std::filesystem::path(native).parent_path());
    }

    FileServiceOptions options;
    options.root = server.string();
    options.port = 0;
    options.log = [](std::string_view) {};
    ::sync();
    std::unique_ptr<FileService> service;
    const double serviceStart = Seconds([&] { service = std::make_unique<FileService>(options); });
    const std::string serviceUrl = "http://127.0.0.1:" + std::to_string(service->Port());
    const double firstListing = Seconds([&] {
        FileServiceClient listing(serviceUrl);
        listing.Execute("\\", "*.*", true);
    });

    const std::string common = std::string("'") + CORVANE_UPDATE_EXE + "' --local '" +
                               local.string() + "' --module Estoque.exe ";
    const std::string byUrl = common + "--url " + serviceUrl + " > /dev/null 2>&1";
    const std::string byFolder = common + "--server '" + server.string() + "' > /dev/null 2>&1";

    // Both start from an installation that has its folders and none of the files: the service
    // creates no folder on the workstation.
    auto fresh = [&] {
        std::filesystem::remove_all(local);
        for (const auto& folder : folders)
            std::filesystem::create_directories(local / folder);
        ::sync(); // every measurement starts without dirty pages of the one before
    };
    auto countFiles = [&] {
        int count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(local))
            count += entry.is_regular_file() ? 1 : 0;
        return count;
    };

    Times url, folder;
    int fetchedByUrl = 0, fetchedByFolder = 0;
    for (int round = 0; round < rounds; ++round) {
        fresh();
        url.Measure([&] { RunShell(byUrl); });
        fetchedByUrl = countFiles();
        fresh();
        folder.Measure([&] { RunShell(byFolder); });
        fetchedByFolder = countFiles();
    }
    std::printf("an empty installation filled with %d files over HTTP, %d from the folder "
                "(a module of 200 MB, shared files of 1 MB)\n",
                fetchedByUrl, fetchedByFolder);
    std::printf("the service's start: %.1f ms, its first listing of the tree: %.1f ms\n",
                serviceStart * 1e3, firstListing * 1e3);
    std::printf("median of %d rounds, wall clock: corvane-update --url %.1f ms, --server %.1f ms\n",
                rounds, Median(url.wall) * 1e3, Median(folder.wall) * 1e3);
    std::printf("median of %d rounds, processor time: corvane-update --url %.1f ms (the service "
                "in this process included), --server %.1f ms\n",
                rounds, Median(url.processor) * 1e3, Median(folder.processor) * 1e3);
    std::printf("ratio --url/--server: %.2f wall clock\n", Median(url.wall) / Median(folder.wall));
    return fetchedByUrl == fetchedByFolder ? 0 : 1;
}
