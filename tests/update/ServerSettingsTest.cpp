// Section "Servidor" as the launcher and corvane-update both read it.
#include "update/ServerSettings.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace corvane {
namespace {

struct TSettingsCase {
    const char* Name;
    std::string Text;
    TServerSettings Expected;
    friend void PrintTo(const TSettingsCase& c, std::ostream* os) { *os << c.Name; }
};

class ServerSettingsCases : public ::testing::TestWithParam<TSettingsCase> {};

TEST_P(ServerSettingsCases, ReadFromTheConfigurationBesideItsFolder) {
    const TSettingsCase& c = GetParam();
    const TServerSettings read =
        ReadServerSettings(TIniFile::FromText(c.Text), "/opt/corvane/estação 1/");
    EXPECT_EQ(read.RemotePath, c.Expected.RemotePath);
    EXPECT_EQ(read.URL, c.Expected.URL);
    EXPECT_EQ(read.CAFile, c.Expected.CAFile);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerSettingsCases,
    ::testing::Values(
        TSettingsCase{"Nothing", "", {"", "", ""}},
        TSettingsCase{"ServerFolderGetsABackslash",
                      "[Servidor]\nLocal Exe=\\\\srv01\\corvane\n",
                      {"\\\\srv01\\corvane\\", "", ""}},
        TSettingsCase{"EmptyServerFolderStaysEmpty", "[Servidor]\nLocal Exe=\n", {"", "", ""}},
        TSettingsCase{"URLKeptAsWritten",
                      "[Servidor]\nurl=\" https://srv01 \"\n",
                      {"", " https://srv01 ", ""}},
        TSettingsCase{"AuthorityBesideTheConfiguration",
                      "[servidor]\nCA=  certificados\\hospital.pem \t\n",
                      {"", "", "/opt/corvane/estação 1/certificados\\hospital.pem"}},
        TSettingsCase{"AuthorityWithAFullPath",
                      "[Servidor]\nca=/etc/ssl/hospital.pem\n",
                      {"", "", "/etc/ssl/hospital.pem"}},
        TSettingsCase{"BlankAuthorityIsNone", "[Servidor]\nca=\" \"\n", {"", "", ""}}),
    [](const auto& c) { return std::string(c.param.Name); });

} // namespace
} // namespace corvane
