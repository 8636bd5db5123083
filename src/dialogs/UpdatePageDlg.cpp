#include "dialogs/UpdatePageDlg.h"

#include "base/StringTable.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/sizer.h>

#include <system_error>

#include "app/PageCheck.h"
#include "dialogs/StatusText.h"

namespace tallyhawk {

CUpdatePageDlg::CUpdatePageDlg(wxWindow* parent, CPageCheck& check)
    : wxDialog(parent, wxID_ANY, kTitle),
      check(check),
      self(std::make_shared<wxWeakRef<CUpdatePageDlg>>(this)) {
    status = new CStatusText(this, ID_STATUS);
    status->SetMinSize(wxSize(FromDIP(380), -1));
    progress = new wxGauge(this, ID_PROGRESS, 100);
    progress->Hide();
    button = new wxButton(this, wxID_CANCEL, "Cancel");

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    const int border = FromDIP(10);
    sizer->Add(status, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
    // The bar comes and goes; its place stays, so nothing else moves.
    sizer->Add(progress, wxSizerFlags()
                             .Expand()
                             .Border(wxLEFT | wxRIGHT | wxTOP, border)
                             .ReserveSpaceEvenIfHidden());
    sizer->Add(button, wxSizerFlags().Center().Border(wxALL, border));
    SetSizerAndFit(sizer);
    CentreOnParent();

    Bind(wxEVT_INIT_DIALOG, &CUpdatePageDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, &CUpdatePageDlg::OnButton, this, wxID_CANCEL);
    Bind(wxEVT_CLOSE_WINDOW, &CUpdatePageDlg::OnClose, this);
}

CUpdatePageDlg::~CUpdatePageDlg() {
    // Only reached with a running worker when the dialog never ran modally
    // to its end; the check must not go on against a dialog being destroyed.
    if (worker.joinable()) check.Cancel();
    JoinWorker();
}

int CUpdatePageDlg::ShowModal() {
    const int result = wxDialog::ShowModal();
    // "OK" may be pressed while the worker still compares the page: the
    // caller gets the dialog back only once the check has ended, with the
    // check's result.
    JoinWorker();
    if (result != wxID_OK) return result;
    return check.Succeeded() && !check.Canceled() ? wxID_OK : wxID_CANCEL;
}

void CUpdatePageDlg::OnInitDialog(wxInitDialogEvent& event) {
    event.Skip();
    progress->SetValue(0);
    status->SetText(LoadString(IDS_PLEASE_WAIT));
    StartWorker();
}

void CUpdatePageDlg::StartWorker() {
    std::shared_ptr<wxWeakRef<CUpdatePageDlg>> target = self;
    CPageCheck* page = &check;  // outlives the worker, which ends before the dialog
    try {
        worker = std::thread([page, target] {
            const int result = page->Run([page, target](const std::string& text, int percent) {
                const bool downloaded = page->Succeeded();
                wxTheApp->CallAfter([target, text, percent, downloaded] {
                    if (CUpdatePageDlg* dialog = target->get()) {
                        dialog->ShowProgress(text, percent, downloaded);
                    }
                });
            });
            wxTheApp->CallAfter([target, result] {
                if (CUpdatePageDlg* dialog = target->get()) dialog->OnCheckEnded(result);
            });
        });
    } catch (const std::system_error& error) {
        // No thread: nothing to wait for; the user closes the dialog.
        status->SetText(error.what());
        button->SetLabel(kOk);
        buttonIsOk = true;
    }
}

void CUpdatePageDlg::JoinWorker() {
    if (worker.joinable()) worker.join();
}

void CUpdatePageDlg::ShowProgress(const std::string& text, int percent, bool downloaded) {
    status->SetText(text);
    if (percent >= 0) {
        progress->SetValue(percent);
        progress->Show();
    } else if (percent == -1) {
        progress->Hide();
    }
    if (downloaded && !buttonIsOk && button->IsEnabled()) {
        button->SetLabel(kOk);
        buttonIsOk = true;
    }
}

void CUpdatePageDlg::OnCheckEnded(int result) {
    JoinWorker();
    if (!check.Canceled() && !buttonIsOk) {
        // A check that failed: the error stands in the status line, and the
        // button only closes.
        button->SetLabel(kOk);
        buttonIsOk = true;
    }
    progress->SetValue(check.Succeeded() ? 0 : 100);
    if (IsModal()) EndModal(result == IDOK ? wxID_OK : wxID_CANCEL);
}

void CUpdatePageDlg::OnButton(wxCommandEvent&) {
    if (buttonIsOk) {
        // The page is downloaded: what is left (the comparison, the sound)
        // is not worth waiting for, and the sound may last half a minute.
        check.EndSound();
        if (IsModal()) EndModal(wxID_OK);  // ShowModal answers with the check's result
        return;
    }
    // The dialog closes when the worker posts its end, within moments: the
    // cancel ends the running download at once.
    check.Cancel();
    status->SetText(LoadString(IDS_CANCELING));
    button->Disable();
}

void CUpdatePageDlg::OnClose(wxCloseEvent&) {
    // The window's close button and Escape act as the dialog's button; while
    // a cancel is under way the dialog closes by itself.
    if (button->IsEnabled()) {
        wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
        press.SetEventObject(button);
        OnButton(press);
    }
}

}  // namespace tallyhawk
