// Workstation mornings on loopback against corvane-fileservice and against nginx serving its
// export, in the same run: a fleet of workstations starting their module over several days,
// 64 at a time. Each morning is the updater's: one listing of the whole tree (20,000 files and
// an installation's), then a download, on a connection of its own, of every file of the
// installation whose age differs from the workstation's copy (all of them the first day;
// between days three files change on the server). Days alternate between the two servers, so
// that the load of whatever else runs on the machine falls on both alike. Prints the listing
// latency (p50, p99, and p99 of the first day apart from that of the later days), the total
// time and the errors, which must be none.
//
// bench_fileservice_load [mornings, default 2000] [at once, default 64] [days, default 8]
//                        [corvane-fileservice to measure, default this build's]
#include "bench/ServerProcesses.h"
#include "service/NginxExport.h"
#include "update/AdditionalFiles.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <rapidjson/document.h>
#include <set>
#include <sys/stat.h>

using namespace corvane;
using namespace corvane::bench;

namespace {

constexpr const char* kListing = "/folderlist?folder=%5C&mask=*.*&recursive=";
constexpr int kChangedPerDay = 3;

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// One file of the installation: the name the workstation asks for, the name on the server (in
// another letter case for some) and its current content.
struct InstalledFile {
    std::string localName;
    std::string serverName;
    size_t size = 0;
    int version = 0;
    std::string content;
};

std::string Content(size_t size, size_t file, int version) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>(i * 7 + file * 13 + static_cast<size_t>(version) * 101);
    return content;
}

fs::path NativePath(const fs::path& tree, std::string_view name) {
    std::string native(name);
    std::replace(native.begin(), native.end(), '\\', '/');
    return tree / native;
}

// Writes a file's current version, stamped with an age of its own: two versions never share
// an age, whatever the clock's resolution.
void WriteVersion(const fs::path& tree, const InstalledFile& file, size_t index) {
    const fs::path path = NativePath(tree, file.serverName);
    fs::create_directories(path.parent_path());
    WriteText(path, file.content);
    const timespec times[2] = {{0, UTIME_OMIT},
                               {1'700'000'000 + file.version * 100'000 + static_cast<time_t>(index),
                                static_cast<long>(index) * 1'000'000}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// What each workstation holds: its files' ages as the listing gave them, by upper-cased name.
using Workstation = std::map<std::string, std::string>;

struct Tally {
    std::vector<double> listingMs;
    std::size_t downloads = 0;
    std::size_t bytes = 0;
    std::size_t errors = 0;
    double seconds = 0;
    std::string firstError;
};

// One morning of one workstation.
void Morning(std::uint16_t port, Workstation& station, const std::vector<InstalledFile>& files,
             const std::set<std::string>& wanted, Tally& tally) {
    const auto start = std::chrono::steady_clock::now();
    HttpReply listing = HttpGet(port, kListing);
    tally.listingMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    const auto fail = [&tally](const std::string& what) {
        if (tally.errors++ == 0)
            tally.firstError = what;
    };
    if (listing.status != 200)
        return fail("listing answered " + std::to_string(listing.status));
    tally.bytes += listing.body.size();
    // The updater reads every record of the listing, and keeps those of its own files.
    rapidjson::Document document;
    document.ParseInsitu(listing.body.data());
    if (document.HasParseError() || !document.IsArray())
        return fail("listing is not a JSON array");
    std::map<std::string, std::string> ages;
    for (const auto& record : document.GetArray()) {
        if (!record.IsObject() || !record.HasMember("fileName") || !record.HasMember("age"))
            return fail("listing holds a record without fileName or age");
        std::string name = Upper(record["fileName"].GetString());
        if (wanted.count(name) != 0)
            ages.emplace(std::move(name), record["age"].GetString());
    }
    for (const InstalledFile& file : files) {
        const std::string key = Upper(file.localName);
        const auto age = ages.find(key);
        if (age == ages.end())
            return fail(file.localName + " is not listed");
        const auto held = station.find(key);
        if (held != station.end() && held->second == age->second)
            continue;
        const HttpReply download =
            HttpGet(port, "/download?file=" + UpdaterQueryForm(file.localName));
        ++tally.downloads;
        if (download.status != 200 || download.body != file.content) {
            fail(file.localName + " answered " + std::to_string(download.status) + " with " +
                 std::to_string(download.body.size()) + " bytes");
            continue;
        }
        tally.bytes += download.body.size();
        station[key] = age->second;
    }
}

// One day of the fleet against one server: every workstation's morning, so many at once.
void Day(std::uint16_t port, std::vector<Workstation>& fleet,
         const std::vector<InstalledFile>& files, int atOnce, Tally& total) {
    std::set<std::string> wanted;
    for (const InstalledFile& file : files)
        wanted.insert(Upper(file.localName));
    std::atomic<size_t> next{0};
    std::vector<Tally> tallies(static_cast<size_t>(atOnce));
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < atOnce; ++t)
        threads.emplace_back([&, t] {
            for (size_t i; (i = next++) < fleet.size();)
                Morning(port, fleet[i], files, wanted, tallies[static_cast<size_t>(t)]);
        });
    for (std::thread& thread : threads)
        thread.join();
    total.seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (Tally& tally : tallies) {
        total.listingMs.insert(total.listingMs.end(), tally.listingMs.begin(),
                               tally.listingMs.end());
        total.downloads += tally.downloads;
        total.bytes += tally.bytes;
        if (tally.errors != 0 && total.errors == 0)
            total.firstError = tally.firstError;
        total.errors += tally.errors;
    }
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1,
                               static_cast<size_t>(fraction * static_cast<double>(values.size())));
    return values[at];
}

} // namespace

