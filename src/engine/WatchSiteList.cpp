#include "engine/WatchSiteList.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <new>

#include "base/Archive.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "engine/PageSink.h"
#include "engine/SiteServices.h"
#include "net/TransferPool.h"

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

void CWatchSiteList::SetVersionObserver(IVersionObserver* observer) {
    Guard guard(lock);
    versionObserver.store(observer);
    for (const PagePointer& page : pages) page->SetVersionObserver(observer);
}

std::int32_t CWatchSiteList::Add(const CWatchSite& page) {
    auto copy = std::make_shared<CWatchSite>(page);
    copy->Subscribe(this, &CWatchSiteList::OnPageChanged);
    std::int32_t index;
    {
        Guard guard(lock);
        copy->SetVersionObserver(versionObserver.load());
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
    {
        std::lock_guard<std::mutex> guard(transfersLock);
        for (CDownloader* transfer : transferring) transfer->Cancel();
        if (pool) pool->Wake();
    }
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

void CWatchSiteList::SetTransferLimits(std::uint32_t total, std::uint32_t perHost) {
    maxTransfers.store(std::max<std::uint32_t>(total, 1));
    maxTransfersPerHost.store(std::max<std::uint32_t>(perHost, 1));
}

std::unique_ptr<CDownloader> CWatchSiteList::MakeDownloader() {
    auto made = std::make_unique<CDownloader>();
    made->SetTimeLimits(downloader.GetTimeLimits());
    made->SetSecurity(downloader.GetSecurity());
    made->Subscribe(this, &CWatchSiteList::OnPooledProgress);
    return made;
}

bool CWatchSiteList::OnPooledProgress(CDownloadProgress* progress) {
    // Whoever follows the list's downloads hears of every page's.
    downloader.Announce(progress);
    return true;
}

namespace {

// The server a page is downloaded from, for the limit per server: the
// address's scheme and authority (host and port) in lower case, without
// the user's name and password.
std::string ServerOf(const std::string& url) {
    const std::string address = CDownloader::NormalizeUrl(url);
    const std::size_t scheme = address.find("://");
    const std::size_t begin = scheme + 3;
    std::size_t end = address.find_first_of("/?#", begin);
    if (end == std::string::npos) end = address.size();
    std::string server = address.substr(0, end);
    const std::size_t at = server.rfind('@');
    if (at != std::string::npos && at > begin) server.erase(begin, at + 1 - begin);
    std::transform(server.begin(), server.end(), server.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return server;
}

}  // namespace

std::int32_t CWatchSiteList::CheckPass(std::int32_t count, PagePointer& checking) {
    // The pages due now, in list order; they start in that order as the
    // limits let them, a page whose server has its share waiting for it.
    std::vector<PagePointer> due;
    for (std::int32_t i = 0; i < count && !Stopping(); ++i) {
        PagePointer page = PageAt(i);
        if (page && page->IsEnabled() && (everyPage || page->IsDue())) due.push_back(std::move(page));
    }
    if (due.empty()) return 0;

    struct CRunning {
        PagePointer page;
        std::unique_ptr<CDownloader> downloader;
        std::shared_ptr<CCheckTransfer> check;
        std::string server;
    };
    std::map<std::string, std::uint32_t> perServer;
    std::vector<std::unique_ptr<CDownloader>> idle;
    std::vector<PagePointer> changed;  // checked and Modified: their sounds come last
    std::int32_t checked = 0;
    // After what its downloads' ends use: it ends any still running when it goes.
    CTransferPool transfers;
    {
        std::lock_guard<std::mutex> guard(transfersLock);
        pool = &transfers;
    }
    struct CPoolReset {
        CWatchSiteList* list;
        ~CPoolReset() {
            std::lock_guard<std::mutex> guard(list->transfersLock);
            list->pool = nullptr;
            list->transferring.clear();
        }
    } reset{this};

    const std::uint32_t total = maxTransfers.load();
    const std::uint32_t perHost = maxTransfersPerHost.load();
    // Checks that found a change and wait to download their page again.
    struct CWaiting {
        std::shared_ptr<CRunning> running;
        std::chrono::steady_clock::time_point due;
    };
    std::vector<CWaiting> waiting;
    // A check's end: its downloader goes back to the idle ones.
    auto finish = [&](const std::shared_ptr<CRunning>& running, const CCheckOutcome& outcome) {
        --perServer[running->server];
        {
            std::lock_guard<std::mutex> guard(transfersLock);
            std::erase(transferring, running->downloader.get());
        }
        running->check.reset();
        idle.push_back(std::move(running->downloader));
        if (outcome.checked && running->page->IsModified()) changed.push_back(running->page);
        if (observer) observer(outcome);
    };
    auto end = [&](const std::shared_ptr<CRunning>& running, bool succeeded, std::exception_ptr failure) {
        checking = running->page;
        const CCheckOutcome outcome = CheckPage(*running->page, [&] {
            return running->page->EndCheck(*running->downloader, *running->check, succeeded, failure);
        });
        checking.reset();
        if (outcome.checked && running->check->confirm) {
            // The server's share is free while the check waits.
            --perServer[running->server];
            const auto pause = running->page->GetServices().ConfirmPause();
            waiting.push_back({running, std::chrono::steady_clock::now() + pause});
            return;
        }
        finish(running, outcome);
    };
    auto start = [&](const std::shared_ptr<CRunning>& running) {
        transfers.Start(*running->downloader, running->check->target, &running->check->sink,
                        [&end, running](bool succeeded, std::exception_ptr failure) {
                            end(running, succeeded, failure);
                        });
    };
    while (!Stopping() && (!due.empty() || transfers.Running() != 0 || !waiting.empty())) {
        for (auto it = due.begin(); it != due.end() && transfers.Running() < total && !Stopping();) {
            PagePointer page = *it;
            std::string server = ServerOf(page->GetUrl());
            if (perServer[server] >= perHost) {
                ++it;
                continue;
            }
            it = due.erase(it);
            std::unique_ptr<CDownloader> pageDownloader;
            if (!idle.empty()) {
                pageDownloader = std::move(idle.back());
                idle.pop_back();
                pageDownloader->SetTimeLimits(downloader.GetTimeLimits());
            } else {
                pageDownloader = MakeDownloader();
            }
            checking = page;
            std::shared_ptr<CCheckTransfer> check = page->BeginCheck(*pageDownloader);
            checking.reset();
            if (!check) {  // disabled since the pass began
                idle.push_back(std::move(pageDownloader));
                continue;
            }
            ++checked;
            ++perServer[server];
            CDownloader* raw = pageDownloader.get();
            {
                std::lock_guard<std::mutex> guard(transfersLock);
                transferring.push_back(raw);
                if (Stopping()) raw->Cancel();
            }
            start(std::make_shared<CRunning>(CRunning{page, std::move(pageDownloader), check, server}));
        }
        // The confirming downloads whose pause is over; the rest wait for
        // the earliest of them.
        auto now = std::chrono::steady_clock::now();
        std::vector<std::shared_ptr<CRunning>> ready;
        auto earliest = std::chrono::steady_clock::time_point::max();
        std::erase_if(waiting, [&](const CWaiting& entry) {
            if (entry.due <= now && transfers.Running() + ready.size() < total &&
                perServer[entry.running->server] < perHost) {
                ++perServer[entry.running->server];
                ready.push_back(entry.running);
                return true;
            }
            // One that is due waits for a share: a transfer's end frees one.
            if (entry.due > now) earliest = std::min(earliest, entry.due);
            return false;
        });
        for (const auto& running : ready) start(running);
        if (!ready.empty()) continue;
        const auto untilDue = earliest == std::chrono::steady_clock::time_point::max()
                                  ? std::chrono::milliseconds(kLongestRound)
                                  : std::chrono::ceil<std::chrono::milliseconds>(earliest - now);
        const auto round = std::clamp(untilDue, std::chrono::milliseconds(0),
                                      std::chrono::milliseconds(kLongestRound));
        if (transfers.Running() != 0) {
            transfers.Run(round);
        } else if (!waiting.empty()) {
            std::unique_lock<std::mutex> guard(pauseLock);
            pauseWake.wait_for(guard, round, [this] { return Stopping(); });
        }
    }
    // A stop ends whatever still runs, each as a canceled check; a check
    // waiting to confirm its change settles on what it found.
    transfers.CancelAll();
    while (transfers.Running() != 0) transfers.Run(std::chrono::milliseconds(0));
    while (!waiting.empty()) {
        const std::shared_ptr<CRunning> running = waiting.back().running;
        waiting.pop_back();
        ++perServer[running->server];
        end(running, false, nullptr);
    }
    for (const PagePointer& page : changed) {
        if (Stopping()) break;
        page->PlayNotificationSound([this] { return Stopping(); });
    }
    return checked;
}

CCheckOutcome CWatchSiteList::CheckPage(CWatchSite& page, const std::function<bool()>& check) {
    CCheckOutcome outcome;
    outcome.index = IndexOf(&page);
    auto fail = [&](std::string error) {
        outcome.failed = true;
        outcome.error = error.empty() ? LoadString(IDS_UNKNOWN_EXCEPTION) : std::move(error);
        page.SetLastError(outcome.error);
    };
    try {
        outcome.checked = check();
        if (outcome.checked && outcome.index >= 0) Notify(PageChanged, outcome.index);
    } catch (const CException& exception) {
        const std::string url = page.GetUrl();
        fail(exception.Message());
        if (log) log->Add(exception, url);
        if (!page.IsEnabled()) {
            if (log) log->Add(LoadString(IDS_RETRY_COUNT_EXCEEDED), url);
            page.Enable(false);
            if (outcome.index >= 0) Notify(PageDisabled, outcome.index);
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
    for (const PagePointer& page : loaded) page->SetVersionObserver(versionObserver.load());
    pages.insert(pages.end(), std::make_move_iterator(loaded.begin()),
                 std::make_move_iterator(loaded.end()));
}

}  // namespace tallyhawk
