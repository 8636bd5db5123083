// Local-time helpers for schedules: times are whole seconds since 1970 UTC,
// read and built in the local time zone (TZ) through localtime_r/mktime.
#pragma once

#include <cstdint>
#include <ctime>

namespace tallyhawk {

// The local calendar fields of `seconds`.
std::tm ToLocal(std::int64_t seconds);

// The local date of `day` with the local hour, minute and second of
// `timeOfDay`; daylight saving as the system decides for that date.
std::int64_t CombineDateAndTime(std::int64_t day, std::int64_t timeOfDay);

// 1 January 1970 at hour:minute:second local time. East of UTC that lies
// before the epoch and is negative; it is built from 2 January less one day
// so that it never depends on mktime handling dates before 1970.
std::int64_t TimeOnFirstOfJanuary1970(int hour, int minute, int second);

}  // namespace tallyhawk
