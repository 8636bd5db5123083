// The seven pages of the page property sheet (CWatcherSettingsDlg): Page,
// Update, Notifications, Output, What to Watch and Secure Connection edit a
// watched page (CWatchSite) or the default page; Logging edits the program's
// log settings and is shown only on the defaults sheet. Each control carries the id it
// has always had. See SettingsPage.h for what the pages share.
//
// The page's rules live in SheetRules.h and TimeRules.h; these classes only
// wire the controls to them. User-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/SettingsPage.h"
#include "dialogs/StoredText.h"
#include "engine/WatcherSettings.h"

class wxButton;
class wxCheckBox;
class wxRadioButton;
class wxStaticText;
class wxTextCtrl;

namespace tallyhawk {

class CAppSettings;
class CIntervalCtrl;
class CMessageLog;
class CSpinEdit;
class CWatchSite;

// "Page Properties": the address, the name, whether the page is watched and
// the changes to ignore at its top and bottom.
class CPagePropPage : public CSettingsPage {
public:
    static constexpr int ID_URL = 1021;
    static constexpr int ID_VERIFY = 1025;
    static constexpr int ID_NAME = 1060;
    static constexpr int ID_ENABLE = 1022;
    static constexpr int ID_BEGINNING = 1023;
    static constexpr int ID_ENDING = 1024;

    // Reads the site's address, name, enabled state and ignore counts.
    CPagePropPage(wxWindow* parent, CWatchSite& site);

    bool ReadControls() override;
    bool Apply() override;
    // An empty name gets the word of the address (PageNameFromUrl).
    void FillNameFromUrl();
    // The address as the field holds it now (the stored bytes while unedited).
    std::string GetTypedUrl() const { return storedUrl.Read(); }

private:
    void OnInitPage() override;
    void OnVerify(wxCommandEvent& event);

    CWatchSite& site;
    // As stored, and as read from the fields by ReadControls.
    CStoredText storedUrl;
    CStoredText storedName;
    std::string url;
    std::string name;
    bool enabled;
    int ignoreBeginning;
    int ignoreEnding;
    wxTextCtrl* urlEdit;
    wxTextCtrl* nameEdit;
    wxCheckBox* enableCheck;
    CSpinEdit* beginningEdit;
    CSpinEdit* endingEdit;
};

// "Update Properties": when the page is checked.
class CUpdatePropPage : public CSettingsPage {
public:
    static constexpr int ID_ALWAYS = 1012;
    static constexpr int ID_PERIODIC = 1013;
    static constexpr int ID_BEGIN = 1014;
    static constexpr int ID_END = 1015;
    static constexpr int ID_BEGIN_CHOOSE = 1016;
    static constexpr int ID_END_CHOOSE = 1017;
    static constexpr int ID_INTERVAL = 1018;
    static constexpr int ID_RETRY = 1019;
    static constexpr int ID_BEGIN_LABEL = 1026;
    static constexpr int ID_END_LABEL = 1027;
    // Monday to Sunday.
    static constexpr std::array<int, 7> kDayIds = {1063, 1066, 1067, 1068, 1069, 1070, 1071};

    CUpdatePropPage(wxWindow* parent, CWatchSite& site);

    bool ReadControls() override;
    bool Apply() override;
    CIntervalCtrl& GetInterval() { return *interval; }

private:
    void OnInitPage() override;
    void ApplyEnableRule();
    // "..." beside Begin (true) or End: the Time dialog.
    void ChooseTime(bool begin);

