#include "update/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <unistd.h>

namespace corvane {
namespace {

// A string literal with its NUL bytes.
template <size_t N> std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

struct IniCase {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    std::string expected; // "DEFAULT" when the default must arrive
    friend void PrintTo(const IniCase& c, std::ostream* os) { *os << c.name; }
};

class IniRules : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniRules, ReadString) {
    const IniCase& c = GetParam();
    EXPECT_EQ(IniFile::FromText(c.text).ReadString(c.section, c.key, "DEFAULT"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Corvane, IniRules,
    ::testing::Values(
        IniCase{"Plain", "[Servidor]\nurl=http://srv01:8080\n", "Servidor", "url",
                "http://srv01:8080"},
        IniCase{"NamesIgnoreCase", "[SERVIDOR]\nLOCAL EXE=x\n", "servidor", "Local Exe", "x"},
        IniCase{"BlanksAroundNamesAndValues",
                "  [ Servidor ]  \r\n\t Local Exe \t=  \\\\srv\\a b \r\n", "Servidor", "Local Exe",
                "\\\\srv\\a b"},
        IniCase{"CrLfLines", "[Servidor]\r\nurl=a\r\nLocal Exe=b\r\n", "Servidor", "Local Exe",
                "b"},
        IniCase{"EqualsInValue", "[Servidor]\nurl=http://srv/?a=b\n", "Servidor", "url",
                "http://srv/?a=b"},
        IniCase{"DoubleQuotesDropped", "[Servidor]\nurl=\" http://srv \"\n", "Servidor", "url",
                " http://srv "},
        IniCase{"SingleQuotesDropped", "[Servidor]\nurl='a'\n", "Servidor", "url", "a"},
        IniCase{"OnlyOnePairDropped", "[Servidor]\nurl=\"\"a\"\"\n", "Servidor", "url", "\"a\""},
        IniCase{"UnpairedQuoteKept", "[Servidor]\nurl=\"a\n", "Servidor", "url", "\"a"},
        IniCase{"MixedQuotesKept", "[Servidor]\nurl=\"a'\n", "Servidor", "url", "\"a'"},
        IniCase{"LoneQuoteKept", "[Servidor]\nurl=\"\n", "Servidor", "url", "\""},
        IniCase{"QuotedEmpty", "[Servidor]\nurl=\"\"\n", "Servidor", "url", ""},
        IniCase{"EmptyValueIsNotTheDefault", "[Servidor]\nurl=\n", "Servidor", "url", ""},
        IniCase{"NonAsciiValue", "[Servidor]\nLocal Exe=/mnt/Instalação São José\n", "Servidor",
                "Local Exe", "/mnt/Instalação São José"},
        IniCase{"MissingKey", "[Servidor]\nurl=a\n", "Servidor", "Local Exe", "DEFAULT"},
        IniCase{"MissingSection", "[Outro]\nurl=a\n", "Servidor", "url", "DEFAULT"},
        IniCase{"NoSectionAtAll", "url=a\nLocal Exe=b\n", "Servidor", "url", "DEFAULT"},
        IniCase{"EmptyText", "", "Servidor", "url", "DEFAULT"},
        IniCase{"KeyOfAnotherSection", "[Servidor]\n[Outro]\nurl=a\n", "Servidor", "url",
                "DEFAULT"},
        IniCase{"RepeatedKeyFirstWins", "[Servidor]\nurl=first\nURL=second\n", "Servidor", "url",
                "first"},
        IniCase{"OnlyFirstSectionOfANameCounts", "[Servidor]\nurl=a\n[servidor]\nLocal Exe=b\n",
                "Servidor", "Local Exe", "DEFAULT"},
        IniCase{"CommentIsNoKey", "[Servidor]\n;url=a\n", "Servidor", "url", "DEFAULT"},
        IniCase{"LineWithoutEqualsIsNoKey", "[Servidor]\nurl\n", "Servidor", "url", "DEFAULT"},
        IniCase{"HeaderWithoutBracketIsNoHeader", "[Servidor\nurl=a\n", "Servidor", "url",
                "DEFAULT"},
        IniCase{"HeaderNameRunsToTheLastBracket", "[Servidor]x]\nurl=a\n", "Servidor]x", "url",
                "a"},
        IniCase{"NulBytesAreOrdinaryCharacters", Bytes("[Servidor]\nurl=a\0b\n"), "Servidor", "url",
                Bytes("a\0b")}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

struct LengthCase {
    const char* name;
    std::string value;
    std::string expected;
    friend void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }
};

class ValueLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ValueLength, AtMost2047Characters) {
    const IniFile ini = IniFile::FromText("[Servidor]\nurl=" + GetParam().value + "\n");
    EXPECT_EQ(ini.ReadString("Servidor", "url", ""), GetParam().expected);
}

std::string Repeat(const std::string& unit, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += unit;
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Corvane, ValueLength,
    ::testing::Values(LengthCase{"Exactly2047", std::string(2047, 'a'), std::string(2047, 'a')},
                      LengthCase{"Cut2048", std::string(2048, 'a'), std::string(2047, 'a')},
                      LengthCase{"Cut100000", std::string(100'000, 'a'), std::string(2047, 'a')},
                      LengthCase{"QuotedCutAfterTheQuote", "\"" + std::string(3000, 'b') + "\"",
                                 std::string(2047, 'b')},
                      // Characters, not bytes: "ç" takes two bytes and one character.
                      LengthCase{"TwoByteCharacters", Repeat("ç", 3000), Repeat("ç", 2047)},
                      // Beyond the basic plane a character takes two units and is never cut in two.
                      LengthCase{"PairsNeverCut", Repeat("😀", 1500), Repeat("😀", 1023)},
                      LengthCase{"PairAfterOddStart", "a" + Repeat("😀", 1500),
                                 "a" + Repeat("😀", 1023)}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

class IniFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("corvane-ini-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        file_ = (folder_ / "Corvane.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    void Write(const std::string& bytes) { std::ofstream(file_, std::ios::binary) << bytes; }
    std::string Url() const { return IniFile(file_).ReadString("Servidor", "url", "DEFAULT"); }

    std::filesystem::path folder_;
    std::string file_;
};

TEST_F(IniFiles, MissingOrUnreadableFileGivesDefaults) {
    EXPECT_EQ(Url(), "DEFAULT");
    std::filesystem::create_directory(file_); // a folder where the file should be
    EXPECT_EQ(Url(), "DEFAULT");
}

TEST_F(IniFiles, BinaryJunkGivesDefaults) {
    std::mt19937 random(4711);
    std::string junk(256 * 1024, '\0');
    for (char& c : junk)
        c = static_cast<char>(random() % 256);
    Write(junk);
    EXPECT_EQ(Url(), "DEFAULT");
    EXPECT_EQ(IniFile(file_).ReadString("Servidor", "Local Exe", ""), "");
}

TEST_F(IniFiles, SectionAmidJunkIsStillRead) {
    Write(Bytes("\x00\xFF\xFE junk\n[Servidor]\nurl=ok\n\xC3\x00 more\n"));
    EXPECT_EQ(Url(), "ok");
}

TEST_F(IniFiles, FilesWrittenOnWindowsAreDecoded) {
    Write("\xEF\xBB\xBF[Servidor]\r\nurl=utf8\r\n");
    EXPECT_EQ(Url(), "utf8");

    std::string bytes = "\xFF\xFE";
    for (const char16_t c : std::u16string(u"[Servidor]\r\nurl=S\u00E3o\r\n")) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    Write(bytes);
    EXPECT_EQ(Url(), "São");

    Write("[Servidor]\r\nurl=\\\\srv\\Instala\xE7\xE3o\r\n"); // Windows-1252
    EXPECT_EQ(Url(), "\\\\srv\\Instalação");
}

} // namespace
} // namespace corvane
