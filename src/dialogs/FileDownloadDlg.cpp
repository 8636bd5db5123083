#include "dialogs/FileDownloadDlg.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "base/Exception.h"
#include "base/StringTable.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Prompter.h"
#include "net/InternetError.h"
#include "net/UrlParts.h"

namespace tallyhawk {

namespace {

void SetText(wxStaticText* control, const std::string& text) {
    const wxString shown = TextFromBytes(text);
    if (control->GetLabel() != shown) control->SetLabel(shown);
}

}  // namespace

CFileDownloadDlg::CFileDownloadDlg(wxWindow* parent, const std::string& address,
                                   CDownloadSink* sink, const std::string& caption,
                                   bool closeWhenDone, const IClock& clock)
    : wxDialog(parent, wxID_ANY, kTitle),
      url(CDownloader::NormalizeUrl(address)),
      sink(sink),
      closeWhenDone(closeWhenDone),
      meter(clock),
      self(std::make_shared<wxWeakRef<CFileDownloadDlg>>(this)) {
    if (!caption.empty()) SetTitle(TextFromBytes(caption));

    const long valueStyle = wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE;
    auto value = [&](int id, const char* text) {
        auto* control = new wxStaticText(this, id, text, wxDefaultPosition, wxDefaultSize,
                                         valueStyle);
        control->SetMinSize(wxSize(FromDIP(300), -1));
        return control;
    };
    auto* grid = new wxFlexGridSizer(2, FromDIP(4), FromDIP(8));
    grid->AddGrowableCol(1);
    auto row = [&](const char* label, wxStaticText* control) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), wxSizerFlags().Right());
        grid->Add(control, wxSizerFlags().Expand());
        return control;
    };
    site = row(kSiteLabel, value(ID_SITE, ""));
    file = row(kFileLabel, value(ID_FILE, kFileUnknown));
    rate = row(kRateLabel, value(ID_RATE, ""));
    size = row(kSizeLabel, value(ID_SIZE, kSizeUnknown));
    status = row(kStatusLabel, value(ID_STATUS, kDownloading));

    progress = new wxGauge(this, ID_PROGRESS, 100);
    progress->Hide();
    button = new wxButton(this, wxID_CANCEL, kCancel);

    const int border = FromDIP(10);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(grid, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
    // The bar comes and goes; its place stays, so nothing else moves.
    sizer->Add(progress, wxSizerFlags()
                             .Expand()
                             .Border(wxLEFT | wxRIGHT | wxTOP, border)
                             .ReserveSpaceEvenIfHidden());
    sizer->Add(button, wxSizerFlags().Right().Border(wxALL, border));
    SetSizerAndFit(sizer);
    CentreOnParent();

    downloader.Subscribe(this, &CFileDownloadDlg::OnProgress);
    Bind(wxEVT_INIT_DIALOG, &CFileDownloadDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, &CFileDownloadDlg::OnCancel, this, wxID_CANCEL);
    Bind(wxEVT_CLOSE_WINDOW, &CFileDownloadDlg::OnClose, this);
    Bind(wxEVT_CHAR_HOOK, &CFileDownloadDlg::OnCharHook, this);
}

CFileDownloadDlg::~CFileDownloadDlg() {
    StopWorker();
    UnsubscribeAll();
}

std::string CFileDownloadDlg::GetErrorText() const {
    std::lock_guard guard(lock);
    return errorText;
}

int CFileDownloadDlg::ShowModal() {
    const int result = wxDialog::ShowModal();
    // Ended otherwise than by the download's end (the dialog destroyed with
    // its parent, a test's time limit): the download must not go on.
    StopWorker();
    return result;
}

void CFileDownloadDlg::StopWorker() {
    if (!IsRunning()) return;
    cancelRequested = true;
    downloader.Cancel();
    Wait(kInfinite);
}

void CFileDownloadDlg::OnInitDialog(wxInitDialogEvent& event) {
    event.Skip();
    progress->SetRange(100);
    progress->SetValue(0);
    CUrlParts parts;
    if (CrackUrl(url, parts)) {
        SetText(site, parts.host);
        SetText(file, parts.path);
    }
    if (!Start()) {
        // No thread: the download never began. Nothing to wait for.
        {
            std::lock_guard guard(lock);
            errorText = FormatString(IDS_FILE_DOWNLOAD_FAILED, {url});
        }
        OnDownloadEnded();
    }
}

// ---- the worker ----

