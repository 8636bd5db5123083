// CUpgradeWizardDlg: checks the maker's product list for a newer version of
// this program and, when there is one, downloads its setup program and hands
// it to the desktop to install.
//
// Shortly after it shows, the wizard downloads https://SERVER/brindlecote.fin
// in the File Download dialog ("Downloading Product Information"), looks the
// program up by its name and tells the result in the Status box; a newer
// version also shows its description and enables "&Download". Download asks
// where to save the setup program, refuses an address that is not https,
// downloads it in the File Download dialog (a canceled or failed download
// removes the file), and hands the file to the desktop's "open" action; the
// wizard then closes with wxID_OK, and the caller ends the program. Both
// downloads go over https only, with the server's certificate checked.
//
// User-interface thread only.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>

#include <chrono>
#include <string>

#include "app/UpgradeRules.h"
#include "net/Downloader.h"

class wxButton;
class wxTextCtrl;

namespace tallyhawk {

class CDownloadSink;
class IProcessLauncher;

// Where the wizard looks and what it compares.
struct CUpgradeOptions {
    std::string server = BuiltInUpgradeServer();
    // Certificate authorities to trust instead of the system's (a PEM file);
    // empty: the system's.
    std::string caFile;
    std::string productName = OwnProductName();
    double productVersion = OwnProductVersion();
    // Hands the setup file to the desktop; null: the system's launcher.
    // Must outlive the wizard.
    IProcessLauncher* launcher = nullptr;
};

// The options the program's wizard runs with: the built-in ones unless a
// test has installed others. Not owned; null: back to the built-in ones.
const CUpgradeOptions& GetUpgradeOptions();
void SetUpgradeOptions(const CUpgradeOptions* options);

class CUpgradeWizardDlg : public wxDialog {
public:
    static constexpr int ID_DESCRIPTION = 1017;
    static constexpr int ID_STATUS = 1044;
    static constexpr int ID_DOWNLOAD = wxID_OK;
    // The list is fetched this long after the dialog shows, so that the
    // wizard is on the screen first.
    static constexpr int kStartDelayMilliseconds = 100;
    static constexpr const char* kTitle = "Update Wizard";
    static constexpr const char* kDescriptionLabel = "Description";
    static constexpr const char* kStatusLabel = "Status";
    static constexpr const char* kDownload = "&Download";
    static constexpr const char* kCancel = "Cancel";
    // A setup program may be large and the line slow; the user sees the
    // download and can cancel it.
    static constexpr std::chrono::seconds kSetupTimeLimit{60 * 60};

    explicit CUpgradeWizardDlg(wxWindow* parent, const CUpgradeOptions& options = GetUpgradeOptions());

    // What the list said, once it has been read (empty status before).
    const CUpgradeFinding& GetFinding() const { return finding; }

private:
    void OnTimer(wxTimerEvent& event);
    void OnDownload(wxCommandEvent& event);
    void CheckForUpgrade();
    // Saves the setup program at `path`; false (and the file removed) when
    // it did not arrive whole.
    bool SaveSetup(const std::string& path);
    // Downloads `url` into `sink` in the File Download dialog, over https
    // only, within `timeLimit`; true when it arrived whole with a status
    // below 400 (a server's error page is neither read nor saved).
    bool Fetch(const std::string& url, CDownloadSink& sink, const std::string& caption,
               std::chrono::milliseconds timeLimit = CTimeLimits().total);

    const CUpgradeOptions options;
    wxTimer timer;
    CUpgradeFinding finding;
    wxTextCtrl* description;
    wxTextCtrl* status;
    wxButton* download;
};

}  // namespace tallyhawk
