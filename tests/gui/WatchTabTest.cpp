// The What to Watch tab in real windows: its Preview downloads the page as
// the sheet stands (address and credentials not yet applied) from a real
// HTTP server, shows the watched text and what each setting removed, and
// cancels at once; an unusable entry is reported at its line; OK writes the
// fields. Message boxes are answered by a fake.
#include <gtest/gtest.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "LocalHttpServer.h"
#include "base/StringTable.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/WatchPreviewDlg.h"
#include "dialogs/WatcherSettingsDlg.h"
#include "engine/EngineTestUtil.h"
#include "gui/DialogDriver.h"

namespace tallyhawk::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPage =
    "<html><body><header>Site menu</header>\n"
    "<main><h1>Kestrel prices</h1><p>Updated at 10:42</p><p>A kestrel costs 12 pounds.</p></main>\n"
    "</body></html>\n";

class WatchTabTest : public ::testing::Test {
protected:
    // "/page" answers at once, once it has been sent credentials (asking
    // for them first, as a server does); "/stall" answers only once
    // released (at most 10 s on).
    WatchTabTest() {
        SetPrompter(&prompter);
        site.SetUrl("http://www.example.com/");
        site.SetName("Kestrels");
        http.Server().Get(
            "/page", [this](const httplib::Request& request, httplib::Response& response) {
                if (!request.has_header("Authorization")) {
                    response.status = 401;
                    response.set_header("WWW-Authenticate", "Basic realm=\"kestrels\"");
                    return;
                }
                authorized = true;
                response.set_content(kPage, "text/html");
            });
        http.Server().Get("/noisy", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<p>A kestrel costs 12 pounds.</p><p>Posted 3 minutes ago</p>"
                                 "<p>21 people are viewing</p>",
                                 "text/html");
        });
        http.Server().Get("/stall", [this](const httplib::Request&, httplib::Response& response) {
            for (int i = 0; i < 2000 && !released.load(); ++i) std::this_thread::sleep_for(5ms);
            response.set_content(kPage, "text/html");
        });
        http.Start();
    }
    ~WatchTabTest() override {
        released = true;
        http.Stop();
        if (sheet) sheet->Destroy();
        PumpEvents();
        SetPrompter(nullptr);
    }

    CWatchPropPage& Open(bool defaultsMode = false) {
        const std::string title =
            LoadString(defaultsMode ? IDS_SHEET_DEFAULTS : IDS_SHEET_PROPERTIES);
        sheet = new CWatcherSettingsDlg(nullptr, title, site, defaultsMode);
        sheet->Show();
        PumpUntil([this] { return sheet->IsShownOnScreen(); });
        return ShowTab<CWatchPropPage>(*sheet);
    }
    wxTextCtrl* Field(int id) { return Find<wxTextCtrl>(sheet->FindPage<CWatchPropPage>(), id); }
    void Type(int id, const std::string& text) { Field(id)->SetValue(wxString::FromUTF8(text)); }
    // Presses Preview and runs `script` in the preview once it is up.
    void Preview(const std::function<void(CWatchPreviewDlg&)>& script) {
        WithModal(
            [&] {
                Click(sheet->FindPage<CWatchPropPage>()->FindWindow(CWatchPropPage::ID_PREVIEW));
            },
            [&](wxDialog& dialog) { script(dynamic_cast<CWatchPreviewDlg&>(dialog)); });
    }
    static std::string Text(wxWindow* dialog, int id) {
        return Find<wxTextCtrl>(dialog, id)->GetValue().utf8_string();
    }
    static std::string Status(wxWindow* dialog) {
        return Find<wxStaticText>(dialog, CWatchPreviewDlg::ID_STATUS)
            ->GetLabelText()
            .utf8_string();
    }

    testing::CFakeServices fakes;
    CSheetPrompter prompter;
    CWatchSite site{&fakes.services};
    testing::CLocalHttpServer http;
    std::atomic<bool> authorized{false};
    std::atomic<bool> released{false};
    CWatcherSettingsDlg* sheet = nullptr;
};