    CWatchSite& site;
    std::int64_t beginTime = 0;
    std::int64_t endTime = 0;
    int retryCount = 0;
    wxRadioButton* alwaysRadio;
    wxRadioButton* periodicRadio;
    wxStaticText* beginLabel;
    wxStaticText* endLabel;
    wxTextCtrl* beginEdit;
    wxTextCtrl* endEdit;
    wxButton* beginButton;
    wxButton* endButton;
    CIntervalCtrl* interval;
    CSpinEdit* retryEdit;
    std::array<wxCheckBox*, 7> dayChecks;
};

// "Notifications Properties": sound, viewer program, browser, tray icon.
class CNotifyPropPage : public CSettingsPage {
public:
    static constexpr int ID_PLAY_SOUND = 1041;
    static constexpr int ID_LAUNCH_APPLICATION = 1006;
    static constexpr int ID_FLASH_TRAY = 1040;
    static constexpr int ID_LAUNCH_BROWSER = 1038;
    static constexpr int ID_SOUND_FILE = 1011;
    static constexpr int ID_SOUND_CHOOSE = 1012;
    static constexpr int ID_PROGRAM = 1009;
    static constexpr int ID_PROGRAM_CHOOSE = 1043;
    // Where the sound chooser starts when it exists (else the home folder),
    // and the program chooser.
    static constexpr const char* kSoundFolder = "/usr/share/sounds";
    static constexpr const char* kProgramFolder = "/usr/bin";

    // Reads the site's four flags, sound file and viewer program.
    CNotifyPropPage(wxWindow* parent, CWatchSite& site);

    bool Apply() override;

private:
    void OnInitPage() override;
    void ApplyEnableRule();
    void ChooseSound();
    void ChooseProgram();

    CWatchSite& site;
    std::uint32_t flags;
    CStoredText soundFile;
    CStoredText viewer;
    wxCheckBox* playSound;
    wxCheckBox* launchApplication;
    wxCheckBox* flashTray;
    wxCheckBox* launchBrowser;
    wxTextCtrl* soundEdit;
    wxTextCtrl* programEdit;
};

// "Output Properties": what viewing a page's changes shows, and the
// highlight colour.
class COutputPropPage : public CSettingsPage {
public:
    // In the order of the output modes 0 to 4.
    static constexpr std::array<int, 5> kModeIds = {1051, 1052, 1002, 1055, 1053};
    static constexpr int ID_COLOR_LABEL = 1056;
    static constexpr int ID_SWATCH = 1059;
    static constexpr int ID_COLOR_CHOOSE = 1058;

    COutputPropPage(wxWindow* parent, CWatchSite& site);

    bool Apply() override;
    std::uint32_t GetColor() const { return color; }

private:
    void OnInitPage() override;
    void ApplyEnableRule();
    void ChooseColor();

    CWatchSite& site;
    std::uint32_t color = 0;
    std::array<wxRadioButton*, 5> modeRadios;
    // Checked when no mode is: a group of radio buttons here always has one.
    wxRadioButton* noModeRadio;
    wxStaticText* colorLabel;
    wxWindow* swatch;
    wxButton* colorButton;
};

// "Secure Connection Properties": the user name and password sent with
// every download of the page.
class CSecurePropPage : public CSettingsPage {
public:
    static constexpr int ID_USER = 1064;
    static constexpr int ID_PASSWORD = 1065;
    static constexpr int ID_CLEAR = 1066;

    CSecurePropPage(wxWindow* parent, CWatchSite& site);

    bool Apply() override;
    // Puts the user name and password as the fields hold them now into
    // `settings` (the stored ones before the page is shown).
    void WriteCredentials(CWatcherSettings& settings) const;

private:
    void OnInitPage() override;

    CWatchSite& site;
    CStoredText userName;
    CStoredText password;
    wxTextCtrl* userEdit;
    wxTextCtrl* passwordEdit;
};

// "What to Watch": whether checks compare the page's visible text or its
// source, the region watched (empty: the whole page), the regions and text
// left out, and whether to learn what changes on its own. The entry lists
// are shown one entry a line. Leaving the page, OK and Apply compile the
// selectors and patterns and report one that cannot be used at its field,
// with its line selected.
//
// Preview belongs to the sheet, which alone knows the address as typed on
// the Page page: the button's click rises to it (ID_PREVIEW).
class CWatchPropPage : public CSettingsPage {
public:
    static constexpr int ID_COMPARE_TEXT = 1082;
    static constexpr int ID_COMPARE_SOURCE = 1083;
    static constexpr int ID_REGION = 1084;
    static constexpr int ID_IGNORE_REGIONS = 1085;
    static constexpr int ID_IGNORE_TEXT = 1086;
    static constexpr int ID_LEARN_NOISE = 1087;
    static constexpr int ID_PREVIEW = 1088;
    static constexpr int ID_LEARNED = 1093;
    static constexpr int ID_FORGET = 1094;

