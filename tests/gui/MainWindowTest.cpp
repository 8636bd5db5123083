// The main window in a real window under a tray host: commands and their
// enabled states, the watching filter, the rows, the message-log list, the
// status line, the tray icon and its menu, closing and Exit.
#include <wx/dnd.h>
#include <wx/menu.h>
#include <wx/listbox.h>
#include <wx/uiaction.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "app/TallyhawkDoc.h"
#include "base/StringTable.h"
#include "dialogs/ActivityIndicator.h"
#include "gui/FrameFixture.h"
#include "gui/ModalProbe.h"
#include "dialogs/HistoryDlg.h"
#include "history/HistoryStore.h"
#include "ui/CommandTable.h"
#include "ui/DialogCommands.h"
#include "ui/PageClipboard.h"
#include "ui/PageRows.h"
#include "net/InternetError.h"

namespace tallyhawk::test {

namespace {

CTrayHost* trayHost = nullptr;

class CTrayEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        trayHost = new CTrayHost;
        PumpUntil([] { return wxTaskBarIcon::IsAvailable(); });
    }
    void TearDown() override { delete trayHost; }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new CTrayEnvironment);

std::vector<std::string> ListLines(wxListBox* list) {
    std::vector<std::string> lines;
    for (unsigned i = 0; i < list->GetCount(); ++i) lines.push_back(list->GetString(i).utf8_string());
    return lines;
}

// The items of a menu as (toolkit id, label, enabled).
struct Item {
    int id;
    std::string label;
    bool enabled;
};
std::vector<Item> MenuItems(wxMenu& menu) {
    std::vector<Item> items;
    for (wxMenuItem* item : menu.GetMenuItems()) {
        items.push_back({item->IsSeparator() ? 0 : item->GetId(),
                         item->GetItemLabelText().utf8_string(), item->IsEnabled()});
    }
    return items;
}

}  // namespace

class MainWindowTest : public FrameFixture {
protected:
    // One page, watched, its check ended, then changed since its accepted
    // version.
    void WatchAModifiedPage() {
        AddPage("A");
        StartWatching();
        ASSERT_TRUE(WaitForChecks());
        Pages().GetAt(0)->SetPreviousContent("older text");
        Pages().GetAt(0)->SetStatus(Modified);
    }
    // Turns the page's "Flash Tray Icon" notification on, which desktop
    // notifications follow.
    void FlashTrayIcon(std::int32_t index) {
        CWatcherSettings settings = Pages().GetAt(index)->GetSettings();
        settings.SetNotifyFlags(settings.GetNotifyFlags() | NotifyFlashTrayIcon);
        Pages().GetAt(index)->SetSettings(settings);
    }
    // Page `index` becomes Modified on another thread, as a check makes it.
    void ChangeOnWatchThread(std::int32_t index) {
        Pages().GetAt(index)->SetPreviousContent("old");
        Pages().GetAt(index)->SetLatestContent("new");
        std::thread([this, index] { Pages().GetAt(index)->SetStatus(Modified); }).join();
    }
};

TEST_F(MainWindowTest, TrayIsThereForTheseTests) {
    ASSERT_NE(trayHost, nullptr);
    EXPECT_TRUE(trayHost->Started());
    EXPECT_TRUE(frame->HasTray());
}

// A 2x display asks the toolbar's images for 32 pixels: each must be drawn at
// that size, not its 16-pixel image with every pixel doubled.
TEST_F(MainWindowTest, ToolbarImagesAreDrawnAtTwiceTheirSize) {
    for (int id : ToolbarLayout()) {
        if (id == 0) continue;
        const wxBitmapBundle art = ToolbarArt(FindCommand(id)->image);
        ASSERT_TRUE(art.IsOk()) << id;
        const wxImage image = art.GetBitmap(wxSize(32, 32)).ConvertToImage();
        ASSERT_EQ(image.GetSize(), wxSize(32, 32)) << id;
        int blocks = 0, uniform = 0;  // 2x2 blocks, and those of one colour
        for (int y = 0; y < 32; y += 2) {
            for (int x = 0; x < 32; x += 2) {
                auto pixel = [&](int dx, int dy) {
                    const int px = x + dx, py = y + dy;
                    return std::tuple(image.GetRed(px, py), image.GetGreen(px, py),
                                      image.GetBlue(px, py),
                                      image.HasAlpha() ? image.GetAlpha(px, py) : 255);
                };
                if (std::get<3>(pixel(0, 0)) == 0 && std::get<3>(pixel(1, 1)) == 0) continue;
                ++blocks;
                uniform += pixel(0, 0) == pixel(1, 0) && pixel(0, 0) == pixel(0, 1) &&
                           pixel(0, 0) == pixel(1, 1);
            }
        }
        EXPECT_GT(blocks, 0) << id;
        EXPECT_LT(uniform * 10, blocks * 9) << id << ": " << uniform << " of " << blocks;
    }
}

TEST_F(MainWindowTest, StartedMinimizedOnlyTheTrayIconShows) {
    MakeFrameAgain();
    frame->ShowAtStart(true);
    PumpEvents(std::chrono::milliseconds(300));
    EXPECT_FALSE(frame->IsShown());
    EXPECT_TRUE(frame->GetTrayIcon().IsIconInstalled());
    frame->OnTrayCommand(ID_TRAY_RESTORE, -1);
    EXPECT_TRUE(frame->IsShown());
}

TEST_F(MainWindowTest, EmptyListDisablesEveryPageCommand) {
    EXPECT_EQ(View().GetItemCount(), 0);
    EXPECT_EQ(View().GetSelectedPage(), -1);
    for (int id : {ID_PAGE_REMOVE, ID_PAGE_PROPERTIES, ID_PAGE_UPDATE, ID_EDIT_COPY, ID_EDIT_CUT,
                   ID_PAGE_BROWSE, ID_PAGE_VIEW_CHANGES, ID_PAGE_HISTORY, ID_WATCH_START,
                   ID_WATCH_STOP, ID_LOG_SAVE, ID_LOG_CLEAR})
        EXPECT_FALSE(MenuEnabled(id)) << id;
    for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_APP_EXIT, ID_VIEW_TRAY_MINIMIZE,
                   ID_HELP_CONTENTS, ID_APP_ABOUT, ID_PAGE_ADD, ID_PAGE_IMPORT,
                   ID_TOOLS_OPTIONS, ID_TOOLS_UPGRADE})
        EXPECT_TRUE(MenuEnabled(id)) << id;
    EXPECT_EQ(frame->GetTitle().utf8_string(), "Untitled - Tallyhawk");
}