int main(int argc, char** argv) {
    const int mornings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int atOnce = argc > 2 ? std::max(1, std::atoi(argv[2])) : 64;
    const int days = argc > 3 ? std::max(1, std::atoi(argv[3])) : 8;
    const std::string program = argc > 4 ? argv[4] : CORVANE_FILESERVICE;
    const size_t stations = static_cast<size_t>(std::max(1, mornings / days));
    const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("load average before: %s\n", LoadAverage().c_str());

    char pattern[] = "/tmp/corvane-bench-load-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        Fail("mkdtemp");
    const fs::path work(pattern);
    ::chmod(pattern, 0755);
    const fs::path tree = work / "tree";
    const fs::path out = work / "export";

    // 100 folders of 200 small files, and the installation: the module and the shared files.
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
    std::vector<InstalledFile> files;
    std::set<std::string> seen;
    files.push_back({"Estoque.exe", "Estoque.exe", size_t{2} << 20, 1, {}});
    for (const std::string_view name : kAdditionalFiles) {
        if (!seen.insert(std::string(name)).second)
            continue;
        const bool layout = name.rfind("Relatorio\\", 0) == 0;
        const bool library = name.ends_with(".dll");
        InstalledFile file{std::string(name),
                           std::string(name),
                           library  ? size_t{256} << 10
                           : layout ? size_t{16} << 10
                                    : 2048,
                           1,
                           {}};
        // The server holds some names in other letter cases than the workstations ask for.
        if (files.size() % 7 == 3)
            file.serverName = Upper(name);
        files.push_back(std::move(file));
    }
    for (size_t i = 0; i < files.size(); ++i) {
        files[i].content = Content(files[i].size, i, files[i].version);
        WriteVersion(tree, files[i], i);
    }
    std::printf("a tree of %zu files; %zu stations x %d days = %zu mornings, %d at once; %u "
                "workers each\n",
                size_t{20'000} + files.size(), stations, days, stations * days, atOnce, workers);

    ServerProcess service = StartFileService(tree, workers, work / "fileservice.log", program);
    if (Run({CORVANE_FILESERVICE, "export", "--root", tree.string(), "--out", out.string()},
            work / "export.log") != 0)
        Fail("bench_fileservice_load: the export failed: see " + (work / "export.log").string());
    ServerProcess nginx = StartNginx(work / "nginx", workers,
                                     "  include " + (out / "nginx-http.conf").string() + ";\n",
                                     "    include " + (out / "nginx-server.conf").string() + ";\n");

    std::vector<Workstation> ourFleet(stations);
    std::vector<Workstation> peerFleet(stations);
    Tally ours;
    Tally peer;
    // The first day every workstation fetches the whole installation, later days a few files:
    // the listings of each are told apart.
    size_t ourFirstDay = 0;
    size_t peerFirstDay = 0;
    for (int day = 0; day < days; ++day) {
        if (day > 0) {
            // Overnight, three files change on the server; the export follows, and nginx is
            // reloaded, as an administrator's script would do.
            for (int k = 0; k < kChangedPerDay; ++k) {
                const size_t index = static_cast<size_t>(day * kChangedPerDay + k) % files.size();
                InstalledFile& file = files[index];
                ++file.version;
                file.content = Content(file.size, index, file.version);
                WriteVersion(tree, file, index);
            }
            if (Run({CORVANE_FILESERVICE, "export", "--root", tree.string(), "--out", out.string()},
                    work / "export.log") != 0)
                Fail("bench_fileservice_load: the export failed");
            ::kill(nginx.pid, SIGHUP);
        }
        // Both serve the same listing, ages included, before the morning starts.
        const std::string expected = HttpGet(service.port, kListing).body;
        for (int attempt = 0; HttpGet(nginx.port, kListing).body != expected; ++attempt) {
            if (attempt == 600)
                Fail("bench_fileservice_load: nginx does not serve the service's listing");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Day(service.port, ourFleet, files, atOnce, ours);
        Day(nginx.port, peerFleet, files, atOnce, peer);
        if (day == 0) {
            ourFirstDay = ours.listingMs.size();
            peerFirstDay = peer.listingMs.size();
        }
        std::printf("  day %d: corvane-fileservice %zu downloads, nginx %zu downloads so far\n",
                    day + 1, ours.downloads, peer.downloads);
        std::fflush(stdout);
    }

    std::printf("\n%-28s %22s %22s\n", "", "corvane-fileservice", "nginx (export)");
    std::printf("%-28s %22zu %22zu\n", "mornings", ours.listingMs.size(), peer.listingMs.size());
    std::printf("%-28s %22.1f %22.1f\n", "listing p50 (ms)", Percentile(ours.listingMs, 0.50),
                Percentile(peer.listingMs, 0.50));
    std::printf("%-28s %22.1f %22.1f\n", "listing p99 (ms)", Percentile(ours.listingMs, 0.99),
                Percentile(peer.listingMs, 0.99));
    const auto firstDay = [](const Tally& tally, size_t count) {
        return std::vector<double>(tally.listingMs.begin(),
                                   tally.listingMs.begin() + static_cast<std::ptrdiff_t>(count));
    };
    const auto laterDays = [](const Tally& tally, size_t count) {
        return std::vector<double>(tally.listingMs.begin() + static_cast<std::ptrdiff_t>(count),
                                   tally.listingMs.end());
    };
    std::printf("%-28s %22.1f %22.1f\n", "  p99 of the first day",
                Percentile(firstDay(ours, ourFirstDay), 0.99),
                Percentile(firstDay(peer, peerFirstDay), 0.99));
    std::printf("%-28s %22.1f %22.1f\n", "  p99 of the later days",
                Percentile(laterDays(ours, ourFirstDay), 0.99),
                Percentile(laterDays(peer, peerFirstDay), 0.99));
    std::printf("%-28s %22zu %22zu\n", "downloads", ours.downloads, peer.downloads);
    std::printf("%-28s %22.0f %22.0f\n", "MB received", ours.bytes / 1e6, peer.bytes / 1e6);
    std::printf("%-28s %22.1f %22.1f\n", "total time (s)", ours.seconds, peer.seconds);
    std::printf("%-28s %22zu %22zu\n", "errors (must be 0)", ours.errors, peer.errors);
    if (ours.errors != 0)
        std::printf("first error of corvane-fileservice: %s\n", ours.firstError.c_str());
    if (peer.errors != 0)
        std::printf("first error of nginx: %s\n", peer.firstError.c_str());
    std::printf("corvane-fileservice peak memory: %ld KiB\n", PeakMemoryKiB(service.pid));
    const double p99 = Percentile(ours.listingMs, 0.99);
    std::printf("aim: p99 listing under 100 ms at %d workstations at once: %s (%.1f ms)\n", atOnce,
                p99 < 100 ? "met" : "not met", p99);

    Stop(service);
    Stop(nginx);
    std::error_code ignored;
    fs::remove_all(work, ignored);
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return ours.errors == 0 && peer.errors == 0 ? 0 : 1;
}
