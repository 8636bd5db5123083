#include "dialogs/UpgradeWizardDlg.h"

#include <fcntl.h>
#include <unistd.h>

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstdio>
#include <optional>

#include "base/Exception.h"
#include "base/FileIo.h"
#include "base/StringTable.h"
#include "dialogs/FileDownloadDlg.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Prompter.h"
#include "net/Downloader.h"
#include "platform/ProcessLauncher.h"

namespace tallyhawk {

namespace {

const CUpgradeOptions* installedOptions = nullptr;

constexpr std::size_t kLargestProductList = CServerInventory::kLargestList;

class CProductListSink : public CMemorySink {
public:
    void Write(const char* bytes, std::size_t length) override {
        if (Data().size() + length > kLargestProductList) {
            throw CGenericException(FormatString(IDS_PRODUCT_LIST_TOO_LARGE, {kLargestProductList}));
        }
        CMemorySink::Write(bytes, length);
    }
};

// The setup program's file, created (or emptied) when constructed.
class CSetupFileSink : public CDownloadSink {
public:
    explicit CSetupFileSink(const std::string& path)
        : fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
        if (fd < 0) throw COsException();
    }
    ~CSetupFileSink() override {
        if (fd >= 0) ::close(fd);
    }
    CSetupFileSink(const CSetupFileSink&) = delete;
    CSetupFileSink& operator=(const CSetupFileSink&) = delete;

    void Truncate() override {
        if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) < 0) throw COsException();
    }
    void Write(const char* data, std::size_t length) override { WriteAll(fd, data, length); }
    // A file system may report a failed write only here.
    void Close() {
        const int closing = std::exchange(fd, -1);
        if (::close(closing) != 0) throw COsException();
    }

private:
    int fd;
};

}  // namespace

const CUpgradeOptions& GetUpgradeOptions() {
    static const CUpgradeOptions builtIn;
    return installedOptions ? *installedOptions : builtIn;
}

void SetUpgradeOptions(const CUpgradeOptions* options) { installedOptions = options; }

CUpgradeWizardDlg::CUpgradeWizardDlg(wxWindow* parent, const CUpgradeOptions& options)
    : wxDialog(parent, wxID_ANY, kTitle), options(options), timer(this) {
    const long readOnly = wxTE_MULTILINE | wxTE_READONLY | wxTE_NO_VSCROLL;
    description = new wxTextCtrl(this, ID_DESCRIPTION, "", wxDefaultPosition,
                                 FromDIP(wxSize(420, 110)), wxTE_MULTILINE | wxTE_READONLY);
    status = new wxTextCtrl(this, ID_STATUS, "", wxDefaultPosition, FromDIP(wxSize(420, 44)),
                            readOnly);
    download = new wxButton(this, ID_DOWNLOAD, kDownload);
    download->SetDefault();
    download->Disable();
    auto* cancel = new wxButton(this, wxID_CANCEL, kCancel);

    const int border = FromDIP(10);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, kDescriptionLabel),
               wxSizerFlags().Border(wxLEFT | wxRIGHT | wxTOP, border));
    sizer->Add(description, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT, border));
    sizer->Add(new wxStaticText(this, wxID_ANY, kStatusLabel),
               wxSizerFlags().Border(wxLEFT | wxRIGHT | wxTOP, border));
    sizer->Add(status, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, border));
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(download, wxSizerFlags().Border(wxRIGHT, border / 2));
    buttons->Add(cancel);
    sizer->Add(buttons, wxSizerFlags().Right().Border(wxALL, border));
    SetSizerAndFit(sizer);
    CentreOnParent();

    Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& event) {
        event.Skip();
        timer.StartOnce(kStartDelayMilliseconds);
    });
    Bind(wxEVT_TIMER, &CUpgradeWizardDlg::OnTimer, this, timer.GetId());
    Bind(wxEVT_BUTTON, &CUpgradeWizardDlg::OnDownload, this, ID_DOWNLOAD);
}

void CUpgradeWizardDlg::OnTimer(wxTimerEvent&) { CheckForUpgrade(); }

bool CUpgradeWizardDlg::Fetch(const std::string& url, CDownloadSink& sink,
                              const std::string& caption, std::chrono::milliseconds timeLimit) {
    CFileDownloadDlg dialog(this, url, &sink, caption, true);
    dialog.GetDownloader().SetSecurity({true, options.caFile});
    CTimeLimits limits;
    limits.total = timeLimit;
    dialog.GetDownloader().SetTimeLimits(limits);
    return dialog.ShowModal() == wxID_OK;
}

void CUpgradeWizardDlg::CheckForUpgrade() {
    CProductListSink list;
    if (!Fetch(ProductListUrl(options.server), list, LoadString(IDS_PRODUCT_INFO_CAPTION))) return;
    CServerInventory inventory;
    try {
        inventory = CServerInventory::FromBytes(list.Data());
    } catch (const CException& error) {
        GetPrompter().Tell(this, error.Message(), true);
        return;
    }
    finding = FindUpgrade(inventory, options.productName, options.productVersion);
    if (finding.newer) {
        description->ChangeValue(TextFromBytes(finding.item.description));
        download->Enable();
        download->SetFocus();
    }
    status->ChangeValue(TextFromBytes(finding.status));
}

void CUpgradeWizardDlg::OnDownload(wxCommandEvent&) {
    if (!finding.newer) return;
    try {
        RequireSecureSetupUrl(finding.item.setupUrl);
    } catch (const CException& error) {
        GetPrompter().Tell(this, error.Message(), true);
        return;
    }
    const std::string path = GetPrompter().ChooseFileToSave(
        this, LoadString(IDS_SAVE_SETUP_TITLE), SetupFileName(finding.item),
        SetupFileFilter(SetupExtension(finding.item.setupUrl)));
    if (path.empty() || !SaveSetup(path)) return;
    try {
        IProcessLauncher& launcher =
            options.launcher ? *options.launcher : CSpawnLauncher::Instance();
        launcher.Launch(OpenFileCommand(path));
    } catch (const CException&) {
        GetPrompter().Tell(this, LoadString(IDS_SETUP_LAUNCH_FAILED), true);
        return;
    }
    EndModal(wxID_OK);
}

bool CUpgradeWizardDlg::SaveSetup(const std::string& path) {
    std::optional<CSetupFileSink> file;
    try {
        file.emplace(path);
    } catch (const CException& error) {
        GetPrompter().Tell(this, error.Message(), true);  // nothing was created
        return false;
    }
    bool whole = false;
    try {
        whole = Fetch(finding.item.setupUrl, *file, std::string(), kSetupTimeLimit);
        file->Close();
    } catch (const CException& error) {
        GetPrompter().Tell(this, error.Message(), true);
        whole = false;
    }
    file.reset();
    // A part of a program is no program: it must not be opened by mistake.
    if (!whole) std::remove(path.c_str());
    return whole;
}

}  // namespace tallyhawk