TEST_F(MainWindowTest, RowsReadPagesAndFollowPageChangedFromAnotherThread) {
    AddPage("Alpha");
    AddPage("Beta", "/page", Disabled);
    Pages().GetAt(0)->SetLastUpdated(0);
    EXPECT_EQ(View().GetItemCount(), 2);
    EXPECT_EQ(View().GetSelectedPage(), 0);
    EXPECT_EQ(View().GetCellText(0, 0), "Alpha");
    EXPECT_EQ(View().GetCellText(0, 1), server.Url("/page"));
    EXPECT_EQ(View().GetCellText(0, 2), "New");
    EXPECT_EQ(View().GetCellText(0, 3), "Never");
    EXPECT_EQ(View().GetCellText(1, 2), "Disabled");
    std::thread([this] { Pages().GetAt(1)->SetStatus(Modified); }).join();
    EXPECT_TRUE(PumpUntil([this] { return View().GetCellText(1, 2) == "Modified"; }));
    EXPECT_TRUE(MenuEnabled(ID_WATCH_START));
}

TEST_F(MainWindowTest, WhileWatchingOnlyTheAllowedCommandsStayEnabled) {
    AddPage("Alpha");
    StartWatching();
    ASSERT_TRUE(WaitForChecks());
    Pages().GetAt(0)->SetStatus(Modified);
    View().SelectRow(0);
    for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_PAGE_ADD, ID_PAGE_REMOVE,
                   ID_PAGE_PROPERTIES, ID_PAGE_UPDATE, ID_PAGE_IMPORT, ID_EDIT_CUT, ID_EDIT_COPY,
                   ID_EDIT_PASTE, ID_TOOLS_UPGRADE, ID_WATCH_START}) {
        EXPECT_FALSE(MenuEnabled(id)) << id;
        EXPECT_FALSE(frame->IsCommandEnabled(id)) << id;
    }
    for (int id : {ID_PAGE_BROWSE, ID_PAGE_VIEW_CHANGES, ID_WATCH_STOP, ID_APP_EXIT,
                   ID_HELP_CONTENTS, ID_APP_ABOUT})
        EXPECT_TRUE(MenuEnabled(id)) << id;
    EXPECT_FALSE(ToolEnabled(ID_FILE_NEW));
    EXPECT_TRUE(ToolEnabled(ID_WATCH_STOP));
    EXPECT_FALSE(ToolEnabled(ID_WATCH_START));
    EXPECT_TRUE(Bar().IsActive());
    // A filtered command does nothing, however it arrives.
    frame->RunCommand(ID_EDIT_CUT);
    EXPECT_EQ(Pages().GetCount(), 1);
    // Browse opens the page's own address.
    frame->RunCommand(ID_PAGE_BROWSE);
    const auto launched = fakes.launcher.Launched();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_NE(std::find(launched[0].begin(), launched[0].end(), server.Url("/page")),
              launched[0].end());

    frame->RunCommand(ID_WATCH_STOP);
    EXPECT_TRUE(PumpUntil([this] { return !frame->IsWatching(); }));
    EXPECT_FALSE(Bar().IsActive());
    EXPECT_EQ(Bar().GetStatusText(), "Ready");
    EXPECT_TRUE(MenuEnabled(ID_EDIT_CUT));
}

TEST_F(MainWindowTest, WatchingChecksPagesAndShowsMonitoring) {
    AddPage("Alpha");
    StartWatching();
    ASSERT_TRUE(WaitForChecks());
    EXPECT_TRUE(PumpUntil([this] { return View().GetCellText(0, 2) == "Current"; }));
    EXPECT_NE(View().GetCellText(0, 3), "Never");
    EXPECT_TRUE(PumpUntil([this] { return Bar().GetStatusText() == "Monitoring"; }));
}

TEST_F(MainWindowTest, CloseHidesAndWatchingGoesOn) {
    AddPage("Alpha");
    StartWatching();
    EXPECT_TRUE(Bar().GetIndicator()->IsAnimating());
    frame->Close();
    PumpEvents();
    EXPECT_FALSE(frame->IsShown());
    EXPECT_TRUE(Pages().IsWatching());
    EXPECT_TRUE(prompter.questions.empty());
    // No drawing work for a window nobody sees (once the display has
    // unmapped it, which may come after the pump above).
    EXPECT_TRUE(Bar().IsActive());
    EXPECT_TRUE(PumpUntil([this] { return !Bar().GetIndicator()->IsAnimating(); }));
    frame->OnTrayCommand(ID_TRAY_RESTORE, -1);
    EXPECT_TRUE(frame->IsShown());
    EXPECT_TRUE(PumpUntil([this] { return Bar().GetIndicator()->IsAnimating(); }));
}

TEST_F(MainWindowTest, ExitCancelChangesNothingAndSaveCancelKeepsExitConfirmed) {
    prompter.answers = {PromptAnswer::Cancel};
    frame->RunCommand(ID_APP_EXIT);
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(prompter.questions[0], LoadString(IDS_CONFIRM_EXIT));
    EXPECT_FALSE(frame->IsExitConfirmed());
    EXPECT_TRUE(frame->IsShown());

    AddPage("Alpha");  // modified: the save question comes
    prompter.answers = {PromptAnswer::Ok, PromptAnswer::Cancel};
    frame->RunCommand(ID_APP_EXIT);
    PumpEvents();
    ASSERT_EQ(prompter.questions.size(), 3u);
    EXPECT_EQ(prompter.questions[2], "Save changes to Untitled?");
    EXPECT_TRUE(frame->IsExitConfirmed());
    EXPECT_TRUE(frame->IsShown());

    // The close button now goes straight to closing.
    prompter.answers = {PromptAnswer::No};
    wxWeakRef<wxFrame> weak(frame);
    frame->Close();
    EXPECT_TRUE(PumpUntil([&] { return !weak; }));
    frame = nullptr;
    EXPECT_EQ(prompter.questions.size(), 4u);
}

