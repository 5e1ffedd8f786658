// Section "Servidor" as the launcher and corvane-update both read it.
#include "update/ServerSettings.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace corvane {
namespace {

struct SettingsCase {
    const char* name;
    std::string text;
    ServerSettings expected;
    friend void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }
};

class ServerSettingsCases : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ServerSettingsCases, ReadFromTheConfigurationBesideItsFolder) {
    const SettingsCase& c = GetParam();
    const ServerSettings read =
        ReadServerSettings(IniFile::FromText(c.text), "/opt/corvane/estação 1/");
    EXPECT_EQ(read.remotePath, c.expected.remotePath);
    EXPECT_EQ(read.url, c.expected.url);
    EXPECT_EQ(read.caFile, c.expected.caFile);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerSettingsCases,
    ::testing::Values(SettingsCase{"Nothing", "", {"", "", ""}},
                      SettingsCase{"ServerFolderGetsABackslash",
                                   "[Servidor]\nLocal Exe=\\\\srv01\\corvane\n",
                                   {"\\\\srv01\\corvane\\", "", ""}},
                      SettingsCase{
                          "EmptyServerFolderStaysEmpty", "[Servidor]\nLocal Exe=\n", {"", "", ""}},
                      SettingsCase{"URLKeptAsWritten",
                                   "[Servidor]\nurl=\" https://srv01 \"\n",
                                   {"", " https://srv01 ", ""}},
                      SettingsCase{"AuthorityBesideTheConfiguration",
                                   "[servidor]\nCA=  certificados\\hospital.pem \t\n",
                                   {"", "", "/opt/corvane/estação 1/certificados\\hospital.pem"}},
                      SettingsCase{"AuthorityWithAFullPath",
                                   "[Servidor]\nca=/etc/ssl/hospital.pem\n",
                                   {"", "", "/etc/ssl/hospital.pem"}},
                      SettingsCase{"BlankAuthorityIsNone", "[Servidor]\nca=\" \"\n", {"", "", ""}}),
    [](const auto& c) { return std::string(c.param.name); });

} // namespace
} // namespace corvane
