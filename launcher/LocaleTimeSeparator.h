// The time separator of the user's locale, as Qt reads it from the system.
#pragma once

#include <QString>

namespace corvane {

// ":" in most locales.
QString LocaleTimeSeparator();

} // namespace corvane
