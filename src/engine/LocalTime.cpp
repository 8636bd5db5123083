#include "engine/LocalTime.h"

namespace tallyhawk {

std::tm ToLocal(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm fields{};
    localtime_r(&t, &fields);
    return fields;
}

std::int64_t CombineDateAndTime(std::int64_t day, std::int64_t timeOfDay) {
    std::tm date = ToLocal(day);
    std::tm time = ToLocal(timeOfDay);
    date.tm_hour = time.tm_hour;
    date.tm_min = time.tm_min;
    date.tm_sec = time.tm_sec;
    date.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&date));
}

std::int64_t TimeOnFirstOfJanuary1970(int hour, int minute, int second) {
    constexpr std::int64_t kDay = 24 * 60 * 60;
    std::tm fields{};
    fields.tm_year = 70;
    fields.tm_mon = 0;
    fields.tm_mday = 2;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&fields)) - kDay;
}

}  // namespace tallyhawk
