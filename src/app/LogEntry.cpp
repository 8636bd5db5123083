#include "app/LogEntry.h"

#include <cstdio>

#include "base/Archive.h"
#include "engine/LocalTime.h"

namespace tallyhawk {

namespace {

constexpr const char* kMonths[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};

}  // namespace

std::string FormatLogTime(std::int64_t seconds) {
    std::tm local = ToLocal(seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d, %s %02d, %d", local.tm_hour, local.tm_min,
                  kMonths[local.tm_mon % 12], local.tm_mday, local.tm_year + 1900);
    return text;
}

std::string CLogEntry::FileLine() const {
    std::string line = message;
    line += ", ";
    line += source;
    line += ", ";
    line += FormatLogTime(time);
    return line;
}

void CLogEntry::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        archive.WriteString(message);
        archive.WriteString(source);
        archive.WriteTime(time);
    } else {
        message = archive.ReadString();
        source = archive.ReadString();
        time = archive.ReadTime();
    }
}

}  // namespace tallyhawk