TEST_F(MainWindowTest, TrayIconFlashesOnlyWhileWatchingAndSomethingWaits) {
    AddPage("Alpha");
    frame->StopTimer();  // the test steps it
    Pages().GetAt(0)->SetStatus(Modified);
    frame->Tick();
    frame->Tick();
    EXPECT_FALSE(frame->GetTrayIcon().IsAlertShown());  // not watching

    Pages().GetAt(0)->SetStatus(Current);
    StartWatching();
    // The check must have ended, or it could overwrite the Modified set below.
    ASSERT_TRUE(WaitForChecks());
    frame->Tick();
    EXPECT_FALSE(frame->GetTrayIcon().IsAlertShown());
    Pages().GetAt(0)->SetStatus(Modified);
    frame->Tick();
    EXPECT_TRUE(frame->GetTrayIcon().IsAlertShown());
    frame->Tick();
    EXPECT_FALSE(frame->GetTrayIcon().IsAlertShown());
    frame->Tick();
    EXPECT_TRUE(frame->GetTrayIcon().IsAlertShown());
    frame->RunCommand(ID_PAGE_VIEW_CHANGES);  // accepts: no longer Modified
    EXPECT_EQ(Pages().GetAt(0)->GetStatus(), Current);
    frame->Tick();
    frame->Tick();
    EXPECT_FALSE(frame->GetTrayIcon().IsAlertShown());
    EXPECT_TRUE(frame->GetTrayIcon().IsIconInstalled());
}

TEST_F(MainWindowTest, TrayMenuPageItemsCarryTheirIdsAndOpenTheirChanges) {
    for (int i = 0; i < 6; ++i) AddPage("Page " + std::to_string(i));
    Pages().GetAt(0)->SetPreviousContent("old");
    Pages().GetAt(0)->SetLatestContent("new");
    Pages().GetAt(0)->SetStatus(Modified);
    Pages().GetAt(5)->SetStatus(Modified);
    // Names as a document may hold them: one with "&", one blank.
    AddPage("R&D", "/rd", Modified);
    AddPage("  ", "/blank", Modified);
    std::unique_ptr<wxMenu> menu = frame->GetTrayIcon().BuildMenu();
    std::vector<Item> items = MenuItems(*menu);
    ASSERT_EQ(items.size(), 12u);
    EXPECT_EQ(items[2].label, "R&D");
    EXPECT_EQ(items[3].label, server.Url("/blank"));
    items.erase(items.begin() + 2, items.begin() + 4);
    EXPECT_EQ(CommandId(items[0].id), 65436);
    EXPECT_EQ(items[0].label, "Page 0");
    EXPECT_EQ(CommandId(items[1].id), 65431);
    EXPECT_EQ(frame->GetTrayIcon().PageForId(items[1].id), 5);
    EXPECT_EQ(items[2].id, 0);
    EXPECT_EQ(items[3].label, "Restore");
    EXPECT_TRUE(items[4].enabled);  // Minimize: the window is shown
    EXPECT_TRUE(items[6].enabled);  // Start
    EXPECT_FALSE(items[7].enabled); // Stop

    frame->OnTrayCommand(ID_TRAY_MINIMIZE, -1);
    EXPECT_FALSE(frame->IsShown());
    menu = frame->GetTrayIcon().BuildMenu();
    EXPECT_FALSE(MenuItems(*menu)[6].enabled);

    frame->OnTrayCommand(CommandId(items[0].id), frame->GetTrayIcon().PageForId(items[0].id));
    EXPECT_EQ(Pages().GetAt(0)->GetStatus(), Current);
    EXPECT_EQ(fakes.launcher.Launched().size(), 1u);
    // Exit from the tray runs the menu command, with its question.
    prompter.answers = {PromptAnswer::Cancel};
    frame->OnTrayCommand(ID_APP_EXIT, -1);
    EXPECT_EQ(prompter.questions.size(), 1u);
}

TEST_F(MainWindowTest, ViewErrorsNamesEachPageWithItsReasonEnablesThemAgainAndBelongsToTheDocument) {
    for (const char* name : {"First", "Second"}) {
        CWatchSite page(&fakes.services);
        page.SetName(name);
        page.SetUrl("http://127.0.0.1:1/closed");  // nothing listens there
        CWatcherSettings settings = page.GetSettings();
        settings.SetRetryCount(1);
        settings.SetInterval(0);  // retried on every pass, without a pause
        page.SetSettings(settings);
        Pages().Add(page);
    }
    View().Fill();
    StartWatching();
    // A page reads Disabled a moment before the frame hears of it.
    ASSERT_TRUE(PumpUntil([this] { return frame->ErrorCount() == 2; }));
    frame->StopTimer();
    std::unique_ptr<wxMenu> menu = frame->GetTrayIcon().BuildMenu();
    EXPECT_EQ(MenuItems(*menu)[0].label, "View Errors");
    frame->Tick();
    EXPECT_TRUE(frame->GetTrayIcon().IsAlertShown());

    // The question names both pages, says why each failed, and Yes enables
    // them again in one step.
    prompter.answers = {PromptAnswer::Yes};
    frame->OnTrayCommand(ID_VIEW_ERRORS, -1);
    ASSERT_EQ(prompter.questions.size(), 1u);
    const std::string& question = prompter.questions[0];
    const std::string reason = LoadString(kErrorCannotConnect);
    EXPECT_EQ(question.rfind(LoadString(IDS_ERRORS_TEXT) + "[First Second]", 0), 0u) << question;
    EXPECT_NE(question.find("First: " + reason + "\nSecond: " + reason + "\n"), std::string::npos)
        << question;
    menu = frame->GetTrayIcon().BuildMenu();
    EXPECT_EQ(MenuItems(*menu)[0].label, "Restore");
    // Enabled again, the pages are tried again and fail again.
    ASSERT_TRUE(PumpUntil([this] { return frame->ErrorCount() == 2; }));
    // The log shows what happened, newest last.
    // The watch thread logs a page's last line just after disabling it: wait
    // until that line is in the log and the list has caught up with the log.
    EXPECT_TRUE(PumpUntil([this] {
        CMessageLog& log = doc.GetMessageLog();
        const auto newest = log.GetAt(log.GetCount() - 1);
        return log.GetCount() >= 8 && newest && newest->GetMessage() == LoadString(IDS_RETRY_COUNT_EXCEEDED) &&
               static_cast<std::int32_t>(Bar().GetList()->GetCount()) == log.GetCount();
    }));
    EXPECT_EQ(ListLines(Bar().GetList()).back(),
              "[http://127.0.0.1:1/closed"
              "] The page exceeded the predetermined retry count.  This page will be disabled.");

    // Another document: the old one's disabled pages are no longer listed,
    // and the tray stops flashing for them.
    prompter.answers = {PromptAnswer::No};  // do not save the untitled one
    ASSERT_TRUE(frame->NewDocument());
    EXPECT_EQ(frame->ErrorCount(), 0u);
    frame->Tick();
    frame->Tick();
    EXPECT_FALSE(frame->GetTrayIcon().IsAlertShown());
}

