// CLogEntry: one message of the message log.
#pragma once

#include <cstdint>
#include <string>

namespace tallyhawk {

class CArchive;

// "%H:%M, %B %d, %Y" in local time with English month names whatever the
// locale, e.g. "14:05, March 22, 2000".
std::string FormatLogTime(std::int64_t seconds);

class CLogEntry {
public:
    CLogEntry() = default;
    // `time`: seconds since 1970, the moment the entry was made.
    CLogEntry(std::string message, std::string source, std::int64_t time)
        : message(std::move(message)), source(std::move(source)), time(time) {}

    const std::string& GetMessage() const { return message; }
    const std::string& GetSource() const { return source; }
    std::int64_t GetTime() const { return time; }

    // The log file's line, without its line break:
    // message ", " source ", " FormatLogTime(time). Nothing is quoted.
    std::string FileLine() const;

    // The message-log bar's line: "[" source "] " message.
    std::string BarLine() const { return "[" + source + "] " + message; }

    // Record layout: STRING message, STRING source, TIME time; no version.
    // No stored file of the program holds entries; kept for the clipboard
    // and tests.
    void Serialize(CArchive& archive);

private:
    std::string message;
    std::string source;  // the page's address
    std::int64_t time = 0;
};

}  // namespace tallyhawk
