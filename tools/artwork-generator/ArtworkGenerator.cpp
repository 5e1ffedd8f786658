// corvane-artwork OUTPUT_FOLDER: draws the main window's background (Fundo.jpg, 1024 x 768,
// baseline JPEG, 96 dpi) and the application icon (Corvane.png) into OUTPUT_FOLDER. The
// drawn buttons lie under the window's click areas: the picture is centred in the 1018 x 708
// client area, so client point (x, y) shows picture pixel (x + 3, y + 30).
#include "shell/Contacts.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

constexpr int OffsetX = 3;
constexpr int OffsetY = 30;

const QColor Navy(0x12, 0x2b, 0x4f);
const QColor Teal(0x1f, 0x7a, 0x8c);
const QColor Accent(0x2e, 0xa3, 0x6b);

struct TButton {
    int Left, Top, Width, Height;
    const char* Label;
    QColor Colour;
};

// The click areas' places in client coordinates, with their labels.
const TButton Buttons[] = {
    {518, 168, 468, 63, "Internação", QColor(0x1d, 0x5f, 0xa8)},
    {33, 248, 463, 58, "Prontuário", QColor(0x1d, 0x5f, 0xa8)},
    {33, 170, 466, 61, "Agenda de Consultas", QColor(0x1d, 0x5f, 0xa8)},
    {233, 355, 155, 115, "Estoque", Teal},
    {432, 355, 155, 115, "SND", Teal},
    {32, 485, 155, 115, "Glosa", Teal},
    {518, 248, 470, 65, "SAME", QColor(0x1d, 0x5f, 0xa8)},
    {233, 485, 155, 118, "Custos", Teal},
    {635, 355, 155, 115, "Compras", Teal},
    {635, 485, 155, 116, "Controle de\nEquipamentos", Teal},
    {31, 355, 155, 115, "Exames", Teal},
    {432, 485, 155, 115, "Financeiro", Teal},
    {835, 355, 155, 117, "Faturamento", Teal},
    {835, 485, 155, 115, "Telemarketing", Teal},
    {223, 639, 194, 30, "Administração do Sistema", Navy},
    {51, 639, 143, 30, "Cadastro Geral", Navy},
};

QRect PictureRect(int ALeft, int ATop, int AWidth, int AHeight) {
    return QRect(ALeft + OffsetX, ATop + OffsetY, AWidth, AHeight);
}

QFont Font(int APixels, bool ABold) {
    QFont LFont(QStringLiteral("DejaVu Sans"));
    LFont.setPixelSize(APixels);
    LFont.setBold(ABold);
    return LFont;
}

void DrawButton(QPainter& APainter, const QRect& ARect, const QColor& AColour,
                const QString& ALabel, int AFontPixels) {
    // A soft shadow, then the face with a light top edge.
    APainter.setPen(Qt::NoPen);
    APainter.setBrush(QColor(0, 0, 0, 60));
    APainter.drawRoundedRect(ARect.translated(2, 3), 10, 10);
    QLinearGradient LFace(ARect.topLeft(), ARect.bottomLeft());
    LFace.setColorAt(0, AColour.lighter(125));
    LFace.setColorAt(1, AColour.darker(115));
    APainter.setBrush(LFace);
    APainter.setPen(QPen(QColor(255, 255, 255, 90), 1));
    APainter.drawRoundedRect(ARect.adjusted(0, 0, -1, -1), 10, 10);
    APainter.setPen(Qt::white);
    APainter.setFont(Font(AFontPixels, true));
    APainter.drawText(ARect, Qt::AlignCenter | Qt::TextWordWrap, ALabel);
}

void DrawCross(QPainter& APainter, const QPointF& ACentre, qreal ASize, const QColor& AColour) {
    APainter.setPen(Qt::NoPen);
    APainter.setBrush(AColour);
    const qreal LArm = ASize / 3;
    APainter.drawRoundedRect(QRectF(ACentre.x() - LArm / 2, ACentre.y() - ASize / 2, LArm, ASize),
                             LArm / 4, LArm / 4);
    APainter.drawRoundedRect(QRectF(ACentre.x() - ASize / 2, ACentre.y() - LArm / 2, ASize, LArm),
                             LArm / 4, LArm / 4);
}