TEST_F(MainWindowTest, WatchingKeepsANamedDocumentSavedWithoutAsking) {
    const std::string file = scratch / "kept.wat";
    AddPage("Kept");
    doc.OnSaveDocument(file);
    StartWatching();
    // Within a few ticks of the check, the file on disk has its result.
    auto saved = [&] {
        CTallyhawkDoc disk;
        disk.OnOpenDocument(file);
        return disk.GetPageList().GetAt(0)->GetPreviousContent();
    };
    EXPECT_TRUE(PumpUntil([&] { return saved() == pageBody; }, std::chrono::seconds(20)));
    EXPECT_TRUE(prompter.questions.empty());
    // An untitled document is never saved behind the user's back.
    frame->RunCommand(ID_WATCH_STOP);
    ASSERT_TRUE(PumpUntil([this] { return !frame->IsWatching(); }));
    EXPECT_FALSE(doc.IsModified()) << "what the last check changed is saved when watching stops";
    prompter.answers = {PromptAnswer::No};
    ASSERT_TRUE(frame->NewDocument());
    AddPage("Untitled");
    StartWatching();
    ASSERT_TRUE(PumpUntil([this] { return Pages().GetAt(0)->GetLastUpdated() != 0; }));
    PumpEvents(std::chrono::milliseconds(2600));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), "");
}

TEST_F(MainWindowTest, ColumnWidthsFollowTheListWidth) {
    const int border = View().GetSize().x - View().GetClientSize().x;
    for (int width : {1000, 999}) {
        frame->SetClientSize(width + border, 500);
        ASSERT_TRUE(PumpUntil([&] { return View().GetClientSize().x == width; })) << width;
        PumpEvents();
        const auto widths = ColumnWidths(width);
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(View().GetColumnWidth(column), widths[column]) << width << " " << column;
    }
    EXPECT_EQ(View().GetColumnWidth(3), 202);
}

TEST_F(MainWindowTest, RemoveAsksAndSelectsTheNewLastRow) {
    AddPage("A");
    AddPage("B");
    AddPage("C");
    View().SelectRow(2);
    prompter.answers = {PromptAnswer::Cancel};
    frame->RunCommand(ID_PAGE_REMOVE);
    EXPECT_EQ(Pages().GetCount(), 3);
    doc.SetModifiedFlag(false);
    frame->RunCommand(ID_PAGE_REMOVE);
    EXPECT_EQ(prompter.questions.back(), "Are you sure  that you want to remove this page?");
    EXPECT_EQ(Pages().GetCount(), 2);
    EXPECT_EQ(View().GetItemCount(), 2);
    EXPECT_EQ(View().GetSelectedPage(), 1);
    EXPECT_TRUE(doc.IsModified());
    frame->RunCommand(ID_PAGE_REMOVE);
    frame->RunCommand(ID_PAGE_REMOVE);
    EXPECT_EQ(View().GetItemCount(), 0);
    EXPECT_EQ(View().GetSelectedPage(), -1);
    EXPECT_FALSE(MenuEnabled(ID_PAGE_REMOVE));
}

TEST_F(MainWindowTest, KeysInTheListRunTheirCommands) {
    AddPage("A");
    AddPage("B");
    View().SetFocus();
    View().SelectRow(0);
    PumpEvents();
    wxUIActionSimulator keys;
    keys.Char('c', wxMOD_CONTROL);
    ASSERT_TRUE(PumpUntil([] { return ClipboardHasPage(); }));
    keys.Char(WXK_DELETE);
    EXPECT_TRUE(PumpUntil([this] { return Pages().GetCount() == 1; }));
    EXPECT_EQ(Pages().GetAt(0)->GetName(), "B");
    keys.Char('v', wxMOD_CONTROL);
    EXPECT_TRUE(PumpUntil([this] { return Pages().GetCount() == 2; }));
    EXPECT_EQ(Pages().GetAt(1)->GetName(), "A");
    EXPECT_EQ(View().GetSelectedPage(), 1);
    View().SelectRow(0);
    const std::size_t asked = prompter.questions.size();  // Delete asked once
    keys.Char('x', wxMOD_CONTROL);
    EXPECT_TRUE(PumpUntil([this] { return Pages().GetCount() == 1; }));
    EXPECT_EQ(Pages().GetAt(0)->GetName(), "A");
    EXPECT_EQ(prompter.questions.size(), asked);  // Cut does not ask
    keys.Char(WXK_INSERT, wxMOD_SHIFT);
    EXPECT_TRUE(PumpUntil([this] { return Pages().GetCount() == 2; }));
    EXPECT_EQ(Pages().GetAt(1)->GetName(), "B");
}

TEST_F(MainWindowTest, WhileWatchingEnterAndTheClipboardKeysDoNothing) {
    WatchAModifiedPage();
    View().SetFocus();
    View().SelectRow(0);
    PumpEvents();
    wxUIActionSimulator keys;
    keys.Char(WXK_RETURN);  // Properties, which watching does not allow
    keys.Char('x', wxMOD_CONTROL);
    keys.Char(WXK_DELETE);
    PumpEvents(std::chrono::milliseconds(200));
    EXPECT_EQ(Pages().GetAt(0)->GetStatus(), Modified);
    EXPECT_TRUE(fakes.launcher.Launched().empty());
    EXPECT_EQ(Pages().GetCount(), 1);
    EXPECT_TRUE(prompter.questions.empty());
}

