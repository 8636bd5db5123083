// The property sheet on a page in real windows: its tabs and caption, which
// pages apply, the viewer question at closing, and each page's controls
// wired to its rules. Message boxes and choosers are answered by a fake.
#include <wx/notebook.h>
#include <wx/spinbutt.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "app/AppSettings.h"
#include "app/MessageLog.h"
#include "base/StringTable.h"
#include "dialogs/ClockCtrl.h"
#include "dialogs/IntervalCtrl.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/SpinEdit.h"
#include "dialogs/TimeDlg.h"
#include "dialogs/WatcherSettingsDlg.h"
#include "engine/LocalTime.h"
#include "gui/DialogDriver.h"
#include "platform/Browser.h"

namespace tallyhawk::test {
namespace {

class SheetTest : public ::testing::Test {
protected:
    SheetTest() {
        SetPrompter(&prompter);
        site.SetUrl("http://www.example.com/");
        site.SetName("Example");
        appSettings.SetLogFile(scratch / "log.txt");
        log.SetLogToFile(false);
    }
    ~SheetTest() override {
        if (sheet) sheet->Destroy();
        PumpEvents();
        SetPrompter(nullptr);
    }

    // A new sheet, shown without a modal loop when `show`.
    CWatcherSettingsDlg& Open(bool defaultsMode = false, bool show = true) {
        if (sheet) sheet->Destroy();
        const std::string title =
            LoadString(defaultsMode ? IDS_SHEET_DEFAULTS : IDS_SHEET_PROPERTIES);
        sheet = new CWatcherSettingsDlg(nullptr, title, site, defaultsMode, &logging);
        if (show) {
            sheet->Show();
            PumpUntil([this] { return sheet->IsShownOnScreen(); });
        }
        return *sheet;
    }
    template <class T>
    T& Show() {
        return ShowTab<T>(*sheet);
    }
    // A button of the sheet (OK, Cancel, Apply) or of one page: control ids
    // repeat from page to page.
    void Press(int id, wxWindow* page = nullptr) { Click((page ? page : sheet)->FindWindow(id)); }
    bool ApplyEnabled() {
        sheet->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        return sheet->FindWindow(wxID_APPLY)->IsEnabled();
    }
    int RunModal(const std::function<void(wxDialog&)>& script) {
        int result = 0;
        WithModal([&] { result = sheet->ShowModal(); }, script);
        return result;
    }
    std::string Text(wxWindow* page, int id) {
        return Find<wxTextCtrl>(page, id)->GetValue().utf8_string();
    }
    void Type(wxWindow* page, int id, const std::string& text) {
        Find<wxTextCtrl>(page, id)->SetValue(wxString::FromUTF8(text));
    }
    CWatcherSettings Settings() const { return site.GetSettings(); }

