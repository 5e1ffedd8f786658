// Which tray-icon events bring the window back on each kind of notification area, decided
// without a desktop; and the launcher acting on them through its view.
#include "shell/TrayActivation.h"

#include "shell/Launcher.h"
#include "tests/shell/FakeLauncherView.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct TrayCase {
    TrayHost host;
    TrayEvent event;
    TrayResponse response;
};

class TrayActivationTest : public ::testing::TestWithParam<TrayCase> {};

// D-Bus hosts report a click as a single activation and never a double-click: it restores.
// Hosts that tell clicks apart keep the double-click; their single click does nothing, as the
// first click of every double-click arrives alone first.
INSTANTIATE_TEST_SUITE_P(
    EveryHostAndEvent, TrayActivationTest,
    ::testing::Values(
        TrayCase{TrayHost::SingleActivation, TrayEvent::Click, TrayResponse::Restore},
        TrayCase{TrayHost::SingleActivation, TrayEvent::DoubleClick, TrayResponse::Restore},
        TrayCase{TrayHost::SingleActivation, TrayEvent::MiddleClick, TrayResponse::Nothing},
        TrayCase{TrayHost::SingleActivation, TrayEvent::MenuRequest, TrayResponse::OpenMenu},
        TrayCase{TrayHost::SingleActivation, TrayEvent::Other, TrayResponse::Nothing},
        TrayCase{TrayHost::ClicksApart, TrayEvent::Click, TrayResponse::Nothing},
        TrayCase{TrayHost::ClicksApart, TrayEvent::DoubleClick, TrayResponse::Restore},
        TrayCase{TrayHost::ClicksApart, TrayEvent::MiddleClick, TrayResponse::Nothing},
        TrayCase{TrayHost::ClicksApart, TrayEvent::MenuRequest, TrayResponse::OpenMenu},
        TrayCase{TrayHost::ClicksApart, TrayEvent::Other, TrayResponse::Nothing}));

TEST_P(TrayActivationTest, Response) {
    const TrayCase& c = GetParam();
    EXPECT_EQ(RespondToTrayEvent(c.host, c.event), c.response);
}

// The launcher hidden in the tray comes back on a D-Bus host's single activation, and not on
// the single click of a host that tells clicks apart.
TEST(TrayActivation, LauncherRestoresOnTheHostsOwnGesture) {
    testing::FakeLauncherView view;
    Launcher launcher(view, LauncherSystem{});
    view.launcher = &launcher;
    launcher.TrayIconAdded();
    EXPECT_FALSE(launcher.WindowClosing());
    launcher.WindowMinimised();
    ASSERT_TRUE(view.hidden);

    launcher.TrayIconEvent(TrayHost::ClicksApart, TrayEvent::Click);
    EXPECT_TRUE(view.hidden);
    launcher.TrayIconEvent(TrayHost::SingleActivation, TrayEvent::Click);
    EXPECT_FALSE(view.hidden);
    EXPECT_FALSE(view.minimised);
}

} // namespace
} // namespace corvane