TEST_F(MainWindowTest, DoubleClickWhileWatchingViewsTheChanges) {
    WatchAModifiedPage();
    wxRect rect;
    View().GetItemRect(0, rect);
    const wxPoint point = View().ClientToScreen(rect.GetPosition() + wxPoint(20, rect.height / 2));
    wxUIActionSimulator mouse;
    mouse.MouseMove(point);
    PumpEvents();
    mouse.MouseDblClick();
    EXPECT_TRUE(PumpUntil([this] { return Pages().GetAt(0)->GetStatus() == Current; }));
    EXPECT_EQ(fakes.launcher.Launched().size(), 1u);
}

TEST_F(MainWindowTest, PasteTakesARecordFromAnotherInstanceAndRefusesADamagedOne) {
    CWatchSite other(&fakes.services);
    other.SetName("From elsewhere");
    other.SetUrl("http://127.0.0.1/elsewhere");
    other.SetLatestContent("kept");
    other.SetLastUpdated(1000000);
    other.SetStatus(Modified);
    const std::string record = PageRecord(other);
    WritePageRecord(record);
    PumpEvents(std::chrono::milliseconds(600));  // the paste answer is kept half a second
    EXPECT_TRUE(MenuEnabled(ID_EDIT_PASTE));
    frame->RunCommand(ID_EDIT_PASTE);
    ASSERT_EQ(Pages().GetCount(), 1);
    EXPECT_EQ(Pages().GetAt(0)->GetName(), "From elsewhere");
    EXPECT_EQ(Pages().GetAt(0)->GetStatus(), Modified);
    EXPECT_EQ(Pages().GetAt(0)->GetLatestContent(), "kept");
    EXPECT_EQ(View().GetCellText(0, 2), "Modified");

    WritePageRecord(record.substr(0, record.size() / 2));
    frame->RunCommand(ID_EDIT_PASTE);
    EXPECT_EQ(Pages().GetCount(), 1);
    ASSERT_EQ(prompter.errors.size(), 1u);
}

TEST_F(MainWindowTest, MenuPromptsShowInTheStatusLineWhichThenSaysWhatItSaidBefore) {
    wxMenuEvent highlight(wxEVT_MENU_HIGHLIGHT, ToolkitId(ID_WATCH_START));
    frame->ProcessWindowEvent(highlight);
    EXPECT_EQ(Bar().GetStatusText(), "Start web watching");
    wxMenuEvent close(wxEVT_MENU_CLOSE, 0);
    frame->ProcessWindowEvent(close);
    EXPECT_EQ(Bar().GetStatusText(), "Ready");
    // While watching, a menu's prompt gives way to "Monitoring" again, not
    // to "Ready" until the next download.
    AddPage("A");
    StartWatching();
    ASSERT_TRUE(PumpUntil([this] { return Bar().GetStatusText() == "Monitoring"; }));
    wxMenuEvent stop(wxEVT_MENU_HIGHLIGHT, ToolkitId(ID_WATCH_STOP));
    frame->ProcessWindowEvent(stop);
    EXPECT_NE(Bar().GetStatusText(), "Monitoring");
    frame->ProcessWindowEvent(close);
    EXPECT_EQ(Bar().GetStatusText(), "Monitoring");
    EXPECT_EQ(frame->GetToolBar()->GetToolShortHelp(ToolkitId(ID_WATCH_START)).utf8_string(),
              "Start watching");
}

