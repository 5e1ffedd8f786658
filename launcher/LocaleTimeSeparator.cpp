#include "launcher/LocaleTimeSeparator.h"

#include <QLocale>

namespace corvane {

QString LocaleTimeSeparator() {
    // The locale's short time format names the hour first; what follows its letters is the
    // separator ("HH:mm", "h.mm", ...).
    const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    const qsizetype hour = format.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
    if (hour >= 0) {
        for (qsizetype at = hour; at < format.size(); ++at) {
            const QChar character = format.at(at);
            if (character.toLower() != QLatin1Char('h'))
                return character.isLetter() ? QStringLiteral(":") : QString(character);
        }
    }
    return QStringLiteral(":");
}

} // namespace corvane
