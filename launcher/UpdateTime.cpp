#include "launcher/UpdateTime.h"

#include <QLocale>

#include <cmath>
#include <cstdint>

namespace corvane {

QString LocaleTimeSeparator() {
    // The locale's short time format names the hour first; what follows its letters is the
    // separator ("HH:mm", "h.mm", ...).
    const QString LFormat = QLocale::system().timeFormat(QLocale::ShortFormat);
    const qsizetype LHour = LFormat.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
    if (LHour >= 0) {
        for (qsizetype LAt = LHour; LAt < LFormat.size(); ++LAt) {
            const QChar LChar = LFormat.at(LAt);
            if (LChar.toLower() != QLatin1Char('h'))
                return LChar.isLetter() ? QStringLiteral(":") : QString(LChar);
        }
    }
    return QStringLiteral(":");
}

QString FormatUpdateTime(TDateTime AElapsed, const QString& ASeparator) {
    std::int64_t LMilliseconds = std::llround(AElapsed * 86400000.0);
    if (LMilliseconds < 0)
        LMilliseconds = 0; // The clock was set back during the run.
    const auto LMinutes = static_cast<int>(LMilliseconds / 60000 % 60);
    const auto LSeconds = static_cast<int>(LMilliseconds / 1000 % 60);
    const auto LMillis = static_cast<int>(LMilliseconds % 1000);
    return QStringLiteral("%1%2%3.%4")
        .arg(LMinutes, 2, 10, QLatin1Char('0'))
        .arg(ASeparator)
        .arg(LSeconds, 2, 10, QLatin1Char('0'))
        .arg(LMillis, 3, 10, QLatin1Char('0'));
}

} // namespace corvane
