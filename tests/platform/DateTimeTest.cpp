#include "platform/DateTime.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct KnownDate {
    DateTimeParts parts;
    DateTime value;
};

class KnownDates : public ::testing::TestWithParam<KnownDate> {};

TEST_P(KnownDates, EncodeAndDecodeAgree) {
    const KnownDate& c = GetParam();
    EXPECT_DOUBLE_EQ(EncodeDateTime(c.parts), c.value);
    EXPECT_EQ(DecodeDateTime(c.value), c.parts);
}

INSTANTIATE_TEST_SUITE_P(Calendar, KnownDates,
                         ::testing::Values(KnownDate{{1899, 12, 30, 0, 0, 0, 0}, 0.0},
                                           KnownDate{{1900, 1, 1, 0, 0, 0, 0}, 2.0},
                                           KnownDate{{1970, 1, 1, 0, 0, 0, 0}, 25569.0},
                                           KnownDate{{2000, 2, 29, 12, 0, 0, 0}, 36585.5},
                                           KnownDate{{2022, 3, 1, 18, 0, 0, 0}, 44621.75},
                                           KnownDate{{1899, 12, 29, 6, 0, 0, 0}, -1.25}));

TEST(DateTime, EveryMillisecondOfADayRoundTripsExactly) {
    for (int ms = 0; ms < kMSecsPerDay; ms += 997) {
        const DateTimeParts p{2023,           10,       29, ms / 3'600'000, ms / 60'000 % 60,
                              ms / 1000 % 60, ms % 1000};
        const DateTime value = EncodeDateTime(p);
        ASSERT_EQ(DecodeDateTime(value), p);
        ASSERT_EQ(EncodeDateTime(DecodeDateTime(value)), value);
    }
}

TEST(DateTime, InvalidPartsAreRefused) {
    EXPECT_THROW(EncodeDateTime(2023, 2, 29, 0, 0, 0, 0), ConvertError);
    EXPECT_THROW(EncodeDateTime(2023, 13, 1, 0, 0, 0, 0), ConvertError);
    EXPECT_THROW(EncodeDateTime(2023, 1, 1, 24, 0, 0, 0), ConvertError);
    EXPECT_THROW(EncodeDateTime(2023, 1, 1, 0, 0, 0, 1000), ConvertError);
    EXPECT_NO_THROW(EncodeDateTime(2024, 2, 29, 23, 59, 59, 999));
}

} // namespace
} // namespace corvane
