// The duration of an update run as the window's caption shows it.
#pragma once

#include "platform/DateTime.h"

#include <QString>

namespace corvane {

// The time separator of the user's locale (":" in most).
QString LocaleTimeSeparator();

// AElapsed (days) as "nn:ss.zzz": minutes of the hour, seconds, milliseconds, hours dropped;
// ASeparator between minutes and seconds.
QString FormatUpdateTime(TDateTime AElapsed, const QString& ASeparator);

} // namespace corvane
