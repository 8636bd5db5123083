#include "engine/WatchSiteList.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "base/Archive.h"
#include "base/Exception.h"
#include "base/StringTable.h"

namespace tallyhawk {

using Guard = std::lock_guard<std::recursive_mutex>;

CWatchSiteList::CWatchSiteList(IPageLog* log, CSiteServices* services,
                               std::chrono::milliseconds timeout)
    : log(log), services(services), downloader(timeout) {
    downloader.Subscribe(this, &CWatchSiteList::OnDownloadProgress);
}

CWatchSiteList::~CWatchSiteList() {
    // The thread uses the pages and the downloader: it must be gone before
    // either is destroyed.
    StopWatching(true);
    UnsubscribeAll();
    RemoveAll();
}

std::int32_t CWatchSiteList::Add(const CWatchSite& page) {
    auto copy = std::make_shared<CWatchSite>(page);
    copy->Subscribe(this, &CWatchSiteList::OnPageChanged);
    std::int32_t index;
    {
        Guard guard(lock);
        pages.push_back(std::move(copy));
        index = static_cast<std::int32_t>(pages.size()) - 1;
    }
    Notify(PageAdded, index);
    return index;
}

void CWatchSiteList::RemoveAt(std::int32_t index) {
    std::vector<PagePointer> removed;
    {
        Guard guard(lock);
        if (index < 0 || index >= static_cast<std::int32_t>(pages.size())) return;
        removed.push_back(std::move(pages[index]));
        pages.erase(pages.begin() + index);
    }
    Release(removed);
    Notify(PageRemoved, index);
}

void CWatchSiteList::RemoveAll() {
    std::vector<PagePointer> removed;
    {
        Guard guard(lock);
        removed.swap(pages);
    }
    Release(removed);
    Notify(AllPagesRemoved, -1);
}

void CWatchSiteList::Release(std::vector<PagePointer>& removed) {
    // Outside the list's lock: unsubscribing takes the page's announcement
    // lock, which a page announcing on the watch thread holds while it waits
    // for the list's lock in OnPageChanged.
    for (const PagePointer& page : removed) page->Unsubscribe(static_cast<CEventSink*>(this));
    removed.clear();
}

CWatchSiteList::PagePointer CWatchSiteList::PageAt(std::int32_t index) const {
    Guard guard(lock);
    if (index < 0 || index >= static_cast<std::int32_t>(pages.size())) return nullptr;
    return pages[index];
}

CWatchSite* CWatchSiteList::GetAt(std::int32_t index) const { return PageAt(index).get(); }

std::shared_ptr<CWatchSite> CWatchSiteList::GetShared(std::int32_t index) const { return PageAt(index); }

std::unique_ptr<CWatchSite> CWatchSiteList::GetCopy(std::int32_t index) const {
    PagePointer page = PageAt(index);
    if (!page) throw CGenericException::FromResource(IDS_NO_SUCH_PAGE);
    return std::make_unique<CWatchSite>(*page);
}

std::int32_t CWatchSiteList::GetCount() const {
    Guard guard(lock);
    return static_cast<std::int32_t>(pages.size());
}

std::int32_t CWatchSiteList::IndexOf(const CWatchSite* page) const {
    Guard guard(lock);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pages[i].get() == page) return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::int32_t CWatchSiteList::CountModified() const {
    Guard guard(lock);
    return static_cast<std::int32_t>(std::count_if(
        pages.begin(), pages.end(), [](const PagePointer& page) { return page->IsModified(); }));
}

void CWatchSiteList::ListModified(std::vector<CModifiedPage>& out) const {
    out.clear();
    Guard guard(lock);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pages[i]->IsModified()) out.push_back({static_cast<std::int32_t>(i), pages[i]->GetName()});
    }
}

void CWatchSiteList::ViewChanges(std::int32_t index) {
    // The list's lock is not held here: the page announces its new status,
    // and OnPageChanged takes the list's lock inside that announcement.
    PagePointer page = PageAt(index);
    if (!page) return;
    try {
        page->ShowAndAcceptChanges();
    } catch (const CException& exception) {
        if (log) log->Add(exception, page->GetUrl());
        throw;
    } catch (...) {
        const std::string text = LoadString(IDS_UNKNOWN_VIEW_FAILURE);
        if (log) log->Add(text, page->GetUrl());
        throw CGenericException(text);
    }
}

bool CWatchSiteList::StartWatching() {
    if (IsRunning()) return true;
    onePass = false;
    everyPage = false;
    observer = nullptr;
    return StartRun();
}

bool CWatchSiteList::StartOnePass(bool all, CheckObserver heard) {
    if (IsRunning()) return false;
    onePass = true;
    everyPage = all;
    observer = std::move(heard);
    return StartRun();
}

bool CWatchSiteList::StartRun() {
    stopRequested.store(false);
    downloader.Close();
    return Start();
}

