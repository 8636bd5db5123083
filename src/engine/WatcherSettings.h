// CWatcherSettings: everything a user can set for one watched page.
//
// A plain value record, embedded in its page (CWatchSite), which guards it
// with the page's lock; the record itself is not thread-safe. Copies are made
// with Assign (or the copy operations, which do the same). Setters store the
// value unchanged: validation is the editor's job.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallyhawk {

class CArchive;

// notifyFlags bits. 0x08 is not used.
enum NotifyFlag : std::uint32_t {
    NotifyPlaySound = 0x01,
    NotifyLaunchApplication = 0x02,
    NotifyFlashTrayIcon = 0x04,
    NotifyLaunchBrowser = 0x10,
};

// outputMode values as stored (the same numbers as diff's OutputMode).
enum OutputModeValue : std::int32_t {
    AdditionsAsText = 0,
    AdditionsAsHtml = 1,
    DeletionsAsText = 2,
    DeletionsAsHtml = 3,
    HighlightedHtml = 4,
};

// days bits; the default 255 also sets 0x80, which means nothing.
enum DayFlag : std::int32_t {
    Monday = 0x01,
    Tuesday = 0x02,
    Wednesday = 0x04,
    Thursday = 0x08,
    Friday = 0x10,
    Saturday = 0x20,
    Sunday = 0x40,
};

class CWatcherSettings {
public:
    // The version written for a record that uses none of the settings of
    // what to watch, byte for byte as older releases wrote it; a record
    // that uses them is written as kWatchVersion.
    static constexpr std::uint16_t kVersion = 6;
    static constexpr std::uint16_t kWatchVersion = 7;

    // compareWhat values.
    enum Compare : std::uint8_t { CompareSource = 0, CompareText = 1 };

    // The defaults (see the field list below).
    CWatcherSettings();
    CWatcherSettings(const CWatcherSettings& other) { Assign(other); }
    CWatcherSettings& operator=(const CWatcherSettings& other) {
        Assign(other);
        return *this;
    }
    virtual ~CWatcherSettings() = default;

    // Copies every field.
    void Assign(const CWatcherSettings& other);

    // Record layout (little-endian; encodings as in base/Archive.h):
    //   WORD   version, written as 6
    //   BYTE   alwaysUpdate (0/1; any non-zero reads true)
    //   TIME   beginTime
    //   TIME   endTime
    //   DWORD  notifyFlags
    //   STRING viewer
    //   STRING soundFile
    //   DWORD  interval, ignoreBeginning, ignoreEnding, retryCount
    //   BYTE   outputMode                     (version >= 3)
    //   DWORD  highlightColor, secondHighlightColor  (version >= 4)
    //   DWORD  days                           (version >= 5)
    //   STRING userName, password             (version >= 6; plain text)
    //   BYTE   compareWhat (0 source, 1 text)  (version >= 7)
    //   STRING region
    //   STRING ignoreRegions, ignoreText: the entries joined with line feeds
    //   BYTE   learnNoise (0/1)
    // A version-1 record has a STRING, a BYTE and a DWORD of no use in place
    // of the later fields; they are read and dropped. Fields an older record
    // lacks keep their values; a version above 7 is read as 7. Version 7 is
    // written only when one of its fields differs from what an older record
    // means (source, no region, nothing ignored, not learning).
    // Throws CArchiveException when the stream ends inside the record.
    virtual void Serialize(CArchive& archive);

