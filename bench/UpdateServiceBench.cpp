// End to end over HTTP: corvane-update --url filling an empty installation (the module of 200 MB
// and the shared files of kAdditionalFiles, 246 MB in all) from the file service on 127.0.0.1,
// against corvane-update --server filling it from the same tree on the same disk, in the same
// run. Two services serve the tree: one lists each file's size and SHA-256, so that the updater
// checks every byte it fetches; the other lists names and ages alone, as services did before,
// so that the same updater fetches without checking: their ratio is what the checks cost. The
// services' start and first listing, which read every file once for its hash, are timed on
// their own before the rounds; the rounds print wall-clock and processor time. Last, the bound
// the processors set: the checks add at least the SHA-256 of every byte to the processor time
// of an unchecked run, and a checked run cannot take less than that sum spread over all the
// processors.
#include "bench/UpdateRun.h"
#include "platform/Sha256.h"
#include "service/FileService.h"
#include "update/AdditionalFiles.h"
#include "update/FileServiceClient.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

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
    std::unique_ptr<FileService> checked;
    const double serviceStart = Seconds([&] { checked = std::make_unique<FileService>(options); });
    options.listContentChecks = false;
    const auto unchecked = std::make_unique<FileService>(options);
    const auto urlOf = [](const FileService& service) {
        return "http://127.0.0.1:" + std::to_string(service.Port());
    };
    const double firstListing = Seconds([&] {
        FileServiceClient listing(urlOf(*checked));
        listing.Execute("\\", "*.*", true);
        if (!listing.Files().empty() && !listing.Files()[0].sha256)
            throw std::runtime_error("the service listed no hashes");
    });

    const std::string common = std::string("'") + CORVANE_UPDATE_EXE + "' --local '" +
                               local.string() + "' --module Estoque.exe ";
    const std::string byCheckedUrl = common + "--url " + urlOf(*checked) + " > /dev/null 2>&1";
    const std::string byUncheckedUrl = common + "--url " + urlOf(*unchecked) + " > /dev/null 2>&1";
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

    Times url, urlUnchecked, folder;
    int fetchedByUrl = 0, fetchedUnchecked = 0, fetchedByFolder = 0;
    for (int round = 0; round < rounds; ++round) {
        fresh();
        url.Measure([&] { RunShell(byCheckedUrl); });
        fetchedByUrl = countFiles();
        fresh();
        urlUnchecked.Measure([&] { RunShell(byUncheckedUrl); });
        fetchedUnchecked = countFiles();
        fresh();
        folder.Measure([&] { RunShell(byFolder); });
        fetchedByFolder = countFiles();
    }
    std::printf("an empty installation filled with %d files over HTTP (%d without checks), %d "
                "from the folder (a module of 200 MB, shared files of 1 MB)\n",
                fetchedByUrl, fetchedUnchecked, fetchedByFolder);
    std::printf("the service's start: %.1f ms, its first listing of the tree: %.1f ms\n",
                serviceStart * 1e3, firstListing * 1e3);
    std::printf("median of %d rounds, wall clock: corvane-update --url %.1f ms (every file checked "
                "against its SHA-256), %.1f ms (listing without hashes), --server %.1f ms\n",
                rounds, Median(url.wall) * 1e3, Median(urlUnchecked.wall) * 1e3,
                Median(folder.wall) * 1e3);
    std::printf("median of %d rounds, processor time: corvane-update --url %.1f ms checked, %.1f "
                "ms unchecked (the services in this process included), --server %.1f ms\n",
                rounds, Median(url.processor) * 1e3, Median(urlUnchecked.processor) * 1e3,
                Median(folder.processor) * 1e3);
    // SHA-256 of the set's bytes alone, from memory, on one thread.
    std::vector<std::string> contents;
    std::uint64_t setBytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(server))
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            contents.emplace_back(std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>());
            setBytes += contents.back().size();
        }
    std::vector<double> hashing;
    for (int round = 0; round < 3; ++round)
        hashing.push_back(Seconds([&] {
            for (const std::string& content : contents) {
                Sha256 hash;
                hash.Update(content.data(), content.size());
                hash.Finish();
            }
        }));
    const double hashSeconds = Median(hashing);
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const double bound = (Median(urlUnchecked.processor) + hashSeconds) / processors;
    std::printf("SHA-256 of the set's %.0f MB alone: %.1f ms of one processor; with all %u "
                "processors busy, a checked run cannot take less than (%.1f + %.1f) / %u = "
                "%.1f ms, %.2f times the unchecked run\n",
                setBytes / 1048576.0, hashSeconds * 1e3, processors,
                Median(urlUnchecked.processor) * 1e3, hashSeconds * 1e3, processors, bound * 1e3,
                bound / Median(urlUnchecked.wall));
    std::printf("ratio --url/--server: %.2f wall clock\n", Median(url.wall) / Median(folder.wall));
    std::printf("ratio checked/unchecked --url: %.2f wall clock (aim <= 1.10)\n",
                Median(url.wall) / Median(urlUnchecked.wall));
    return fetchedByUrl == fetchedByFolder && fetchedUnchecked == fetchedByFolder ? 0 : 1;
}
