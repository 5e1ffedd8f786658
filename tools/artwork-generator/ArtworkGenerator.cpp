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

constexpr int kOffsetX = 3;
constexpr int kOffsetY = 30;

const QColor kNavy(0x12, 0x2b, 0x4f);
const QColor kTeal(0x1f, 0x7a, 0x8c);
const QColor kAccent(0x2e, 0xa3, 0x6b);

struct Button {
    int left, top, width, height;
    const char* label;
    QColor colour;
};

// The click areas' places in client coordinates, with their labels.
const Button kButtons[] = {
    {518, 168, 468, 63, "Internação", QColor(0x1d, 0x5f, 0xa8)},
    {33, 248, 463, 58, "Prontuário", QColor(0x1d, 0x5f, 0xa8)},
    {33, 170, 466, 61, "Agenda de Consultas", QColor(0x1d, 0x5f, 0xa8)},
    {233, 355, 155, 115, "Estoque", kTeal},
    {432, 355, 155, 115, "SND", kTeal},
    {32, 485, 155, 115, "Glosa", kTeal},
    {518, 248, 470, 65, "SAME", QColor(0x1d, 0x5f, 0xa8)},
    {233, 485, 155, 118, "Custos", kTeal},
    {635, 355, 155, 115, "Compras", kTeal},
    {635, 485, 155, 116, "Controle de\nEquipamentos", kTeal},
    {31, 355, 155, 115, "Exames", kTeal},
    {432, 485, 155, 115, "Financeiro", kTeal},
    {835, 355, 155, 117, "Faturamento", kTeal},
    {835, 485, 155, 115, "Telemarketing", kTeal},
    {223, 639, 194, 30, "Administração do Sistema", kNavy},
    {51, 639, 143, 30, "Cadastro Geral", kNavy},
};

QRect PictureRect(int left, int top, int width, int height) {
    return QRect(left + kOffsetX, top + kOffsetY, width, height);
}

QFont Font(int pixels, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void DrawButton(QPainter& painter, const QRect& rect, const QColor& colour, const QString& label,
                int fontPixels) {
    // A soft shadow, then the face with a light top edge.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawRoundedRect(rect.translated(2, 3), 10, 10);
    QLinearGradient face(rect.topLeft(), rect.bottomLeft());
    face.setColorAt(0, colour.lighter(125));
    face.setColorAt(1, colour.darker(115));
    painter.setBrush(face);
    painter.setPen(QPen(QColor(255, 255, 255, 90), 1));
    painter.drawRoundedRect(rect.adjusted(0, 0, -1, -1), 10, 10);
    painter.setPen(Qt::white);
    painter.setFont(Font(fontPixels, true));
    painter.drawText(rect, Qt::AlignCenter | Qt::TextWordWrap, label);
}

void DrawCross(QPainter& painter, const QPointF& centre, qreal size, const QColor& colour) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const qreal arm = size / 3;
    painter.drawRoundedRect(QRectF(centre.x() - arm / 2, centre.y() - size / 2, arm, size), arm / 4,
                            arm / 4);
    painter.drawRoundedRect(QRectF(centre.x() - size / 2, centre.y() - arm / 2, size, arm), arm / 4,
                            arm / 4);
}

QImage Background() {
    QImage image(1024, 768, QImage::Format_RGB32);
    // 96 dots per inch.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, 0, 768);
    sky.setColorAt(0, QColor(0xf4, 0xf8, 0xfb));
    sky.setColorAt(1, QColor(0xd9, 0xe6, 0xee));
    painter.fillRect(image.rect(), sky);
    // A band across the top carries the suite's name.
    QLinearGradient band(0, 0, 1024, 0);
    band.setColorAt(0, kNavy);
    band.setColorAt(1, kTeal);
    painter.fillRect(QRect(0, 0, 1024, 185), band);
    DrawCross(painter, QPointF(62, 100), 50, kAccent);
    painter.setPen(Qt::white);
    painter.setFont(Font(25, true));
    painter.drawText(QRect(100, 70, 235, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Corvane Plexa"));
    painter.setFont(Font(13, false));
    painter.drawText(QRect(100, 106, 235, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Sistema de Gestão Hospitalar"));

    // The contact block under the maker's contact area.
    const QRect contact = PictureRect(334, 21, 351, 119);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 235));
    painter.drawRoundedRect(contact.adjusted(8, 12, -8, -12), 12, 12);
    painter.setPen(kNavy);
    painter.setFont(Font(17, true));
    painter.drawText(contact.adjusted(8, 22, -8, 0), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Atendimento Corvane"));
    painter.setFont(Font(13, false));
    painter.drawText(contact.adjusted(8, 52, -8, 0), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Telefone: ") + QString::fromUtf8(corvane::kMakerTelephone));
    painter.drawText(contact.adjusted(8, 72, -8, 0), Qt::AlignHCenter | Qt::AlignTop,
                     QString::fromUtf8(corvane::kMakerCommercialEmail));

    // Section captions.
    painter.setPen(kNavy);
    painter.setFont(Font(14, true));
    painter.drawText(PictureRect(33, 326, 500, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Módulos"));
    painter.drawText(PictureRect(697, 612, 200, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Suporte remoto"));
    painter.drawText(PictureRect(51, 612, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Ferramentas"));

    for (const Button& button : kButtons) {
        const QRect rect = PictureRect(button.left, button.top, button.width, button.height);
        DrawButton(painter, rect, button.colour, QString::fromUtf8(button.label),
                   button.height <= 30 ? 12 : (button.width > 300 ? 22 : 16));
    }
    DrawButton(painter, PictureRect(697, 634, 40, 39), kAccent, QStringLiteral("1"), 16);
    DrawButton(painter, PictureRect(817, 634, 48, 39), kAccent, QStringLiteral("2"), 16);

    // The mail button: an envelope.
    const QRect mail = PictureRect(926, 618, 56, 43);
    DrawButton(painter, mail, QColor(0xc2, 0x6a, 0x1f), QString(), 12);
    const QRectF envelope = QRectF(mail).adjusted(12, 11, -12, -11);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(envelope);
    painter.drawPolyline(
        QPolygonF({envelope.topLeft(), QPointF(envelope.center().x(), envelope.center().y() + 2),
                   envelope.topRight()}));
    painter.setPen(kNavy);
    painter.setFont(Font(11, false));
    painter.drawText(PictureRect(880, 663, 140, 16), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Fale com o suporte"));
    painter.end();
    return image;
}

QImage Icon() {
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 64, 64);
    face.setColorAt(0, kNavy);
    face.setColorAt(1, kTeal);
    painter.setPen(Qt::NoPen);
    painter.setBrush(face);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    DrawCross(painter, QPointF(32, 32), 38, kAccent.lighter(115));
    painter.end();
    return image;
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane-artwork OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QImageWriter writer(folder + QStringLiteral("/Fundo.jpg"), "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(false); // baseline
    if (!writer.write(Background())) {
        std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
        return 1;
    }
    if (!Icon().save(folder + QStringLiteral("/Corvane.png"), "png"))
        return 1;
    return 0;
}
