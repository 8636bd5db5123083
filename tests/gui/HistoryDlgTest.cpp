// The History window over an in-memory store of 1,000 versions: it opens at
// once without reading any version's bytes, lists the newest first with
// stable numbers, and its buttons hand the right versions to the actions;
// failures are shown and leave the window open.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/listctrl.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <tuple>

#include "dialogs/HistoryDlg.h"
#include "engine/WatchSite.h"
#include "gui/DialogDriver.h"
#include "gui/FakePrompter.h"
#include "gui/GuiTestMain.h"
#include "history/HistoryStore.h"

namespace tallyhawk::test {
namespace {

constexpr std::int64_t kFirstTime = 1767225600;  // 2026-01-01 00:00:00 UTC

// Versions of one page, kept in a vector; counts the bytes read.
class CFakeHistoryStore : public CHistoryStore {
public:
    explicit CFakeHistoryStore(int count) {
        for (int i = 0; i < count; ++i) {
            const std::int64_t time = kFirstTime + i * 3600;
            versions.push_back({100 + i, time, i % 2 ? Modified : Current, 0,
                                static_cast<std::uint64_t>(1000 + i), i ? 12345u : 0u});
        }
    }
    bool Append(const std::string&, std::int64_t, std::int32_t, std::string_view) override {
        return false;
    }
    void MarkAccepted(const std::string&, std::string_view, std::int64_t) override {}
    std::vector<CHistoryVersion> List(const std::string& pageKey) const override {
        if (listFails) throw CHistoryError("The history is locked.");
        return pageKey == "https://example.org/" ? versions : std::vector<CHistoryVersion>{};
    }
    std::string Read(std::int64_t id) const override {
        ++reads;
        if (id == damagedId) throw CHistoryError("Version " + std::to_string(id) + " is damaged.");
        return "bytes of " + std::to_string(id);
    }
    std::vector<std::string> Pages() const override { return {"https://example.org/"}; }
    std::int64_t Prune(const CHistoryRetention&, std::int64_t) override { return 0; }

    std::vector<CHistoryVersion> versions;
    mutable int reads = 0;
    std::int64_t damagedId = -1;
    bool listFails = false;
};

class HistoryDlgTest : public ::testing::Test {
protected:
    HistoryDlgTest() { SetPrompter(&prompter); }
    ~HistoryDlgTest() override {
        dialog.reset();
        SetPrompter(nullptr);
    }

    // The window on the page, its last update at version 998 of 1,000.
    void Open() {
        CHistoryPage page{"https://example.org/", "Example", DeletionsAsHtml,
                          store.versions[997].time};
        CHistoryActions actions;
        actions.view = [this](const std::string& version) { viewed.push_back(version); };
        actions.compare = [this](const std::string& older, const std::string& newer, int mode) {
            if (compareFails) throw CGenericException("No browser could be started.");
            compared = {older, newer, mode};
            return older != "bytes of 100";  // the oldest against any other: nothing to show
        };
        actions.makeAccepted = [this](std::int64_t id) {
            store.versions[static_cast<std::size_t>(id - 100)].acceptedTime = kFirstTime + 9;
        };
        dialog = std::make_unique<CHistoryDlg>(nullptr, store, page, actions);
    }
    wxListCtrl* List() { return Find<wxListCtrl>(dialog.get(), CHistoryDlg::ID_LIST); }
    void Select(std::initializer_list<long> rows) {
        for (long row = 0; row < List()->GetItemCount(); ++row)
            List()->SetItemState(row, 0, wxLIST_STATE_SELECTED);
        for (long row : rows) List()->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        dialog->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    }
    bool Enabled(int id) { return dialog->FindWindow(id)->IsEnabled(); }
    std::string Cell(long row, int column) { return List()->GetItemText(row, column).utf8_string(); }

