#include "platform/ErrorReport.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace corvane {
namespace {

// Each test starts without a report installed and puts back what was there.
class InstalledErrorReport : public ::testing::Test {
protected:
    void SetUp() override { previous_ = SetErrorReport(nullptr); }
    void TearDown() override { SetErrorReport(std::move(previous_)); }

    ErrorReport previous_;
};

TEST_F(InstalledErrorReport, TheInstalledReportGetsTheMessageAndAReplacedOneComesBack) {
    std::vector<std::string> first;
    std::vector<std::string> second;
    EXPECT_FALSE(SetErrorReport([&](const std::string& message) { first.push_back(message); }));
    HandleException(std::make_exception_ptr(SystemError("Permission denied", 13)));
    const ErrorReport replaced =
        SetErrorReport([&](const std::string& message) { second.push_back(message); });
    HandleException(std::make_exception_ptr(std::runtime_error("Duplicates not allowed")));

    EXPECT_EQ(first, std::vector<std::string>{"Permission denied"});
    EXPECT_EQ(second, std::vector<std::string>{"Duplicates not allowed"});
    ASSERT_TRUE(replaced);
    replaced("direct");
    EXPECT_EQ(first.back(), "direct");
    EXPECT_TRUE(CurrentErrorReport());
}

TEST_F(InstalledErrorReport, WithoutAReportTheMessageGoesToStandardError) {
    ::testing::internal::CaptureStderr();
    HandleException(std::make_exception_ptr(Exception("Falha ao abrir Corvane.ini")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Falha ao abrir Corvane.ini\n");
    EXPECT_FALSE(CurrentErrorReport());
}

TEST_F(InstalledErrorReport, AnErrorThatIsNoStandardExceptionHasAMessageToo) {
    EXPECT_EQ(ExceptionMessage(std::make_exception_ptr(42)), "Unknown exception");
    EXPECT_EQ(ExceptionMessage(nullptr), "Unknown exception");
    EXPECT_EQ(ExceptionMessage(std::make_exception_ptr(std::logic_error("x"))), "x");
}

// The caller of HandleException goes on whatever the report does.
TEST_F(InstalledErrorReport, AFailingReportIsDropped) {
    int calls = 0;
    SetErrorReport([&](const std::string&) {
        ++calls;
        throw std::runtime_error("the box itself failed");
    });
    HandleException(std::make_exception_ptr(Exception("first")));
    HandleException(std::make_exception_ptr(Exception("second")));
    EXPECT_EQ(calls, 2);
}

} // namespace
} // namespace corvane
