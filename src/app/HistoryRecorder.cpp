#include "app/HistoryRecorder.h"

#include "app/MessageLog.h"
#include "platform/Clock.h"

namespace tallyhawk {

namespace {

// The most versions waiting for the disk; more are dropped (and said so)
// rather than held in memory without bound.
constexpr std::size_t kMaxQueued = 4096;

}  // namespace

CHistoryRecorder::CHistoryRecorder(CMessageLog& log, const IClock& clock) : log(log), clock(clock) {}

CHistoryRecorder::~CHistoryRecorder() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    if (worker.joinable()) worker.join();
}

void CHistoryRecorder::SetDocumentPath(const std::string& documentPath) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (documentPath == path) return;  // a save under the same name waits for nothing
    }
    // The versions of the old path go to its store first.
    Flush();
    std::lock_guard<std::mutex> guard(lock);
    path = documentPath;
    store.reset();
    pruneDue = true;
}

void CHistoryRecorder::SetRetention(const CHistoryRetention& value) {
    std::lock_guard<std::mutex> guard(lock);
    retention = value;
    pruneDue = true;
}

std::shared_ptr<CHistoryStore> CHistoryRecorder::Store() {
    std::lock_guard<std::mutex> guard(lock);
    return StoreLocked();
}

std::shared_ptr<CHistoryStore> CHistoryRecorder::StoreLocked() {
    if (store || path.empty()) return store;
    const std::string storePath = HistoryPathFor(path);
    try {
        std::string notice;
        store = CHistoryStore::Open(storePath, &notice);
        if (!notice.empty()) log.Add(notice, "");
        reportedPath.clear();
    } catch (const CException& error) {
        // Once per path: a store that cannot be opened would otherwise fill
        // the log at every check.
        if (reportedPath != path) {
            reportedPath = path;
            log.Add("The history of this document cannot be kept: " + error.Message(), "");
        }
    }
    return store;
}

void CHistoryRecorder::Flush() {
    std::unique_lock<std::mutex> guard(lock);
    idle.wait(guard, [this] { return (queue.empty() && !busy) || !worker.joinable(); });
}

void CHistoryRecorder::VersionDownloaded(const std::string& url, std::int64_t time,
                                         std::int32_t status,
                                         std::shared_ptr<const std::string> version) {
    Enqueue({false, url, time, status, std::move(version)});
}

void CHistoryRecorder::VersionAccepted(const std::string& url, std::int64_t time,
                                       std::shared_ptr<const std::string> version) {
    Enqueue({true, url, time, 0, std::move(version)});
}

void CHistoryRecorder::Enqueue(CItem item) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (path.empty() || stopping || !item.version) return;
        if (queue.size() >= kMaxQueued) {
            if (reportedPath != path) {
                reportedPath = path;
                log.Add("The history cannot keep up: versions were left out of it.", item.url);
            }
            return;
        }
        queue.push_back(std::move(item));
        if (!worker.joinable()) worker = std::thread([this] { Run(); });
    }
    wake.notify_one();
}

void CHistoryRecorder::Run() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return stopping || !queue.empty(); });
        if (queue.empty()) {
            if (stopping) break;
            continue;
        }
        CItem item = std::move(queue.front());
        queue.pop_front();
        busy = true;
        std::shared_ptr<CHistoryStore> target = StoreLocked();
        const bool prune = target && (pruneDue || sincePrune >= kPruneEvery);
        if (prune) {
            pruneDue = false;
            sincePrune = 0;
        }
        const CHistoryRetention keep = retention;
        guard.unlock();
        std::string failure;
        if (target) {
            try {
                if (item.accepted) {
                    target->MarkAccepted(item.url, *item.version, item.time);
                } else if (target->Append(item.url, item.time, item.status, *item.version)) {
                    std::lock_guard<std::mutex> counting(lock);
                    ++sincePrune;
                }
                if (prune) target->Prune(keep, clock.Now());
            } catch (const CException& error) {
                failure = error.Message();
            }
        }
        item.version.reset();  // freed without the lock
        guard.lock();
        busy = false;
        if (!failure.empty() && reportedPath != path) {
            reportedPath = path;
            guard.unlock();
            log.Add("The history of this document cannot be kept: " + failure, item.url);
            guard.lock();
        }
        if (queue.empty()) idle.notify_all();
    }
    busy = false;
    idle.notify_all();
}

}  // namespace tallyhawk
