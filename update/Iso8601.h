// Reading of ISO 8601 date and time texts, the one date format of the file service.
#pragma once

#include "platform/DateTime.h"

#include <string>
#include <string_view>

namespace corvane {

// Reads an ISO 8601 date and time: "2022-03-01T10:15:30.123-03:00", the basic form
// "20220301T101530Z", or a date alone (midnight). With an offset the result is the moment in
// UTC; without one the clock value stays as written. It is never converted to local time.
// Throws DateTimeException("Invalid date string: <text>", "Invalid time string: <text>" or
// "Invalid time Offset string: <text>") for text that cannot be read, and ConvertError for
// components out of range (month 13, day 32, minute 61 and the like).
DateTime ISO8601ToDate(std::string_view text);

// Writes an age as the file service lists ages: the clock value with milliseconds and no
// offset, "2022-03-01T10:15:30.123". ISO8601ToDate reads it back to the same value.
std::string DateToISO8601(DateTime value);

} // namespace corvane
