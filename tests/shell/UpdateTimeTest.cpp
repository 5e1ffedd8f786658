// The run's duration as the caption shows it.
#include "shell/UpdateTime.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

constexpr DateTime kMillisecond = 1.0 / 86400000.0;

struct TimeCase {
    const char* name;
    long long milliseconds;
    const char* separator;
    const char* text;
};

class UpdateTimeTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(UpdateTimeTest, MinutesSecondsMilliseconds) {
    const TimeCase& c = GetParam();
    EXPECT_EQ(FormatUpdateTime(c.milliseconds * kMillisecond, c.separator), c.text);
    EXPECT_EQ(UpdateTimeCaption(c.milliseconds * kMillisecond, c.separator),
              std::string("Corvane Plexa Tempo do update : ") + c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Times, UpdateTimeTest,
    ::testing::Values(TimeCase{"Seconds", 3250, ":", "00:03.250"},
                      TimeCase{"OverAnHourDropsTheHours", ((60 + 2) * 60 + 3) * 1000 + 4, ":",
                               "02:03.004"},
                      TimeCase{"OtherSeparator", 59 * 60000 + 59999, ".", "59.59.999"},
                      TimeCase{"Nothing", 0, ":", "00:00.000"},
                      TimeCase{"ClockSetBack", -5000, ":", "00:00.000"}),
    [](const auto& c) { return std::string(c.param.name); });

} // namespace
} // namespace corvane