    testing::CFakeServices fakes;
    testing::CScratchFolder scratch;
    CSheetPrompter prompter;
    CWatchSite site{&fakes.services};
    CAppSettings appSettings;
    CMessageLog log;
    CLogSettingsTarget logging{appSettings, &log};
    CWatcherSettingsDlg* sheet = nullptr;
};

std::vector<std::string> Tabs(CWatcherSettingsDlg& sheet) {
    std::vector<std::string> tabs;
    for (std::size_t i = 0; i < sheet.GetNotebook().GetPageCount(); ++i)
        tabs.push_back(sheet.GetNotebook().GetPageText(i).utf8_string());
    return tabs;
}

TEST_F(SheetTest, TabsAndCaptionsOfBothSheetsWithAScreenshotOfEveryTab) {
    const char* shots[] = {"page",          "notifications", "update", "output",
                           "what-to-watch", "secure",        "logging"};
    Open();
    EXPECT_EQ(Tabs(*sheet), (std::vector<std::string>{"Page Properties", "Notifications Properties",
                                                      "Update Properties", "Output Properties",
                                                      "What to Watch",
                                                      "Secure Connection Properties"}));
    EXPECT_EQ(sheet->GetTitle(), "Properties for Example");
    for (std::size_t i = 0; i < sheet->GetPageCount(); ++i) {
        ASSERT_TRUE(sheet->SelectPage(i));
        Screenshot(sheet, std::string("sheet-") + shots[i]);
    }
    appSettings.SetLogFile("/home/ann/.local/state/tallyhawk/log.txt");  // as the manual shows it
    Open(true);
    EXPECT_EQ(Tabs(*sheet),
              (std::vector<std::string>{"Notifications Properties", "Update Properties",
                                        "Output Properties", "What to Watch",
                                        "Secure Connection Properties", "Logging Properties"}));
    EXPECT_EQ(sheet->GetTitle(), "Default Settings for all Pages");
    EXPECT_EQ(sheet->FindPage<CPagePropPage>(), nullptr);
    for (std::size_t i = 0; i < sheet->GetPageCount(); ++i) {
        ASSERT_TRUE(sheet->SelectPage(i));
        Screenshot(sheet, std::string("defaults-") + shots[i + 1]);
    }
    Press(wxID_OK);
    EXPECT_EQ(sheet->GetTitle(), "Default Settings for all Pages");
    EXPECT_EQ(site.GetUrl(), "http://www.example.com/");
    EXPECT_EQ(site.GetName(), "Example");
}

TEST_F(SheetTest, OnlyPagesShownApplyAndEachWritesItsOwnFields) {
    CWatcherSettings stored = Settings();
    stored.SetNotifyFlags(0x19);
    stored.SetOutputMode(7);
    site.SetSettings(stored);  // days stay 255
    Open();
    Press(wxID_OK);
    EXPECT_EQ(Settings().GetDays(), 255);
    EXPECT_EQ(Settings().GetNotifyFlags(), 0x19u);
    EXPECT_EQ(Settings().GetOutputMode(), 7);

    Open();
    Show<CNotifyPropPage>();
    Show<CUpdatePropPage>();
    auto& output = Show<COutputPropPage>();
    for (int id : COutputPropPage::kModeIds)
        EXPECT_FALSE(Find<wxRadioButton>(&output, id)->GetValue());
    // The Secure page is not shown: its field is left alone by the others.
    stored = Settings();
    stored.SetUserName("kept");
    site.SetSettings(stored);
    Press(wxID_OK);
    EXPECT_EQ(Settings().GetDays(), 127);
    EXPECT_EQ(Settings().GetNotifyFlags(), 0x11u);
    EXPECT_EQ(Settings().GetOutputMode(), HighlightedHtml);
    EXPECT_EQ(Settings().GetUserName(), "kept");
}

TEST_F(SheetTest, ApplyThenCancelCountsAsOkAndPlainCancelChangesNothing) {
    Open(false, false);
    EXPECT_EQ(RunModal([&](wxDialog&) {
                  auto& notify = Show<CNotifyPropPage>();
                  EXPECT_TRUE(ApplyEnabled());  // the page starts modified
                  Click(notify.FindWindow(CNotifyPropPage::ID_FLASH_TRAY));
                  Press(wxID_APPLY);
                  EXPECT_FALSE(ApplyEnabled());
                  EXPECT_TRUE(Settings().GetNotifyFlags() & NotifyFlashTrayIcon);
                  Press(wxID_CANCEL);
              }),
              wxID_OK);
    EXPECT_TRUE(sheet->IsApplied());

    Open(false, false);
    EXPECT_EQ(RunModal([&](wxDialog&) {
                  Type(&Show<CSecurePropPage>(), CSecurePropPage::ID_USER, "nobody");
                  Press(wxID_CANCEL);
              }),
              wxID_CANCEL);
    EXPECT_EQ(Settings().GetUserName(), "");
    EXPECT_TRUE(prompter.questions.empty());
}

TEST_F(SheetTest, ViewerQuestionAtEveryClosingChangesThePageOnOk) {
    CWatcherSettings stored = Settings();
    stored.SetNotifyFlags(NotifyPlaySound);  // HighlightedHtml without a viewer
    site.SetSettings(stored);
    Open(false, false);
    EXPECT_EQ(RunModal([&](wxDialog&) { Press(wxID_CANCEL); }), wxID_CANCEL);
    ASSERT_EQ(prompter.questions, (std::vector<std::string>{LoadString(18)}));
    EXPECT_EQ(Settings().GetNotifyFlags(), NotifyPlaySound | NotifyLaunchBrowser);
    EXPECT_TRUE(sheet->IsChangedOnClose());

    stored.SetOutputMode(AdditionsAsText);
    stored.SetNotifyFlags(NotifyLaunchBrowser);
    site.SetSettings(stored);
    prompter.questions.clear();
    prompter.answers = {PromptAnswer::Cancel};
    Open(false, false);
    RunModal([&](wxDialog&) { Press(wxID_OK); });
    EXPECT_EQ(prompter.questions, (std::vector<std::string>{LoadString(19)}));
    EXPECT_EQ(Settings().GetNotifyFlags(),
              std::uint32_t{NotifyLaunchBrowser});  // Cancel: as it was

    Open(false, false);
    RunModal([&](wxDialog&) { Press(wxID_OK); });
    EXPECT_EQ(Settings().GetNotifyFlags(), std::uint32_t{NotifyLaunchApplication});
    EXPECT_EQ(Settings().GetViewer(), "notepad.exe");
    EXPECT_EQ(prompter.questions.size(), 2u);
}

TEST_F(SheetTest, PagePageNameRuleVerifyAndItsChecks) {
    site.SetName("");
    site.SetUrl("");
    Open();
    auto* page2 = sheet->FindPage<CPagePropPage>();
    Press(wxID_OK);
    EXPECT_EQ(prompter.errors, (std::vector<std::string>{LoadString(IDS_URL_EMPTY)}));
    EXPECT_TRUE(sheet->IsShown());

    auto* url = Find<wxTextCtrl>(page2, CPagePropPage::ID_URL);
    url->SetValue("HTTP://WWW.tallyhawk.example/x");
    Leave(url, page2->FindWindow(CPagePropPage::ID_NAME));
    EXPECT_EQ(Text(page2, CPagePropPage::ID_NAME), "Tallyhawk");

    // The fields say what one change is.
    EXPECT_EQ(page2->FindWindow(CPagePropPage::ID_ENDING)->GetToolTipText().utf8_string(),
              LoadString(IDS_IGNORE_ENDING_HELP));
    Type(page2, CPagePropPage::ID_BEGINNING, "101");
    Press(wxID_APPLY);
    EXPECT_EQ(prompter.errors.back(), "Please enter an integer between 0 and 100.");
    EXPECT_EQ(wxWindow::FindFocus(), page2->FindWindow(CPagePropPage::ID_BEGINNING));
    Type(page2, CPagePropPage::ID_BEGINNING, "100");
    Press(wxID_APPLY);
    EXPECT_EQ(sheet->GetTitle(), "Properties for Tallyhawk");
    EXPECT_EQ(Settings().GetIgnoreBeginning(), 100);
    EXPECT_EQ(site.GetUrl(), "HTTP://WWW.tallyhawk.example/x");

    Type(page2, CPagePropPage::ID_NAME, "");
    Type(page2, CPagePropPage::ID_URL, "localhost");
    Press(wxID_APPLY);
    EXPECT_EQ(prompter.errors.back(), LoadString(IDS_NAME_EMPTY));

    Press(CPagePropPage::ID_VERIFY, page2);
    ASSERT_FALSE(fakes.launcher.Launched().empty());
    EXPECT_EQ(fakes.launcher.Launched().back().back(), "localhost");
    fakes.launcher.FailFor(kDesktopOpener);
    Press(CPagePropPage::ID_VERIFY, page2);
    EXPECT_EQ(prompter.errors.back(), "Failed to launch the default web browser");
}

TEST_F(SheetTest, UpdatePageRetrySpinIntervalAndTimeDialog) {
    Open();
    auto& update = Show<CUpdatePropPage>();
    auto* retry = Find<CSpinEdit>(&update, CUpdatePropPage::ID_RETRY);
    retry->SetInteger(9);
    wxSpinEvent up(wxEVT_SPIN_UP, CSpinEdit::ID_SPIN);
    up.SetEventObject(retry->GetSpin());
    retry->GetSpin()->GetEventHandler()->ProcessEvent(up);
    EXPECT_EQ(retry->GetValue(), "0");
    retry->Step(-1);
    EXPECT_EQ(retry->GetValue(), "9");
    retry->Step(-1);
    EXPECT_EQ(retry->GetValue(), "8");

    // Periodic update: the window's labels and buttons come alive.
    EXPECT_FALSE(update.FindWindow(CUpdatePropPage::ID_BEGIN_CHOOSE)->IsEnabled());
    Click(update.FindWindow(CUpdatePropPage::ID_PERIODIC));
    EXPECT_TRUE(update.FindWindow(CUpdatePropPage::ID_BEGIN_LABEL)->IsEnabled());
    EXPECT_EQ(Text(&update, CUpdatePropPage::ID_BEGIN), "08:00AM");
    WithModal([&] { Click(update.FindWindow(CUpdatePropPage::ID_BEGIN_CHOOSE)); },
              [&](wxDialog& dialog) {
                  auto& time = dynamic_cast<CTimeDlg&>(dialog);
                  int hour = 0, minute = 0, second = 0;
                  time.GetClock().GetTime(hour, minute, second);
                  EXPECT_EQ(hour, 8);
                  EXPECT_FALSE(time.IsPm());
                  time.GetClock().SetTime(10, 10, 0);
                  Click(dialog.FindWindow(CTimeDlg::ID_PM));
                  Click(dialog.FindWindow(wxID_OK));
              });
    EXPECT_EQ(Text(&update, CUpdatePropPage::ID_BEGIN), "10:10PM");

    // OK takes the focus from the bad field and tells of it once; the sheet stays.
    CIntervalCtrl& interval = update.GetInterval();
    wxTextCtrl* hours = interval.GetField(IntervalField::Hours);
    hours->SetValue("25");
    Leave(hours, sheet->FindWindow(wxID_OK));
    Press(wxID_OK);
    PumpEvents();
    EXPECT_EQ(prompter.errors,
              (std::vector<std::string>{"Please enter an integer between 0 and 24."}));
    EXPECT_TRUE(sheet->IsShown());
    EXPECT_EQ(wxWindow::FindFocus(), hours);
    EXPECT_EQ(Settings().GetInterval(), 120);  // the page did not apply
    interval.SetTime({24, 59, 59});
    Press(wxID_OK);
    const CWatcherSettings stored = Settings();
    EXPECT_EQ(stored.GetInterval(), 89999);
    EXPECT_EQ(stored.GetRetryCount(), 8);
    EXPECT_FALSE(stored.GetAlwaysUpdate());
    const std::tm begin = ToLocal(stored.GetBeginTime());
    EXPECT_EQ(begin.tm_hour * 60 + begin.tm_min, 22 * 60 + 10);
}

TEST_F(SheetTest, NotificationsOutputAndSecurePages) {
    CWatcherSettings stored = Settings();
    stored.SetUserName("user");
    stored.SetPassword("secret");
    site.SetSettings(stored);
    Open();
    auto& notify = Show<CNotifyPropPage>();
    Click(notify.FindWindow(CNotifyPropPage::ID_PLAY_SOUND));  // off
    EXPECT_FALSE(notify.FindWindow(CNotifyPropPage::ID_SOUND_FILE)->IsEnabled());
    EXPECT_FALSE(notify.FindWindow(CNotifyPropPage::ID_PROGRAM)->IsEnabled());
    prompter.paths = {"/tmp/bell.wav", "/usr/bin/less"};
    Press(CNotifyPropPage::ID_SOUND_CHOOSE, &notify);
    Press(CNotifyPropPage::ID_PROGRAM_CHOOSE, &notify);
    const std::string sounds = ChooserFolder("/usr/share/sounds", wxGetHomeDir().utf8_string());
    EXPECT_EQ(prompter.starts,
              (std::vector<std::string>{sounds + "|ringin.wav", "/usr/bin|notepad.exe"}));
    EXPECT_EQ(prompter.filters[0], LoadString(IDS_SOUND_FILTER));
    EXPECT_EQ(Text(&notify, CNotifyPropPage::ID_SOUND_FILE), "/tmp/bell.wav");

    auto& output = Show<COutputPropPage>();
    prompter.color = 0x123456;
    Press(COutputPropPage::ID_COLOR_CHOOSE, &output);
    EXPECT_EQ(prompter.shownColors, (std::vector<std::uint32_t>{0x64FFFF}));
    Click(output.FindWindow(COutputPropPage::kModeIds[AdditionsAsHtml]));
    EXPECT_FALSE(output.FindWindow(COutputPropPage::ID_SWATCH)->IsEnabled());

    auto& secure = Show<CSecurePropPage>();
    EXPECT_EQ(Text(&secure, CSecurePropPage::ID_USER), "user");
    EXPECT_TRUE(Find<wxTextCtrl>(&secure, CSecurePropPage::ID_PASSWORD)->HasFlag(wxTE_PASSWORD));
    Press(CSecurePropPage::ID_CLEAR, &secure);
    Press(wxID_APPLY);
    stored = Settings();
    EXPECT_EQ(stored.GetUserName(), "");
    EXPECT_EQ(stored.GetPassword(), "");
    EXPECT_EQ(stored.GetSoundFile(), "/tmp/bell.wav");
    EXPECT_EQ(stored.GetViewer(), "/usr/bin/less");
    EXPECT_EQ(stored.GetNotifyFlags(), std::uint32_t{NotifyLaunchBrowser});
    EXPECT_EQ(stored.GetHighlightColor(), 0x123456u);
    EXPECT_EQ(stored.GetOutputMode(), AdditionsAsHtml);
}

TEST_F(SheetTest, WindowsCodePageTextShowsReadablyAndOkKeepsItsBytesUnlessEdited) {
    const std::string cafe = "Caf\xe9", rene = "Ren\xe9";  // as the Windows build stores them
    site.SetName(cafe);
    site.SetUrl("http://" + cafe);
    CWatcherSettings stored = Settings();
    stored.SetSoundFile(cafe);
    stored.SetViewer(cafe);
    stored.SetUserName(rene);
    stored.SetPassword(rene);
    site.SetSettings(stored);
    Open();
    EXPECT_EQ(sheet->GetTitle().utf8_string(), "Properties for Café");
    EXPECT_EQ(Text(sheet->FindPage<CPagePropPage>(), CPagePropPage::ID_URL), "http://Café");
    Screenshot(sheet, "sheet-page-windows-code-page");
    EXPECT_EQ(Text(&Show<CNotifyPropPage>(), CNotifyPropPage::ID_PROGRAM), "Café");
    Type(&Show<CSecurePropPage>(), CSecurePropPage::ID_USER, "René M");
    Press(wxID_OK);
    // Only the edited field is written again, as UTF-8.
    const CWatcherSettings kept = Settings();
    EXPECT_EQ((std::vector<std::string>{site.GetName(), site.GetUrl(), kept.GetSoundFile(),
                                        kept.GetViewer(), kept.GetPassword(), kept.GetUserName()}),
              (std::vector<std::string>{cafe, "http://" + cafe, cafe, cafe, rene, "René M"}));

    appSettings.SetLogFile(cafe);
    Open(true);
    EXPECT_EQ(Text(&Show<CLoggingPropPage>(), CLoggingPropPage::ID_LOG_FILE), "Café");
    Press(wxID_OK);
    EXPECT_EQ(appSettings.GetLogFile(), cafe);
}

TEST_F(SheetTest, LoggingPageTakesAnyWholeNumberAndALeftPageChecksItsFields) {
    Open(true);
    auto& logging = Show<CLoggingPropPage>();
    Type(&logging, CLoggingPropPage::ID_MAXIMUM_LINES, "lots");
    EXPECT_FALSE(sheet->SelectPage(0));  // leaving checks the field
    EXPECT_EQ(prompter.errors.back(), "Please enter an integer.");
    Type(&logging, CLoggingPropPage::ID_MAXIMUM_LINES, "5000");
    prompter.paths = {scratch / "watch-log"};
    Press(CLoggingPropPage::ID_LOG_FILE_CHOOSE, &logging);
    Click(logging.FindWindow(CLoggingPropPage::ID_DISABLE));
    EXPECT_FALSE(logging.FindWindow(CLoggingPropPage::ID_LOG_FILE)->IsEnabled());
    EXPECT_FALSE(
        Find<CSpinEdit>(&logging, CLoggingPropPage::ID_MAXIMUM_LINES)->GetSpin()->IsEnabled());
    Press(wxID_APPLY);
    EXPECT_EQ(appSettings.GetMaximumLines(), 5000);
    EXPECT_EQ(appSettings.GetLogFile(), scratch / "watch-log.txt");
    EXPECT_FALSE(appSettings.GetLoggingEnabled());
    EXPECT_EQ(log.GetMaximumLines(), 5000);
    EXPECT_FALSE(log.GetLogToFile());
    EXPECT_EQ(log.GetLogFile(), scratch / "watch-log.txt");
}

}  // namespace
}  // namespace tallyhawk::test
