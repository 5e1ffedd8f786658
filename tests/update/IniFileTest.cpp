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
    const char* Name;
    std::string Text;
    const char* Section;
    const char* Key;
    std::string Expected; // "DEFAULT" when the default must arrive
    friend void PrintTo(const IniCase& c, std::ostream* os) { *os << c.Name; }
};

class IniRules : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniRules, ReadString) {
    const IniCase& c = GetParam();
    EXPECT_EQ(TIniFile::FromText(c.Text).ReadString(c.Section, c.Key, "DEFAULT"), c.Expected);
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
    [](const auto& caseInfo) { return std::string(caseInfo.param.Name); });

struct LengthCase {
    const char* Name;
    std::string Value;
    std::string Expected;
    friend void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.Name; }
};

class ValueLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ValueLength, AtMost2047Characters) {
    const TIniFile ini = TIniFile::FromText("[Servidor]\nurl=" + GetParam().Value + "\n");
    EXPECT_EQ(ini.ReadString("Servidor", "url", ""), GetParam().Expected);
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
    [](const auto& caseInfo) { return std::string(caseInfo.param.Name); });

class IniFiles : public ::testing::Test {
protected:
    void SetUp() override {
        FFolder = std::filesystem::temp_directory_path() /
                  ("corvane-ini-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(FFolder);
        FFile = (FFolder / "Corvane.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(FFolder); }
    void Write(const std::string& bytes) { std::ofstream(FFile, std::ios::binary) << bytes; }
    std::string Url() const { return TIniFile(FFile).ReadString("Servidor", "url", "DEFAULT"); }

    std::filesystem::path FFolder;
    std::string FFile;
};

TEST_F(IniFiles, MissingOrUnreadableFileGivesDefaults) {
    EXPECT_EQ(Url(), "DEFAULT");
    std::filesystem::create_directory(FFile); // a folder where the file should be
    EXPECT_EQ(Url(), "DEFAULT");
}

TEST_F(IniFiles, BinaryJunkGivesDefaults) {
    std::mt19937 random(4711);
    std::string junk(256 * 1024, '\0');
    for (char& c : junk)
        c = static_cast<char>(random() % 256);
    Write(junk);
    EXPECT_EQ(Url(), "DEFAULT");
    EXPECT_EQ(TIniFile(FFile).ReadString("Servidor", "Local Exe", ""), "");
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
