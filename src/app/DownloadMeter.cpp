#include "app/DownloadMeter.h"

#include <algorithm>

#include "base/StringTable.h"
#include "net/Downloader.h"
#include "platform/Clock.h"

namespace tallyhawk {

namespace {

constexpr std::uint64_t kKilobyte = 1024;

}  // namespace

void CDownloadDisplay::Merge(const CDownloadDisplay& later) {
    if (later.status) status = later.status;
    if (later.rate) rate = later.rate;
    if (later.size) size = later.size;
    if (later.percent) percent = later.percent;
}

CDownloadMeter::CDownloadMeter(const IClock& clock) : clock(clock) {}

void CDownloadMeter::Start() {
    startTime = clock.Now();
    shownSize = 0;
}

CDownloadDisplay CDownloadMeter::Update(const CDownloadProgress& progress) {
    CDownloadDisplay display;
    switch (progress.state) {
    case Resolving: display.status = LoadString(IDS_FILE_RESOLVING); break;
    case Resolved: display.status = LoadString(IDS_FILE_RESOLVED); break;
    case Connecting: display.status = LoadString(IDS_FILE_CONNECTING); break;
    case Connected:
        display.status = LoadString(IDS_FILE_CONNECTED);
        startTime = clock.Now();
        break;
    case DownloadState::Canceled: display.status = LoadString(IDS_CANCELED); break;
    case Done: display.status = LoadString(IDS_DONE); break;
    case Receiving: {
        const std::uint64_t received = progress.bytesReceived;
        display.status = FormatString(IDS_FILE_RECEIVED, {received / kKilobyte});
        const std::int64_t elapsed = clock.Now() - startTime;
        const auto rate = elapsed > 0 ? static_cast<std::uint64_t>(
                                            static_cast<double>(received) /
                                            static_cast<double>(elapsed) / kKilobyte)
                                      : 0;
        display.rate = FormatString(IDS_FILE_RATE, {rate});
        if (shownSize == 0 && progress.contentLength != 0) {
            shownSize = progress.contentLength;
            display.size = FormatString(IDS_FILE_SIZE, {progress.contentLength / kKilobyte});
        }
        if (progress.contentLength != 0) {
            const double share = static_cast<double>(received) /
                                 static_cast<double>(progress.contentLength) * 100.0;
            display.percent = static_cast<int>(std::min(share, 100.0));
        } else {
            display.percent = -1;
        }
        break;
    }
    default: break;
    }
    return display;
}

}  // namespace tallyhawk
