#include "engine/WatcherSettings.h"

#include "base/Archive.h"
#include "engine/LocalTime.h"
#include "platform/Clock.h"

namespace tallyhawk {

CWatcherSettings::CWatcherSettings()
    : beginTime(TimeOnFirstOfJanuary1970(8, 0, 0)), endTime(TimeOnFirstOfJanuary1970(17, 0, 0)) {}

void CWatcherSettings::Assign(const CWatcherSettings& other) {
    if (this == &other) return;
    alwaysUpdate = other.alwaysUpdate;
    beginTime = other.beginTime;
    endTime = other.endTime;
    days = other.days;
    notifyFlags = other.notifyFlags;
    viewer = other.viewer;
    soundFile = other.soundFile;
    interval = other.interval;
    ignoreBeginning = other.ignoreBeginning;
    ignoreEnding = other.ignoreEnding;
    retryCount = other.retryCount;
    outputMode = other.outputMode;
    highlightColor = other.highlightColor;
    secondHighlightColor = other.secondHighlightColor;
    userName = other.userName;
    password = other.password;
    compareWhat = other.compareWhat;
    region = other.region;
    ignoreRegions = other.ignoreRegions;
    ignoreText = other.ignoreText;
    learnNoise = other.learnNoise;
}

bool CWatcherSettings::UsesWatchSettings() const {
    return compareWhat != CompareSource || !region.empty() || !ignoreRegions.empty() ||
           !ignoreText.empty() || learnNoise;
}

std::string CWatcherSettings::JoinLines(const std::vector<std::string>& entries) {
    std::string text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i != 0) text += '\n';
        text += entries[i];
    }
    return text;
}

std::vector<std::string> CWatcherSettings::SplitLines(const std::string& text) {
    std::vector<std::string> entries;
    if (text.empty()) return entries;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            entries.push_back(text.substr(start));
            return entries;
        }
        entries.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::int64_t CWatcherSettings::GetBeginTime() const {
    return GetBeginTimeOn(CSystemClock::Instance().Now());
}

std::int64_t CWatcherSettings::GetEndTime() const {
    return GetEndTimeOn(CSystemClock::Instance().Now());
}

std::int64_t CWatcherSettings::GetBeginTimeOn(std::int64_t day) const {
    return CombineDateAndTime(day, beginTime);
}

std::int64_t CWatcherSettings::GetEndTimeOn(std::int64_t day) const {
    return CombineDateAndTime(day, endTime);
}

void CWatcherSettings::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        const bool watch = UsesWatchSettings();
        archive.WriteWord(watch ? kWatchVersion : kVersion);
        archive.WriteBool(alwaysUpdate);
        archive.WriteTime(beginTime);
        archive.WriteTime(endTime);
        archive.WriteDword(notifyFlags);
        archive.WriteString(viewer);
        archive.WriteString(soundFile);
        archive.WriteLong(interval);
        archive.WriteLong(ignoreBeginning);
        archive.WriteLong(ignoreEnding);
        archive.WriteLong(retryCount);
        archive.WriteByte(static_cast<std::uint8_t>(outputMode));
        archive.WriteDword(highlightColor);
        archive.WriteDword(secondHighlightColor);
        archive.WriteLong(days);
        archive.WriteString(userName);
        archive.WriteString(password);
        if (watch) {
            archive.WriteByte(compareWhat);
            archive.WriteString(region);
            archive.WriteString(JoinLines(ignoreRegions));
            archive.WriteString(JoinLines(ignoreText));
            archive.WriteBool(learnNoise);
        }
        return;
    }
    std::uint16_t version = archive.ReadWord();
    alwaysUpdate = archive.ReadBool();
    beginTime = archive.ReadTime();
    endTime = archive.ReadTime();
    notifyFlags = archive.ReadDword();
    viewer = archive.ReadString();
    soundFile = archive.ReadString();
    interval = archive.ReadLong();
    ignoreBeginning = archive.ReadLong();
    ignoreEnding = archive.ReadLong();
    retryCount = archive.ReadLong();
    if (version == 1) {
        archive.ReadString();
        archive.ReadByte();
        archive.ReadDword();
        return;
    }
    if (version >= 3) outputMode = archive.ReadByte();
    if (version >= 4) {
        highlightColor = archive.ReadDword();
        secondHighlightColor = archive.ReadDword();
    }
    if (version >= 5) days = archive.ReadLong();
    if (version >= 6) {
        userName = archive.ReadString();
        password = archive.ReadString();
    }
    if (version >= 7) {
        // A comparison this release does not know is read as the source,
        // which every release understands.
        compareWhat = archive.ReadByte() == CompareText ? CompareText : CompareSource;
        region = archive.ReadString();
        ignoreRegions = SplitLines(archive.ReadString());
        ignoreText = SplitLines(archive.ReadString());
        learnNoise = archive.ReadBool();
    }
}

}  // namespace tallyhawk