TEST_F(MainWindowTest, StatusBarAndToolbarCommandsHideAndShowThemWithTheirCheckMarks) {
    auto checked = [this](int id) {
        frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        return frame->GetMenuBar()->IsChecked(ToolkitId(id));
    };
    EXPECT_TRUE(Bar().IsShown());
    EXPECT_TRUE(checked(ID_VIEW_STATUS_BAR));
    frame->RunCommand(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(Bar().IsShown());
    EXPECT_FALSE(checked(ID_VIEW_STATUS_BAR));
    frame->RunCommand(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(Bar().IsShown());

    EXPECT_TRUE(checked(ID_VIEW_TOOLBAR));
    frame->RunCommand(ID_VIEW_TOOLBAR);
    EXPECT_FALSE(frame->GetToolBar()->IsShown());
    EXPECT_FALSE(checked(ID_VIEW_TOOLBAR));
    frame->RunCommand(ID_VIEW_TOOLBAR);
    EXPECT_TRUE(frame->GetToolBar()->IsShown());
}

TEST_F(MainWindowTest, WindowsCodePageNamesAndAddressesShowReadably) {
    AddPage("Caf\xe9", "/caf\xe9");  // "Café" as the Windows build stores it
    Pages().GetAt(0)->SetStatus(Modified);
    EXPECT_EQ(View().GetCellText(0, 0), "Café");
    EXPECT_EQ(View().GetCellText(0, 1), server.Url("/café"));
    std::unique_ptr<wxMenu> menu = frame->GetTrayIcon().BuildMenu();
    EXPECT_EQ(MenuItems(*menu)[0].label, "Café");
    doc.GetMessageLog().Add("Not Found", Pages().GetAt(0)->GetUrl());
    ASSERT_TRUE(PumpUntil([this] { return Bar().GetList()->GetCount() == 1; }));
    EXPECT_EQ(ListLines(Bar().GetList())[0], "[" + server.Url("/café") + "] Not Found");
}

TEST_F(MainWindowTest, LogListFollowsTheLogAndItsBound) {
    doc.GetMessageLog().SetMaximumLines(3);
    std::thread([this] {
        for (int i = 0; i < 5; ++i) doc.GetMessageLog().Add("message " + std::to_string(i), "src");
    }).join();
    EXPECT_TRUE(PumpUntil([this] { return Bar().GetList()->GetCount() == 3; }));
    PumpEvents();
    EXPECT_EQ(ListLines(Bar().GetList()),
              (std::vector<std::string>{"[src] message 2", "[src] message 3", "[src] message 4"}));
    EXPECT_TRUE(MenuEnabled(ID_LOG_CLEAR));
    prompter.paths = {scratch / "saved"};
    frame->RunCommand(ID_LOG_SAVE);
    std::ifstream saved(scratch / "saved.txt");
    std::string line;
    ASSERT_TRUE(std::getline(saved, line));
    EXPECT_EQ(line.rfind("message 2, src, ", 0), 0u);
    frame->RunCommand(ID_LOG_CLEAR);
    EXPECT_TRUE(PumpUntil([this] { return Bar().GetList()->GetCount() == 0; }));
}

TEST_F(MainWindowTest, ChangedPageIsAnnouncedOnceAndActivationViewsIt) {
    AddPage("News");
    FlashTrayIcon(0);
    frame->ShowWindow(false);
    Pages().GetAt(0)->SetPreviousContent("old");
    Pages().GetAt(0)->SetLatestContent("new");
    std::thread([this] {
        Pages().GetAt(0)->SetStatus(Modified);
        Pages().GetAt(0)->SetStatus(Modified);
    }).join();
    ASSERT_TRUE(PumpUntil([this] { return !notifier.texts.empty(); }));
    PumpEvents();  // room for a second announcement, which must not come
    ASSERT_EQ(notifier.texts, (std::vector<std::string>{"News has changed"}));
    notifier.activations[0]();
    EXPECT_EQ(Pages().GetAt(0)->GetStatus(), Current);
    EXPECT_EQ(fakes.launcher.Launched().size(), 1u);
    // A new change is a new announcement.
    std::thread([this] { Pages().GetAt(0)->SetStatus(Modified); }).join();
    EXPECT_TRUE(PumpUntil([this] { return notifier.texts.size() == 2; }))
        << notifier.texts.size();
}

TEST_F(MainWindowTest, ANotificationOfARemovedPageViewsNothing) {
    AddPage("Gone");
    FlashTrayIcon(0);
    frame->ShowWindow(false);
    Pages().GetAt(0)->SetPreviousContent("old");
    Pages().GetAt(0)->SetLatestContent("new");
    std::thread([this] { Pages().GetAt(0)->SetStatus(Modified); }).join();
    ASSERT_TRUE(PumpUntil([this] { return notifier.texts.size() == 1; }));
    View().SelectRow(0);
    frame->RunCommand(ID_EDIT_CUT);
    ASSERT_EQ(Pages().GetCount(), 0);
    // Another page, changed too, may now live where the removed one did.
    AddPage("Other", "/page", Modified);
    Pages().GetAt(0)->SetPreviousContent("older");
    notifier.activations[0]();
    EXPECT_EQ(Pages().GetAt(0)->GetStatus(), Modified);
    EXPECT_TRUE(fakes.launcher.Launched().empty());
}

TEST_F(MainWindowTest, NotificationsFollowTheFlashSettingAndNeverComeForWhatTheUserSeesNow) {
    AddPage("Quiet");
    AddPage("Loud");
    FlashTrayIcon(1);
    frame->ShowWindow(false);
    ChangeOnWatchThread(0);
    ChangeOnWatchThread(1);
    ASSERT_TRUE(PumpUntil([this] { return !notifier.texts.empty(); }));
    PumpEvents();
    EXPECT_EQ(notifier.texts, (std::vector<std::string>{"Loud has changed"}));
    // Viewed from the list first: the notification's click has nothing to open.
    frame->GetView().SelectRow(1);
    frame->RunCommand(ID_PAGE_VIEW_CHANGES);
    ASSERT_EQ(fakes.launcher.Launched().size(), 1u);
    notifier.activations[0]();
    EXPECT_EQ(fakes.launcher.Launched().size(), 1u);

    // The Update Page dialog's check finds a change in front of the user:
    // its result shows there, not on the desktop.
    Pages().GetAt(1)->SetPreviousContent("older text");
    frame->GetView().SelectRow(1);
    frame->RunCommand(ID_PAGE_UPDATE);
    EXPECT_EQ(Pages().GetAt(1)->GetStatus(), Current);
    PumpEvents();
    EXPECT_EQ(notifier.texts.size(), 1u);
}

TEST_F(MainWindowTest, TrayChoicesAndNotificationClicksWaitWhileAModalDialogIsOpen) {
    AddPage("News");
    FlashTrayIcon(0);
    frame->ShowWindow(false);
    ChangeOnWatchThread(0);
    ASSERT_TRUE(PumpUntil([this] { return notifier.texts.size() == 1; }));
    frame->StopTimer();
    wxDialog dialog(nullptr, wxID_ANY, "Properties");
    bool done = false;
    bool refused = false;
    RunModal(dialog, [&] {
        frame->OnTrayCommand(ID_WATCH_START, -1);
        notifier.activations[0]();
        refused = !frame->Close();
        frame->Tick();
        EXPECT_FALSE(doc.GetPageList().IsWatching());
        EXPECT_EQ(Pages().GetAt(0)->GetStatus(), Modified);
        dialog.EndModal(wxID_CANCEL);
        return true;
    }, done);
    ASSERT_TRUE(done);
    EXPECT_TRUE(refused);
    // The window is still there; what waited runs in its order now.
    frame->Tick();
    EXPECT_TRUE(doc.GetPageList().IsWatching());
    EXPECT_EQ(fakes.launcher.Launched().size(), 1u);
}

TEST_F(MainWindowTest, ChangedPagesStandOutInTheListAndTheTrayTooltipCountsThem) {
    AddPage("One");
    AddPage("Two");
    AddPage("Three");
    frame->Tick();
    EXPECT_EQ(frame->GetTrayIcon().GetTooltip(), "Tallyhawk");
    Pages().GetAt(0)->SetStatus(Modified);
    frame->Tick();
    EXPECT_EQ(frame->GetTrayIcon().GetTooltip(), "Tallyhawk: 1 page changed");
    Pages().GetAt(2)->SetStatus(Modified);
    frame->Tick();
    EXPECT_EQ(frame->GetTrayIcon().GetTooltip(), "Tallyhawk: 2 pages changed");
    EXPECT_TRUE(View().IsRowMarked(0));
    EXPECT_FALSE(View().IsRowMarked(1));
}

TEST_F(MainWindowTest, TrayIconDoubleClickShowsAndHidesTheWindowAndAClickOpensTheMenu) {
    // The icon sits at the right end of the tray host, at the bottom right.
    const wxSize screen = wxGetDisplaySize();
    wxUIActionSimulator mouse;
    mouse.MouseMove(screen.x - 20, screen.y - 14);
    PumpEvents();
    ASSERT_TRUE(frame->IsShown());
    mouse.MouseDblClick();
    EXPECT_TRUE(PumpUntil([this] { return !frame->IsShown(); }));

    PumpEvents(std::chrono::milliseconds(600));
    EXPECT_FALSE(frame->GetTrayIcon().IsMenuOpen());
    mouse.MouseDblClick();
    EXPECT_TRUE(PumpUntil([this] { return frame->IsShown(); }));

    // One click: the menu opens once the double-click time has passed, and
    // the tooltip is gone while it is open.
    bool opened = false;
    wxTimer probe;
    probe.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (!frame->GetTrayIcon().IsMenuOpen()) return;
        opened = true;
        probe.Stop();
        wxUIActionSimulator().Char(WXK_ESCAPE);
    });
    probe.Start(20);
    PumpEvents(std::chrono::milliseconds(600));  // no double click from the last click
    mouse.MouseClick();
    EXPECT_TRUE(PumpUntil([&] { return opened; }));
    probe.Stop();
    EXPECT_TRUE(PumpUntil([this] { return !frame->GetTrayIcon().IsMenuOpen(); }));
}

