// The Bookmarks & Favorites dialog in real windows, over a home folder of
// the test's own: the two kinds of links, sorted by name, names that are not
// UTF-8 shown readably and returned as found; the selection kept across a
// switch; OK with and without a selection; a double click; the main
// window's Import Link(s) command that turns the chosen links into pages
// made from the default page; and a long collection that leaves the window
// answering and ends at once on Cancel.
#include <wx/listctrl.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <gmock/gmock.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "dialogs/BookmarksDlg.h"
#include "gui/FrameFixture.h"
#include "import/BrowserFiles.h"

namespace tallyhawk::test {
namespace {

using namespace std::chrono_literals;
using tallyhawk::testing::CBrowserHome;

// A Latin-1 bookmark, as an old bookmark file holds it, and as it shows.
const std::string kLatin1Name = "Caf\xe9 du march\xe9";
const std::string kLatin1Url = "https://cafe.example.fr/carte?plat=cr\xeape";
const std::string kLatin1NameShown = "Caf\xc3\xa9 du march\xc3\xa9";
const std::string kLatin1UrlShown = "https://cafe.example.fr/carte?plat=cr\xc3\xaape";

// A home folder with bookmarks of every origin and favourites.
void FillHome(const CBrowserHome& home) {
    home.NetscapeFile(".mozilla/default/x7f3.slt/bookmarks.html",
                      {{"Release notes", "https://www.debian.org/releases/stable/releasenotes"},
                       {kLatin1Name, kLatin1Url},
                       {"Weather &amp; warnings", "https://weather.example.org/warnings"}});
    home.FirefoxPlaces(".mozilla/firefox/k2j4.default-release/places.sqlite",
                       {{"curl changelog", "https://curl.se/changes.html"},
                        {"Kernel releases", "https://www.kernel.org/"}});
    home.ChromiumFile(".config/chromium/Default/Bookmarks",
                      {{"Bus timetable", "https://transit.example.org/line/42"},
                       {"apt news", "https://apt.example.net/news"}});
    home.Shortcut("Favorites/Links/Town council.url", "https://council.example.gov/minutes");
    home.Shortcut(".wine/drive_c/users/alice/Favorites/Library hours.url",
                  "https://library.example.org/hours");
    home.Shortcut("Favorites/Exam results.url", "https://school.example.edu/results");
}

class ImportDlgTest : public ::testing::Test {
protected:
    ImportDlgTest() { FillHome(home); }
    ~ImportDlgTest() override {
        if (dialog) dialog->Destroy();
        PumpEvents();
    }

    void Open(const CBookmarkPlaces& places) {
        dialog = new CBookmarksDlg(nullptr, places);
        dialog->Show();
        PumpUntil([this] { return dialog->IsShownOnScreen() && !dialog->IsCollecting(); });
    }
    wxListCtrl* List() const { return static_cast<wxListCtrl*>(dialog->FindWindow(CBookmarksDlg::ID_LIST)); }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (long row = 0; row < List()->GetItemCount(); ++row)
            texts.push_back(List()->GetItemText(row, column).utf8_string());
        return texts;
    }
    std::vector<long> Selected() const {
        std::vector<long> rows;
        for (long row = List()->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
             row = List()->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
            rows.push_back(row);
        return rows;
    }
    void Select(std::initializer_list<long> rows) {
        for (long row : Selected()) List()->SetItemState(row, 0, wxLIST_STATE_SELECTED);
        for (long row : rows) List()->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    void Choose(int radio) {
        auto* button = static_cast<wxRadioButton*>(dialog->FindWindow(radio));
        button->SetValue(true);
        wxCommandEvent event(wxEVT_RADIOBUTTON, radio);
        event.SetEventObject(button);
        event.SetInt(1);
        button->GetEventHandler()->ProcessEvent(event);
    }
    void PressOk() {
        wxWindow* ok = dialog->FindWindow(wxID_OK);
        wxCommandEvent press(wxEVT_BUTTON, wxID_OK);
        press.SetEventObject(ok);
        ok->GetEventHandler()->ProcessEvent(press);
    }

    CBrowserHome home;
    CBookmarksDlg* dialog = nullptr;
};

TEST_F(ImportDlgTest, ListsEachKindSortedByName) {
    Open(home.Places());
    EXPECT_EQ(dialog->GetTitle().utf8_string(), "Bookmarks & Favorites");
    EXPECT_TRUE(static_cast<wxRadioButton*>(dialog->FindWindow(CBookmarksDlg::ID_BOOKMARKS))->GetValue());
    wxListItem heading;
    List()->GetColumn(0, heading);
    EXPECT_EQ(heading.GetText(), "Name");
    List()->GetColumn(1, heading);
    EXPECT_EQ(heading.GetText(), "URL");
    // Found in the order Netscape file, Firefox, Chromium; shown by name.
    EXPECT_EQ(Column(0), (std::vector<std::string>{"apt news", "Bus timetable", kLatin1NameShown,
                                                   "curl changelog", "Kernel releases",
                                                   "Release notes", "Weather &amp; warnings"}));
    EXPECT_EQ(Column(1)[1], "https://transit.example.org/line/42");
    EXPECT_EQ(Column(1)[2], kLatin1UrlShown);
    EXPECT_EQ(Selected(), std::vector<long>{0});
    const int name = List()->GetColumnWidth(0), url = List()->GetColumnWidth(1);
    EXPECT_NEAR(name, 0.3 * (name + url), 1.0) << "three tenths to the name";
    const std::string bookmarksShot = Screenshot(dialog, "import-dialog-bookmarks");

    Select({4});
    Choose(CBookmarksDlg::ID_FAVORITES);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"Exam results", "Library hours", "Town council"}));
    EXPECT_EQ(Column(1)[2], "https://council.example.gov/minutes");
    EXPECT_EQ(Selected(), std::vector<long>{0}) << "row 4 is beyond the three favourites";
    Select({2});
    const std::string favoritesShot = Screenshot(dialog, "import-dialog-favorites");
    // Both kinds in one picture, side by side.
    const std::string both = std::string(TALLYHAWK_SCREENSHOTS) + "/import-dialog.png";
    EXPECT_EQ(std::system(("convert '" + bookmarksShot + "' '" + favoritesShot + "' -bordercolor white "
                           "-border 6 +append '" + both + "'").c_str()),
              0);
    Choose(CBookmarksDlg::ID_BOOKMARKS);
    EXPECT_EQ(Selected(), std::vector<long>{2}) << "the same row, now a bookmark";

