// CTransferPool: many downloads at once on the thread that owns the pool,
// one libcurl multi handle for all of them (no thread per download).
//
// Each download goes through a CDownloader of its own, which keeps its
// rules (time limits, progress, errors, the response it answers with); the
// pool only moves the transfers on together and ends each one when it is
// done, in Run, on the owning thread. Connections are shared between the
// downloads while the pool lives.
//
// Threads: everything on the owning thread, except Wake and CancelAll's
// cancels, which any thread may call (a downloader's Cancel also wakes the
// pool).
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace tallyhawk {

class CDownloadSink;
class CDownloader;

class CTransferPool {
public:
    // What a download ended with: Download's answer, or the exception it
    // would have thrown (the sink's, a subscriber's).
    using Done = std::function<void(bool succeeded, std::exception_ptr failure)>;

    CTransferPool();
    CTransferPool(const CTransferPool&) = delete;
    CTransferPool& operator=(const CTransferPool&) = delete;
    // Cancels and ends every download still running (their Done runs).
    ~CTransferPool();

    // Starts `downloader`'s download of `url` into `sink`; `done` runs when it
    // ends, from Run (or at once when it cannot start). The downloader and
    // the sink must stay until then.
    void Start(CDownloader& downloader, const std::string& url, CDownloadSink* sink, Done done);

    // Moves every download on and ends those that are done; when none
    // ended, waits up to `longest` for network activity, a deadline or a
    // Wake. Returns how many still run.
    std::size_t Run(std::chrono::milliseconds longest);
    std::size_t Running() const { return transfers.size(); }

    // Cancels every download; each ends at the next Run.
    void CancelAll();
    // Ends a Run's wait early; any thread.
    void Wake();

private:
    struct Transfer {
        CDownloader* downloader;
        CURL* easy;
        Done done;
    };
    // Takes transfer `index` off the multi handle and ends it with `result`.
    void End(std::size_t index, CURLcode result);

    CURLM* multi = nullptr;
    std::vector<Transfer> transfers;
};

}  // namespace tallyhawk
