#include "platform/Locale.h"

#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <ostream>
#include <string>

namespace corvane {
namespace {

struct UpperCaseCase {
    std::string text;
    std::string expected;
    friend void PrintTo(const UpperCaseCase& c, std::ostream* os) {
        *os << ::testing::PrintToString(c.text);
    }
};

class UpperCasing : public ::testing::TestWithParam<UpperCaseCase> {
protected:
    // The cases hold for any default locale but the Turkic ones.
    void SetUp() override {
        saved_ = uloc_getDefault();
        UErrorCode status = U_ZERO_ERROR;
        uloc_setDefault("pt_BR", &status);
        ASSERT_TRUE(U_SUCCESS(status));
    }
    void TearDown() override {
        UErrorCode status = U_ZERO_ERROR;
        uloc_setDefault(saved_.c_str(), &status);
    }
    std::string saved_;
};

TEST_P(UpperCasing, MapsCharacterByCharacter) {
    EXPECT_EQ(UpperCase(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Locale, UpperCasing,
    ::testing::Values(
        UpperCaseCase{"", ""}, UpperCaseCase{"Relatorio\\layout01.rav", "RELATORIO\\LAYOUT01.RAV"},
        UpperCaseCase{"ação_çéü.dll", "AÇÃO_ÇÉÜ.DLL"}, UpperCaseCase{"istanbul ı", "ISTANBUL I"},
        // Characters keep their number: no expansion, no accents dropped.
        UpperCaseCase{"straße", "STRAßE"}, UpperCaseCase{"ﬁle", "ﬁLE"},
        UpperCaseCase{"άλφα", "ΆΛΦΑ"}, UpperCaseCase{"ǆ", "Ǆ"}, UpperCaseCase{"😀x", "😀X"},
        // Bytes that are not UTF-8 pass unchanged.
        UpperCaseCase{"a\xFF"
                      "b\xC3",
                      "A\xFF"
                      "B\xC3"},
        UpperCaseCase{"\xE2\x82z", "\xE2\x82Z"},
        UpperCaseCase{std::string("a\0b", 3), std::string("A\0B", 3)}));

TEST(UpperCasingTurkic, DotsTheCapitalIInTurkishAndAzerbaijani) {
    const std::string saved = uloc_getDefault();
    for (const char* locale : {"tr_TR", "az_AZ", "tr"}) {
        UErrorCode status = U_ZERO_ERROR;
        uloc_setDefault(locale, &status);
        ASSERT_TRUE(U_SUCCESS(status));
        EXPECT_EQ(UpperCase("istanbul.dll ı"), "İSTANBUL.DLL I") << locale;
    }
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("en_US", &status);
    EXPECT_EQ(UpperCase("istanbul.dll"), "ISTANBUL.DLL");
    uloc_setDefault(saved.c_str(), &status);
}

} // namespace
} // namespace corvane
