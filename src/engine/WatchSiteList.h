// CWatchSiteList: the document's list of watched pages and the one watch
// thread that checks them.
//
// The list owns its pages (CWatchSite) in list order, one downloader for all
// checks and the watch thread. While watching runs, the thread walks the list
// every 50 ms and checks each enabled page whose schedule is due, one after
// another; failures go to the page log given at construction.
//
// Announcements (CEventSource) carry a SiteListEvent* and run on the thread
// that causes them: the watch thread for PageChanged after a check,
// PageDisabled, WatchingStarted, WatchingStopped and NothingDue; the caller's
// thread for the rest. The list's lock is never held while it announces or
// while a page runs a check, shows its changes or is destroyed, so a
// subscriber may call back into the list, and a page announcing on one thread
// never waits for the list held by another (the view-changes path and the
// page-changed path take no lock in opposite order).
//
// Pages are held by shared ownership: the watch thread keeps the page it is
// checking alive, so removing pages while watching runs is safe (a removed
// page is simply not checked again). Owners still stop watching with the wait
// before emptying the list, so that no check of an old page is still running
// against the document's new contents.
//
// Every member function may be called from any thread unless it says otherwise.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/EventSource.h"
#include "base/WorkerThread.h"
#include "engine/WatchSite.h"
#include "net/Downloader.h"

namespace tallyhawk {

class CArchive;
class CException;
class CSiteServices;
class CWatchSiteList;

enum SiteListEventCode : std::int32_t {
    PageAdded = 0,        // index: the new page
    PageRemoved = 1,      // index: the index the page had
    AllPagesRemoved = 2,  // index: -1
    PageChanged = 3,      // index: the page
    PageDisabled = 4,     // index: the page, disabled after too many failures
    WatchingStarted = 5,  // index: -1
    WatchingStopped = 6,  // index: -1
    NothingDue = 7,       // index: -1; a pass in which no page was due
};

struct SiteListEvent {
    std::int32_t code;
    CWatchSiteList* list;
    std::int32_t index;
    std::uint32_t extra = 0;  // always 0
};

// Where the list writes what went wrong; the document's message log stands
// behind it. Called from the watch thread and the caller's thread.
class IPageLog {
public:
    virtual ~IPageLog() = default;
    virtual void Add(const std::string& message, const std::string& page) = 0;
    // The exception's own message, or the log's text for one without.
    virtual void Add(const CException& exception, const std::string& page) = 0;
};

// What one check of the watch loop came to, for a front end that reports it.
struct CCheckOutcome {
    std::int32_t index = -1;
    // The page was downloaded and compared (its status is Modified or Current).
    bool checked = false;
    // The check failed; `error` is the failure's text, as logged. Neither flag:
    // the check was canceled and left the page Outdated.
    bool failed = false;
    std::string error;
};

// One enabled, modified page, for the tray menu.
struct CModifiedPage {
    std::int32_t index;
    std::string name;
};

class CWatchSiteList : public CEventSource, public CEventSink, public CWorkerThread {
public:
    static constexpr std::uint16_t kVersion = 1;
    static constexpr std::uint32_t kPassPauseMilliseconds = 50;
    static constexpr std::uint32_t kStopWaitMilliseconds = 2000;
    // The longest the watch thread waits for its downloads before it looks
    // at them again (a stop wakes it at once).
    static constexpr std::uint32_t kLongestRound = 250;

    // `log` receives the failures and must outlive the list. `services` (null:
    // the default ones) are given to the pages the list loads. `timeout` is
    // the downloader's stall limit.
    explicit CWatchSiteList(IPageLog* log, CSiteServices* services = nullptr,
                            std::chrono::milliseconds timeout = CDownloader::kDefaultTimeout);
    CWatchSiteList(const CWatchSiteList&) = delete;
    CWatchSiteList& operator=(const CWatchSiteList&) = delete;
    // Stops watching with the wait, ends the subscriptions, then removes
    // every page (announcing AllPagesRemoved).
    ~CWatchSiteList() override;

    // Appends a copy of `page`, subscribes to it and announces PageAdded.
    // Returns the new index. The caller keeps its page.
    std::int32_t Add(const CWatchSite& page);
    // Removes and destroys the page at `index` and announces PageRemoved.
    // An index out of range does nothing.
    void RemoveAt(std::int32_t index);
    // Removes every page and announces AllPagesRemoved. Does not stop watching.
    void RemoveAll();

    // The page at `index`, or null when out of range. Valid until the page is
    // removed; use only the page's own (locked) operations on it.
    CWatchSite* GetAt(std::int32_t index) const;
    // The page at `index` by shared ownership, or null when out of range: it
    // stays valid after the page is removed from the list (a check on demand
    // that runs while the window stays live holds its page this way).
    std::shared_ptr<CWatchSite> GetShared(std::int32_t index) const;
    // A copy of the page at `index`. Throws CGenericException(IDS_NO_SUCH_PAGE) when out of range.
    std::unique_ptr<CWatchSite> GetCopy(std::int32_t index) const;
    std::int32_t GetCount() const;
    // -1 when `page` is not in the list.
    std::int32_t IndexOf(const CWatchSite* page) const;
    // Pages that are enabled and Modified.
    std::int32_t CountModified() const;
    // Replaces `out` with {index, name} of every enabled, Modified page in order.
    void ListModified(std::vector<CModifiedPage>& out) const;

