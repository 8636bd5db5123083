// CTallyhawkDoc: the program's document: the page list with its watch
// thread, the message log the watch thread writes into, and the downloader
// for checks started by hand. Saved to and loaded from a .wat file, which is
// the page list's record (CWatchSiteList::Serialize):
//
//   WORD   page-list version, written as 1, ignored on reading
//   DWORD  n, the number of pages
//   n page records, in list order, without separators
//
// An empty document is the 6 bytes 01 00 00 00 00 00.
//
// The document's operations run on the front end's thread; its modified flag
// is also set from the watch thread (page-list events 0 to 4).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/Document.h"
#include "app/MessageLog.h"
#include "app/PageCheck.h"
#include "base/EventSource.h"
#include "app/HistoryRecorder.h"
#include "engine/WatchSiteList.h"
#include "net/Downloader.h"

namespace tallyhawk {

class CAppSettings;
class CHistoryStore;
class CSiteServices;
class IClock;

// Hands the page list's failures to a message log.
class CMessageLogWriter : public IPageLog {
public:
    explicit CMessageLogWriter(CMessageLog& log) : log(log) {}
    void Add(const std::string& message, const std::string& page) override { log.Add(message, page); }
    void Add(const CException& exception, const std::string& page) override {
        log.Add(exception, page);
    }

private:
    CMessageLog& log;
};

class CTallyhawkDoc : public CDocument, public CEventSink {
public:
    // `appSettings` (may be null: the log and the time limit keep their
    // defaults) is applied to the message log by New, and its time limit to
    // the downloaders at once (ApplyTimeLimits). `services` (null: the
    // default ones) go to the pages the document loads; `clock` (null: the
    // system's) stamps log entries. All must outlive the document. `timeout`
    // is the downloaders' connect and stall limit.
    explicit CTallyhawkDoc(const CAppSettings* appSettings = nullptr,
                           CSiteServices* services = nullptr, const IClock* clock = nullptr,
                           std::chrono::milliseconds timeout = CDownloader::kDefaultTimeout);
    // Stops the watch thread with the wait before anything is destroyed.
    ~CTallyhawkDoc() override;

    CMessageLog& GetMessageLog() { return messageLog; }
    CWatchSiteList& GetPageList() { return pages; }
    CDownloader& GetDownloader() { return downloader; }

    // Empties the document, then applies the application settings to the log.
    bool OnNewDocument() override;
    // The base's, then the history follows the document's path.
    void OnOpenDocument(const std::string& path) override;
    void OnSaveDocument(const std::string& path) override;
    void Serialize(CArchive& archive) override;
    // Stops the watch thread and waits for it, ends the subscription, removes
    // every page, clears the log, then subscribes again.
    void DeleteContents() override;

    // Start Watching: only with at least one page. True when watching runs.
    bool CanStartWatching() const;
    bool StartWatching();
    // Stop Watching: tells the thread to stop and returns at once.
    void StopWatching();

    // Save Log Messages; throws COsException. Clear Log Messages.
    void SaveLogMessages(const std::string& path);
    void ClearLogMessages();

    // Update a page by hand: runs `check` (made for this document's
    // downloader and log) on the calling thread; on IDOK the document is
    // modified. Returns the check's result.
    int UpdatePage(CPageCheck& check, const CPageCheck::ProgressFunction& progress = {});
    // Makes a check of the page at `index` with this document's downloader
    // and log; null when the index is out of range. The check shares the
    // page: removing it from the list (or emptying the document) while the
    // check is pending or running leaves the check's page valid.
    std::unique_ptr<CPageCheck> MakePageCheck(std::int32_t index);
    // The page list's ViewChanges; its exceptions leave.
    void ViewChanges(std::int32_t index);

    // The history of the document's pages, in the store beside its file,
    // opened at first use (never at start-up) and kept open; null for a
    // document without a file, or when no store can be opened there (the
    // message log says so, once). Set to record (SetHistoryEnabled) by the
    // front ends that want it.
    CHistoryStore* GetHistory();
    // The history key of page `index`: its address.
    std::string HistoryKey(std::int32_t index);
    // Makes kept version `versionId` the accepted version of page `index`
    // and notes so in the history. Throws CException.
    void AcceptHistoryVersion(std::int32_t index, std::int64_t versionId);

    // Gives the page list's downloader and the one of MakePageCheck the
    // application settings' time limit for a whole download (connect and
    // stall limits as made, never longer than it). Called when the document
    // is made and by whoever changes the settings; a download that runs
    // keeps the limits it began with.
    void ApplyTimeLimits();

private:
    bool OnPageListEvent(SiteListEvent* event);

    const CAppSettings* appSettings;
    const std::chrono::milliseconds timeout;
    CMessageLog messageLog;
    CMessageLogWriter logWriter;
    // Before the pages, which report to it: it outlives them.
    CHistoryRecorder history;
    CWatchSiteList pages;
    CDownloader downloader;
};

}  // namespace tallyhawk
