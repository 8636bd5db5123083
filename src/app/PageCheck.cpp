#include "app/PageCheck.h"

#include "app/MessageLog.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "engine/WatchSite.h"
#include "net/Downloader.h"

namespace tallyhawk {

CPageCheck::CPageCheck(CDownloader& downloader, std::shared_ptr<CWatchSite> site, CMessageLog& log)
    : downloader(downloader), site(std::move(site)), log(log) {
    if (!this->site) throw CGenericException::FromResource(IDS_NO_SUCH_PAGE);
}

CPageCheck::~CPageCheck() { UnsubscribeAll(); }

std::string CPageCheck::StatusText(const CDownloadProgress& progress) {
    switch (progress.state) {
        case Resolving: return FormatString(IDS_RESOLVING, {progress.statusText});
        case Resolved: return FormatString(IDS_RESOLVED, {progress.statusText});
        case Connecting: return FormatString(IDS_CONNECTING, {progress.statusText});
        case Connected: return FormatString(IDS_CONNECTED, {progress.statusText});
        case Receiving: return FormatString(IDS_DOWNLOADED, {progress.bytesReceived});
        case DownloadState::Canceled: return LoadString(IDS_CANCELED);
        case Done: return LoadString(IDS_DONE);
        default: return {};
    }
}

int CPageCheck::Run(const ProgressFunction& progress) {
    callback = progress;
    Show(LoadString(IDS_PLEASE_WAIT), -2);
    downloader.Subscribe(this, &CPageCheck::OnProgress);
    try {
        if (site->Check(downloader)) succeeded = true;
    } catch (const CException& exception) {
        char message[512];
        if (!exception.GetErrorMessage(message, sizeof message) || message[0] == '\0') {
            CopyCut(LoadString(IDS_FAILED_TO_DOWNLOAD), message, sizeof message);
        }
        Show(message, -2);
        log.Add(exception, site->GetUrl());
    } catch (...) {
        log.Add(LoadString(IDS_SEH_EXCEPTION), site->GetUrl());
    }
    downloader.Unsubscribe(static_cast<CEventSink*>(this));
    callback = nullptr;
    if (canceled.load()) return IDCANCEL;
    return succeeded.load() ? IDOK : IDCANCEL;
}

void CPageCheck::Cancel() {
    if (canceled.exchange(true)) return;
    {
        std::lock_guard<std::mutex> guard(lock);
        status = LoadString(IDS_CANCELING);
    }
    downloader.Cancel();
}

void CPageCheck::EndSound() {
    // The page's check ends its sound when its downloader is canceled; the
    // download itself is over by then.
    downloader.Cancel();
}

std::string CPageCheck::GetStatus() const {
    std::lock_guard<std::mutex> guard(lock);
    return status;
}

bool CPageCheck::OnProgress(CDownloadProgress* progress) {
    // A cancel that came before the download started is passed on again,
    // because a download clears the downloader's cancel mark when it starts.
    if (canceled.load() && !downloader.IsCanceled()) downloader.Cancel();
    std::string text = StatusText(*progress);
    if (text.empty()) return true;
    int percent = -2;  // leave the bar as it is
    if (progress->state == Receiving) {
        percent = progress->contentLength == 0
                      ? -1
                      : static_cast<int>(progress->bytesReceived * 100 / progress->contentLength);
    }
    if (progress->state == Done) succeeded = true;
    Show(text, percent);
    return true;
}

void CPageCheck::Show(const std::string& text, int percent) {
    {
        std::lock_guard<std::mutex> guard(lock);
        status = text;
    }
    if (callback) callback(text, percent);
}

}  // namespace tallyhawk