TEST_F(MainWindowTest, HistoryWantsASelectedPageOfADocumentWithAFile) {
    AddPage("Kept");
    EXPECT_FALSE(MenuEnabled(ID_PAGE_HISTORY));  // no file: nowhere for a history
    prompter.paths = {scratch / "one"};
    frame->RunCommand(ID_FILE_SAVE_AS);
    EXPECT_TRUE(MenuEnabled(ID_PAGE_HISTORY));
    View().SelectRow(-1);
    EXPECT_FALSE(MenuEnabled(ID_PAGE_HISTORY));
}

// From the menu, on the document's own history: the versions the store
// keeps, and one made the accepted version of the page.
TEST_F(MainWindowTest, HistoryFromTheMenuMakesAKeptVersionTheAcceptedOne) {
    AddPage("Kept");
    prompter.paths = {scratch / "kept"};
    frame->RunCommand(ID_FILE_SAVE_AS);
    CHistoryStore* store = doc.GetHistory();
    ASSERT_NE(store, nullptr);
    const std::string key = doc.HistoryKey(0);
    store->Append(key, 1'700'000'000, Current, "<p>first</p>\n");
    store->Append(key, 1'700'003'600, Modified, "<p>second</p>\n");
    doc.GetPageList().GetAt(0)->SetLatestContent("<p>second</p>\n");
    View().SelectRow(0);

    bool done = false;
    prompter.answers = {PromptAnswer::Yes};
    RunWithProbe([&] { frame->RunCommand(ID_PAGE_HISTORY); },
                 [&] {
                     auto* history = OpenDialog<CHistoryDlg>();
                     if (!history) return false;
                     auto* list = dynamic_cast<wxListCtrl*>(history->FindWindow(CHistoryDlg::ID_LIST));
                     EXPECT_EQ(list->GetItemCount(), 2);
                     list->SetItemState(0, 0, wxLIST_STATE_SELECTED);
                     list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);  // the oldest
                     history->UpdateWindowUI(wxUPDATE_UI_RECURSE);
                     history->CallAfter([history] {
                         history->AcceptSelected();
                         history->EndModal(wxID_CANCEL);
                     });
                     return true;
                 },
                 done);
    EXPECT_TRUE(done) << "the History window never opened";
    EXPECT_TRUE(prompter.errors.empty()) << prompter.errors.front();
    EXPECT_EQ(doc.GetPageList().GetAt(0)->GetPreviousContent(), "<p>first</p>\n");
    EXPECT_EQ(doc.GetPageList().GetAt(0)->GetStatus(), Modified);
}

TEST_F(MainWindowTest, SaveAsOpenAndADamagedDocumentThatIsNeverOverwritten) {
    AddPage("Kept");
    prompter.paths = {scratch / "one"};
    frame->RunCommand(ID_FILE_SAVE_AS);
    EXPECT_EQ(frame->GetTitle().utf8_string(), "one.wat - Tallyhawk");
    EXPECT_EQ(prompter.filters.back(), LoadString(IDS_FILE_FILTER));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(frame->GetRecentFiles().Items(), (std::vector<std::string>{scratch / "one.wat"}));

    const std::string damaged = scratch / "damaged.wat";
    { std::ofstream(damaged) << std::string("\x01\x00\x05\x00\x00\x00\x06", 7); }
    prompter.paths = {damaged};
    frame->RunCommand(ID_FILE_OPEN);
    ASSERT_EQ(prompter.errors.size(), 1u);
    EXPECT_EQ(prompter.errors[0].rfind("Cannot open " + damaged, 0), 0u);
    EXPECT_EQ(frame->GetTitle().utf8_string(), "Untitled - Tallyhawk");
    EXPECT_EQ(View().GetItemCount(), 0);
    // Saving now asks for a name instead of writing over the damaged file.
    prompter.paths.clear();
    frame->RunCommand(ID_FILE_SAVE);
    std::ifstream check(damaged, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(check), {}).size(), 7u);

    // The recent list reopens the good one, and is in the settings store.
    frame->RunCommand(ID_FILE_MRU_FILE1);
    EXPECT_EQ(View().GetItemCount(), 1);
    EXPECT_EQ(View().GetCellText(0, 0), "Kept");
    CRecentFiles stored;
    stored.FromBytes(store.Read(CRecentFiles::kValueName).value_or(""));
    EXPECT_EQ(stored.Items().front(), scratch / "one.wat");

    // A recent file that is gone is reported and leaves the list; the
    // document shown stays.
    std::filesystem::rename(scratch / "one.wat", scratch / "moved.wat");
    frame->RunCommand(ID_FILE_MRU_FILE1);
    EXPECT_EQ(prompter.errors.size(), 2u);
    EXPECT_TRUE(frame->GetRecentFiles().Items().empty());
    EXPECT_EQ(View().GetCellText(0, 0), "Kept");
}

