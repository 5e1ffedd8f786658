// The window's designer layout: the components with their places and properties, created
// in the order in which they stack (a later one lies over an earlier one).
#include "launcher/MainWindow.h"

#include "launcher/ActivityIndicator.h"
#include "launcher/Contacts.h"
#include "launcher/PictureArea.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace corvane {

namespace {

constexpr int ClientWidth = 1018;
constexpr int ClientHeight = 708;

struct TAreaLayout {
    TImage* TFrmMenu::*Field;
    const char* Name;
    int Left;
    int Top;
    int Width;
    int Height;
};

// The areas over the drawn buttons of the background picture.
constexpr TAreaLayout Areas[] = {
    {&TFrmMenu::imgInternacao, "imgInternacao", 518, 168, 468, 63},
    {&TFrmMenu::imgProntuario, "imgProntuario", 33, 248, 463, 58},
    {&TFrmMenu::imgAgendaConsulta, "imgAgendaConsulta", 33, 170, 466, 61},
    {&TFrmMenu::imgEstoque, "imgEstoque", 233, 355, 155, 115},
    {&TFrmMenu::imgSND, "imgSND", 432, 355, 155, 115},
    {&TFrmMenu::imgGlosa, "imgGlosa", 32, 485, 155, 115},
    {&TFrmMenu::imgSame, "imgSame", 518, 248, 470, 65},
    {&TFrmMenu::imgCusto, "imgCusto", 233, 485, 155, 118},
    {&TFrmMenu::imgCompras, "imgCompras", 635, 355, 155, 115},
    {&TFrmMenu::imgControlEquip, "imgControlEquip", 635, 485, 155, 116},
    {&TFrmMenu::imgExames, "imgExames", 31, 355, 155, 115},
    {&TFrmMenu::imgFinanceiro, "imgFinanceiro", 432, 485, 155, 115},
    {&TFrmMenu::imgFaturamento, "imgFaturamento", 835, 355, 155, 117},
    {&TFrmMenu::imgTelemarketing, "imgTelemarketing", 835, 485, 155, 115},
    {&TFrmMenu::imgSuporteRemoto1, "imgSuporteRemoto1", 697, 634, 40, 39},
    {&TFrmMenu::imgSuporteRemoto2, "imgSuporteRemoto2", 817, 634, 48, 39},
    {&TFrmMenu::imgEmail, "imgEmail", 926, 618, 56, 43},
    {&TFrmMenu::imgAdmSistema, "imgAdmSistema", 223, 639, 194, 30},
    {&TFrmMenu::imgCadGeral, "imgCadGeral", 51, 639, 143, 30},
    {&TFrmMenu::imgAeC, "imgAeC", 334, 21, 351, 119},
};

QFont PixelFont(const char* AFamily, int APixels, bool ABold = false) {
    QFont LFont(QString::fromUtf8(AFamily));
    LFont.setPixelSize(APixels);
    LFont.setBold(ABold);
    return LFont;
}

// The label sizes itself to its caption, as the designer's auto-size does; where a wider font
// stands in for the designed one, the font shrinks until the caption fits within maxWidth.
void AutoSizeLabel(QLabel* ALabel, int AMaxWidth) {
    QFont LFont = ALabel->font();
    while (LFont.pixelSize() > 8 &&
           QFontMetrics(LFont).horizontalAdvance(ALabel->text()) > AMaxWidth) {
        LFont.setPixelSize(LFont.pixelSize() - 1);
    }
    ALabel->setFont(LFont);
    const int LWidth = QFontMetrics(LFont).horizontalAdvance(ALabel->text()) + 2;
    ALabel->resize(std::max(ALabel->width(), std::min(LWidth, AMaxWidth)), ALabel->height());
}

} // namespace

// Components are created with the window as their Qt parent, which owns and deletes them.
void TFrmMenu::CreateComponents() {
    setObjectName(QStringLiteral("FrmMenu"));
    // A dialog-style frame: caption, system menu and close box; no minimise or maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    setWindowTitle(QStringLiteral("FrmMenu"));
    setFont(PixelFont("Tahoma", 11));
    if (const QScreen* LScreen = QGuiApplication::primaryScreen())
        move(LScreen->geometry().center() - rect().center());

    Image1 = new TImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, ClientWidth, ClientHeight);
    Image1->setAlignment(Qt::AlignCenter);
    // 1024 x 768, centred: 3 columns and 30 rows are cut off at each side.
    Image1->setPixmap(QPixmap(QStringLiteral(":/artwork/Fundo.jpg")));

    for (const TAreaLayout& LArea : Areas) {
        TImage* LImage = new TImage(this);
        LImage->setObjectName(QString::fromUtf8(LArea.Name));
        LImage->setGeometry(LArea.Left, LArea.Top, LArea.Width, LArea.Height);
        LImage->setCursor(Qt::PointingHandCursor);
        this->*LArea.Field = LImage;
    }
    imgEmail->setToolTip(QStringLiteral("e-mail : ") + QString::fromUtf8(SupportEmail));

    pnlTemporizador = new QWidget(this);
    pnlTemporizador->setObjectName(QStringLiteral("pnlTemporizador"));
    pnlTemporizador->setGeometry(320, 218, 369, 143);
    pnlTemporizador->setCursor(Qt::BusyCursor);
    pnlTemporizador->setAutoFillBackground(true);
    QPalette LPanelPalette = pnlTemporizador->palette();
    LPanelPalette.setColor(QPalette::Window, QColor(0, 0, 128)); // navy
    LPanelPalette.setColor(QPalette::WindowText, Qt::white);
    pnlTemporizador->setPalette(LPanelPalette);

    Label1 = new QLabel(QStringLiteral("Aguarde Atualizando"), pnlTemporizador);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(43, 67, 271, 37);
    Label1->setFont(PixelFont("Segoe UI", 27, true));
    AutoSizeLabel(Label1, pnlTemporizador->width() - Label1->x());
    Label1->setCursor(Qt::BusyCursor);

    aciTemporizador = new TActivityIndicator(pnlTemporizador);
    aciTemporizador->setObjectName(QStringLiteral("aciTemporizador"));
    aciTemporizador->move(154, 19);
    aciTemporizador->SetColor(Qt::white);
    aciTemporizador->SetFrameDelay(30);
    aciTemporizador->setCursor(Qt::BusyCursor);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(200);

    CreatePopupMenu();
    ConnectEmailArea();
}

} // namespace corvane
