// The run log of a real run against the file service: every line is JSON, the start first and
// the end last, and every file of the run's local list is named exactly once with what became
// of it: current, fetched (with its bytes and the hash it was checked against), failed (with
// the message) or not on the server. A log that cannot be written leaves the run as it was.
#include "update/RunLog.h"
#include "platform/Sha256.h"
#include "service/FileService.h"
#include "tests/update/FilesUpdaterFixture.h"
#include "update/AdditionalFiles.h"

#include <rapidjson/document.h>

#include <map>
#include <set>
#include <sstream>

namespace corvane::test {
namespace {

namespace fs = std::filesystem;

class RunLogTest : public FilesUpdaterTest {
protected:
    // Runs the update through the service with a run log at path; returns the run.
    Run UpdateLogged(const std::string& path) {
        FileServiceOptions options;
        options.root = server_.string();
        options.port = 0;
        options.threads = 2;
        options.log = [](std::string_view) {};
        const FileService service(options);
        const std::string url = "http://127.0.0.1:" + std::to_string(service.Port());
        Run run;
        const auto log = std::make_shared<RunLog>(path, "Estoque.exe", url, "2019.1.0.4");
        auto updater = ModuleFilesUpdater::New(
            localFolder_, "", url, [&run] { ++run.completions; },
            std::make_shared<FilesUpdaterObservers>(
                std::vector<std::shared_ptr<FilesUpdaterObserver>>{run.observer, log}));
        run.updater = updater;
        updater->Execute("Estoque.exe", true);
        updater.reset();
        Finish(run);
        return run;
    }

    static std::vector<rapidjson::Document> Lines(const fs::path& path) {
        std::vector<rapidjson::Document> lines;
        std::istringstream text(ReadFile(path));
        for (std::string line; std::getline(text, line);) {
            rapidjson::Document& document = lines.emplace_back();
            document.Parse(line.data(), line.size());
            EXPECT_FALSE(document.HasParseError()) << line;
            EXPECT_TRUE(document.IsObject()) << line;
        }
        return lines;
    }
};

std::string Member(const rapidjson::Value& line, const char* name) {
    if (!line.IsObject() || !line.HasMember(name))
        return "<absent>";
    const rapidjson::Value& value = line[name];
    if (value.IsNull())
        return "null";
    if (value.IsString())
        return value.GetString();
    if (value.IsUint64())
        return std::to_string(value.GetUint64());
    return "<other>";
}

TEST_F(RunLogTest, NamesEveryFileOfTheRunOnceWithWhatBecameOfIt) {
    // Estoque.exe and central.ini are fetched; gds32.dll is current; two twins fail
    // qtintf70.dll; the rest of the shared files are not on the server.
    WriteFile(server_, "Estoque.exe", "module", TestAge(1));
    WriteFile(server_, "central.ini", "new ini", TestAge(2));
    WriteFile(server_, "gds32.dll", "lib", TestAge(3));
    WriteFile(server_, "qtintf70.dll", "one", TestAge(4));
    WriteFile(server_, "QTINTF70.DLL", "other", TestAge(5));
    WriteFile(local_, "central.ini", "old ini", TestAge(-5));
    WriteFile(local_, "gds32.dll", "lib", TestAge(3));
    const fs::path path = temp_.Path() / "Logs" / "corvane-update.log";

    const Run run = UpdateLogged(path.string());
    ASSERT_EQ(run.completions, 1);
    const std::vector<rapidjson::Document> lines = Lines(path);
    ASSERT_GE(lines.size(), 2u);
    const std::string runId = Member(lines.front(), "run");
    for (const auto& line : lines)
        EXPECT_EQ(Member(line, "run"), runId);
    EXPECT_EQ(Member(lines.front(), "event"), "start");
    EXPECT_EQ(Member(lines.front(), "module"), "Estoque.exe");
    EXPECT_EQ(Member(lines.front(), "version"), "2019.1.0.4");
    EXPECT_EQ(Member(lines.back(), "event"), "end");

    std::map<std::string, int> named;
    std::map<std::string, const rapidjson::Value*> byFile;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(Member(lines[i], "event"), "file");
        ++named[Member(lines[i], "file")];
        byFile[Member(lines[i], "file")] = &lines[i];
    }
    std::set<std::string> expected{kAdditionalFiles.begin(), kAdditionalFiles.end()};
    expected.insert("Estoque.exe");
    EXPECT_EQ(named.size(), expected.size());
    for (const std::string& file : expected)
        EXPECT_EQ(named[file], 1) << file;

    const rapidjson::Value& module = *byFile.at("Estoque.exe");
    EXPECT_EQ(Member(module, "decision"), "fetched");
    EXPECT_EQ(Member(module, "localAge"), "null");
    EXPECT_EQ(Member(module, "bytes"), "6");
    EXPECT_NE(Member(module, "ms"), "<absent>");
    Sha256 hash;
    hash.Update("module", 6);
    EXPECT_EQ(Member(module, "sha256"), Sha256Hex(hash.Finish()));
    const rapidjson::Value& ini = *byFile.at("central.ini");
    EXPECT_EQ(Member(ini, "decision"), "fetched");
    EXPECT_NE(Member(ini, "localAge"), "null");
    EXPECT_EQ(Member(*byFile.at("gds32.dll"), "decision"), "current");
    EXPECT_EQ(Member(*byFile.at("gds32.dll"), "localAge"),
              Member(*byFile.at("gds32.dll"), "serverAge"));
    EXPECT_EQ(Member(*byFile.at("qtintf70.dll"), "decision"), "failed");
    EXPECT_EQ(Member(*byFile.at("qtintf70.dll"), "error"), "Duplicates not allowed");
    EXPECT_EQ(Member(*byFile.at("zlib1.dll"), "decision"), "notOnServer");
    EXPECT_EQ(Member(*byFile.at("zlib1.dll"), "serverAge"), "null");

    const rapidjson::Value& end = lines.back();
    EXPECT_EQ(Member(end, "files"), std::to_string(expected.size()));
    EXPECT_EQ(Member(end, "fetched"), "2");
    EXPECT_EQ(Member(end, "current"), "1");
    EXPECT_EQ(Member(end, "failed"), "1");
    EXPECT_EQ(Member(end, "notOnServer"), std::to_string(expected.size() - 4));
    EXPECT_EQ(Member(end, "bytes"), "13");
    EXPECT_EQ(Member(end, "error"), "<absent>");
}

// The log's folder cannot be made (a file stands in its place): the run does all it would
// have done without a log.
TEST_F(RunLogTest, ALogThatCannotBeWrittenLeavesTheRunAsItWas) {
    WriteFile(server_, "Estoque.exe", "module", TestAge(1));
    WriteFile(temp_.Path(), "Logs", "not a folder");

    const Run run = UpdateLogged((temp_.Path() / "Logs" / "corvane-update.log").string());
    EXPECT_EQ(run.completions, 1);
    EXPECT_EQ(run.observer->Names(FileOutcome::Updated), std::vector<std::string>{"Estoque.exe"});
    EXPECT_EQ(ReadFile(local_ / "Estoque.exe"), "module");
    EXPECT_EQ(ReadFile(temp_.Path() / "Logs"), "not a folder");
}

} // namespace
} // namespace corvane::test
