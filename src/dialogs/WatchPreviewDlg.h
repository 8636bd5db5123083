// CWatchPreviewDlg: downloads a page now and shows what its settings of
// what to watch make of it: the watched text, and below it what each
// setting took away (the text outside the region, each ignored region,
// each ignored text pattern, with their counts of lines). A failure shows
// its message instead: the download's, a region that matched nothing, a
// selector or pattern that cannot be used. Nothing of the page is changed.
//
// While the download runs the dialog shows a pulsing bar and a Cancel
// button, which cancels the download at once and closes the dialog; so do
// Escape and the window's close button. Afterwards the button reads Close.
//
// The download runs on a worker thread owned by the dialog, with a
// downloader of its own. The worker never touches a window: its result is
// posted to the user-interface thread and reaches the dialog through a weak
// reference, so a post that arrives after the dialog has gone does nothing.
// The worker has ended before ShowModal returns and before the dialog is
// destroyed.
//
// User-interface thread only.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <memory>
#include <string>
#include <thread>

#include "engine/LearnedNoise.h"
#include "engine/WatcherSettings.h"
#include "net/Downloader.h"

class wxButton;
class wxGauge;
class wxStaticText;
class wxTextCtrl;

namespace tallyhawk {

struct CPagePreview;

class CWatchPreviewDlg : public wxDialog {
public:
    static constexpr int ID_STATUS = 1089;
    static constexpr int ID_PROGRESS = 1090;
    static constexpr int ID_WATCHED = 1091;
    static constexpr int ID_REMOVED = 1092;
    static constexpr const char* kTitle = "Preview";
    static constexpr const char* kDownloading = "Downloading...";
    static constexpr const char* kCancel = "Cancel";
    static constexpr const char* kClose = "Close";

    // Previews `url` with `settings` (the sheet's values as they stand),
    // downloading within `limits`; with the settings' learning on, marks
    // what `noise` (and the built-in shapes) take out.
    CWatchPreviewDlg(wxWindow* parent, const std::string& url, const CWatcherSettings& settings,
                     const CTimeLimits& limits, const CLearnedNoise& noise = {});
    ~CWatchPreviewDlg() override;

    // Runs the preview while the dialog is shown. wxID_OK when it ended
    // showing the page's text, wxID_CANCEL otherwise.
    int ShowModal() override;

    // The worker's result has been shown.
    bool IsDone() const { return done; }
    bool Succeeded() const { return succeeded; }

private:
    // What the worker posts.
    struct CResult {
        bool canceled = false;
        std::string error;  // empty: `preview` holds the page
        std::shared_ptr<const CPagePreview> preview;
    };

    void OnInitDialog(wxInitDialogEvent& event);
    void OnButton(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void StartWorker();
    void StopWorker();
    void ShowResult(const CResult& result);
    void ShowError(const std::string& message);

    std::string url;
    CWatcherSettings settings;
    CLearnedNoise noise;
    CDownloader downloader;
    std::thread worker;
    bool done = false;
    bool succeeded = false;
    wxTimer pulse;
    wxStaticText* status;
    wxGauge* progress;
    wxTextCtrl* watched;
    wxTextCtrl* removed;
    wxButton* button;
    // Made and read on the user-interface thread only; the worker just
    // carries a copy of the pointer into its post.
    std::shared_ptr<wxWeakRef<CWatchPreviewDlg>> self;
};

}  // namespace tallyhawk
