// corvane-fileservice against nginx, measured with wrk in the same run:
//  1. the whole-tree listing of a 20,000-file tree, nginx serving the same JSON as a file;
//  2. the download of a 1 MB file, nginx serving the same file (the service sends it from
//     memory once it has stood unchanged for a second, as the shared files of a suite do).
// Both servers listen on 127.0.0.1 with as many workers as there are processors and log each
// request; wrk keeps 64 connections open. Rounds alternate between the two, so that the load
// of whatever else runs on the machine falls on both alike; the median of each is compared.
// Then the service's peak memory, before and after sending a file 64 times larger: sent by the
// kernel from the file, it does not grow with the file.
//
// bench_fileservice [seconds per round, default 3] [rounds, default 5] [corvane-fileservice to
//                   measure, default this build's]
#include "bench/ServerProcesses.h"

#include <algorithm>
#include <sys/stat.h>

using namespace corvane::bench;

namespace {

constexpr const char* kListing = "/folderlist?folder=%5C&mask=*.*&recursive=";
constexpr const char* kDownload = "/download?file=big.bin";

std::string Fetch(std::uint16_t port, const std::string& target) {
    const HttpReply reply = HttpGet(port, target);
    if (reply.status != 200)
        Fail("bench_fileservice: unexpected answer to " + target + " on port " +
             std::to_string(port) + ": " + std::to_string(reply.status));
    return reply.body;
}

// wrk's requests per second, or a failure when some answers were not 2xx.
double Wrk(std::uint16_t port, const char* target, int seconds, const fs::path& work) {
    ServerProcess wrk = Spawn({"wrk", "-t", "2", "-c", "64", "-d", std::to_string(seconds) + "s",
                               "http://127.0.0.1:" + std::to_string(port) + target},
                              work / "wrk-errors.log");
    const std::string output = ReadAll(wrk.out);
    ::waitpid(wrk.pid, nullptr, 0);
    ::close(wrk.out);
    if (output.find("Non-2xx") != std::string::npos ||
        output.find("Socket errors") != std::string::npos)
        Fail("bench_fileservice: wrk saw errors on port " + std::to_string(port) + ":\n" + output);
    const size_t at = output.find("Requests/sec:");
    if (at == std::string::npos)
        Fail("bench_fileservice: wrk gave no result:\n" + output);
    return std::strtod(output.c_str() + at + 13, nullptr);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string Pattern(size_t size, unsigned seed) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>(i * 31 + seed + i / 4096);
    return content;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string program = argc > 3 ? argv[3] : CORVANE_FILESERVICE;
    const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("load average before: %s\n", LoadAverage().c_str());

    char pattern[] = "/tmp/corvane-bench-fileservice-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        Fail("mkdtemp");
    const fs::path work(pattern);
    ::chmod(pattern, 0755);
    const fs::path tree = work / "tree";
    const fs::path www = work / "www";
    fs::create_directories(www);

    // 100 folders of 200 small files, the 1 MB file and a 64 MB one at the root.
    std::printf("building a tree of 20,000 files in %s\n", tree.c_str());
    for (int folder = 0; folder < 100; ++folder) {
        char folderName[32];
        std::snprintf(folderName, sizeof folderName, "Pasta%03d", folder);
        fs::create_directories(tree / folderName);
        for (int file = 0; file < 200; ++file) {
            char fileName[32];
            std::snprintf(fileName, sizeof fileName, "Arquivo%04d.dll", file);
            WriteText(tree / folderName / fileName, std::string(100, 'x'));
        }
    }
    const std::string big = Pattern(1 << 20, 7);
    WriteText(tree / "big.bin", big);
    WriteText(tree / "huge.bin", Pattern(64 << 20, 3));

    ServerProcess service = StartFileService(tree, workers, work / "fileservice.log", program);
    // nginx serves the service's own answer as a static file.
    const std::string listing = Fetch(service.port, kListing);
    WriteText(www / "folderlist.json", listing);
    if (Fetch(service.port, kDownload) != big)
        Fail("bench_fileservice: the service's download differs from the file");
    ServerProcess nginx = StartNginx(
        work / "nginx", workers, "",
        "    location = /folderlist { default_type \"application/json; charset=utf-8\"; alias " +
            (www / "folderlist.json").string() +
            "; }\n"
            "    location = /download { default_type application/octet-stream; alias " +
            (tree / "big.bin").string() + "; }\n");
    if (Fetch(nginx.port, kListing) != listing || Fetch(nginx.port, kDownload) != big)
        Fail("bench_fileservice: nginx does not serve the same answers: see " + work.string());

    std::printf("%s\nlisting: %zu bytes of JSON; download: %zu bytes; %u workers each; "
                "wrk -t 2 -c 64, %d rounds of %d s\n",
                program.c_str(), listing.size(), big.size(), workers, rounds, seconds);
    struct Case {
        const char* name;
        const char* target;
        std::vector<double> ours;
        std::vector<double> peer;
    };
    std::vector<Case> cases = {{"listing of 20,000 files", kListing, {}, {}},
                               {"download of 1 MB", kDownload, {}, {}}};
    for (Case& c : cases) {
        Wrk(service.port, c.target, 1, work); // warm-up
        Wrk(nginx.port, c.target, 1, work);
        for (int round = 0; round < rounds; ++round) {
            c.ours.push_back(Wrk(service.port, c.target, seconds, work));
            c.peer.push_back(Wrk(nginx.port, c.target, seconds, work));
            std::printf("  %s, round %d: corvane-fileservice %.0f req/s, nginx %.0f req/s\n",
                        c.name, round + 1, c.ours.back(), c.peer.back());
            std::fflush(stdout);
        }
    }
    bool met = true;
    for (const Case& c : cases) {
        const double ours = Median(c.ours);
        const double peer = Median(c.peer);
        const double ratio = ours / peer;
        met = met && ratio >= 1.0;
        std::printf("%s: corvane-fileservice %.0f req/s, nginx %.0f req/s, ratio %.3f "
                    "(aim >= 1.00)\n",
                    c.name, ours, peer, ratio);
    }

    const long before = PeakMemoryKiB(service.pid);
    for (int i = 0; i < 3; ++i)
        if (Fetch(service.port, "/download?file=huge.bin").size() != size_t{64} << 20)
            Fail("bench_fileservice: the 64 MB download came back short");
    const long after = PeakMemoryKiB(service.pid);
    std::printf("corvane-fileservice peak memory: %ld KiB after the 1 MB rounds, %ld KiB after "
                "three downloads of 64 MB\n",
                before, after);

    const int serviceExit = Stop(service);
    Stop(nginx);
    if (serviceExit != 0)
        Fail("bench_fileservice: corvane-fileservice ended with " + std::to_string(serviceExit) +
             " on SIGTERM");
    std::error_code ignored;
    fs::remove_all(work, ignored);
    std::printf("load average after: %s\n", LoadAverage().c_str());
    std::printf("%s\n", met ? "aim met" : "aim not met");
    return 0;
}
