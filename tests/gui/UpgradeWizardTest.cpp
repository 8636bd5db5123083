// The Upgrade Wizard against a real HTTPS server on 127.0.0.1 whose
// certificate only this test trusts: what the product list says, the setup
// program's download and hand-over, and the failures on the way.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

#include "LocalHttpServer.h"
#include "TestCertificate.h"
#include "app/ServerInventory.h"
#include "dialogs/FileDownloadDlg.h"
#include "dialogs/UpgradeWizardDlg.h"
#include "engine/EngineTestUtil.h"
#include "gui/FakePrompter.h"
#include "gui/GuiTestMain.h"
#include "gui/ModalProbe.h"

namespace tallyhawk::test {
namespace {

using namespace std::chrono_literals;
using tallyhawk::testing::CTestCertificate;

const std::string kSetupBody(50000, 'S');

CInventoryItem Product(const std::string& name, double latest, double freeFrom,
                       const std::string& setupUrl = "") {
    CInventoryItem item;
    item.name = name;
    item.latestVersion = latest;
    item.freeUpgradeVersion = freeFrom;
    item.setupUrl = setupUrl;
    item.description = "Checks pages twice as fast.\nReads bookmarks from more browsers.";
    return item;
}

class UpgradeWizardTest : public ::testing::Test {
protected:
    // "/brindlecote.fin" serves `list`; "/get/tallyhawk_1.2_amd64.deb" the
    // setup program; "/get/slow.deb" 8000 of 50000 bytes, then waits to be
    // released.
    UpgradeWizardTest()
        : https(CTestCertificate::Shared().CertificateFile().c_str(),
                CTestCertificate::Shared().KeyFile().c_str()) {
        SetPrompter(&prompter);
        auto& server = https.Server();
        server.Get("/brindlecote.fin", [this](const httplib::Request&, httplib::Response& response) {
            ++listRequests;
            std::lock_guard guard(listLock);
            response.status = listStatus;
            response.set_content(list, "application/octet-stream");
        });
        server.Get("/get/tallyhawk_1.2_amd64.deb",
                   [](const httplib::Request&, httplib::Response& response) {
                       response.set_content(kSetupBody, "application/vnd.debian.binary-package");
                   });
        server.Get("/get/missing.deb", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content("<html>Not here</html>", "text/html");
        });
        server.Get("/get/slow.deb", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                kSetupBody.size(), "application/octet-stream",
                [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset > 0) WaitForRelease();
                    const std::size_t length = offset > 0 ? kSetupBody.size() - offset : 8000;
                    return sink.write(kSetupBody.data() + offset, length);
                });
        });
        https.Start();
        plain.Server().Get("/get/setup.deb", [this](const httplib::Request&, httplib::Response&) {
            ++plainRequests;
        });
        plain.Start();
        options.server = https.Authority();
        options.caFile = CTestCertificate::Shared().CertificateFile();
        options.productName = "Tallyhawk";
        options.productVersion = 1.0;
        options.launcher = &launcher;
    }
    ~UpgradeWizardTest() override {
        released = true;
        https.Stop();
        plain.Stop();
        SetPrompter(nullptr);
    }
    void WaitForRelease() {
        for (int i = 0; i < 2000 && !released.load(); ++i) std::this_thread::sleep_for(5ms);
    }

    // Serves a list of `items`, each written as it is: two of one name both
    // reach the wizard.
    void Serve(const std::vector<CInventoryItem>& items) {
        std::string bytes("\x01\x00", 2);
        const auto count = static_cast<std::uint32_t>(items.size());
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(count >> shift));
        for (const CInventoryItem& item : items) {
            CServerInventory one;
            one.Add(item);
            bytes += one.ToBytes().substr(6);
        }
        std::lock_guard guard(listLock);
        list = bytes;
    }
    // Cuts `bytes` from the end of the list served.
    void Damage(std::size_t bytes) {
        std::lock_guard guard(listLock);
        list.resize(list.size() - bytes);
    }

    // Runs the wizard; `probe` as in RunModal.
    int Run(const std::function<bool()>& probe) {
        wizard = std::make_unique<CUpgradeWizardDlg>(nullptr, options);
        bool done = false;
        const int result = RunModal(*wizard, probe, done);
        EXPECT_TRUE(done) << "the probe never saw what it waited for";
        return result;
    }
    std::string Status() const { return Edit(CUpgradeWizardDlg::ID_STATUS); }
    std::string Edit(int id) const {
        return static_cast<wxTextCtrl*>(wizard->FindWindow(id))->GetValue().utf8_string();
    }
    wxButton* Download() const {
        return static_cast<wxButton*>(wizard->FindWindow(CUpgradeWizardDlg::ID_DOWNLOAD));
    }
    // Presses a button after the probe has returned: a press may open a
    // nested dialog, whose loop the probe must be free to look into.
    static void PressLater(wxWindow* button) {
        button->CallAfter([button] {
            wxCommandEvent press(wxEVT_BUTTON, button->GetId());
            press.SetEventObject(button);
            button->GetEventHandler()->ProcessEvent(press);
        });
    }
    void CancelLater() const { PressLater(wizard->FindWindow(wxID_CANCEL)); }
    // Runs the wizard, presses Download once the product is listed, and
    // cancels once `errors` messages were shown; the wizard's result.
    int RunDownloadUntilErrors(std::size_t errors) {
        bool pressed = false;
        return Run([&] {
            if (Status().empty()) return false;
            if (!pressed) {
                PressLater(Download());
                pressed = true;
                return false;
            }
            if (prompter.errors.size() < errors) return false;
            EXPECT_TRUE(wizard->IsModal());  // the wizard stays open
            CancelLater();
            return true;
        });
    }

    CFakePrompter prompter;
    tallyhawk::testing::CRecordingLauncher launcher;
    tallyhawk::testing::CScratchFolder scratch;
    tallyhawk::testing::CLocalHttpsServer https;
    tallyhawk::testing::CLocalHttpServer plain;
    std::mutex listLock;
    std::string list;  // guarded by listLock
    int listStatus = 200;  // guarded by listLock
    std::atomic<int> listRequests{0};
    std::atomic<int> plainRequests{0};
    std::atomic<bool> released{false};
    CUpgradeOptions options;
    std::unique_ptr<CUpgradeWizardDlg> wizard;
};

