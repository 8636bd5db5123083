#include "app/AppSettings.h"

#include "app/MessageLog.h"
#include "base/Archive.h"
#include "platform/Paths.h"

namespace tallyhawk {

CAppSettings::CAppSettings() : logFile(DefaultLogFile()) {}

void CAppSettings::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        archive.WriteWord(kVersion);
        archive.WriteString(logFile);
        archive.WriteBool(loggingEnabled);
        archive.WriteLong(maximumLines);
        return;
    }
    archive.ReadWord();
    logFile = archive.ReadString();
    loggingEnabled = archive.ReadBool();
    maximumLines = archive.ReadLong();
}

void CAppSettings::ApplyTo(CMessageLog& log) const {
    log.SetLogToFile(loggingEnabled);
    log.SetLogFile(logFile);
    log.SetMaximumLines(maximumLines);
}

}  // namespace tallyhawk
