// CAppSettings: the application-wide log settings that every new document's
// message log takes over. Used on the user-interface thread only.
#pragma once

#include <cstdint>
#include <string>

namespace tallyhawk {

class CArchive;
class CMessageLog;

class CAppSettings {
public:
    static constexpr std::uint16_t kVersion = 1;
    static constexpr const char* kDefaultKeyPath = "Software\\Brindlecote\\Tallyhawk";
    static constexpr const char* kDefaultValueName = "AppSettings";

    // Log file: the default log file (its folder is created when missing);
    // logging on; 500 lines. Key path and value name empty until set.
    CAppSettings();

    // Record layout: WORD version (written 1, ignored on reading), STRING log
    // file, BYTE logging enabled (0/1, non-zero reads true), DWORD maximum
    // lines. The key path and value name are not stored.
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

private:
    std::string keyPath;
    std::string valueName;
    std::string logFile;
    bool loggingEnabled = true;
    std::int32_t maximumLines = 500;  // -1: no bound
};

}  // namespace tallyhawk
