// Corvane.ini as the launcher reads it from its own folder.
#include "shell/LauncherSettings.h"

#include "tests/support/FileTree.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

namespace corvane {
namespace {

struct SettingsCase {
    const char* name;
    std::optional<std::string> ini; // none: no Corvane.ini at all
    std::string remotePath;
    std::string url;
    std::string accountingProgram;
};

class LauncherSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(LauncherSettingsTest, ReadFromTheLaunchersFolder) {
    const SettingsCase& c = GetParam();
    test::TempFolder folder;
    if (c.ini)
        test::WriteFile(folder.Path(), "Corvane.ini", *c.ini);
    const LauncherSettings settings = ReadLauncherSettings(folder.Folder());
    EXPECT_EQ(settings.localPath, folder.Folder());
    EXPECT_EQ(settings.remotePath, c.remotePath);
    EXPECT_EQ(settings.url, c.url);
    EXPECT_EQ(settings.accountingProgram, c.accountingProgram);
}

std::string BinaryJunk() {
    std::string junk(64 * 1024, '\0');
    std::mt19937 random(2019);
    for (char& byte : junk)
        byte = static_cast<char>(random());
    return junk;
}

const std::string kDefaultAccounting = "C:\\qlor\\Cont\\contabil.exe";

INSTANTIATE_TEST_SUITE_P(
    Files, LauncherSettingsTest,
    ::testing::Values(
        SettingsCase{"NoCorvaneIni", std::nullopt, "", "", kDefaultAccounting},
        SettingsCase{"ShareWithoutFinalBackslash",
                     "[Servidor]\r\nLocal Exe=\\\\srv01\\corvane\r\nurl=http://srv01:8080\r\n"
                     "Exe Contabi=D:\\Cont\\contabil.exe\r\n",
                     "\\\\srv01\\corvane\\", "http://srv01:8080", "D:\\Cont\\contabil.exe"},
        SettingsCase{"FinalBackslashKept", "[servidor]\nLOCAL EXE=\\\\srv01\\corvane\\\n",
                     "\\\\srv01\\corvane\\", "", kDefaultAccounting},
        SettingsCase{"ForwardSlashGetsABackslash", "[Servidor]\nLocal Exe=/mnt/servidor/\n",
                     "/mnt/servidor/\\", "", kDefaultAccounting},
        SettingsCase{"EmptyLocalExeStaysEmpty", "[Servidor]\nLocal Exe=\nurl=\nExe Contabi=\n", "",
                     "", ""},
        SettingsCase{"UrlKeptAsReadQuotesDropped", "[Servidor]\nurl=\" http://srv01/arquivos \"\n",
                     "", " http://srv01/arquivos ", kDefaultAccounting},
        SettingsCase{"ValuesCutAt2047Characters",
                     "[Servidor]\nLocal Exe=" + std::string(100'000, 'L') +
                         "\nurl=" + std::string(2048, 'u') + "\n",
                     std::string(2047, 'L') + "\\", std::string(2047, 'u'), kDefaultAccounting},
        SettingsCase{"Windows1252File", "[Servidor]\r\nLocal Exe=/mnt/Instala\xE7\xE3o\r\n",
                     "/mnt/Instalação\\", "", kDefaultAccounting},
        SettingsCase{"BinaryJunk", BinaryJunk(), "", "", kDefaultAccounting}),
    [](const auto& c) { return std::string(c.param.name); });

struct ConfiguredCase {
    const char* name;
    std::string remotePath;
    std::string url;
    bool nothing;
};

class NothingConfiguredTest : public ::testing::TestWithParam<ConfiguredCase> {};

TEST_P(NothingConfiguredTest, NeitherServerFolderNorService) {
    LauncherSettings settings;
    settings.remotePath = GetParam().remotePath;
    settings.url = GetParam().url;
    EXPECT_EQ(NothingConfigured(settings), GetParam().nothing);
}

INSTANTIATE_TEST_SUITE_P(Settings, NothingConfiguredTest,
                         ::testing::Values(ConfiguredCase{"Empty", "", "", true},
                                           ConfiguredCase{"BlanksAndControls", "", " \t\r\n\x01 ",
                                                          true},
                                           ConfiguredCase{"ServerFolder", "\\", "", false},
                                           ConfiguredCase{"Service", "", " http://srv01 ", false},
                                           ConfiguredCase{"NonAsciiUrl", "", "\xC3\xA7", false}),
                         [](const auto& c) { return std::string(c.param.name); });

} // namespace
} // namespace corvane
