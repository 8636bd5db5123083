// CHistoryRecorder: keeps the versions a document's pages take in the
// document's history store, on a thread of its own, so that a check never
// waits for the disk. The store is opened at the first version to keep or
// the first look at the history, never at start-up; one that cannot be
// opened or written is reported in the message log once, and watching goes
// on without it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/WatchSite.h"
#include "history/HistoryStore.h"

namespace tallyhawk {

class CMessageLog;
class IClock;

class CHistoryRecorder : public IVersionObserver {
public:
    CHistoryRecorder(CMessageLog& log, const IClock& clock);
    // Writes what is queued, then ends the thread.
    ~CHistoryRecorder() override;
    CHistoryRecorder(const CHistoryRecorder&) = delete;
    CHistoryRecorder& operator=(const CHistoryRecorder&) = delete;

    // The document's path ("" for a document without a file: nothing is
    // kept). A store opened for another path is closed.
    void SetDocumentPath(const std::string& path);
    void SetRetention(const CHistoryRetention& value);

    // The store, opened now when it is not yet; null when the document has
    // no file or the store cannot be opened. Valid until the path changes.
    std::shared_ptr<CHistoryStore> Store();
    // Waits until every queued version is kept (or has failed).
    void Flush();

    void VersionDownloaded(const std::string& url, std::int64_t time, std::int32_t status,
                           std::shared_ptr<const std::string> version) override;
    void VersionAccepted(const std::string& url, std::int64_t time,
                         std::shared_ptr<const std::string> version) override;

    // Prunes after this many versions kept, and once after opening.
    static constexpr int kPruneEvery = 50;

private:
    struct CItem {
        bool accepted = false;
        std::string url;
        std::int64_t time = 0;
        std::int32_t status = 0;
        std::shared_ptr<const std::string> version;
    };
    void Enqueue(CItem item);
    void Run();
    // The store for the current path; the lock must be held.
    std::shared_ptr<CHistoryStore> StoreLocked();

    CMessageLog& log;
    const IClock& clock;
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::string path;                        // guarded by lock
    std::string reportedPath;                // guarded by lock: the path whose failure was logged
    std::shared_ptr<CHistoryStore> store;    // guarded by lock
    CHistoryRetention retention;             // guarded by lock
    std::deque<CItem> queue;                 // guarded by lock
    bool busy = false;                       // guarded by lock: an item is being written
    bool stopping = false;                   // guarded by lock
    bool pruneDue = true;                    // guarded by lock
    int sincePrune = 0;                      // guarded by lock
    std::thread worker;                      // started with the first item
};

}  // namespace tallyhawk
