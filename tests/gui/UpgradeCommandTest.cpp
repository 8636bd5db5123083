// Tools > Upgrade Wizard in the main window: it asks to save first, runs the
// wizard, and ends the program once a setup program has been handed to the
// desktop (and only then).
#include <wx/button.h>
#include <wx/textctrl.h>

#include <atomic>

#include "TestCertificate.h"
#include "app/ServerInventory.h"
#include "dialogs/UpgradeWizardDlg.h"
#include "gui/FrameFixture.h"
#include "gui/ModalProbe.h"

namespace tallyhawk::test {
namespace {

using tallyhawk::testing::CTestCertificate;

class UpgradeCommandTest : public FrameFixture {
protected:
    UpgradeCommandTest()
        : https(CTestCertificate::Shared().CertificateFile().c_str(),
                CTestCertificate::Shared().KeyFile().c_str()) {
        https.Server().Get("/brindlecote.fin", [this](const httplib::Request&, httplib::Response& response) {
            ++listRequests;
            CServerInventory list;
            CInventoryItem item;
            item.name = "Tallyhawk";
            item.latestVersion = 9.0;
            item.setupUrl = https.Url("/tallyhawk_9.0_amd64.deb");
            list.Add(item);
            response.set_content(list.ToBytes(), "application/octet-stream");
        });
        https.Server().Get("/tallyhawk_9.0_amd64.deb", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("package", "application/vnd.debian.binary-package");
        });
        https.Start();
        options.server = https.Authority();
        options.caFile = CTestCertificate::Shared().CertificateFile();
        options.launcher = &fakes.launcher;
        SetUpgradeOptions(&options);
    }
    ~UpgradeCommandTest() override {
        SetUpgradeOptions(nullptr);
        https.Stop();
    }

    // Runs the command; `choose` is what the probe does once the wizard has
    // read the list: press Download or Cancel.
    void RunUpgrade(int choose) {
        bool done = false;
        RunWithProbe([&] { frame->RunCommand(ID_TOOLS_UPGRADE); },
                     [&] {
                         auto* wizard = OpenDialog<CUpgradeWizardDlg>();
                         if (!wizard || wizard->GetFinding().status.empty()) return false;
                         wxWindow* button = wizard->FindWindow(choose);
                         button->CallAfter([button] {
                             wxCommandEvent press(wxEVT_BUTTON, button->GetId());
                             press.SetEventObject(button);
                             button->GetEventHandler()->ProcessEvent(press);
                         });
                         return true;
                     },
                     done);
        EXPECT_TRUE(done) << "the wizard never showed what the list says";
    }

    tallyhawk::testing::CLocalHttpsServer https;
    std::atomic<int> listRequests{0};
    CUpgradeOptions options;
};

TEST_F(UpgradeCommandTest, AsksToSaveFirstAndACanceledWizardLeavesTheProgramRunning) {
    ASSERT_TRUE(MenuEnabled(ID_TOOLS_UPGRADE));
    AddPage("Alpha");
    doc.SetModifiedFlag(true);
    prompter.answers = {PromptAnswer::Cancel};
    frame->RunCommand(ID_TOOLS_UPGRADE);
    EXPECT_EQ(prompter.questions, std::vector<std::string>{"Save changes to Untitled?"});
    EXPECT_EQ(listRequests.load(), 0);  // the wizard did not open

    prompter.answers = {PromptAnswer::No};
    RunUpgrade(wxID_CANCEL);
    EXPECT_EQ(listRequests.load(), 1);
    PumpEvents();
    EXPECT_TRUE(frame->IsShown());
    EXPECT_FALSE(frame->IsExitConfirmed());
    EXPECT_TRUE(fakes.launcher.Launched().empty());
}

TEST_F(UpgradeCommandTest, SetupHandedToTheDesktopEndsTheProgram) {
    const std::string chosen = scratch / "Tallyhawk9.000.deb";
    prompter.paths.push_back(chosen);
    doc.SetModifiedFlag(true);
    prompter.answers = {PromptAnswer::No};
    wxWeakRef<wxFrame> weak(frame);
    RunUpgrade(CUpgradeWizardDlg::ID_DOWNLOAD);
    EXPECT_EQ(fakes.launcher.Launched(),
              (std::vector<std::vector<std::string>>{{"xdg-open", chosen}}));
    // Nothing more is asked: the document's question came before the wizard.
    EXPECT_EQ(prompter.questions.size(), 1u);
    EXPECT_TRUE(PumpUntil([&] { return !weak; }));
    frame = nullptr;
}

}  // namespace
}  // namespace tallyhawk::test
