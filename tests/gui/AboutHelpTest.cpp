// The About box (version line, link drawn as a link, opening the home page)
// and Help opening the manual through the browser launcher.
#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/stattext.h>

#include <string>
#include <vector>

#include "base/StringTable.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Help.h"
#include "dialogs/Prompter.h"
#include "engine/EngineTestUtil.h"
#include "gui/GuiTestMain.h"

namespace tallyhawk::test {
namespace {

using Launch = std::vector<std::string>;

class CRecordingPrompter : public CWxPrompter {
public:
    void Tell(wxWindow*, const std::string& text, bool) override { told.push_back(text); }
    std::vector<std::string> told;
};

class AboutHelpTest : public ::testing::Test {
protected:
    AboutHelpTest() {
        CSiteServices::SetDefault(&fake.services);
        SetPrompter(&prompter);
    }
    ~AboutHelpTest() override {
        SetPrompter(nullptr);
        CSiteServices::SetDefault(nullptr);
        RegisterDialogStrings();
    }
    static void Click(wxWindow* window) {
        wxMouseEvent up(wxEVT_LEFT_UP);
        up.SetPosition(wxPoint(2, 2));
        up.SetEventObject(window);
        window->GetEventHandler()->ProcessEvent(up);
    }

    tallyhawk::testing::CFakeServices fake;
    CRecordingPrompter prompter;
};

TEST_F(AboutHelpTest, AboutBoxShowsTheVersionAndOpensTheHomePage) {
    // Built without a home page of its own: the manual's index page.
    RegisterDialogStrings();
    const std::string manual = FindManualPage("index.html");
    ASSERT_FALSE(manual.empty());
    EXPECT_EQ(LoadString(IDS_HOME_PAGE), manual);
    auto* about = new CAboutDlg(nullptr);
    EXPECT_EQ(about->GetTitle(), "About Tallyhawk");
    EXPECT_EQ(about->FindWindow(CAboutDlg::ID_VERSION)->GetLabel().utf8_string(),
              std::string("Tallyhawk ") + TALLYHAWK_VERSION);
    EXPECT_EQ(about->FindWindow(CAboutDlg::ID_LINK)->GetLabel().utf8_string(), manual);
    EXPECT_NE(about->FindWindow(wxID_OK), nullptr);
    Click(about->FindWindow(CAboutDlg::ID_LINK));
    EXPECT_EQ(fake.launcher.Launched(), (std::vector<Launch>{Launch{"xdg-open", manual}}));
    about->Destroy();

    // As an installed program shows it.
    const std::string installed = "/usr/share/doc/tallyhawk/manual/index.html";
    RegisterStrings({{IDS_HOME_PAGE, installed.c_str()}});
    about = new CAboutDlg(nullptr);
    about->Show();
    ASSERT_TRUE(PumpUntil([&] { return about->IsShownOnScreen(); }));
    Screenshot(about, "about");
    Click(about->FindWindow(CAboutDlg::ID_LINK));
    EXPECT_EQ(fake.launcher.Launched().back(), (Launch{"xdg-open", installed}));
    fake.launcher.FailFor("xdg-open");
    Click(about->FindWindow(CAboutDlg::ID_LINK));
    EXPECT_EQ(prompter.told.size(), 1u);
    about->Destroy();
    PumpEvents();
}

TEST_F(AboutHelpTest, LinkIsBlueUnderlinedAndEndsInEllipsisWhenCut) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Link");
    const std::string text = "http://127.0.0.1/a/rather/long/address/of/the/maker/index.html";
    auto* link = new CLinkStatic(frame, CAboutDlg::ID_LINK, text, 120);
    EXPECT_LE(link->GetBestSize().x, 120);

    wxBitmap bitmap(400, 30);
    wxMemoryDC dc(bitmap);
    dc.SetFont(link->GetFont().Underlined());
    const wxString cut = link->ShownText(dc, 120);
    EXPECT_TRUE(cut.EndsWith("...")) << cut;
    EXPECT_LE(dc.GetTextExtent(cut).x, 120);
    EXPECT_EQ(link->ShownText(dc, 1000).utf8_string(), text);

    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    link->Draw(dc, wxSize(400, 30));
    dc.SelectObject(wxNullBitmap);
    const wxImage image = bitmap.ConvertToImage();
    int blue = 0, longestRun = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0, run = 0; x < 400; ++x) {
            // Anti-aliased edges are lighter, but still plainly blue.
            const int b = image.GetBlue(x, y);
            const bool isBlue =
                b > 150 && b - std::max(image.GetRed(x, y), image.GetGreen(x, y)) > 60;
            blue += isBlue;
            run = isBlue ? run + 1 : 0;
            longestRun = std::max(longestRun, run);
        }
    }
    EXPECT_GT(blue, 100);
    EXPECT_GT(longestRun, 200);  // the underline
    frame->Destroy();
    PumpEvents();
}

TEST_F(AboutHelpTest, HelpOpensTheManualOrSaysWhyNot) {
    ShowHelp(nullptr);
    const std::string index = std::string(TALLYHAWK_SOURCE_DIR) + "/res/manual/index.html";
    EXPECT_EQ(fake.launcher.Launched(), (std::vector<Launch>{Launch{"xdg-open", index}}));
    EXPECT_TRUE(prompter.told.empty());

    ShowHelp(nullptr, "no-such-page.html");
    ASSERT_EQ(prompter.told.size(), 1u);
    EXPECT_NE(prompter.told[0].find("no-such-page.html"), std::string::npos);
    EXPECT_EQ(fake.launcher.Launched().size(), 1u);

    fake.browser = "firefox";
    fake.launcher.FailFor("firefox");
    fake.launcher.FailFor("xdg-open");
    ShowHelp(nullptr, "index.html");
    EXPECT_EQ(prompter.told.size(), 2u);
}

}  // namespace
}  // namespace tallyhawk::test
