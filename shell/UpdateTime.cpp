#include "shell/UpdateTime.h"

#include "shell/LauncherTexts.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace corvane {

std::string FormatUpdateTime(DateTime elapsed, std::string_view separator) {
    std::int64_t milliseconds = std::llround(elapsed * 86400000.0);
    if (milliseconds < 0)
        milliseconds = 0;
    char minutes[16];
    char rest[32];
    std::snprintf(minutes, sizeof minutes, "%02d", static_cast<int>(milliseconds / 60000 % 60));
    std::snprintf(rest, sizeof rest, "%02d.%03d", static_cast<int>(milliseconds / 1000 % 60),
                  static_cast<int>(milliseconds % 1000));
    return std::string(minutes) + std::string(separator) + rest;
}

std::string UpdateTimeCaption(DateTime elapsed, std::string_view separator) {
    return std::string(kApplicationTitle) +
           " Tempo do update : " + FormatUpdateTime(elapsed, separator);
}

} // namespace corvane
