// The duration of an update run as the window's caption shows it.
//
//   view.SetCaption(UpdateTimeCaption(now - start, ":")); // "Corvane Plexa Tempo do update :
//   00:03.250"
#pragma once

#include "platform/DateTime.h"

#include <string>
#include <string_view>

namespace corvane {

// elapsed (days) as "nn:ss.zzz": minutes of the hour, seconds, milliseconds, hours dropped;
// separator between minutes and seconds. A negative time (the clock set back) shows as zero.
std::string FormatUpdateTime(DateTime elapsed, std::string_view separator);

// The caption after a run: the application title, " Tempo do update : " and the time.
std::string UpdateTimeCaption(DateTime elapsed, std::string_view separator);

} // namespace corvane