QImage Background() {
    QImage LImage(1024, 768, QImage::Format_RGB32);
    // 96 dots per inch.
    LImage.setDotsPerMeterX(3780);
    LImage.setDotsPerMeterY(3780);
    QPainter LPainter(&LImage);
    LPainter.setRenderHint(QPainter::Antialiasing);
    LPainter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient LSky(0, 0, 0, 768);
    LSky.setColorAt(0, QColor(0xf4, 0xf8, 0xfb));
    LSky.setColorAt(1, QColor(0xd9, 0xe6, 0xee));
    LPainter.fillRect(LImage.rect(), LSky);
    // A band across the top carries the suite's name.
    QLinearGradient LBand(0, 0, 1024, 0);
    LBand.setColorAt(0, Navy);
    LBand.setColorAt(1, Teal);
    LPainter.fillRect(QRect(0, 0, 1024, 185), LBand);
    DrawCross(LPainter, QPointF(62, 100), 50, Accent);
    LPainter.setPen(Qt::white);
    LPainter.setFont(Font(25, true));
    LPainter.drawText(QRect(100, 70, 235, 40), Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("Corvane Plexa"));
    LPainter.setFont(Font(13, false));
    LPainter.drawText(QRect(100, 106, 235, 24), Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("Sistema de Gestão Hospitalar"));

    // The contact block under the maker's contact area.
    const QRect LContact = PictureRect(334, 21, 351, 119);
    LPainter.setPen(Qt::NoPen);
    LPainter.setBrush(QColor(255, 255, 255, 235));
    LPainter.drawRoundedRect(LContact.adjusted(8, 12, -8, -12), 12, 12);
    LPainter.setPen(Navy);
    LPainter.setFont(Font(17, true));
    LPainter.drawText(LContact.adjusted(8, 22, -8, 0), Qt::AlignHCenter | Qt::AlignTop,
                      QStringLiteral("Atendimento Corvane"));
    LPainter.setFont(Font(13, false));
    LPainter.drawText(LContact.adjusted(8, 52, -8, 0), Qt::AlignHCenter | Qt::AlignTop,
                      QStringLiteral("Telefone: ") + QString::fromUtf8(corvane::MakerTelephone));
    LPainter.drawText(LContact.adjusted(8, 72, -8, 0), Qt::AlignHCenter | Qt::AlignTop,
                      QString::fromUtf8(corvane::MakerCommercialEmail));

    // Section captions.
    LPainter.setPen(Navy);
    LPainter.setFont(Font(14, true));
    LPainter.drawText(PictureRect(33, 326, 500, 24), Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("Módulos"));
    LPainter.drawText(PictureRect(697, 612, 200, 20), Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("Suporte remoto"));
    LPainter.drawText(PictureRect(51, 612, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("Ferramentas"));

    for (const TButton& LButton : Buttons) {
        const QRect LRect = PictureRect(LButton.Left, LButton.Top, LButton.Width, LButton.Height);
        DrawButton(LPainter, LRect, LButton.Colour, QString::fromUtf8(LButton.Label),
                   LButton.Height <= 30 ? 12 : (LButton.Width > 300 ? 22 : 16));
    }
    DrawButton(LPainter, PictureRect(697, 634, 40, 39), Accent, QStringLiteral("1"), 16);
    DrawButton(LPainter, PictureRect(817, 634, 48, 39), Accent, QStringLiteral("2"), 16);

    // The mail button: an envelope.
    const QRect LMail = PictureRect(926, 618, 56, 43);
    DrawButton(LPainter, LMail, QColor(0xc2, 0x6a, 0x1f), QString(), 12);
    const QRectF LEnvelope = QRectF(LMail).adjusted(12, 11, -12, -11);
    LPainter.setPen(QPen(Qt::white, 2));
    LPainter.setBrush(Qt::NoBrush);
    LPainter.drawRect(LEnvelope);
    LPainter.drawPolyline(
        QPolygonF({LEnvelope.topLeft(), QPointF(LEnvelope.center().x(), LEnvelope.center().y() + 2),
                   LEnvelope.topRight()}));
    LPainter.setPen(Navy);
    LPainter.setFont(Font(11, false));
    LPainter.drawText(PictureRect(880, 663, 140, 16), Qt::AlignHCenter | Qt::AlignTop,
                      QStringLiteral("Fale com o suporte"));
    LPainter.end();
    return LImage;
}

QImage Icon() {
    QImage LImage(64, 64, QImage::Format_ARGB32);
    LImage.fill(Qt::transparent);
    QPainter LPainter(&LImage);
    LPainter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient LFace(0, 0, 64, 64);
    LFace.setColorAt(0, Navy);
    LFace.setColorAt(1, Teal);
    LPainter.setPen(Qt::NoPen);
    LPainter.setBrush(LFace);
    LPainter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    DrawCross(LPainter, QPointF(32, 32), 38, Accent.lighter(115));
    LPainter.end();
    return LImage;
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication LApplication(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane-artwork OUTPUT_FOLDER\n");
        return 2;
    }
    const QString LFolder = QString::fromLocal8Bit(argv[1]);
    QImageWriter LWriter(LFolder + QStringLiteral("/Fundo.jpg"), "jpeg");
    LWriter.setQuality(90);
    LWriter.setProgressiveScanWrite(false); // baseline
    if (!LWriter.write(Background())) {
        std::fprintf(stderr, "%s\n", qPrintable(LWriter.errorString()));
        return 1;
    }
    if (!Icon().save(LFolder + QStringLiteral("/Corvane.png"), "png"))
        return 1;
    return 0;
}