    // Shows the changes of the page at `index` and accepts them. Out of range:
    // nothing. A CException is logged with the page's address and thrown on;
    // anything else is logged and thrown as CGenericException(IDS_UNKNOWN_VIEW_FAILURE).
    void ViewChanges(std::int32_t index);

    // The watch thread's downloads: their settings (time limits, security)
    // and their progress, announced here for every page being downloaded.
    CDownloader& GetDownloader() { return downloader; }

    // How many pages the watch thread downloads at once: at most `total`,
    // and at most `perHost` from one server (host and port). Both at least
    // 1; they apply from the next pass.
    static constexpr std::uint32_t kDefaultTransfers = 16;
    static constexpr std::uint32_t kDefaultTransfersPerHost = 2;
    void SetTransferLimits(std::uint32_t total, std::uint32_t perHost);
    std::uint32_t GetTransfers() const { return maxTransfers.load(); }
    std::uint32_t GetTransfersPerServer() const { return maxTransfersPerHost.load(); }

    // Where every page of the list, held now or added later, reports its
    // versions (the history); null for nowhere. The observer must outlive
    // the list or be replaced by null first.
    void SetVersionObserver(IVersionObserver* observer);

    // Starts the watch thread; true when it runs (also when it already ran).
    virtual bool StartWatching();
    // Asks the watch thread to stop, aborts a download in progress and cuts
    // off a notification sound that is playing. With `wait`, returns only
    // once the thread has ended: within a few milliseconds, since nothing the
    // thread waits on outlasts the stop (only a comparison that is running
    // is finished first).
    virtual void StopWatching(bool wait);
    bool IsWatching() const { return IsRunning(); }

    // Hears of each page after the watch thread checked it, on that thread.
    using CheckObserver = std::function<void(const CCheckOutcome&)>;
    // Starts the watch thread for a single pass in list order over the
    // enabled pages that are due (with `everyPage`, over every enabled page),
    // each checked exactly as watching checks it; then the thread ends,
    // announcing WatchingStopped as always. StopWatching ends the pass early.
    // `observer` (may be empty) must stay callable until the thread has ended.
    // false when the thread already runs or could not be started.
    bool StartOnePass(bool everyPage, CheckObserver observer = {});

    // Record layout (little-endian; encodings as in base/Archive.h):
    //   WORD   version, written as 1, ignored on reading
    //   DWORD  n, the number of pages
    //   n page records (CWatchSite::Serialize), in list order
    // Storing writes the pages under the list's lock. Loading reads every
    // page first and appends them only when all were read, announcing
    // nothing; on a failure the list is unchanged and the exception
    // (CArchiveException for a short or damaged record) leaves. Call loading
    // only while the thread is stopped.
    void Serialize(CArchive& archive);

    // The watch loop; runs on the watch thread.
    std::uint32_t Run() override;

private:
    using PagePointer = std::shared_ptr<CWatchSite>;

    bool OnPageChanged(CWatchSite* page);
    bool OnDownloadProgress(CDownloadProgress* progress);
    PagePointer PageAt(std::int32_t index) const;
    void Notify(std::int32_t code, std::int32_t index);
    // Unsubscribes from the pages and drops the list's references to them.
    void Release(std::vector<PagePointer>& removed);
    bool Stopping() const;
    // Starts the thread for the run that `onePass` and `everyPage` describe.
    bool StartRun();
    // One pass over the first `count` pages; returns the number checked.
    // `checking` holds the page in hand while the pass runs, so that a failure
    // leaving the pass can name it; it is empty after the pass.
    std::int32_t CheckPass(std::int32_t count, PagePointer& checking);
    // Runs `check` on `page` and turns what it ends with into the outcome,
    // the log's entries and the list's announcements.
    CCheckOutcome CheckPage(CWatchSite& page, const std::function<bool()>& check);
    // A downloader for one page's check, set up as the list's own.
    std::unique_ptr<CDownloader> MakeDownloader();
    bool OnPooledProgress(CDownloadProgress* progress);
    // Sleeps up to the pass pause; wakes early on a stop.
    void Pause();

    IPageLog* log;            // not owned
    CSiteServices* services;  // not owned; may be null
    mutable std::recursive_mutex lock;
    std::vector<PagePointer> pages;  // guarded by lock
    CDownloader downloader;
    std::atomic<IVersionObserver*> versionObserver{nullptr};
    std::atomic<std::uint32_t> maxTransfers{kDefaultTransfers};
    std::atomic<std::uint32_t> maxTransfersPerHost{kDefaultTransfersPerHost};
    // The downloaders of the checks under way, for StopWatching to cancel
    // from another thread, and the pool to wake.
    std::mutex transfersLock;
    std::vector<CDownloader*> transferring;  // guarded by transfersLock
    class CTransferPool* pool = nullptr;     // guarded by transfersLock

    // The stop request of the current watch run; set by StopWatching, cleared
    // by StartWatching. Unlike the downloader's cancel mark, which the next
    // download clears, it cannot be lost.
    std::atomic<bool> stopRequested{false};
    // How the next run goes: set before the thread starts, read only by it.
    bool onePass = false;
    bool everyPage = false;
    CheckObserver observer;
    std::mutex pauseLock;
    std::condition_variable pauseWake;
};

}  // namespace tallyhawk