    bool GetAlwaysUpdate() const { return alwaysUpdate; }
    void SetAlwaysUpdate(bool value) { alwaysUpdate = value; }
    // Today's local date with the stored local hour, minute and second.
    std::int64_t GetBeginTime() const;
    std::int64_t GetEndTime() const;
    // The same for the local date of `day` (seconds since 1970).
    std::int64_t GetBeginTimeOn(std::int64_t day) const;
    std::int64_t GetEndTimeOn(std::int64_t day) const;
    // The stored values; only their local time of day means anything.
    std::int64_t GetStoredBeginTime() const { return beginTime; }
    std::int64_t GetStoredEndTime() const { return endTime; }
    void SetBeginTime(std::int64_t value) { beginTime = value; }
    void SetEndTime(std::int64_t value) { endTime = value; }
    std::int32_t GetDays() const { return days; }
    void SetDays(std::int32_t value) { days = value; }
    std::uint32_t GetNotifyFlags() const { return notifyFlags; }
    void SetNotifyFlags(std::uint32_t value) { notifyFlags = value; }
    const std::string& GetViewer() const { return viewer; }
    void SetViewer(std::string value) { viewer = std::move(value); }
    const std::string& GetSoundFile() const { return soundFile; }
    void SetSoundFile(std::string value) { soundFile = std::move(value); }
    std::int32_t GetInterval() const { return interval; }
    void SetInterval(std::int32_t seconds) { interval = seconds; }
    std::int32_t GetIgnoreBeginning() const { return ignoreBeginning; }
    void SetIgnoreBeginning(std::int32_t value) { ignoreBeginning = value; }
    std::int32_t GetIgnoreEnding() const { return ignoreEnding; }
    void SetIgnoreEnding(std::int32_t value) { ignoreEnding = value; }
    std::int32_t GetRetryCount() const { return retryCount; }
    void SetRetryCount(std::int32_t value) { retryCount = value; }
    std::int32_t GetOutputMode() const { return outputMode; }
    void SetOutputMode(std::int32_t value) { outputMode = value; }
    std::uint32_t GetHighlightColor() const { return highlightColor; }
    void SetHighlightColor(std::uint32_t value) { highlightColor = value; }
    std::uint32_t GetSecondHighlightColor() const { return secondHighlightColor; }
    void SetSecondHighlightColor(std::uint32_t value) { secondHighlightColor = value; }
    const std::string& GetUserName() const { return userName; }
    void SetUserName(std::string value) { userName = std::move(value); }
    const std::string& GetPassword() const { return password; }
    void SetPassword(std::string value) { password = std::move(value); }

    // What to watch. An entry list is kept as entered, blank entries
    // included, so that a stored record reads back byte for byte; users of
    // the lists skip blank entries.
    Compare GetCompareWhat() const { return compareWhat; }
    void SetCompareWhat(Compare value) { compareWhat = value; }
    const std::string& GetRegion() const { return region; }
    void SetRegion(std::string value) { region = std::move(value); }
    const std::vector<std::string>& GetIgnoreRegions() const { return ignoreRegions; }
    void SetIgnoreRegions(std::vector<std::string> value) { ignoreRegions = std::move(value); }
    const std::vector<std::string>& GetIgnoreText() const { return ignoreText; }
    void SetIgnoreText(std::vector<std::string> value) { ignoreText = std::move(value); }
    bool GetLearnNoise() const { return learnNoise; }
    void SetLearnNoise(bool value) { learnNoise = value; }
    // Whether any of them differs from what a version-6 record means.
    bool UsesWatchSettings() const;

    // An entry list as stored and as the editors show it: one entry a line.
    static std::string JoinLines(const std::vector<std::string>& entries);
    static std::vector<std::string> SplitLines(const std::string& text);

private:
    bool alwaysUpdate = true;          // false: checks only inside the daily window
    std::int64_t beginTime;            // 1 Jan 1970 08:00:00 local
    std::int64_t endTime;              // 1 Jan 1970 17:00:00 local; inclusive
    std::int32_t days = 255;           // DayFlag bits
    std::uint32_t notifyFlags = NotifyPlaySound | NotifyLaunchBrowser;
    std::string viewer = "notepad.exe";  // the desktop's text viewer at run time
    std::string soundFile = "ringin.wav";
    std::int32_t interval = 120;       // seconds since the last successful download
    std::int32_t ignoreBeginning = 0;  // changes disregarded from the top
    std::int32_t ignoreEnding = 0;     // changes disregarded from the end
    std::int32_t retryCount = 3;       // failures tolerated; 0 never disables
    std::int32_t outputMode = HighlightedHtml;
    std::uint32_t highlightColor = 0x64FFFF;        // red in the low byte
    std::uint32_t secondHighlightColor = 0x6464FF;
    std::string userName;
    std::string password;
    Compare compareWhat = CompareSource;  // pages from older records compare their source
    std::string region;                   // CSS selector or XPath; empty: the whole page
    std::vector<std::string> ignoreRegions;
    std::vector<std::string> ignoreText;  // regular expressions
    bool learnNoise = false;
};

}  // namespace tallyhawk
