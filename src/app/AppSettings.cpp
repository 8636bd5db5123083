#include "app/AppSettings.h"

#include <algorithm>

#include "app/MessageLog.h"
#include "base/Archive.h"
#include "platform/Paths.h"

namespace tallyhawk {

CAppSettings::CAppSettings() : logFile(DefaultLogFile()) {}

void CAppSettings::SetTimeLimit(std::int32_t seconds) {
    timeLimit = std::clamp(seconds, kMinimumTimeLimit, kMaximumTimeLimit);
}

CTimeLimits CAppSettings::GetTimeLimits() const {
    CTimeLimits limits;
    limits.total = std::chrono::seconds(timeLimit);
    limits.connect = std::min(limits.connect, limits.total);
    limits.stall = std::min(limits.stall, limits.total);
    return limits;
}

void CAppSettings::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        const bool withHistory =
            historyVersions != kDefaultHistoryVersions || historyDays != kDefaultHistoryDays;
        const bool withTransfers = withHistory || transfers != kDefaultTransfers ||
                                   transfersPerServer != kDefaultTransfersPerServer;
        const bool withTimeLimit = withTransfers || timeLimit != kDefaultTimeLimit;
        archive.WriteWord(withHistory     ? kVersionWithHistory
                          : withTransfers ? kVersionWithTransfers
                          : withTimeLimit ? kVersionWithTimeLimit
                                          : kVersion);
        archive.WriteString(logFile);
        archive.WriteBool(loggingEnabled);
        archive.WriteLong(maximumLines);
        if (withTimeLimit) archive.WriteLong(timeLimit);
        if (withTransfers) {
            archive.WriteLong(transfers);
            archive.WriteLong(transfersPerServer);
        }
        if (withHistory) {
            archive.WriteLong(historyVersions);
            archive.WriteLong(historyDays);
        }
        return;
    }
    const std::uint16_t version = archive.ReadWord();
    logFile = archive.ReadString();
    loggingEnabled = archive.ReadBool();
    maximumLines = archive.ReadLong();
    timeLimit = kDefaultTimeLimit;
    transfers = kDefaultTransfers;
    transfersPerServer = kDefaultTransfersPerServer;
    historyVersions = kDefaultHistoryVersions;
    historyDays = kDefaultHistoryDays;
    // Earlier versions, and any later one cut before a field, have none.
    if (version >= kVersionWithTimeLimit && archive.Remaining() != 0)
        SetTimeLimit(archive.ReadLong());
    if (version >= kVersionWithTransfers && archive.Remaining() != 0)
        SetTransfers(archive.ReadLong());
    if (version >= kVersionWithTransfers && archive.Remaining() != 0)
        SetTransfersPerServer(archive.ReadLong());
    if (version >= kVersionWithHistory && archive.Remaining() != 0)
        SetHistoryVersions(archive.ReadLong());
    if (version >= kVersionWithHistory && archive.Remaining() != 0)
        SetHistoryDays(archive.ReadLong());
}

void CAppSettings::SetHistoryVersions(std::int32_t value) {
    historyVersions = std::clamp(value, 0, kMaximumHistoryVersions);
}

void CAppSettings::SetHistoryDays(std::int32_t value) {
    historyDays = std::clamp(value, 0, kMaximumHistoryDays);
}

void CAppSettings::SetTransfers(std::int32_t value) {
    transfers = std::clamp(value, 1, kMaximumTransfers);
}

void CAppSettings::SetTransfersPerServer(std::int32_t value) {
    transfersPerServer = std::clamp(value, 1, kMaximumTransfers);
}

void CAppSettings::ApplyTo(CMessageLog& log) const {
    log.SetLogToFile(loggingEnabled);
    log.SetLogFile(logFile);
    log.SetMaximumLines(maximumLines);
}

}  // namespace tallyhawk
