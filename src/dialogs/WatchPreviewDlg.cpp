#include "dialogs/WatchPreviewDlg.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <system_error>

#include "base/Exception.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/WatchRules.h"
#include "engine/PagePreview.h"

namespace tallyhawk {

namespace {

// Milliseconds between the moves of the pulsing bar.
constexpr int kPulseInterval = 100;

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

CWatchPreviewDlg::CWatchPreviewDlg(wxWindow* parent, const std::string& url,
                                   const CWatcherSettings& settings, const CTimeLimits& limits,
                                   const CLearnedNoise& noise)
    : wxDialog(parent, wxID_ANY, kTitle, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      url(url),
      settings(settings),
      noise(noise),
      pulse(this),
      self(std::make_shared<wxWeakRef<CWatchPreviewDlg>>(this)) {
    downloader.SetTimeLimits(limits);

    auto* address = new wxStaticText(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                     wxDefaultSize, wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE);
    address->SetLabelText(TextFromBytes(url));
    status = new wxStaticText(this, ID_STATUS, kDownloading);
    progress = new wxGauge(this, ID_PROGRESS, 100);
    const wxFont fixed(wxFontInfo(GetFont().GetPointSize()).Family(wxFONTFAMILY_TELETYPE));
    const long textStyle = wxTE_MULTILINE | wxTE_READONLY | wxHSCROLL | wxTE_DONTWRAP;
    watched = new wxTextCtrl(this, ID_WATCHED, wxEmptyString, wxDefaultPosition,
                             wxSize(FromDIP(620), FromDIP(260)), textStyle);
    removed = new wxTextCtrl(this, ID_REMOVED, wxEmptyString, wxDefaultPosition,
                             wxSize(-1, FromDIP(130)), textStyle);
    for (wxTextCtrl* text : {watched, removed}) text->SetFont(fixed);
    button = new wxButton(this, wxID_CANCEL, kCancel);

    const int border = FromDIP(10);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    const auto row = wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxTOP, border);
    sizer->Add(address, row);
    sizer->Add(status, row);
    // The bar goes once the page is read; its place stays, so nothing moves.
    sizer->Add(progress, wxSizerFlags(row).ReserveSpaceEvenIfHidden());
    sizer->Add(new wxStaticText(this, wxID_ANY, "Watched text:"), row);
    sizer->Add(watched, wxSizerFlags(3).Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
    sizer->Add(new wxStaticText(this, wxID_ANY, "Removed by the settings:"), row);
    sizer->Add(removed, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
    sizer->Add(button, wxSizerFlags().Right().Border(wxALL, border));
    SetSizerAndFit(sizer);
    CentreOnParent();

    pulse.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { progress->Pulse(); });
    Bind(wxEVT_INIT_DIALOG, &CWatchPreviewDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, &CWatchPreviewDlg::OnButton, this, wxID_CANCEL);
    Bind(wxEVT_CLOSE_WINDOW, &CWatchPreviewDlg::OnClose, this);
}

CWatchPreviewDlg::~CWatchPreviewDlg() {
    pulse.Stop();
    StopWorker();
}

int CWatchPreviewDlg::ShowModal() {
    const int result = wxDialog::ShowModal();
    // Closed while downloading: the download ends within moments.
    StopWorker();
    return result == wxID_OK || succeeded ? wxID_OK : wxID_CANCEL;
}

void CWatchPreviewDlg::StopWorker() {
    if (!worker.joinable()) return;
    downloader.Cancel();
    worker.join();
}

void CWatchPreviewDlg::OnInitDialog(wxInitDialogEvent& event) {
    event.Skip();
    progress->Pulse();
    pulse.Start(kPulseInterval);
    StartWorker();
}

void CWatchPreviewDlg::StartWorker() {
    std::shared_ptr<wxWeakRef<CWatchPreviewDlg>> target = self;
    // The worker uses only these, which outlive it: it is joined before
    // the dialog goes.
    CDownloader* download = &downloader;
    const std::string* address = &url;
    const CWatcherSettings* watch = &settings;
    const CLearnedNoise* learned = &noise;
    try {
        worker = std::thread([target, download, address, watch, learned] {
            CResult result;
            try {
                auto preview =
                    std::make_shared<CPagePreview>(PreviewPage(*download, *address, *watch, *learned));
                result.canceled = download->IsCanceled();
                result.preview = std::move(preview);
            } catch (const CException& error) {
                result.error = error.Message();
            } catch (const std::exception& error) {
                result.error = error.what();
            }
            wxTheApp->CallAfter([target, result] {
                if (CWatchPreviewDlg* dialog = target->get()) dialog->ShowResult(result);
            });
        });
    } catch (const std::system_error& error) {
        ShowError(error.what());
    }
}

void CWatchPreviewDlg::ShowResult(const CResult& result) {
    if (done) return;
    if (result.canceled) {
        if (IsModal()) EndModal(wxID_CANCEL);
        return;
    }
    if (!result.error.empty()) return ShowError(result.error);
    const CWatchPreview& page = result.preview->watched;
    if (!page.regionMatched) {
        return ShowError(RegionMatchedNothing(settings.GetRegion()));
    }
    done = true;
    succeeded = true;
    pulse.Stop();
    progress->Hide();
    const std::string what = settings.GetCompareWhat() == CWatcherSettings::CompareText
                                 ? "the page's visible text"
                                 : "the page's source";
    status->SetLabelText(TextFromBytes(
        Plural(CountLines(page.watchedText), "line", "lines") + " watched of " + what + " (" +
        Plural(result.preview->downloadedBytes, "byte", "bytes") + " downloaded)."));
    watched->ChangeValue(TextFromBytes(page.watchedText));
    auto sections = RemovedSections(settings, page);
    if (settings.GetLearnNoise()) {
        // The lines the noise changes, as the checks compare them.
        std::string lines;
        for (const std::string& mark : result.preview->noise) lines += mark + '\n';
        sections.push_back({"Noise, as compared (\u2026 where it changes)", lines, result.preview->noise.size()});
    }
    removed->ChangeValue(sections.empty() ? wxString("Nothing: no region and nothing ignored.")
                                          : TextFromBytes(FormatRemoved(sections)));
    button->SetLabel(kClose);
    Layout();
}

void CWatchPreviewDlg::ShowError(const std::string& message) {
    done = true;
    pulse.Stop();
    progress->Hide();
    status->SetLabelText(TextFromBytes(message));
    status->Wrap(watched->GetSize().x);
    watched->Disable();
    removed->Disable();
    button->SetLabel(kClose);
    Layout();
}

void CWatchPreviewDlg::OnButton(wxCommandEvent&) {
    // While downloading: the cancel ends the download at once, and
    // ShowModal waits for the worker's end.
    if (!done) downloader.Cancel();
    if (IsModal()) {
        EndModal(wxID_CANCEL);
    } else {
        Hide();
    }
}

void CWatchPreviewDlg::OnClose(wxCloseEvent&) {
    wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
    press.SetEventObject(button);
    OnButton(press);
}

}  // namespace tallyhawk
