// The rules behind the exchanges: masks, requested names and the two query forms.
#include "platform/Locale.h"
#include "service/FileMask.h"
#include "service/FormQuery.h"
#include "service/RequestedNames.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct MaskCase {
    const char* mask;
    const char* name;
    bool matches;
};

class Mask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(Mask, MatchesWithoutRegardToCase) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(FileMask(c.mask).MatchesUpper(UpperCase(c.name)), c.matches)
        << c.mask << " / " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Wildcards, Mask,
    ::testing::Values(MaskCase{"*.*", "Morvik.exe", true}, MaskCase{"*.*", "README", true},
                      MaskCase{"", "README", true}, MaskCase{"*", ".hidden", true},
                      MaskCase{"*.exe", "MORVIK.EXE", true}, MaskCase{"*.EXE", "morvik.exe", true},
                      MaskCase{"*.exe", "morvik.exe.bak", false},
                      MaskCase{"*.exe", "README", false}, MaskCase{"*.", "README", true},
                      MaskCase{"*.", "a.txt", false}, MaskCase{"gds??.dll", "GDS32.DLL", true},
                      MaskCase{"gds??.dll", "gds3.dll", false},
                      MaskCase{"?ção.txt", "Ação.TXT", true},
                      MaskCase{"*ÇÃO*", "acentuação.txt", true}, MaskCase{"a*b*c", "aXbYbZc", true},
                      MaskCase{"a*b*c", "aXbYbZ", false},
                      MaskCase{"Layout0?.rav", "Layout01.rav", true},
                      MaskCase{"Layout0?.rav", "Layout010.rav", false}));

struct NameCase {
    const char* name;
    bool accepted;
};

class RequestedName : public ::testing::TestWithParam<NameCase> {};

TEST_P(RequestedName, AcceptsOnlyPlainNamesBeneathTheRoot) {
    const NameCase& c = GetParam();
    EXPECT_EQ(SplitRequestedName(std::string_view(c.name)).has_value(), c.accepted) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, RequestedName,
    ::testing::Values(NameCase{"Morvik.exe", true}, NameCase{"Relatorio\\Layout01.rav", true},
                      NameCase{"Relatorio/Sub/x.txt", true}, NameCase{"...", true},
                      NameCase{"a..b", true}, NameCase{"", false}, NameCase{"..", false},
                      NameCase{".", false}, NameCase{"a\\..\\b", false}, NameCase{"a\\.\\b", false},
                      NameCase{"a\\\\b", false}, NameCase{"a\\", false}, NameCase{"\\a", false},
                      NameCase{"/etc/passwd", false}, NameCase{"C:\\a", false},
                      NameCase{"C:a", false}, NameCase{"a:stream", false}, NameCase{"a|b", false},
                      NameCase{"a\tb", false}));

TEST(RequestedName, ANulByteIsNeverPartOfAName) {
    EXPECT_FALSE(SplitRequestedName(std::string_view("Morvik.exe\0.txt", 15)));
    EXPECT_FALSE(SplitRequestedFolder(std::string_view("Relatorio\0", 10)));
}

TEST(RequestedFolder, TheRootHasSeveralSpellings) {
    for (const char* root : {"", "\\", "/"})
        EXPECT_EQ(SplitRequestedFolder(root), std::vector<std::string>{}) << root;
    EXPECT_EQ(SplitRequestedFolder("\\Relatorio\\Sub\\"),
              (std::vector<std::string>{"Relatorio", "Sub"}));
    EXPECT_FALSE(SplitRequestedFolder("\\\\server\\share"));
    EXPECT_FALSE(SplitRequestedFolder("\\..\\"));
}

TEST(Query, TheListingQueryIsFormEncoded) {
    const auto params = ParseFormQuery("folder=Relat%C3%B3rio+2&mask=*.*&recursive=");
    ASSERT_EQ(params.size(), 3u);
    EXPECT_EQ(params[0].value, "Relatório 2");
    EXPECT_EQ(FindParam(params, "MASK")->value, "*.*");
    ASSERT_NE(FindParam(params, "recursive"), nullptr);
    EXPECT_EQ(FindParam(params, "recursive")->value, "");
    EXPECT_EQ(FindParam(ParseFormQuery("folder=%5C&mask=*.*"), "recursive"), nullptr);
}

TEST(Query, TheDownloadNameRunsToTheEndAndKeepsItsPlusSigns) {
    EXPECT_EQ(DownloadFileName("file=a+b&c=d.txt"), "a+b&c=d.txt");
    EXPECT_EQ(DownloadFileName("file=Relatorio%5CLayout01.rav"), "Relatorio\\Layout01.rav");
    EXPECT_EQ(DownloadFileName("file=a%20b"), "a b");
    EXPECT_EQ(DownloadFileName("x=1&file=y"), "y");
    EXPECT_EQ(DownloadFileName("file="), "");
    EXPECT_FALSE(DownloadFileName("name=y"));
    EXPECT_FALSE(DownloadFileName("profile=y"));
}

TEST(Query, EscapesAreDecodedExactlyOnce) {
    EXPECT_EQ(PercentDecode("%252e%252e%255c", false), "%2e%2e%5c");
    EXPECT_EQ(PercentDecode("%2e%2E%5c%5C", false), "..\\\\");
    EXPECT_EQ(PercentDecode("100%", false), "100%");
    EXPECT_EQ(PercentDecode("%zz%4", false), "%zz%4");
    EXPECT_EQ(PercentDecode("a%00b", false), std::string("a\0b", 3));
}

} // namespace
} // namespace corvane
