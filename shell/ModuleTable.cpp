#include "shell/ModuleTable.h"

#include "shell/Contacts.h"

#include <algorithm>
#include <array>

namespace corvane {

namespace {

using enum AreaAction;

// The places match the drawn buttons of the background picture.
constexpr std::array kClickAreas{
    ClickArea{"admission", {518, 168, 468, 63}, StartModule, "Ixoret.exe", true},
    ClickArea{"medicalRecords", {33, 248, 463, 58}, StartModule, "Kovlen.exe", true},
    ClickArea{"appointments", {33, 170, 466, 61}, StartModule, "Quimba.exe", true},
    ClickArea{"stock", {233, 355, 155, 115}, StartModule, "Morvik.exe", true},
    ClickArea{"snd", {432, 355, 155, 115}, StartModule, "Nerzik.exe", true},
    ClickArea{"billingDenials", {32, 485, 155, 115}, StartModule, "Hulvan.exe", true},
    ClickArea{"same", {518, 248, 470, 65}, StartModule, "Lumbra.exe", true},
    ClickArea{"costs", {233, 485, 155, 118}, StartModule, "Tondril.exe", true},
    ClickArea{"purchasing", {635, 355, 155, 115}, StartModule, "Parnox.exe", true},
    ClickArea{"equipmentControl", {635, 485, 155, 116}, StartModule, "Sulvex.exe", true},
    ClickArea{"examinations", {31, 355, 155, 115}, StartModule, "Yestra.exe", true},
    ClickArea{"finance", {432, 485, 155, 115}, StartModule, "Gristo.exe", true},
    ClickArea{"billing", {835, 355, 155, 117}, StartModule, "Falben.exe", true},
    ClickArea{"telemarketing", {835, 485, 155, 115}, StartModule, "Ospral.exe", true},
    ClickArea{"remoteSupport1", {697, 634, 40, 39}, StartModule, "TeamViewerQS_pt.exe", false},
    ClickArea{"remoteSupport2", {817, 634, 48, 39}, StartModule, "Supremo.exe", false},
    ClickArea{"supportMail", {926, 618, 56, 43}, SendSupportMail, {}, false, true},
    ClickArea{"systemAdministration", {223, 639, 194, 30}, StartModule, "Vostrel.exe", true},
    ClickArea{"generalRegistration", {51, 639, 143, 30}, StartModule, "Drelvo.exe", true},
    ClickArea{"makerContact", {334, 21, 351, 119}, None, {}, false, false},
};

} // namespace

std::span<const ClickArea> ClickAreas() {
    return kClickAreas;
}

const ClickArea* FindClickArea(std::string_view name) {
    const auto found = std::ranges::find(kClickAreas, name, &ClickArea::name);
    return found == kClickAreas.end() ? nullptr : &*found;
}

const ClickArea* ClickAreaAt(int x, int y) {
    const auto found =
        std::ranges::find_if(kClickAreas.rbegin(), kClickAreas.rend(),
                             [x, y](const ClickArea& area) { return area.bounds.Contains(x, y); });
    return found == kClickAreas.rend() ? nullptr : &*found;
}

std::size_t ModuleAreaCount() {
    return static_cast<std::size_t>(
        std::ranges::count(kClickAreas, StartModule, &ClickArea::action));
}

std::string ClickAreaHint(const ClickArea& area) {
    switch (area.action) {
    case SendSupportMail:
        return std::string("e-mail : ") + kSupportEmail;
    case None:
        return std::string("Telefone : ") + kMakerTelephone + "\r\n" + kMakerCommercialEmail;
    case StartModule:
        break;
    }
    return {};
}

} // namespace corvane