TEST_F(WatchTabTest, PreviewDownloadsThePageAsTheSheetStandsAndListsWhatEachSettingRemoved) {
    Open();
    // Typed, not applied: the preview takes them all the same.
    Find<wxTextCtrl>(sheet->FindPage<CPagePropPage>(), CPagePropPage::ID_URL)
        ->SetValue(wxString::FromUTF8(http.Url("/page")));
    Find<wxTextCtrl>(&ShowTab<CSecurePropPage>(*sheet), CSecurePropPage::ID_USER)->SetValue("ann");
    ShowTab<CWatchPropPage>(*sheet);
    Type(CWatchPropPage::ID_REGION, "main");
    Type(CWatchPropPage::ID_IGNORE_REGIONS, "header\n");
    Type(CWatchPropPage::ID_IGNORE_TEXT, "Updated at .*");
    Screenshot(sheet, "what-to-watch-filled");

    Preview([&](CWatchPreviewDlg& preview) {
        ASSERT_TRUE(PumpUntil([&] { return preview.IsDone(); }));
        EXPECT_TRUE(preview.Succeeded()) << Status(&preview);
        EXPECT_NE(Text(&preview, CWatchPreviewDlg::ID_WATCHED).find("kestrel costs"),
                  std::string::npos);
        const std::string removed = Text(&preview, CWatchPreviewDlg::ID_REMOVED);
        for (const char* heading : {"Outside the region: ", "Ignored region \"header\": ",
                                    "Ignored text \"Updated at .*\": "})
            EXPECT_NE(removed.find(heading), std::string::npos) << heading << " in " << removed;
        EXPECT_NE(Status(&preview).find("watched"), std::string::npos);
        EXPECT_FALSE(preview.FindWindow(CWatchPreviewDlg::ID_PROGRESS)->IsShown());
        EXPECT_EQ(preview.FindWindow(wxID_CANCEL)->GetLabel(), CWatchPreviewDlg::kClose);
        Screenshot(&preview, "watch-preview");
        Click(preview.FindWindow(wxID_CANCEL));
    });
    EXPECT_TRUE(authorized.load());
    // Nothing was applied by the preview.
    EXPECT_EQ(site.GetUrl(), "http://www.example.com/");
    EXPECT_EQ(site.GetSettings().GetRegion(), "");
}

TEST_F(WatchTabTest, CancelEndsAStalledDownloadAtOnceAndFailuresShowTheirMessage) {
    site.SetUrl(http.Url("/stall"));
    Open();
    const auto start = std::chrono::steady_clock::now();
    Preview([&](CWatchPreviewDlg& preview) {
        EXPECT_EQ(Status(&preview), CWatchPreviewDlg::kDownloading);
        EXPECT_TRUE(preview.FindWindow(CWatchPreviewDlg::ID_PROGRESS)->IsShown());
        Screenshot(&preview, "watch-preview-downloading");
        EXPECT_FALSE(preview.IsDone());
        Click(preview.FindWindow(wxID_CANCEL));
        EXPECT_FALSE(preview.IsModal());
    });
    // The stalled server never answered: the cancel ended the download.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    std::string refused;  // a port just freed: nothing listens there
    {
        testing::CLocalHttpServer gone;
        gone.Start();
        refused = gone.Url("/page");
    }
    site.SetUrl(refused);
    sheet->Destroy();
    Open();
    Preview([&](CWatchPreviewDlg& preview) {
        ASSERT_TRUE(PumpUntil([&] { return preview.IsDone(); }));
        EXPECT_FALSE(preview.Succeeded());
        EXPECT_FALSE(Status(&preview).empty());
        EXPECT_EQ(Text(&preview, CWatchPreviewDlg::ID_WATCHED), "");
        Click(preview.FindWindow(wxID_CANCEL));
    });
}

