#include "app/TallyhawkDoc.h"

#include <algorithm>

#include "app/AppSettings.h"
#include "app/PageCheck.h"
#include "base/Archive.h"
#include "platform/Clock.h"

namespace tallyhawk {

CTallyhawkDoc::CTallyhawkDoc(const CAppSettings* appSettings, CSiteServices* services,
                             const IClock* clock, std::chrono::milliseconds timeout)
    : appSettings(appSettings),
      timeout(timeout),
      messageLog(clock),
      logWriter(messageLog),
      history(messageLog, clock ? *clock : CSystemClock::Instance()),
      pages(&logWriter, services, timeout),
      downloader(timeout) {
    pages.Subscribe(this, &CTallyhawkDoc::OnPageListEvent);
    pages.SetVersionObserver(&history);
    ApplyTimeLimits();
}

void CTallyhawkDoc::ApplyTimeLimits() {
    CTimeLimits limits = appSettings ? appSettings->GetTimeLimits() : CTimeLimits();
    limits.connect = limits.stall = std::min(timeout, limits.total);
    pages.GetDownloader().SetTimeLimits(limits);
    downloader.SetTimeLimits(limits);
    if (appSettings) {
        CHistoryRetention retention;
        retention.maxVersions = appSettings->GetHistoryVersions();
        retention.maxAgeSeconds = std::int64_t{appSettings->GetHistoryDays()} * 86400;
        history.SetRetention(retention);
        pages.SetTransferLimits(static_cast<std::uint32_t>(appSettings->GetTransfers()),
                                static_cast<std::uint32_t>(appSettings->GetTransfersPerServer()));
    }
}

CTallyhawkDoc::~CTallyhawkDoc() {
    pages.StopWatching(true);
    pages.SetVersionObserver(nullptr);
    UnsubscribeAll();
}

bool CTallyhawkDoc::OnPageListEvent(SiteListEvent* event) {
    if (event->code >= PageAdded && event->code <= PageDisabled) SetModifiedFlag(true);
    return true;
}

void CTallyhawkDoc::OnOpenDocument(const std::string& path) {
    CDocument::OnOpenDocument(path);
    history.SetDocumentPath(GetPathName());
}

void CTallyhawkDoc::OnSaveDocument(const std::string& path) {
    CDocument::OnSaveDocument(path);
    history.SetDocumentPath(GetPathName());
}

CHistoryStore* CTallyhawkDoc::GetHistory() { return history.Store().get(); }

std::string CTallyhawkDoc::HistoryKey(std::int32_t index) {
    const auto page = pages.GetAt(index);
    return page ? page->GetUrl() : std::string();
}

void CTallyhawkDoc::AcceptHistoryVersion(std::int32_t index, std::int64_t versionId) {
    CHistoryStore* store = GetHistory();
    const auto page = pages.GetAt(index);
    if (!store || !page) throw CGenericException("The history of this page is not available.");
    page->AcceptOlderVersion(store->Read(versionId));
}

bool CTallyhawkDoc::OnNewDocument() {
    if (!CDocument::OnNewDocument()) return false;
    history.SetDocumentPath("");
    if (appSettings) appSettings->ApplyTo(messageLog);
    return true;
}

void CTallyhawkDoc::Serialize(CArchive& archive) { pages.Serialize(archive); }

void CTallyhawkDoc::DeleteContents() {
    // The watch thread may be inside a check of a page about to be destroyed.
    pages.StopWatching(true);
    pages.Unsubscribe(static_cast<CEventSink*>(this));
    pages.RemoveAll();
    messageLog.Clear();
    CDocument::DeleteContents();
    pages.Subscribe(this, &CTallyhawkDoc::OnPageListEvent);
}

bool CTallyhawkDoc::CanStartWatching() const {
    return !pages.IsWatching() && pages.GetCount() >= 1;
}

bool CTallyhawkDoc::StartWatching() {
    if (pages.IsWatching()) return true;
    if (!CanStartWatching()) return false;
    return pages.StartWatching();
}

void CTallyhawkDoc::StopWatching() { pages.StopWatching(false); }

void CTallyhawkDoc::SaveLogMessages(const std::string& path) { messageLog.SaveTo(path); }

void CTallyhawkDoc::ClearLogMessages() { messageLog.Clear(); }

std::unique_ptr<CPageCheck> CTallyhawkDoc::MakePageCheck(std::int32_t index) {
    std::shared_ptr<CWatchSite> page = pages.GetShared(index);
    if (!page) return nullptr;
    return std::make_unique<CPageCheck>(downloader, std::move(page), messageLog);
}

int CTallyhawkDoc::UpdatePage(CPageCheck& check, const CPageCheck::ProgressFunction& progress) {
    int result = check.Run(progress);
    if (result == IDOK) SetModifiedFlag(true);
    return result;
}

void CTallyhawkDoc::ViewChanges(std::int32_t index) { pages.ViewChanges(index); }

}  // namespace tallyhawk