TEST_F(UpgradeWizardTest, NewerVersionIsDownloadedAndHandedToTheDesktop) {
    Serve({Product("Tallyhawk", 1.2, 1.0, https.Url("/get/tallyhawk_1.2_amd64.deb"))});
    const std::string chosen = scratch / "Tallyhawk1.200.deb";
    prompter.paths.push_back(chosen);
    std::vector<std::string> captions;
    bool pressed = false;
    EXPECT_EQ(Run([&] {
                  if (auto* download = OpenDialog<CFileDownloadDlg>()) {
                      const std::string title = download->GetTitle().utf8_string();
                      if (captions.empty() || captions.back() != title) captions.push_back(title);
                  }
                  if (pressed) return captions.size() == 2;  // saw the setup's download
                  if (Status().empty()) return false;
                  EXPECT_EQ(Status(), "A newer version (1.200) of Tallyhawk is available for free.");
                  EXPECT_EQ(Edit(CUpgradeWizardDlg::ID_DESCRIPTION),
                            "Checks pages twice as fast.\nReads bookmarks from more browsers.");
                  EXPECT_TRUE(Download()->IsEnabled());
                  Screenshot(wizard.get(), "upgrade-wizard");
                  PressLater(Download());
                  pressed = true;
                  return false;
              }),
              wxID_OK);
    EXPECT_EQ(captions, (std::vector<std::string>{"Downloading Product Information", "File Download"}));
    EXPECT_EQ(prompter.defaultNames, std::vector<std::string>{"Tallyhawk1.200.deb"});
    EXPECT_EQ(prompter.filters, std::vector<std::string>{"Setup Files (*.deb)|*.deb|All Files (*)|*"});
    std::ifstream in(chosen, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kSetupBody);
    EXPECT_EQ(launcher.Launched(), (std::vector<std::vector<std::string>>{{"xdg-open", chosen}}));
    EXPECT_TRUE(prompter.errors.empty());
}

TEST_F(UpgradeWizardTest, StatusSaysWhatTheListSaysAboutThisProgram) {
    struct Case {
        std::vector<CInventoryItem> items;
        double version;
        const char* status;
        bool offered;
    };
    const Case cases[] = {
        {{Product("  tallyHAWK \t", 1.2, 1.0)}, 1.0,
         "A newer version (1.200) of   tallyHAWK \t is available for free.", true},
        {{Product("Tallyhawk", 1.2, 1.0)}, 0.9, "A newer version (1.200) of Tallyhawk is available.",
         true},
        {{Product("Tallyhawk", 1.0, 0.5)}, 1.0, "You have the most current version of Tallyhawk.",
         false},
        {{Product("Tallyhawk", 2.0, 0.0), Product("TALLYHAWK", 1.0, 0.0)}, 1.0,
         "You have the most current version of TALLYHAWK.", false},
        {{Product("Other", 9.0, 0.0)}, 1.0,
         "This application could not be found in the wizard's list.", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.status);
        Serve(test.items);
        options.productVersion = test.version;
        EXPECT_EQ(Run([&] {
                      if (Status().empty()) return false;
                      CancelLater();
                      return true;
                  }),
                  wxID_CANCEL);
        EXPECT_EQ(Status(), test.status);
        EXPECT_EQ(Download()->IsEnabled(), test.offered);
        EXPECT_EQ(Edit(CUpgradeWizardDlg::ID_DESCRIPTION).empty(), !test.offered);
    }
    EXPECT_TRUE(prompter.errors.empty());
}

