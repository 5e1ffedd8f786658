#include "platform/DateTime.h"

#include "platform/Errors.h"
#include "platform/FileTime.h"

#include <ctime>

namespace corvane {

TDateTime Now() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // The clock's moment becomes local time as a file's does.
    if (const std::optional<TDateTime> local = AgeFromFileTime({now.tv_sec, now.tv_nsec}))
        return *local;
    throw EConvertError("Invalid argument to date encode");
}

} // namespace corvane
