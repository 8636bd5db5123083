// CPageCheck: one check of one page on demand, outside the watch schedule,
// with progress texts for whoever shows them. The Update Page dialog and the
// command line's update both run it.
//
// Run checks the page with the given downloader (the document's manual-check
// downloader, never the page list's) on the calling thread. Progress arrives
// on that thread through the callback; Cancel may be called from any thread.
// Failures go to the message log with the page's address.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/EventSource.h"

namespace tallyhawk {

class CDownloader;
class CMessageLog;
class CWatchSite;
struct CDownloadProgress;

// The dialog results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

class CPageCheck : public CEventSink {
public:
    // The status text to show and the progress in percent. Only bytes
    // arriving for a known content length give a percent (0-100, the bar is
    // shown); -1 hides the bar (bytes arriving, no length known), -2 leaves
    // it as it is (every other text).
    using ProgressFunction = std::function<void(const std::string& status, int percent)>;

    // The downloader and the log must outlive the check; the page is held
    // by shared ownership, so it stays valid while the check runs even when
    // it is removed from its list meanwhile.
    CPageCheck(CDownloader& downloader, std::shared_ptr<CWatchSite> site, CMessageLog& log);
    ~CPageCheck() override;

    // Checks the page once and returns IDOK when it was checked and not
    // canceled, else IDCANCEL. Never throws.
    int Run(const ProgressFunction& progress = {});
    // Stops the check: the running download ends at once. Any thread.
    void Cancel();
    // Ends the notification sound the check plays (or will play) at once,
    // without canceling the check: once the page is downloaded, only the
    // comparison and the sound are left, and OK must not wait for the sound.
    void EndSound();

    bool Succeeded() const { return succeeded.load(); }
    bool Canceled() const { return canceled.load(); }
    // The last status text (also after a failure: the error's text).
    std::string GetStatus() const;

    // The status text for one progress record; empty: leave the text as it is.
    static std::string StatusText(const CDownloadProgress& progress);

private:
    bool OnProgress(CDownloadProgress* progress);
    void Show(const std::string& status, int percent);

    CDownloader& downloader;
    const std::shared_ptr<CWatchSite> site;  // never null
    CMessageLog& log;
    ProgressFunction callback;
    std::atomic<bool> canceled{false};
    std::atomic<bool> succeeded{false};
    mutable std::mutex lock;
    std::string status;  // guarded by lock
};

}  // namespace tallyhawk
