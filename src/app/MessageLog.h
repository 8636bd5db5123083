// CMessageLog: the program's log of what happened while pages were checked.
//
// A bounded list of entries, oldest first, optionally copied line by line to
// a log file that is kept to the same bound. Entries are added from the watch
// thread, from workers and from the user-interface thread; every operation
// takes the log's lock, and the log-file write happens inside it, so lines
// appear in the order the entries were added.
//
// Announcements (CEventSource) carry a CLogEvent*. They are made after the
// log's lock has been released, on the adding thread: subscribers read the
// entry later with GetAt and skip an index that is no longer valid.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/LogEntry.h"
#include "base/EventSource.h"

namespace tallyhawk {

class CException;
class IClock;

class CMessageLog;

enum LogEventCode : std::int32_t {
    LogEntryAdded = 0,  // index: the new entry's position after trimming
    LogCleared = 1,     // index: -1
};

struct CLogEvent {
    std::int32_t code;
    std::int32_t index;
    CMessageLog* log;
};

class CMessageLog : public CEventSource {
public:
    static constexpr std::int32_t kDefaultMaximumLines = 500;
    static constexpr std::int32_t kNoLimit = -1;

    // `clock` stamps the entries and must outlive the log.
    explicit CMessageLog(const IClock* clock = nullptr);
    ~CMessageLog() override = default;

    // Appends an entry, trims the list, writes its line to the log file
    // (when switched on) and announces LogEntryAdded. Never waits for the
    // log file: when another holder has it locked, or it is not a regular
    // file, the line is not written; the entry is kept and announced all the same.
    void Add(const std::string& message, const std::string& source);
    // Adds the exception's message (asked for with a 2048-byte buffer), or
    // IDS_UNKNOWN_EXCEPTION ("Unknown Exception") when it gives none.
    void Add(const CException& exception, const std::string& source);
    // Removes every entry and announces LogCleared.
    void Clear();

    std::int32_t GetCount() const;
    // A copy of the entry at `index`, or nothing when the index is not valid.
    std::optional<CLogEntry> GetAt(std::int32_t index) const;

    // Stores `lines` (kNoLimit: no bound) and trims the list at once.
    void SetMaximumLines(std::int32_t lines);
    std::int32_t GetMaximumLines() const;
    void SetLogToFile(bool enabled);
    bool GetLogToFile() const;
    void SetLogFile(const std::string& path);
    std::string GetLogFile() const;

    // Writes every entry's file line, oldest first, to `path` (created or
    // emptied). Throws COsException.
    void SaveTo(const std::string& path) const;

private:
    void Trim();                               // lock held
    void WriteToLogFile(const std::string& line);  // lock held; errors dropped

    const IClock* clock;
    mutable std::recursive_mutex lock;
    std::vector<CLogEntry> entries;                  // guarded by lock
    std::int32_t maximumLines = kDefaultMaximumLines;  // guarded by lock
    std::string logFile;                             // guarded by lock
    bool logToFile = true;                           // guarded by lock
};

}  // namespace tallyhawk