TEST_F(UpgradeWizardTest, DamagedListOrUntrustedServerIsReportedAndNothingOffered) {
    Serve({Product("Tallyhawk", 1.2, 1.0)});
    Damage(3);
    EXPECT_EQ(Run([&] {
                  if (prompter.errors.empty()) return false;
                  CancelLater();
                  return true;
              }),
              wxID_CANCEL);
    ASSERT_EQ(prompter.errors.size(), 1u);
    EXPECT_EQ(prompter.errors[0],
              "The product list could not be read. The stored data ended unexpectedly; the file "
              "is truncated or damaged.");
    EXPECT_EQ(Status(), "");
    EXPECT_FALSE(Download()->IsEnabled());

    // Only the test trusts the server's certificate; the system does not.
    options.caFile.clear();
    Serve({Product("Tallyhawk", 1.2, 1.0)});
    EXPECT_EQ(Run([&] {
                  if (prompter.errors.size() < 2) return false;
                  CancelLater();
                  return true;
              }),
              wxID_CANCEL);
    EXPECT_EQ(prompter.errors.back(),
              "The server's certificate was issued by an authority that is not trusted.");
    EXPECT_EQ(listRequests.load(), 1);  // the refused connection never asked for the list
    EXPECT_EQ(Status(), "");
}

TEST_F(UpgradeWizardTest, ServersErrorPageIsNeitherReadAsTheListNorSavedAsTheSetup) {
    Serve({Product("Tallyhawk", 1.2, 1.0)});
    {
        std::lock_guard guard(listLock);
        listStatus = 500;  // with a list that would read well
    }
    EXPECT_EQ(Run([&] {
                  if (prompter.errors.empty()) return false;
                  CancelLater();
                  return true;
              }),
              wxID_CANCEL);
    EXPECT_EQ(prompter.errors,
              std::vector<std::string>{"The server answered 500 Internal Server Error."});
    EXPECT_EQ(Status(), "");
    EXPECT_FALSE(Download()->IsEnabled());

    {
        std::lock_guard guard(listLock);
        listStatus = 200;
    }
    Serve({Product("Tallyhawk", 1.2, 1.0, https.Url("/get/missing.deb"))});
    const std::string chosen = scratch / "missing.deb";
    prompter.paths.push_back(chosen);
    EXPECT_EQ(RunDownloadUntilErrors(2), wxID_CANCEL);
    EXPECT_EQ(prompter.errors.back(), "The server answered 404 Not Found.");
    EXPECT_FALSE(std::filesystem::exists(chosen));
    EXPECT_TRUE(launcher.Launched().empty());
}

TEST_F(UpgradeWizardTest, HttpSetupAddressIsRefusedBeforeAnythingIsAsked) {
    Serve({Product("Tallyhawk", 1.2, 1.0, plain.Url("/get/setup.deb"))});
    EXPECT_EQ(RunDownloadUntilErrors(1), wxID_CANCEL);
    ASSERT_EQ(prompter.errors.size(), 1u);
    EXPECT_NE(prompter.errors[0].find("\"" + plain.Url("/get/setup.deb") +
                                      "\" is not a secure https:// address"),
              std::string::npos)
        << prompter.errors[0];
    EXPECT_TRUE(prompter.defaultNames.empty());
    EXPECT_EQ(plainRequests.load(), 0);
    EXPECT_TRUE(launcher.Launched().empty());
}

TEST_F(UpgradeWizardTest, CanceledSetupDownloadRemovesThePartialFile) {
    Serve({Product("Tallyhawk", 1.2, 1.0, https.Url("/get/slow.deb"))});
    const std::string chosen = scratch / "partial.deb";
    prompter.paths.push_back(chosen);
    bool pressed = false, sawPart = false;
    EXPECT_EQ(Run([&] {
                  if (!pressed) {
                      if (Status().empty()) return false;
                      PressLater(Download());
                      pressed = true;
                      return false;
                  }
                  auto* download = OpenDialog<CFileDownloadDlg>();
                  if (!sawPart) {
                      auto* status = download ? download->FindWindow(CFileDownloadDlg::ID_STATUS)
                                              : nullptr;
                      if (!status || status->GetLabel() != "Downloaded 7 KB") return false;
                      sawPart = std::filesystem::file_size(chosen) == 8000;
                      EXPECT_TRUE(sawPart);
                      PressLater(download->FindWindow(wxID_CANCEL));
                      return false;
                  }
                  if (download) return false;
                  CancelLater();
                  return true;
              }),
              wxID_CANCEL);
    EXPECT_TRUE(sawPart);
    EXPECT_FALSE(std::filesystem::exists(chosen));
    EXPECT_TRUE(prompter.errors.empty());
    EXPECT_TRUE(launcher.Launched().empty());
}

TEST_F(UpgradeWizardTest, SetupThatCannotBeOpenedIsReportedAndTheWizardStays) {
    Serve({Product("Tallyhawk", 1.2, 1.0, https.Url("/get/tallyhawk_1.2_amd64.deb"))});
    launcher.FailFor("xdg-open");
    prompter.paths.push_back(scratch / "setup.deb");
    EXPECT_EQ(RunDownloadUntilErrors(1), wxID_CANCEL);
    EXPECT_EQ(prompter.errors, std::vector<std::string>{"Failed to launch setup program."});
    // The file arrived whole: it stays for the user to open.
    EXPECT_EQ(std::filesystem::file_size(scratch / "setup.deb"), kSetupBody.size());
}

}  // namespace
}  // namespace tallyhawk::test
