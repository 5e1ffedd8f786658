// The one table of click areas: which module each area starts, where the areas lie, and the
// look-ups every view makes with it.
#include "shell/ModuleTable.h"

#include "shell/Contacts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace corvane {
namespace {

struct ModuleRow {
    const char* area;
    const char* module;
    bool additionalFiles;
};

class ModuleRowTest : public ::testing::TestWithParam<ModuleRow> {};

// Each module area starts its executable; the remote-support tools bring only their own file.
TEST_P(ModuleRowTest, AreaStartsItsModule) {
    const ModuleRow& row = GetParam();
    const ClickArea* area = FindClickArea(row.area);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->action, AreaAction::StartModule);
    EXPECT_EQ(area->moduleName, row.module);
    EXPECT_EQ(area->additionalFiles, row.additionalFiles);
    EXPECT_TRUE(area->opensMenu);
    EXPECT_EQ(ClickAreaHint(*area), "");
    // The middle of the area finds the area itself.
    const AreaBounds& bounds = area->bounds;
    EXPECT_EQ(ClickAreaAt(bounds.left + bounds.width / 2, bounds.top + bounds.height / 2), area);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, ModuleRowTest,
    ::testing::Values(
        ModuleRow{"systemAdministration", "Vostrel.exe", true},
        ModuleRow{"appointments", "Quimba.exe", true},
        ModuleRow{"generalRegistration", "Drelvo.exe", true},
        ModuleRow{"purchasing", "Parnox.exe", true},
        ModuleRow{"equipmentControl", "Sulvex.exe", true}, ModuleRow{"costs", "Tondril.exe", true},
        ModuleRow{"stock", "Morvik.exe", true}, ModuleRow{"examinations", "Yestra.exe", true},
        ModuleRow{"billing", "Falben.exe", true}, ModuleRow{"finance", "Gristo.exe", true},
        ModuleRow{"billingDenials", "Hulvan.exe", true}, ModuleRow{"admission", "Ixoret.exe", true},
        ModuleRow{"medicalRecords", "Kovlen.exe", true}, ModuleRow{"same", "Lumbra.exe", true},
        ModuleRow{"snd", "Nerzik.exe", true}, ModuleRow{"telemarketing", "Ospral.exe", true},
        ModuleRow{"remoteSupport1", "TeamViewerQS_pt.exe", false},
        ModuleRow{"remoteSupport2", "Supremo.exe", false}),
    [](const ::testing::TestParamInfo<ModuleRow>& c) { return std::string(c.param.area); });

TEST(ModuleTableTest, EighteenModulesAndTwoOtherAreas) {
    EXPECT_EQ(ModuleAreaCount(), 18u);
    EXPECT_EQ(ClickAreas().size(), 20u);
    std::set<std::string_view> names;
    std::set<std::string_view> modules;
    for (const ClickArea& area : ClickAreas()) {
        EXPECT_TRUE(names.insert(area.name).second) << "twice: " << area.name;
        if (area.action == AreaAction::StartModule)
            EXPECT_TRUE(modules.insert(area.moduleName).second) << "twice: " << area.moduleName;
        else
            EXPECT_TRUE(area.moduleName.empty()) << area.name;
    }
}

// The mail area sends mail and shows the support address; the maker's area shows the contact
// details on two lines, opens no menu and does nothing on a click.
TEST(ModuleTableTest, MailAndContactAreas) {
    const ClickArea* mail = FindClickArea("supportMail");
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->action, AreaAction::SendSupportMail);
    EXPECT_TRUE(mail->opensMenu);
    EXPECT_EQ(ClickAreaHint(*mail), std::string("e-mail : ") + kSupportEmail);

    const ClickArea* contact = FindClickArea("makerContact");
    ASSERT_NE(contact, nullptr);
    EXPECT_EQ(contact->action, AreaAction::None);
    EXPECT_FALSE(contact->opensMenu);
    EXPECT_EQ(ClickAreaHint(*contact),
              std::string("Telefone : ") + kMakerTelephone + "\r\n" + kMakerCommercialEmail);
}

TEST(ModuleTableTest, UnknownNamesAndTheBackgroundHaveNoArea) {
    EXPECT_EQ(FindClickArea("background"), nullptr);
    EXPECT_EQ(FindClickArea(""), nullptr);
    EXPECT_EQ(FindClickArea("STOCK"), nullptr);
    EXPECT_EQ(ClickAreaAt(5, 5), nullptr);
    EXPECT_EQ(ClickAreaAt(-1, -1), nullptr);
    EXPECT_EQ(ClickAreaAt(kClientWidth, kClientHeight), nullptr);
}

// The edges: the left and top edge belong to the area, the right and bottom ones do not.
TEST(ModuleTableTest, PointLookUpAtTheEdges) {
    const ClickArea* stock = FindClickArea("stock"); // 233, 355, 155 x 115
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(ClickAreaAt(233, 355), stock);
    EXPECT_EQ(ClickAreaAt(233 + 154, 355 + 114), stock);
    EXPECT_EQ(ClickAreaAt(232, 400), nullptr);
    EXPECT_EQ(ClickAreaAt(233 + 155, 400), nullptr);
    EXPECT_EQ(ClickAreaAt(300, 355 + 115), nullptr);
}

// Every area lies inside the window, none over another; the waiting panel covers exactly these.
TEST(ModuleTableTest, AreasFitTheWindowAndTheWaitPanelCoversSeven) {
    std::set<std::string_view> underPanel;
    const auto areas = ClickAreas();
    for (size_t index = 0; index < areas.size(); ++index) {
        const AreaBounds& bounds = areas[index].bounds;
        EXPECT_GE(bounds.left, 0);
        EXPECT_GE(bounds.top, 0);
        EXPECT_LE(bounds.left + bounds.width, kClientWidth);
        EXPECT_LE(bounds.top + bounds.height, kClientHeight);
        for (size_t other = index + 1; other < areas.size(); ++other)
            EXPECT_FALSE(bounds.Intersects(areas[other].bounds))
                << areas[index].name << " and " << areas[other].name;
        if (bounds.Intersects(kWaitPanelBounds))
            underPanel.insert(areas[index].name);
    }
    EXPECT_EQ(underPanel, (std::set<std::string_view>{"admission", "medicalRecords", "appointments",
                                                      "same", "stock", "snd", "purchasing"}));
}

} // namespace
} // namespace corvane