TEST_F(MainWindowTest, ANameCompletedWithItsExtensionAsksBeforeReplacingAFile) {
    const std::string existing = scratch / "pages.wat";
    { std::ofstream(existing) << "someone else's"; }
    AddPage("New one");
    prompter.paths = {scratch / "pages"};
    prompter.answers = {PromptAnswer::No};
    frame->RunCommand(ID_FILE_SAVE_AS);
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(prompter.questions[0], existing + " already exists.\nDo you want to replace it?");
    std::ifstream kept(existing);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "someone else's");
    EXPECT_TRUE(doc.GetPathName().empty());
    EXPECT_TRUE(doc.IsModified());

    prompter.paths = {scratch / "pages"};
    prompter.answers = {PromptAnswer::Yes};
    frame->RunCommand(ID_FILE_SAVE_AS);
    EXPECT_EQ(doc.GetPathName(), existing);
    EXPECT_FALSE(doc.IsModified());

    // The log's file the same way.
    doc.GetMessageLog().Add("a message", "src");
    const std::string log = scratch / "saved-log.txt";
    { std::ofstream(log) << "older log"; }
    prompter.paths = {scratch / "saved-log"};
    prompter.answers = {PromptAnswer::No};
    frame->RunCommand(ID_LOG_SAVE);
    std::ifstream older(log);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(older), {}), "older log");
    EXPECT_EQ(prompter.questions.size(), 3u);
}

TEST_F(MainWindowTest, DroppedDocumentOpensAndOtherFilesAreRefused) {
    AddPage("Dropped");
    const std::string path = scratch / "dropped.wat";
    doc.OnSaveDocument(path);
    doc.OnNewDocument();
    View().Fill();
    auto* target = dynamic_cast<wxFileDropTarget*>(frame->GetDropTarget());
    ASSERT_NE(target, nullptr);
    wxArrayString files;
    files.Add(wxString::FromUTF8(path));
    EXPECT_TRUE(target->OnDropFiles(10, 10, files));
    EXPECT_TRUE(PumpUntil([this] { return View().GetItemCount() == 1; }));
    EXPECT_EQ(frame->GetTitle().utf8_string(), "dropped.wat - Tallyhawk");
    files[0] = wxString::FromUTF8(scratch / "notes.txt");
    target->OnDropFiles(10, 10, files);
    EXPECT_TRUE(PumpUntil([this] { return prompter.errors.size() == 1; }));
    EXPECT_EQ(View().GetItemCount(), 1);
}

TEST_F(MainWindowTest, UpdateChecksThePageAndTakesItsFirstBaseline) {
    AddPage("A", "/page", Disabled);
    frame->RunCommand(ID_PAGE_UPDATE);
    EXPECT_TRUE(PumpUntil([this] { return Pages().GetAt(0)->GetStatus() == Current; }));
    EXPECT_EQ(Pages().GetAt(0)->GetPreviousContent(), pageBody);
    EXPECT_TRUE(doc.IsModified());
}

}  // namespace tallyhawk::test

namespace tallyhawk::test {

// Pages in every status, none of them due, with log entries, while
// watching runs; and the tray menu opened from the tray icon.
TEST_F(MainWindowTest, ScreenshotsOfTheWindowWhileWatchingAndOfTheTrayMenu) {
    const char* names[] = {"Weather", "Train times", "Town council", "Library news",
                           "Price list", "Old forum"};
    for (std::int32_t status = New; status <= Disabled; ++status) {
        CWatchSite page(&fakes.services);
        page.SetName(names[status]);
        page.SetUrl(server.Url("/page" + std::to_string(status)));
        page.SetLastUpdated(fakes.clock.Now() - 10 * status);
        page.SetStatus(status);
        Pages().Add(page);
    }
    View().Fill();
    doc.GetMessageLog().Add("The server name could not be resolved.", "http://old-forum.example/");
    doc.GetMessageLog().Add("The page exceeded the predetermined retry count.  This page will be "
                            "disabled.", "http://old-forum.example/");
    frame->SetClientSize(frame->GetClientSize().x, 420);  // the first width
    View().SelectRow(3);
    StartWatching();
    ASSERT_TRUE(PumpUntil([this] { return Bar().GetStatusText() == "Monitoring"; }));
    ASSERT_TRUE(PumpUntil([this] { return Bar().GetList()->GetCount() == 2; }));
    for (std::int32_t status = New; status <= Disabled; ++status)
        EXPECT_EQ(View().GetCellText(status, 2), StatusText(status));
    // The times are not cut short (a cell keeps a few pixels of margin).
    EXPECT_LE(View().GetTextExtent(View().GetCellText(0, 3)).x + 8, View().GetColumnWidth(3));
    // Nor any time in bold, on a changed page's row.
    EXPECT_TRUE(View().IsRowMarked(Modified));
    EXPECT_LE(View().WidestMarkedDate() + 8, View().GetColumnWidth(3));
    Screenshot(frame, "main-window-watching");

    // The tray menu, opened by a click on the tray icon at the bottom right
    // of the display, photographed while it is open: the pointer rests on
    // the icon, and its tooltip must not cover the menu.
    wxUIActionSimulator mouse;
    const wxSize screen = wxGetDisplaySize();
    mouse.MouseMove(screen.x - 20, screen.y - 14);
    PumpEvents(std::chrono::milliseconds(1500));  // long enough for the tooltip to show
    bool taken = false;
    wxTimer shot;
    shot.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (!frame->GetTrayIcon().IsMenuOpen()) return;
        shot.Stop();
        wxMilliSleep(800);
        const std::string path = std::string(TALLYHAWK_SCREENSHOTS) + "/tray-menu.png";
        const std::string command = "import -window root -crop 420x360+" +
                                    std::to_string(screen.x - 420) + "+" +
                                    std::to_string(screen.y - 360) + " +repage '" + path + "'";
        taken = std::system(command.c_str()) == 0;
        wxUIActionSimulator().Char(WXK_ESCAPE);
    });
    shot.Start(50);
    mouse.MouseClick();
    EXPECT_TRUE(PumpUntil([&] { return taken; }));
    PumpEvents(std::chrono::milliseconds(200));
}

}  // namespace tallyhawk::test
