#include "platform/NativePaths.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace corvane {
namespace {

struct AbsoluteCase {
    const char* path;
    const char* expected; // "{CWD}" stands for the current folder
    friend void PrintTo(const AbsoluteCase& c, std::ostream* os) { *os << c.path; }
};

class NativeAbsolute : public ::testing::TestWithParam<AbsoluteCase> {};

TEST_P(NativeAbsolute, TakesOutDotsAndPutsTheCurrentFolderBeforeARelativePath) {
    std::string expected = GetParam().expected;
    if (const size_t at = expected.find("{CWD}"); at != std::string::npos)
        expected.replace(at, 5, GetCurrentDir() == "/" ? "" : GetCurrentDir());
    EXPECT_EQ(NativeAbsolutePath(GetParam().path), expected);
}

INSTANTIATE_TEST_SUITE_P(NativePaths, NativeAbsolute,
                         ::testing::Values(AbsoluteCase{"/srv/corvane", "/srv/corvane"},
                                           AbsoluteCase{"/srv/corvane/", "/srv/corvane"},
                                           AbsoluteCase{"/srv//corvane/./export",
                                                        "/srv/corvane/export"},
                                           AbsoluteCase{"/srv/corvane/../saida", "/srv/saida"},
                                           AbsoluteCase{"/../..", "/"}, AbsoluteCase{"/", "/"},
                                           AbsoluteCase{"saida/nginx", "{CWD}/saida/nginx"},
                                           AbsoluteCase{"saida\\nginx", "{CWD}/saida/nginx"},
                                           AbsoluteCase{"./saida/..", "{CWD}"}));

struct WithinCase {
    const char* path;
    const char* folder;
    bool within;
    friend void PrintTo(const WithinCase& c, std::ostream* os) {
        *os << c.path << " in " << c.folder;
    }
};

class NativeWithin : public ::testing::TestWithParam<WithinCase> {};

TEST_P(NativeWithin, ComparesNameByName) {
    EXPECT_EQ(IsNativePathWithin(GetParam().path, GetParam().folder), GetParam().within);
}

INSTANTIATE_TEST_SUITE_P(
    NativePaths, NativeWithin,
    ::testing::Values(WithinCase{"/srv/a", "/srv/a", true}, WithinCase{"/srv/a/b", "/srv/a", true},
                      WithinCase{"/srv/ab", "/srv/a", false}, WithinCase{"/srv", "/srv/a", false},
                      WithinCase{"/srv/a", "/", true}, WithinCase{"/", "/", true},
                      WithinCase{"/srv/b/a", "/srv/a", false}));

TEST(NativeJoin, PutsOneSeparatorBetweenFolderAndName) {
    EXPECT_EQ(JoinNativePath("/srv/saida", "nginx-http.conf"), "/srv/saida/nginx-http.conf");
    EXPECT_EQ(JoinNativePath("/srv/saida/", "nginx-http.conf"), "/srv/saida/nginx-http.conf");
    EXPECT_EQ(JoinNativePath("/", "srv"), "/srv");
    EXPECT_EQ(JoinNativePath("/srv/saida", ""), "/srv/saida/");
}

} // namespace
} // namespace corvane
