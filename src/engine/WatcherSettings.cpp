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
        archive.WriteWord(kVersion);
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
}

}  // namespace tallyhawk