std::uint32_t CFileDownloadDlg::Run() {
    succeeded = false;
    {
        std::lock_guard guard(lock);
        errorText.clear();
    }
    downloader.Close();  // forgets a cancellation of an earlier download
    meter.Start();
    std::string failure;
    try {
        if (!cancelRequested.load()) {
            if (downloader.Download(url, sink)) {
                succeeded = true;
            } else if (!downloader.IsCanceled()) {
                ThrowDownloadError(downloader);  // an HTTP status included
            }
        }
    } catch (const CException& exception) {
        char message[1024];
        exception.GetErrorMessage(message, sizeof message);
        failure = message;
    } catch (...) {
        // Not one of the program's failures (out of memory in the sink):
        // reported with the general text below.
    }
    canceled = !succeeded && (cancelRequested.load() || downloader.IsCanceled());
    if (!canceled && !succeeded && failure.empty()) {
        failure = FormatString(IDS_FILE_DOWNLOAD_FAILED, {url});
    }
    {
        std::lock_guard guard(lock);
        errorText = failure;
    }
    // Posted after every change of the controls, so it is handled after them.
    std::shared_ptr<wxWeakRef<CFileDownloadDlg>> target = self;
    wxTheApp->CallAfter([target] {
        if (CFileDownloadDlg* dialog = target->get()) dialog->OnDownloadEnded();
    });
    return 0;
}

bool CFileDownloadDlg::OnProgress(CDownloadProgress* announced) {
    // A cancel that came before the download started is passed on again,
    // because a download clears the downloader's cancel mark when it starts.
    if (cancelRequested.load() && !downloader.IsCanceled()) downloader.Cancel();
    const CDownloadDisplay display = meter.Update(*announced);
    if (!display.IsEmpty()) Post(display);
    return true;
}

void CFileDownloadDlg::Post(const CDownloadDisplay& display) {
    {
        // Chunks may come faster than the window draws: changes not yet
        // shown are merged, and one post at a time carries them.
        std::lock_guard guard(lock);
        posted.Merge(display);
        if (postPending) return;
        postPending = true;
    }
    std::shared_ptr<wxWeakRef<CFileDownloadDlg>> target = self;
    wxTheApp->CallAfter([target] {
        if (CFileDownloadDlg* dialog = target->get()) dialog->ShowPosted();
    });
}

// ---- the user-interface thread ----

void CFileDownloadDlg::ShowPosted() {
    CDownloadDisplay display;
    {
        std::lock_guard guard(lock);
        display = std::exchange(posted, CDownloadDisplay());
        postPending = false;
    }
    if (display.status) SetText(status, *display.status);
    if (display.rate) SetText(rate, *display.rate);
    if (display.size) SetText(size, *display.size);
    if (display.percent) {
        if (*display.percent < 0) {
            progress->Hide();
        } else {
            progress->SetValue(*display.percent);
            progress->Show();
        }
    }
}

void CFileDownloadDlg::OnDownloadEnded() {
    if (ended) return;
    ended = true;
    Wait(kInfinite);  // the worker has posted its end: it is returning
    ShowPosted();
    progress->SetValue(succeeded ? 100 : 0);
    if (!succeeded && !canceled) GetPrompter().Tell(this, GetErrorText(), true);
    if (canceled) {
        EndWith(wxID_CANCEL);
    } else if (closeWhenDone) {
        EndWith(succeeded ? wxID_OK : wxID_CANCEL);
    } else {
        button->SetLabel(kFinished);
    }
}

void CFileDownloadDlg::EndWith(int result) {
    if (IsModal()) {
        EndModal(result);
    } else {
        SetReturnCode(result);
        Hide();
    }
}

void CFileDownloadDlg::OnCancel(wxCommandEvent&) {
    if (ended) {
        EndWith(succeeded ? wxID_OK : wxID_CANCEL);
        return;
    }
    // The dialog closes when the worker posts its end, within moments: the
    // cancel ends the running download at once.
    cancelRequested = true;
    downloader.Cancel();
}

void CFileDownloadDlg::OnClose(wxCloseEvent&) {
    // The window's close button acts as the dialog's button.
    wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
    press.SetEventObject(button);
    OnCancel(press);
}

void CFileDownloadDlg::OnCharHook(wxKeyEvent& event) {
    // Enter is the dialog's OK, which does nothing here: not even the
    // focused button may take it.
    if (event.GetKeyCode() == WXK_RETURN || event.GetKeyCode() == WXK_NUMPAD_ENTER) return;
    event.Skip();
}

}  // namespace tallyhawk
