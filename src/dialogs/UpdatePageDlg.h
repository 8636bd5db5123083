// CUpdatePageDlg: checks one page on demand, outside the watch schedule, and
// shows what the download is doing: a status line, a progress bar while
// bytes arrive for a known length, and a Cancel button that turns into "OK"
// once the page has been downloaded. The dialog closes by itself when the
// check ends.
//
// The check runs on a worker thread owned by the dialog. The worker never
// touches a window: every change of the dialog's controls is posted to the
// user-interface thread and reaches the dialog through a weak reference, so a
// post that arrives after the dialog has gone does nothing. The worker has
// ended before ShowModal returns and before the dialog is destroyed.
//
// User-interface thread only.
#pragma once

#include <wx/dialog.h>
#include <wx/weakref.h>

#include <memory>
#include <string>
#include <thread>

class wxButton;
class wxGauge;

namespace tallyhawk {

class CPageCheck;
class CStatusText;

class CUpdatePageDlg : public wxDialog {
public:
    static constexpr int ID_STATUS = 1044;
    static constexpr int ID_PROGRESS = 1048;
    static constexpr const char* kTitle = "Update Page";
    static constexpr const char* kOk = "OK";

    // `check` (made for the page, the document's downloader and its message
    // log) must outlive the dialog.
    CUpdatePageDlg(wxWindow* parent, CPageCheck& check);
    ~CUpdatePageDlg() override;

    // Runs the check while the dialog is shown. wxID_OK when the page was
    // checked and the check was not canceled (the caller then marks the
    // document modified), else wxID_CANCEL.
    int ShowModal() override;

private:
    void OnInitDialog(wxInitDialogEvent& event);
    void OnButton(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    // The posted progress: `percent` as CPageCheck gives it; `downloaded`
    // tells that the page has arrived (the button becomes "OK").
    void ShowProgress(const std::string& text, int percent, bool downloaded);
    // The posted end of the worker with the check's result (IDOK/IDCANCEL).
    void OnCheckEnded(int result);
    void StartWorker();
    void JoinWorker();

    CPageCheck& check;
    CStatusText* status;
    wxGauge* progress;
    wxButton* button;
    bool buttonIsOk = false;  // the button reads "OK": pressing it closes
    std::thread worker;
    // Made and read on the user-interface thread only; the worker just
    // carries copies of the pointer into its posts.
    std::shared_ptr<wxWeakRef<CUpdatePageDlg>> self;
};

}  // namespace tallyhawk