    // OK needs a selection and returns the rows in list order.
    Select({});
    PressOk();
    EXPECT_TRUE(dialog->IsShown()) << "nothing selected: the dialog stays open";
    EXPECT_TRUE(dialog->GetSelection().empty());

    Select({4, 2, 0});
    PressOk();
    EXPECT_FALSE(dialog->IsShown());
    EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
    EXPECT_EQ(dialog->GetSelection(),
              (std::vector<CBookmarkItem>{{"apt news", "https://apt.example.net/news", 1},
                                          {kLatin1Name, kLatin1Url, 1},
                                          {"Kernel releases", "https://www.kernel.org/", 1}}))
        << "the links as found, not as shown";
}

TEST_F(ImportDlgTest, NoFavoritesShowsAnEmptyListWithNothingSelected) {
    CBrowserHome bare;
    bare.NetscapeFile(".netscape/bookmark.htm", {{"Only", "https://only.example/"}});
    Open(bare.Places());
    EXPECT_EQ(Column(0), std::vector<std::string>{"Only"});
    Choose(CBookmarksDlg::ID_FAVORITES);
    EXPECT_EQ(List()->GetItemCount(), 0);
    EXPECT_TRUE(Selected().empty());
    PressOk();
    EXPECT_TRUE(dialog->IsShown());
}

TEST_F(ImportDlgTest, DoubleClickOnARowActsAsOk) {
    dialog = new CBookmarksDlg(nullptr, home.Places());
    wxTimer timer;
    int ticks = 0;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (!dialog->IsModal() || !dialog->IsShownOnScreen() || dialog->IsCollecting()) return;
        if (++ticks == 5) {
            // The second row, clicked twice by the pointer.
            wxRect rect;
            List()->GetItemRect(1, rect);
            const wxPoint point = List()->ClientToScreen(rect.GetPosition() + wxPoint(20, rect.height / 2));
            wxUIActionSimulator mouse;
            mouse.MouseMove(point);
            mouse.MouseDblClick();
        }
        if (ticks > 500) dialog->EndModal(-1);
    });
    timer.Start(10);
    EXPECT_EQ(dialog->ShowModal(), wxID_OK);
    timer.Stop();
    EXPECT_EQ(dialog->GetSelection(),
              (std::vector<CBookmarkItem>{{"Bus timetable", "https://transit.example.org/line/42", 1}}));
}

class ImportCommandTest : public FrameFixture {
protected:
    ImportCommandTest()
        : homeEnv("HOME", home.Home().c_str()), wine("WINEPREFIX", nullptr), config("XDG_CONFIG_HOME", nullptr) {
        FillHome(home);
    }

    // Runs Import Link(s); `act` runs on the dialog while it is shown
    // modally, every 10 ms until it answers true.
    void Import(const std::function<bool(CBookmarksDlg&)>& act) {
        wxTimer timer;
        bool acted = false;
        int ticks = 0;
        timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            CBookmarksDlg* shown = nullptr;
            for (wxWindow* window : wxTopLevelWindows) {
                if (auto* candidate = dynamic_cast<CBookmarksDlg*>(window); candidate && candidate->IsModal())
                    shown = candidate;
            }
            if (++ticks > 1000 && shown) shown->EndModal(-1);
            if (acted || !shown || !shown->IsModal()) return;
            acted = act(*shown);
        });
        timer.Start(10);
        frame->RunCommand(ID_PAGE_IMPORT);
        timer.Stop();
        EXPECT_TRUE(acted) << "the dialog never showed";
    }

    CBrowserHome home;
    tallyhawk::testing::CScopedEnv homeEnv, wine, config;
};

