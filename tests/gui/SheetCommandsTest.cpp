// Add, Properties and Options from the main window: what happens to the
// list, the document and the settings store when the sheet closes.
#include <wx/textctrl.h>

#include <filesystem>
#include <fstream>

#include "base/StringTable.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/WatcherSettingsDlg.h"
#include "gui/DialogDriver.h"

namespace tallyhawk::test {
namespace {

class SheetCommandsTest : public FrameFixture {
protected:
    SheetCommandsTest() { SetPrompter(&sheetPrompter); }

    // Runs the command with `script` on the sheet it opens.
    void Run(int command, const std::function<void(CWatcherSettingsDlg&)>& script) {
        WithModal([&] { frame->RunCommand(command); },
                  [&](wxDialog& dialog) { script(dynamic_cast<CWatcherSettingsDlg&>(dialog)); });
    }
    std::optional<std::string> Stored(const char* name) {
        std::ifstream file(scratch / ("settings/" + std::string(name)), std::ios::binary);
        if (!file) return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    CSheetPrompter sheetPrompter;
};

TEST_F(SheetCommandsTest, CommandsAreEnabledAsTheListAndWatchingAllow) {
    EXPECT_TRUE(MenuEnabled(ID_PAGE_ADD));
    EXPECT_TRUE(MenuEnabled(ID_TOOLS_OPTIONS));
    EXPECT_FALSE(MenuEnabled(ID_PAGE_PROPERTIES));
    AddPage("One");
    EXPECT_TRUE(MenuEnabled(ID_PAGE_PROPERTIES));
    StartWatching();
    EXPECT_FALSE(MenuEnabled(ID_PAGE_ADD));
    EXPECT_FALSE(MenuEnabled(ID_PAGE_PROPERTIES));
    EXPECT_TRUE(MenuEnabled(ID_TOOLS_OPTIONS));
}

TEST_F(SheetCommandsTest, AddPageRefusesAnEmptyAddressThenAddsTheNamedPage) {
    CWatcherSettings defaults = defaultPage.GetSettings();
    defaults.SetRetryCount(7);
    defaultPage.SetSettings(defaults);
    Run(ID_PAGE_ADD, [&](CWatcherSettingsDlg& sheet) {
        EXPECT_EQ(sheet.GetTitle(), "Add Page");
        Click(sheet.FindWindow(wxID_OK));
        EXPECT_EQ(sheetPrompter.errors, (std::vector<std::string>{LoadString(IDS_URL_EMPTY)}));
        EXPECT_TRUE(sheet.IsModal());
        EXPECT_EQ(Pages().GetCount(), 0);

        auto* url = Find<wxTextCtrl>(&sheet, CPagePropPage::ID_URL);
        url->SetValue("https://www.example.org/news");
        wxFocusEvent left(wxEVT_KILL_FOCUS, url->GetId());
        url->GetEventHandler()->ProcessEvent(left);
        EXPECT_EQ(Find<wxTextCtrl>(&sheet, CPagePropPage::ID_NAME)->GetValue(), "Example");
        Click(sheet.FindWindow(wxID_APPLY));
        EXPECT_EQ(sheet.GetTitle(), "Add Page for Example");
        Click(sheet.FindWindow(wxID_OK));
    });
    ASSERT_EQ(Pages().GetCount(), 1);
    EXPECT_EQ(Pages().GetAt(0)->GetName(), "Example");
    EXPECT_EQ(Pages().GetAt(0)->GetUrl(), "https://www.example.org/news");
    EXPECT_EQ(Pages().GetAt(0)->GetSettings().GetRetryCount(), 7);
    EXPECT_EQ(View().GetSelectedPage(), 0);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(defaultPage.GetUrl(), "");  // the copy was edited, not the defaults

    // Cancel adds nothing.
    Run(ID_PAGE_ADD, [&](CWatcherSettingsDlg& sheet) {
        Find<wxTextCtrl>(&sheet, CPagePropPage::ID_URL)->SetValue("http://b.example/");
        Click(sheet.FindWindow(wxID_CANCEL));
    });
    EXPECT_EQ(Pages().GetCount(), 1);
}

TEST_F(SheetCommandsTest, PropertiesApplyThenCancelMarksTheDocumentChanged) {
    AddPage("One");
    doc.SetModifiedFlag(false);
    // A double-click (or Enter) on the row opens the page's properties.
    auto activate = [&] {
        wxListEvent event(wxEVT_LIST_ITEM_ACTIVATED, View().GetId());
        event.SetEventObject(&View());
        View().GetEventHandler()->ProcessEvent(event);
    };
    WithModal(activate, [&](wxDialog& dialog) {
        auto& sheet = dynamic_cast<CWatcherSettingsDlg&>(dialog);
        EXPECT_EQ(sheet.GetTitle(), "Properties for One");
        Click(ShowTab<CNotifyPropPage>(sheet).FindWindow(CNotifyPropPage::ID_FLASH_TRAY));
        Click(sheet.FindWindow(wxID_APPLY));
        Click(sheet.FindWindow(wxID_CANCEL));
    });
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(Pages().GetAt(0)->GetSettings().GetNotifyFlags() & NotifyFlashTrayIcon);

    doc.SetModifiedFlag(false);
    Run(ID_PAGE_PROPERTIES,
        [&](CWatcherSettingsDlg& sheet) { Click(sheet.FindWindow(wxID_CANCEL)); });
    EXPECT_FALSE(doc.IsModified());

    // The closing question changed the page after Cancel: the document
    // has that change too.
    CWatcherSettings settings = Pages().GetAt(0)->GetSettings();
    settings.SetNotifyFlags(0);
    Pages().GetAt(0)->SetSettings(settings);
    Run(ID_PAGE_PROPERTIES,
        [&](CWatcherSettingsDlg& sheet) { Click(sheet.FindWindow(wxID_CANCEL)); });
    EXPECT_EQ(sheetPrompter.questions, (std::vector<std::string>{LoadString(18)}));
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(SheetCommandsTest, OptionsStoresTheDefaultsOnOkOnlyAndReportsAFailedWrite) {
    Run(ID_TOOLS_OPTIONS, [&](CWatcherSettingsDlg& sheet) {
        EXPECT_EQ(sheet.GetTitle(), LoadString(IDS_SHEET_DEFAULTS));
        Find<wxTextCtrl>(&ShowTab<CSecurePropPage>(sheet), CSecurePropPage::ID_USER)
            ->SetValue("alice");
        Click(sheet.FindWindow(wxID_CANCEL));
    });
    EXPECT_FALSE(Stored(kSiteSettingsValue));
    EXPECT_FALSE(Stored(kAppSettingsValue));
    EXPECT_EQ(defaultPage.GetSettings().GetUserName(), "");

    Run(ID_TOOLS_OPTIONS, [&](CWatcherSettingsDlg& sheet) {
        Find<wxTextCtrl>(&ShowTab<CSecurePropPage>(sheet), CSecurePropPage::ID_USER)
            ->SetValue("alice");
        Click(sheet.FindWindow(wxID_OK));
    });
    EXPECT_EQ(defaultPage.GetSettings().GetUserName(), "alice");
    EXPECT_EQ(Stored(kSiteSettingsValue), MakeBlob(defaultPage));
    EXPECT_EQ(Stored(kAppSettingsValue), MakeBlob(appSettings));
    EXPECT_TRUE(sheetPrompter.errors.empty());

    // A settings folder that cannot be made: the error is shown, the
    // defaults stay in memory.
    std::filesystem::remove_all(scratch / "settings");
    std::ofstream(scratch / "settings") << "a file in the way";
    Run(ID_TOOLS_OPTIONS, [&](CWatcherSettingsDlg& sheet) {
        Find<wxTextCtrl>(&ShowTab<CSecurePropPage>(sheet), CSecurePropPage::ID_USER)
            ->SetValue("bob");
        Click(sheet.FindWindow(wxID_OK));
    });
    EXPECT_EQ(sheetPrompter.errors.size(), 1u);
    EXPECT_EQ(defaultPage.GetSettings().GetUserName(), "bob");
}

TEST_F(SheetCommandsTest, LoggingPageChangesTheOpenDocumentsLogAtOnce) {
    for (int i = 0; i < 5; ++i) doc.GetMessageLog().Add("entry", "page");
    Run(ID_TOOLS_OPTIONS, [&](CWatcherSettingsDlg& sheet) {
        auto& logging = ShowTab<CLoggingPropPage>(sheet);
        Find<wxTextCtrl>(&logging, CLoggingPropPage::ID_MAXIMUM_LINES)->SetValue("3");
        Click(sheet.FindWindow(wxID_APPLY));
        EXPECT_EQ(doc.GetMessageLog().GetMaximumLines(), 3);
        EXPECT_EQ(doc.GetMessageLog().GetCount(), 3);
        Click(sheet.FindWindow(wxID_CANCEL));
    });
    EXPECT_EQ(appSettings.GetMaximumLines(), 3);
    // Applied, then canceled: accepted, so stored.
    CAppSettings read;
    EXPECT_TRUE(LoadAppSettings(store, read));
    EXPECT_EQ(read.GetMaximumLines(), 3);
}

TEST_F(SheetCommandsTest, DownloadLimitsReachTheOpenDocument) {
    Run(ID_TOOLS_OPTIONS, [&](CWatcherSettingsDlg& sheet) {
        auto& logging = ShowTab<CLoggingPropPage>(sheet);
        auto* limit = Find<wxTextCtrl>(&logging, CLoggingPropPage::ID_TIME_LIMIT);
        EXPECT_EQ(limit->GetValue(), "120");
        limit->SetValue("5");  // below the range: refused, nothing changes
        Click(sheet.FindWindow(wxID_OK));
        EXPECT_EQ(sheetPrompter.errors.back(), "Please enter an integer between 10 and 3600.");
        limit->SetValue("45");
        auto* perServer = Find<wxTextCtrl>(&logging, CLoggingPropPage::ID_TRANSFERS_PER_SERVER);
        EXPECT_EQ(Find<wxTextCtrl>(&logging, CLoggingPropPage::ID_TRANSFERS)->GetValue(), "16");
        EXPECT_EQ(perServer->GetValue(), "2");
        perServer->SetValue("4");
        Click(sheet.FindWindow(wxID_OK));
    });
    EXPECT_EQ(doc.GetPageList().GetTransfersPerServer(), 4u);
    EXPECT_EQ(appSettings.GetTimeLimit(), 45);
    EXPECT_EQ(doc.GetPageList().GetDownloader().GetTimeLimits().total, std::chrono::seconds(45));
    EXPECT_EQ(doc.GetDownloader().GetTimeLimits().total, std::chrono::seconds(45));
    CAppSettings read;
    EXPECT_TRUE(LoadAppSettings(store, read));
    EXPECT_EQ(read.GetTimeLimit(), 45);
    EXPECT_EQ(read.GetTransfersPerServer(), 4);
}

}  // namespace
}  // namespace tallyhawk::test
