// The progress under the waiting panel: its Portuguese text, and the figures a run's events
// make of it, the bytes of a file counting up to its listed size and whole once it is done.
#include "update/UpdateProgress.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace corvane {
namespace {

constexpr std::uint64_t kMB = std::uint64_t{1} << 20;

struct TextCase {
    const char* label;
    ProgressFigures figures;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.label;
}

class ProgressTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(ProgressTexts, SayHowFarTheRunHasGot) {
    EXPECT_EQ(ProgressText(GetParam().figures), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Figures, ProgressTexts,
    ::testing::Values(TextCase{"NothingToFetch", {0, 0, 0, 0, true}, ""},
                      TextCase{"FilesAndMegabytes",
                               {3, 12, 45 * kMB + 7, 200 * kMB, true},
                               "3 de 12 arquivos · 45 de 200 MB"},
                      TextCase{"OneFile", {0, 1, 0, 3 * kMB, true}, "0 de 1 arquivo · 0 de 3 MB"},
                      TextCase{
                          "SizesNotKnown", {2, 5, 10 * kMB, 20 * kMB, false}, "2 de 5 arquivos"},
                      TextCase{"EmptyFiles", {1, 2, 0, 0, true}, "1 de 2 arquivos"},
                      TextCase{"KilobytesBelowOneMegabyte",
                               {1, 3, 1000, 600 * 1024 + 1, true},
                               "1 de 3 arquivos · 0 de 601 KB"},
                      // The total is rounded up, the part done down: they meet only at the end.
                      TextCase{"AlmostDone",
                               {11, 12, 200 * kMB, 200 * kMB + 1, true},
                               "11 de 12 arquivos · 200 de 201 MB"},
                      TextCase{"Done",
                               {12, 12, 200 * kMB + 1, 200 * kMB + 1, true},
                               "12 de 12 arquivos · 201 de 201 MB"},
                      TextCase{"ThousandsGrouped",
                               {1234, 2048, 1500 * kMB, 4096 * kMB, true},
                               "1.234 de 2.048 arquivos · 1.500 de 4.096 MB"}),
    [](const auto& c) { return std::string(c.param.label); });

TEST(UpdateProgress, CountsTheFilesToFetchAndTheirBytesAsTheRunGoes) {
    UpdateProgress progress;
    const auto feed = progress.Observer();
    const std::string module = "Estoque.exe", ini = "central.ini", dll = "gds32.dll";
    FileRecord serverModule(module, 1.0), serverIni(ini, 1.0), serverDll(dll, 1.0);
    serverModule.size = 100;
    serverIni.size = 50;
    serverDll.size = 30;
    feed->FileCompared({module, std::nullopt, &serverModule, true});
    feed->FileCompared({ini, 2.0, &serverIni, true});
    feed->FileCompared({dll, 1.0, &serverDll, false}); // current: not to fetch
    EXPECT_EQ(progress.Read(), (ProgressFigures{0, 2, 0, 150, true}));

    feed->BytesArrived(module, 60);
    EXPECT_EQ(progress.Read().bytesDone, 60u);
    feed->BytesArrived(module, 80); // more than listed counts no further than its size
    EXPECT_EQ(progress.Read().bytesDone, 100u);
    feed->BytesArrived(ini, 10);
    feed->FileDone(ini, FileOutcome::Failed, "Arquivo corrompido no download: central.ini");
    EXPECT_EQ(progress.Read(), (ProgressFigures{1, 2, 150, 150, true}));
    feed->FileDone(module, FileOutcome::Updated, "");
    EXPECT_EQ(progress.Read(), (ProgressFigures{2, 2, 150, 150, true}));

    // A second run adds to the same figures; a file without a listed size makes the bytes
    // unknown.
    const auto second = progress.Observer();
    second->FileCompared({dll, 1.0, nullptr, true});
    EXPECT_EQ(progress.Read(), (ProgressFigures{2, 3, 150, 150, false}));

    progress.Reset();
    EXPECT_EQ(progress.Read(), ProgressFigures{});
    second->FileDone(dll, FileOutcome::Failed, "Duplicates not allowed");
    EXPECT_EQ(progress.Read(), ProgressFigures{});
}

} // namespace
} // namespace corvane