TEST_F(WatchTabTest, AnUnusableEntryIsReportedAtItsLineAndOkWritesTheFields) {
    CWatcherSettings stored = site.GetSettings();
    stored.SetRegion("#caf\xe9");  // as the Windows build stores text
    site.SetSettings(stored);
    Open();
    EXPECT_EQ(Field(CWatchPropPage::ID_REGION)->GetValue().utf8_string(), "#café");
    Type(CWatchPropPage::ID_IGNORE_TEXT, "Updated at .*\n(\n");
    EXPECT_FALSE(sheet->SelectPage(0));  // leaving checks the entries
    Click(sheet->FindWindow(wxID_OK));
    ASSERT_EQ(prompter.errors.size(), 2u);
    EXPECT_NE(prompter.errors[1].find("\"(\""), std::string::npos) << prompter.errors[1];
    EXPECT_TRUE(sheet->IsShown());
    wxTextCtrl* ignoreText = Field(CWatchPropPage::ID_IGNORE_TEXT);
    EXPECT_EQ(wxWindow::FindFocus(), ignoreText);
    EXPECT_EQ(ignoreText->GetStringSelection(), "(");
    EXPECT_TRUE(site.GetSettings().GetIgnoreText().empty());

    Type(CWatchPropPage::ID_IGNORE_TEXT, "Updated at .*\n\\d+ people are viewing\n\n");
    Type(CWatchPropPage::ID_IGNORE_REGIONS, ".ad, .trending\n\n#news\n");
    Click(sheet->FindPage<CWatchPropPage>()->FindWindow(CWatchPropPage::ID_COMPARE_SOURCE));
    Click(sheet->FindPage<CWatchPropPage>()->FindWindow(CWatchPropPage::ID_LEARN_NOISE));
    Click(sheet->FindWindow(wxID_OK));
    const CWatcherSettings written = site.GetSettings();
    EXPECT_EQ(written.GetRegion(), "#caf\xe9");  // unedited: its bytes as they were
    EXPECT_EQ(written.GetIgnoreRegions(),
              (std::vector<std::string>{".ad, .trending", "", "#news"}));
    EXPECT_EQ(written.GetIgnoreText(),
              (std::vector<std::string>{"Updated at .*", "\\d+ people are viewing"}));
    EXPECT_EQ(written.GetCompareWhat(), CWatcherSettings::CompareSource);
    EXPECT_TRUE(written.GetLearnNoise());
}

TEST_F(WatchTabTest, TheDefaultsSheetHasTheTabWithoutPreview) {
    CWatcherSettings stored = site.GetSettings();
    stored.SetCompareWhat(CWatcherSettings::CompareText);
    site.SetSettings(stored);
    auto& watch = Open(true);
    EXPECT_EQ(watch.FindWindow(CWatchPropPage::ID_PREVIEW), nullptr);
    EXPECT_EQ(watch.FindWindow(CWatchPropPage::ID_LEARNED), nullptr) << "new pages have learned nothing";
    EXPECT_TRUE(Find<wxRadioButton>(&watch, CWatchPropPage::ID_COMPARE_TEXT)->GetValue());
    Type(CWatchPropPage::ID_REGION, "main article");
    Click(sheet->FindWindow(wxID_OK));
    EXPECT_EQ(site.GetSettings().GetRegion(), "main article");
}

// What the page learned is listed, the Preview marks it where it changes
// the page, and Forget with OK makes the page forget it.
TEST_F(WatchTabTest, WhatThePageLearnedIsListedMarkedInThePreviewAndForgotten) {
    CLearnedNoise noise;
    noise.LearnFromRepeat("<meta>\n12 people are viewing<br>\n", "<meta>\n17 people are viewing<br>\n");
    ASSERT_EQ(noise.RuleCount(), 1u);
    site.SetLearnedNoise(noise);
    site.SetUrl(http.Url("/noisy"));
    CWatcherSettings stored = site.GetSettings();
    stored.SetCompareWhat(CWatcherSettings::CompareText);
    stored.SetLearnNoise(true);
    site.SetSettings(stored);
    Open();
    EXPECT_EQ(Text(sheet->FindPage<CWatchPropPage>(), CWatchPropPage::ID_LEARNED),
              "Changing parts of a line: \u2026 people are viewing");
    Screenshot(sheet, "what-to-watch-learned");

    Preview([&](CWatchPreviewDlg& preview) {
        ASSERT_TRUE(PumpUntil([&] { return preview.IsDone(); }));
        const std::string removed = Text(&preview, CWatchPreviewDlg::ID_REMOVED);
        EXPECT_NE(removed.find("Noise, as compared (\u2026 where it changes): 2 lines\n"
                               "    Posted \u2026\n    \u2026 people are viewing\n"),
                  std::string::npos)
            << removed;
        Screenshot(&preview, "watch-preview-noise");
        Click(preview.FindWindow(wxID_CANCEL));
    });

    wxWindow* forget = sheet->FindPage<CWatchPropPage>()->FindWindow(CWatchPropPage::ID_FORGET);
    Click(forget);
    EXPECT_EQ(Text(sheet->FindPage<CWatchPropPage>(), CWatchPropPage::ID_LEARNED), "Nothing yet.");
    EXPECT_FALSE(forget->IsEnabled());
    EXPECT_EQ(site.GetLearnedNoise(), noise) << "forgotten only once applied";
    Click(sheet->FindWindow(wxID_OK));
    EXPECT_TRUE(site.GetLearnedNoise().Empty());
    EXPECT_TRUE(site.GetSettings().GetLearnNoise()) << "and it goes on learning";
}

}  // namespace
}  // namespace tallyhawk::test
