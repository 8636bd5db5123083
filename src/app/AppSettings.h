// CAppSettings: the application-wide settings: the log settings that every
// new document's message log takes over, and the time limit of a download.
// Used on the user-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "net/Downloader.h"

namespace tallyhawk {

class CArchive;
class CMessageLog;

class CAppSettings {
public:
    // The record's versions: 1 without the time limit, 2 with it, 3 with
    // the limits of downloads at once too.
    static constexpr std::uint16_t kVersion = 1;
    static constexpr std::uint16_t kVersionWithTimeLimit = 2;
    static constexpr std::uint16_t kVersionWithTransfers = 3;
    static constexpr std::uint16_t kVersionWithHistory = 4;
    // How much history each page keeps: the newest versions (0: no bound)
    // and the most days (0: no bound), and their largest values.
    static constexpr std::int32_t kDefaultHistoryVersions = 500;
    static constexpr std::int32_t kDefaultHistoryDays = 730;
    static constexpr std::int32_t kMaximumHistoryVersions = 1000000;
    static constexpr std::int32_t kMaximumHistoryDays = 36500;
    // How many pages the watch thread downloads at once, in all and from
    // one server: the defaults and the ranges the settings accept.
    static constexpr std::int32_t kDefaultTransfers = 16;
    static constexpr std::int32_t kDefaultTransfersPerServer = 2;
    static constexpr std::int32_t kMaximumTransfers = 64;
    // The longest a whole download may take, in seconds: the default and
    // the range the settings accept.
    static constexpr std::int32_t kDefaultTimeLimit = 120;
    static constexpr std::int32_t kMinimumTimeLimit = 10;
    static constexpr std::int32_t kMaximumTimeLimit = 3600;
    static constexpr const char* kDefaultKeyPath = "Software\\Brindlecote\\Tallyhawk";
    static constexpr const char* kDefaultValueName = "AppSettings";

    // Log file: the default log file (its folder is created when missing);
    // logging on; 500 lines. Key path and value name empty until set.
    CAppSettings();

    // Record layout:
    //   WORD    version: 1; 2 when the time limit is not the default; 3
    //           when a limit of downloads at once is not the default
    //   STRING  log file
    //   BYTE    logging enabled (0/1, non-zero reads true)
    //   DWORD   maximum lines (-1: no bound)
    //   DWORD   versions 2 and 3: the time limit in seconds
    //   DWORD   version 3: downloads at once, in all
    //   DWORD   version 3: downloads at once from one server
    //   DWORD   version 4: history versions kept per page
    //   DWORD   version 4: history days kept
    // (version 4 when the history's retention is not the default)
    // So a record with the default limits is the version 1 record, byte for
    // byte. Reading takes each limit from a version that has it and bytes
    // left for it, brought into the accepted range; otherwise it is the
    // default. The key path and value name are not stored.
    void Serialize(CArchive& archive);

    // Log-to-file switch, log file and maximum lines (which trims at once).
    void ApplyTo(CMessageLog& log) const;

    const std::string& GetKeyPath() const { return keyPath; }
    void SetKeyPath(std::string value) { keyPath = std::move(value); }
    const std::string& GetValueName() const { return valueName; }
    void SetValueName(std::string value) { valueName = std::move(value); }
    const std::string& GetLogFile() const { return logFile; }
    void SetLogFile(std::string value) { logFile = std::move(value); }
    bool GetLoggingEnabled() const { return loggingEnabled; }
    void SetLoggingEnabled(bool value) { loggingEnabled = value; }
    std::int32_t GetMaximumLines() const { return maximumLines; }
    void SetMaximumLines(std::int32_t value) { maximumLines = value; }
    // Seconds; the setter brings the value into the accepted range.
    std::int32_t GetTimeLimit() const { return timeLimit; }
    void SetTimeLimit(std::int32_t seconds);
    // The limits every download of a document keeps to: the whole download
    // within the time limit, connecting and stalls within the defaults (or
    // the time limit, when that is shorter).
    CTimeLimits GetTimeLimits() const;
    // Downloads at once: the setters bring the value into 1 to
    // kMaximumTransfers.
    std::int32_t GetTransfers() const { return transfers; }
    void SetTransfers(std::int32_t value);
    std::int32_t GetTransfersPerServer() const { return transfersPerServer; }
    void SetTransfersPerServer(std::int32_t value);
    // The history's retention; the setters bring the value into 0 to the
    // maximum (0: no bound).
    std::int32_t GetHistoryVersions() const { return historyVersions; }
    void SetHistoryVersions(std::int32_t value);
    std::int32_t GetHistoryDays() const { return historyDays; }
    void SetHistoryDays(std::int32_t value);

private:
    std::string keyPath;
    std::string valueName;
    std::string logFile;
    bool loggingEnabled = true;
    std::int32_t maximumLines = 500;  // -1: no bound
    std::int32_t timeLimit = kDefaultTimeLimit;
    std::int32_t transfers = kDefaultTransfers;
    std::int32_t transfersPerServer = kDefaultTransfersPerServer;
    std::int32_t historyVersions = kDefaultHistoryVersions;
    std::int32_t historyDays = kDefaultHistoryDays;
};

}  // namespace tallyhawk
