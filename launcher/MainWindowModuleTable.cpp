// The fixed module table: one row per click area of a module or remote-support tool.
#include "launcher/MainWindow.h"

#include "launcher/PictureArea.h"

namespace corvane {

namespace {

struct TModuleRow {
    TImage* TFrmMenu::*ClickArea;
    const char* ModuleName;
    bool AdditionalFiles;
};

// The remote-support tools bring only their own executable up to date.
constexpr TModuleRow ModuleTable[] = {
    {&TFrmMenu::imgAdmSistema, "Vostrel.exe", true},
    {&TFrmMenu::imgAgendaConsulta, "Quimba.exe", true},
    {&TFrmMenu::imgCadGeral, "Drelvo.exe", true},
    {&TFrmMenu::imgCompras, "Parnox.exe", true},
    {&TFrmMenu::imgControlEquip, "Sulvex.exe", true},
    {&TFrmMenu::imgCusto, "Tondril.exe", true},
    {&TFrmMenu::imgEstoque, "Morvik.exe", true},
    {&TFrmMenu::imgExames, "Yestra.exe", true},
    {&TFrmMenu::imgFaturamento, "Falben.exe", true},
    {&TFrmMenu::imgFinanceiro, "Gristo.exe", true},
    {&TFrmMenu::imgGlosa, "Hulvan.exe", true},
    {&TFrmMenu::imgInternacao, "Ixoret.exe", true},
    {&TFrmMenu::imgProntuario, "Kovlen.exe", true},
    {&TFrmMenu::imgSame, "Lumbra.exe", true},
    {&TFrmMenu::imgSND, "Nerzik.exe", true},
    {&TFrmMenu::imgTelemarketing, "Ospral.exe", true},
    {&TFrmMenu::imgSuporteRemoto1, "TeamViewerQS_pt.exe", false},
    {&TFrmMenu::imgSuporteRemoto2, "Supremo.exe", false},
};

} // namespace

void TFrmMenu::BuildModuleTable() {
    FModuleOptions = std::make_unique<TModuleOptions>();
    for (const TModuleRow& LRow : ModuleTable)
        FModuleOptions->AddModule(this->*LRow.ClickArea, LRow.ModuleName, LRow.AdditionalFiles);
}

} // namespace corvane