void CWatchSiteList::StopWatching(bool wait) {
    if (!IsRunning()) return;
    {
        std::lock_guard<std::mutex> guard(pauseLock);
        stopRequested.store(true);
    }
    pauseWake.notify_all();
    downloader.Cancel();
    if (!wait || IsCurrentThread()) return;
    if (!Wait(kStopWaitMilliseconds)) {
        // Everything a check waits on ends on the cancel: the download, the
        // notification sound, and the message log, which never waits for its
        // file. Only work that cannot be cut short (a comparison of two huge
        // versions) gets here. The thread is never killed: wait until it has
        // let go of the pages.
        Stop(0);
    }
}

bool CWatchSiteList::Stopping() const {
    return stopRequested.load() || downloader.IsCanceled() || IsStopRequested();
}

bool CWatchSiteList::OnPageChanged(CWatchSite* page) {
    std::int32_t index = IndexOf(page);
    if (index >= 0) Notify(PageChanged, index);
    return true;
}

bool CWatchSiteList::OnDownloadProgress(CDownloadProgress*) {
    // A download clears the cancel mark when it starts; a stop that came in
    // just before is passed on again at its first step.
    if (stopRequested.load() && IsCurrentThread() && !downloader.IsCanceled()) downloader.Cancel();
    return true;
}

void CWatchSiteList::Notify(std::int32_t code, std::int32_t index) {
    SiteListEvent event{code, this, index, 0};
    Announce(&event);
}

std::uint32_t CWatchSiteList::Run() {
    const std::int32_t count = GetCount();
    downloader.Close();
    Notify(WatchingStarted, -1);
    PagePointer checking;
    try {
        while (!Stopping() && count != 0) {
            if (CheckPass(count, checking) == 0) Notify(NothingDue, -1);
            if (onePass) break;
            Pause();
        }
    } catch (...) {
        // Only a failure that is none of the program's own (a subscriber's,
        // say) gets here; it ends watching, visibly, naming the page whose
        // check it broke (none between checks).
        if (log) log->Add(LoadString(IDS_UNKNOWN_EXCEPTION), checking ? checking->GetUrl() : std::string());
    }
    Notify(WatchingStopped, -1);
    return 0;
}

std::int32_t CWatchSiteList::CheckPass(std::int32_t count, PagePointer& checking) {
    std::int32_t checked = 0;
    for (std::int32_t i = 0; i < count && !Stopping(); ++i) {
        checking = PageAt(i);
        if (!checking || !checking->IsEnabled() || (!everyPage && !checking->IsDue())) continue;
        ++checked;
        const CCheckOutcome outcome = CheckPage(i, *checking);
        if (observer) observer(outcome);
    }
    checking.reset();
    return checked;
}

CCheckOutcome CWatchSiteList::CheckPage(std::int32_t index, CWatchSite& page) {
    CCheckOutcome outcome;
    outcome.index = index;
    auto fail = [&](std::string error) {
        outcome.failed = true;
        outcome.error = error.empty() ? LoadString(IDS_UNKNOWN_EXCEPTION) : std::move(error);
        page.SetLastError(outcome.error);
    };
    try {
        outcome.checked = page.Check(downloader);
        if (outcome.checked) Notify(PageChanged, index);
    } catch (const CException& exception) {
        const std::string url = page.GetUrl();
        fail(exception.Message());
        if (log) log->Add(exception, url);
        if (!page.IsEnabled()) {
            if (log) log->Add(LoadString(IDS_RETRY_COUNT_EXCEEDED), url);
            page.Enable(false);
            Notify(PageDisabled, index);
        }
    } catch (const CXpException& exception) {
        fail(exception.GetMessage());
        if (log) log->Add(outcome.error, page.GetUrl());
    } catch (const std::bad_alloc&) {
        // A page too big for the memory left (its comparison, most likely)
        // is that page's failure, not the end of watching for every page.
        // The page keeps the state it had reached.
        fail(kAllocationFailed);
        if (log) log->Add(outcome.error, page.GetUrl());
    }
    return outcome;
}

void CWatchSiteList::Pause() {
    std::unique_lock<std::mutex> guard(pauseLock);
    pauseWake.wait_for(guard, std::chrono::milliseconds(kPassPauseMilliseconds),
                       [this] { return Stopping(); });
}

void CWatchSiteList::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        Guard guard(lock);
        archive.WriteWord(kVersion);
        archive.WriteDword(static_cast<std::uint32_t>(pages.size()));
        for (const PagePointer& page : pages) page->Serialize(archive);
        return;
    }
    archive.ReadWord();
    const std::uint32_t count = archive.ReadDword();
    std::vector<PagePointer> loaded;
    // The count comes from the file: reserve no more than a sliver of it, so
    // a damaged count cannot ask for a huge allocation before the records run out.
    loaded.reserve(std::min<std::uint32_t>(count, 4096));
    for (std::uint32_t i = 0; i < count; ++i) {
        auto page = std::make_shared<CWatchSite>(services);
        page->Serialize(archive);
        loaded.push_back(std::move(page));
    }
    for (const PagePointer& page : loaded) page->Subscribe(this, &CWatchSiteList::OnPageChanged);
    Guard guard(lock);
    pages.insert(pages.end(), std::make_move_iterator(loaded.begin()),
                 std::make_move_iterator(loaded.end()));
}

}  // namespace tallyhawk