TEST_F(ImportCommandTest, ChosenLinksBecomePagesFromTheDefaultPage) {
    AddPage("Existing");
    CWatcherSettings defaults = defaultPage.GetSettings();
    defaults.SetRetryCount(7);
    defaultPage.SetSettings(defaults);
    doc.SetModifiedFlag(false);
    ASSERT_TRUE(MenuEnabled(ID_PAGE_IMPORT));

    Import([](CBookmarksDlg& dialog) {
        if (dialog.IsCollecting()) return false;
        auto* list = static_cast<wxListCtrl*>(dialog.FindWindow(CBookmarksDlg::ID_LIST));
        list->SetItemState(0, 0, wxLIST_STATE_SELECTED);
        for (long row : {1, 2, 6}) list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        wxCommandEvent press(wxEVT_BUTTON, wxID_OK);
        dialog.FindWindow(wxID_OK)->GetEventHandler()->ProcessEvent(press);
        return true;
    });
    ASSERT_EQ(Pages().GetCount(), 4);
    EXPECT_EQ(Pages().GetAt(1)->GetName(), "Bus timetable");
    EXPECT_EQ(Pages().GetAt(1)->GetUrl(), "https://transit.example.org/line/42");
    EXPECT_EQ(Pages().GetAt(2)->GetName(), kLatin1Name) << "the bytes as the bookmark file has them";
    EXPECT_EQ(Pages().GetAt(2)->GetUrl(), kLatin1Url);
    EXPECT_EQ(Pages().GetAt(3)->GetName(), "Weather &amp; warnings");
    EXPECT_EQ(Pages().GetAt(3)->GetSettings().GetRetryCount(), 7);
    EXPECT_EQ(Pages().GetAt(3)->GetStatus(), New);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(View().GetItemCount(), 4);
    EXPECT_EQ(View().GetSelectedPage(), 3);
    EXPECT_EQ(View().GetCellText(1, 0), "Bus timetable");
}

TEST_F(ImportCommandTest, CancelAddsNothing) {
    doc.SetModifiedFlag(false);
    Import([](CBookmarksDlg& dialog) {
        dialog.EndModal(wxID_CANCEL);
        return true;
    });
    EXPECT_EQ(Pages().GetCount(), 0);
    EXPECT_FALSE(doc.IsModified());
}

// Chromium profiles whose "Bookmarks" files are as large as are read and
// hold little but empty folders: reading them all takes minutes.
void FillSlowProfiles(const CBrowserHome& home, int profiles) {
    std::string json = R"({"roots": {"bookmark_bar": {"type": "folder", "children": [)";
    const std::string folder = R"({"type": "folder", "name": "Empty", "children": []},)";
    while (json.size() + folder.size() + 100 < kMaxBookmarkFileSize) json += folder;
    json += R"({"type": "url", "name": "Last", "url": "https://last.example/"}]}}})";
    const std::string first = home.Write(".config/chromium/Profile 0/Bookmarks", json);
    for (int i = 1; i < profiles; ++i) {
        const std::string profile = home / (".config/chromium/Profile " + std::to_string(i));
        std::filesystem::create_directory(profile);
        std::filesystem::create_hard_link(first, profile + "/Bookmarks");
    }
}

TEST_F(ImportCommandTest, ALongCollectionShowsProgressAndCancelEndsItAtOnce) {
    FillSlowProfiles(home, 200);
    doc.SetModifiedFlag(false);
    int ticksWhileCollecting = 0;
    std::string progressText;
    std::chrono::steady_clock::time_point canceled;
    Import([&](CBookmarksDlg& dialog) {
        if (!dialog.IsCollecting()) return true;  // too soon: no progress was seen
        // This timer's ticks arrive while the dialog collects: the window
        // answers all along.
        if (++ticksWhileCollecting < 30 || dialog.GetProgress().Links() == 0) return false;
        Screenshot(&dialog, "import-dialog-collecting");
        progressText = static_cast<wxStaticText*>(dialog.FindWindow(CBookmarksDlg::ID_STATUS))
                           ->GetLabel()
                           .utf8_string();
        canceled = std::chrono::steady_clock::now();
        wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
        dialog.FindWindow(wxID_CANCEL)->GetEventHandler()->ProcessEvent(press);
        return true;
    });
    // Measured to the end of the command: the dialog closed, and its worker ended.
    EXPECT_LT(std::chrono::steady_clock::now() - canceled, 2s);
    EXPECT_THAT(progressText, ::testing::MatchesRegex(
                                  "Looking for links\\.\\.\\. [1-9][0-9]* found, [1-9][0-9]* files and "
                                  "folders looked at"));
    EXPECT_EQ(Pages().GetCount(), 0);
    EXPECT_FALSE(doc.IsModified());
}

}  // namespace
}  // namespace tallyhawk::test