    CFakeHistoryStore store{1000};
    CFakePrompter prompter;
    std::unique_ptr<CHistoryDlg> dialog;
    std::vector<std::string> viewed;
    std::optional<std::tuple<std::string, std::string, int>> compared;
    bool compareFails = false;
};

TEST_F(HistoryDlgTest, OpensAThousandVersionsAtOnceNewestFirst) {
    store.versions[996].acceptedTime = store.versions[996].time + 600;
    const auto start = std::chrono::steady_clock::now();
    Open();
    dialog->Show();
    dialog->Update();
    const auto took = std::chrono::steady_clock::now() - start;
    // The figure is printed, not asserted: sanitizer builds on a busy
    // machine take several times as long. What keeps it short is asserted:
    // opening reads no version's bytes.
    std::cout << "History window with 1,000 versions shown in "
              << std::chrono::duration<double, std::milli>(took).count() << " ms\n";
    EXPECT_EQ(store.reads, 0) << "opening read version bytes";

    EXPECT_EQ(dialog->GetTitle(), "History of Example");
    ASSERT_EQ(List()->GetItemCount(), 1000);
    EXPECT_EQ(Cell(0, CHistoryRows::Number), "1000");
    EXPECT_EQ(Cell(0, CHistoryRows::Time), LastUpdatedText(store.versions[999].time));
    EXPECT_EQ(Cell(0, CHistoryRows::Status), "Modified (not in the saved document)");
    EXPECT_EQ(Cell(2, CHistoryRows::Status), "Modified");
    EXPECT_EQ(Cell(0, CHistoryRows::Size), "1,999 bytes");
    EXPECT_EQ(Cell(0, CHistoryRows::Change), "+/-12,345 bytes");
    EXPECT_EQ(Cell(999, CHistoryRows::Number), "1");
    EXPECT_EQ(Cell(999, CHistoryRows::Change), "first");
    EXPECT_EQ(Cell(3, CHistoryRows::Accepted), LastUpdatedText(store.versions[996].time + 600));
    EXPECT_EQ(Cell(999, CHistoryRows::Accepted), "");
    // The newest is selected, so View works at once; the page's own output
    // is the one Compare offers first.
    dialog->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    EXPECT_TRUE(Enabled(CHistoryDlg::ID_VIEW));
    EXPECT_FALSE(Enabled(CHistoryDlg::ID_COMPARE));
    EXPECT_EQ(Find<wxChoice>(dialog.get(), CHistoryDlg::ID_MODE)->GetSelection(), DeletionsAsHtml);
    Select({0, 2});
    Screenshot(dialog.get(), "history");
}

TEST_F(HistoryDlgTest, ButtonsHandTheSelectedVersionsToTheActions) {
    Open();
    dialog->Show();
    Select({2, 5});
    EXPECT_FALSE(Enabled(CHistoryDlg::ID_VIEW));
    EXPECT_FALSE(Enabled(CHistoryDlg::ID_ACCEPT));
    ASSERT_TRUE(Enabled(CHistoryDlg::ID_COMPARE));
    Find<wxChoice>(dialog.get(), CHistoryDlg::ID_MODE)->SetSelection(AdditionsAsHtml);
    Click(dialog->FindWindow(CHistoryDlg::ID_COMPARE));
    // Row 5 is version 995, the older: it is compared against 998.
    EXPECT_EQ(compared, std::make_tuple("bytes of 1094", "bytes of 1097", int{AdditionsAsHtml}));

    wxListEvent activated(wxEVT_LIST_ITEM_ACTIVATED, CHistoryDlg::ID_LIST);
    activated.m_itemIndex = 7;
    activated.SetEventObject(List());
    List()->GetEventHandler()->ProcessEvent(activated);
    EXPECT_EQ(viewed, std::vector<std::string>{"bytes of 1092"});

    Select({998});
    prompter.answers = {PromptAnswer::No, PromptAnswer::Yes};
    Click(dialog->FindWindow(CHistoryDlg::ID_ACCEPT));
    EXPECT_EQ(store.versions[1].acceptedTime, 0);
    Click(dialog->FindWindow(CHistoryDlg::ID_ACCEPT));
    ASSERT_EQ(prompter.questions.size(), 2u);
    EXPECT_EQ(prompter.questions[1], "Make the version of " + LastUpdatedText(store.versions[1].time) +
                                         " the accepted one? The page's changes will then be "
                                         "shown against it.");
    EXPECT_EQ(Cell(998, CHistoryRows::Accepted), LastUpdatedText(kFirstTime + 9));
    EXPECT_EQ(dialog->SelectedRows(), std::vector<long>{998});
    EXPECT_TRUE(prompter.errors.empty());
}

TEST_F(HistoryDlgTest, FailuresAreShownAndTheWindowStays) {
    store.damagedId = 1099;  // the newest
    Open();
    dialog->Show();
    Click(dialog->FindWindow(CHistoryDlg::ID_VIEW));
    EXPECT_TRUE(viewed.empty());
    Select({0, 1});
    compareFails = true;
    Click(dialog->FindWindow(CHistoryDlg::ID_COMPARE));
    Select({1, 2});
    Click(dialog->FindWindow(CHistoryDlg::ID_COMPARE));
    EXPECT_EQ(prompter.errors, (std::vector<std::string>{"Version 1099 is damaged.",
                                                         "Version 1099 is damaged.",
                                                         "No browser could be started."}));
    EXPECT_TRUE(dialog->IsShown());
    Select({999, 3});
    compareFails = false;
    Click(dialog->FindWindow(CHistoryDlg::ID_COMPARE));
    EXPECT_EQ(prompter.messages,
              std::vector<std::string>{"These two versions show no changes in this output."});

    // A list that cannot be read: said, and no empty window shown.
    dialog.reset();
    store.listFails = true;
    Open();
    EXPECT_EQ(dialog->ShowModal(), wxID_CANCEL);
    EXPECT_EQ(prompter.errors.back(), "The history is locked.");
}

}  // namespace
}  // namespace tallyhawk::test
