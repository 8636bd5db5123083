// CFileDownloadDlg: downloads one URL into a caller's sink and shows how it
// goes: the site, the file, the transfer rate, the file size, a status line
// and a progress bar, with a Cancel button that turns into "Finished" when
// the download has ended and the dialog stays open. Enter does nothing;
// Cancel, Escape and the window's close button cancel a running download
// (the dialog closes once it has ended) or close an ended dialog.
//
// ShowModal returns wxID_OK when the download succeeded and wxID_CANCEL
// otherwise; an answer with an HTTP status of 400 or more (the server's error
// page) is a failure. A failure (not a cancellation) is shown in one message box,
// through the prompter, before the dialog closes or turns to "Finished".
// What the sink received before a failure stays in it; the caller decides.
//
// The download runs on the dialog's worker thread (CWorkerThread). The
// worker never touches a window: every change of a control is posted to the
// user-interface thread and reaches the dialog through a weak reference, and
// so does the end of the download, after the last change. The worker has
// ended before ShowModal returns and before the dialog is destroyed.
//
// User-interface thread only, except the worker's own members.
#pragma once

#include <wx/dialog.h>
#include <wx/weakref.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "app/DownloadMeter.h"
#include "base/EventSource.h"
#include "base/WorkerThread.h"
#include "net/Downloader.h"
#include "platform/Clock.h"

class wxButton;
class wxGauge;
class wxStaticText;

namespace tallyhawk {

class CFileDownloadDlg : public wxDialog, public CWorkerThread, public CEventSink {
public:
    static constexpr int ID_SITE = 1008;
    static constexpr int ID_FILE = 1009;
    static constexpr int ID_RATE = 1011;
    static constexpr int ID_SIZE = 1013;
    static constexpr int ID_STATUS = 1044;
    static constexpr int ID_PROGRESS = 1048;
    // The dialog's own texts.
    static constexpr const char* kTitle = "File Download";
    static constexpr const char* kSiteLabel = "Site:";
    static constexpr const char* kFileLabel = "File:";
    static constexpr const char* kRateLabel = "Transfer Rate:";
    static constexpr const char* kSizeLabel = "File Size:";
    static constexpr const char* kStatusLabel = "Status:";
    static constexpr const char* kFileUnknown = "Static";  // a URL that cannot be split
    static constexpr const char* kSizeUnknown = "Unknown";
    static constexpr const char* kDownloading = "Downloading...";
    static constexpr const char* kCancel = "Cancel";
    static constexpr const char* kFinished = "Finished";

    // Downloads `url` ("http://" is put in front when it contains no "://")
    // into `sink`, which must outlive the dialog. `caption` replaces the
    // title unless empty. With `closeWhenDone` the dialog closes by itself
    // when the download has ended; otherwise the button reads "Finished".
    // `clock` (the transfer rate's seconds) must outlive the dialog.
    CFileDownloadDlg(wxWindow* parent, const std::string& url, CDownloadSink* sink,
                     const std::string& caption, bool closeWhenDone,
                     const IClock& clock = CSystemClock::Instance());
    ~CFileDownloadDlg() override;

    // The downloader, to set its security before ShowModal.
    CDownloader& GetDownloader() { return downloader; }
    // The URL as downloaded ("http://" added where needed).
    const std::string& GetUrl() const { return url; }

    int ShowModal() override;

    // After ShowModal: how the download ended, and the message of a failure.
    bool Succeeded() const { return succeeded.load(); }
    bool WasCanceled() const { return canceled.load(); }
    std::string GetErrorText() const;

private:
    // The worker.
    std::uint32_t Run() override;
    bool OnProgress(CDownloadProgress* progress);
    void Post(const CDownloadDisplay& display);

    // The user-interface thread.
    void OnInitDialog(wxInitDialogEvent& event);
    void ShowPosted();
    void OnDownloadEnded();
    void OnCancel(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void StopWorker();
    void EndWith(int result);

    std::string url;
    CDownloadSink* sink;
    const bool closeWhenDone;
    CDownloader downloader;
    CDownloadMeter meter;  // the worker's

    std::atomic<bool> succeeded{false};
    std::atomic<bool> canceled{false};
    std::atomic<bool> cancelRequested{false};
    mutable std::mutex lock;
    std::string errorText;         // guarded by lock
    CDownloadDisplay posted;       // guarded by lock: changes not yet shown
    bool postPending = false;      // guarded by lock: a ShowPosted is on its way

    bool ended = false;  // the end has been seen on the user-interface thread
    wxStaticText* site;
    wxStaticText* file;
    wxStaticText* rate;
    wxStaticText* size;
    wxStaticText* status;
    wxGauge* progress;
    wxButton* button;
    // Made and read on the user-interface thread only; the worker just
    // carries copies of the pointer into its posts.
    std::shared_ptr<wxWeakRef<CFileDownloadDlg>> self;
};

}  // namespace tallyhawk
