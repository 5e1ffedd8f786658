#include "platform/DateTime.h"

#include "platform/Errors.h"
#include "platform/FileTime.h"

#include <ctime>

namespace corvane {

DateTime Now() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // The clock's moment becomes local time as a file's does.
    if (const std::optional<DateTime> local = AgeFromFileTime({now.tv_sec, now.tv_nsec}))
        return *local;
    throw ConvertError("Invalid argument to date encode");
}

} // namespace corvane