    // Without `withPreview` (the defaults sheet: no address, nothing
    // learned) the Preview button and what the page learned are left out.
    // Forget empties the list; Apply or OK then forgets it.
    CWatchPropPage(wxWindow* parent, CWatchSite& site, bool withPreview);

    bool ReadControls() override;
    bool Apply() override;
    // Puts the page's settings as its controls hold them now into
    // `settings` (the stored ones before the page is shown).
    void WriteTo(CWatcherSettings& settings) const;

private:
    void OnInitPage() override;
    // Fills the list of what the page learned (empty once Forget is pressed).
    void ShowLearned();
    // A multi-line field's entries: the stored list while the field is
    // unedited, so that a record reads back byte for byte.
    static std::vector<std::string> Entries(const CStoredText& field,
                                            const std::vector<std::string>& stored);

    CWatchSite& site;
    // As stored.
    CWatcherSettings::Compare compare;
    bool learnNoise;
    std::vector<std::string> ignoreRegions;
    std::vector<std::string> ignoreText;
    CStoredText regionText;
    CStoredText ignoreRegionsText;
    CStoredText ignoreTextText;
    wxRadioButton* textRadio;
    wxRadioButton* sourceRadio;
    wxTextCtrl* regionEdit;
    wxTextCtrl* ignoreRegionsEdit;
    wxTextCtrl* ignoreTextEdit;
    wxCheckBox* learnCheck;
    wxTextCtrl* learnedList = nullptr;  // null on the defaults sheet
    wxButton* forgetButton = nullptr;
    bool forget = false;  // Forget pressed, not yet applied
};

// "Logging Properties" (defaults sheet only): the program's log file, the
// time limit of a whole download (seconds, 10 to 3600) and how many pages
// watching downloads at once, in all and from one server (1 to 64), which
// apply to the open document once the sheet is confirmed.
class CLoggingPropPage : public CSettingsPage {
public:
    static constexpr int ID_DISABLE = 1005;
    static constexpr int ID_ENABLE = 1006;
    static constexpr int ID_LOG_FILE = 1009;
    static constexpr int ID_LOG_FILE_CHOOSE = 1010;
    static constexpr int ID_MAXIMUM_LINES = 1036;
    static constexpr int ID_TIME_LIMIT = 1037;
    static constexpr int ID_TRANSFERS = 1080;
    static constexpr int ID_TRANSFERS_PER_SERVER = 1081;
    static constexpr int ID_HISTORY_VERSIONS = 1100;
    static constexpr int ID_HISTORY_DAYS = 1101;

    // `settings` are the running program's; `log` the open document's
    // message log (null: none), which takes the values at once on Apply.
    // Both must outlive the page.
    CLoggingPropPage(wxWindow* parent, CAppSettings& settings, CMessageLog* log);

    bool ReadControls() override;
    bool Apply() override;

private:
    void OnInitPage() override;
    void ApplyEnableRule();
    void ChooseLogFile();

    CAppSettings& settings;
    CMessageLog* log;
    CStoredText logFile;
    int maximumLines = 0;
    int timeLimit = 0;
    int transfers = 0;
    int transfersPerServer = 0;
    int historyVersions = 0;
    int historyDays = 0;
    wxRadioButton* disableRadio;
    wxRadioButton* enableRadio;
    wxTextCtrl* fileEdit;
    wxButton* fileButton;
    CSpinEdit* linesEdit;
    CSpinEdit* timeLimitEdit;
    CSpinEdit* transfersEdit;
    CSpinEdit* perServerEdit;
    CSpinEdit* historyVersionsEdit;
    CSpinEdit* historyDaysEdit;
};

}  // namespace tallyhawk
