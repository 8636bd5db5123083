#include "app/UpgradeRules.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Exception.h"

namespace tallyhawk {
namespace {

// What the list says about the program (the status texts) is tested with
// the wizard, against its server (tests/gui/UpgradeWizardTest.cpp).

TEST(UpgradeRulesTest, VersionsReadAndShowTheSameInEveryLocale) {
    EXPECT_EQ(VersionText(1.1), "1.100");
    EXPECT_EQ(VersionText(0.0), "0.000");
    EXPECT_EQ(VersionText(12.3456), "12.346");
    EXPECT_EQ(ParseVersion("0.1.0"), 0.1);
    EXPECT_EQ(ParseVersion("1.00"), 1.0);
    EXPECT_EQ(ParseVersion(" 2.5beta"), 2.5);
    EXPECT_EQ(ParseVersion("beta"), 0.0);
    EXPECT_EQ(ParseVersion(""), 0.0);
    // The build's own name and version.
    EXPECT_EQ(OwnProductName(), "Tallyhawk");
    EXPECT_EQ(OwnProductVersion(), ParseVersion(TALLYHAWK_VERSION));
    EXPECT_GT(OwnProductVersion(), 0.0);
    EXPECT_EQ(BuiltInUpgradeServer(), TALLYHAWK_UPGRADE_SERVER);
    EXPECT_EQ(ProductListUrl("updates.example.org:8443/th"),
              "https://updates.example.org:8443/th/brindlecote.fin");
}

TEST(UpgradeRulesTest, SetupFileIsNamedAfterTheProductAndTheUrlsExtension) {
    CInventoryItem item;
    item.name = "Tallyhawk";
    item.latestVersion = 1.2;
    item.setupUrl = "https://h/get/tallyhawk_1.2_amd64.deb?mirror=2#top";
    EXPECT_EQ(SetupFileName(item), "Tallyhawk1.200.deb");
    item.setupUrl = "https://h/Setup.EXE";
    EXPECT_EQ(SetupFileName(item), "Tallyhawk1.200.EXE");
    for (const char* bare : {"https://h/download", "https://h/v1.2/", "https://h/.hidden",
                             "https://h/file.t%2Fgz", "not a url"}) {
        item.setupUrl = bare;
        EXPECT_EQ(SetupFileName(item), "Tallyhawk1.200") << bare;
    }
    item.name = "../a/b";
    item.setupUrl = "https://h/x.AppImage";
    EXPECT_EQ(SetupFileName(item), ".._a_b1.200.AppImage");

    EXPECT_EQ(SetupFileFilter("deb"), "Setup Files (*.deb)|*.deb|All Files (*)|*");
    EXPECT_EQ(SetupFileFilter(""), "All Files (*)|*");
}

TEST(UpgradeRulesTest, OnlyHttpsSetupAddressesAreDownloaded) {
    for (const char* secure : {"https://h/s.deb", "HTTPS://h/s.deb"})
        EXPECT_NO_THROW(RequireSecureSetupUrl(secure)) << secure;
    for (const char* insecure : {"http://h/s.deb", "ftp://h/s.deb", "h/s.deb", "", "file:///s"}) {
        try {
            RequireSecureSetupUrl(insecure);
            ADD_FAILURE() << insecure << " was accepted";
        } catch (const CGenericException& error) {
            EXPECT_NE(error.Message().find(std::string("\"") + insecure + "\""),
                      std::string::npos) << error.Message();
            EXPECT_NE(error.Message().find("https://"), std::string::npos);
        }
    }
}

TEST(UpgradeRulesTest, DownloadedFileGoesToTheDesktopsOpenAction) {
    EXPECT_EQ(OpenFileCommand("/home/u/Tallyhawk1.200.deb"),
              (std::vector<std::string>{"xdg-open", "/home/u/Tallyhawk1.200.deb"}));
    const std::vector<std::string> relative = OpenFileCommand("-rf.deb");
    ASSERT_EQ(relative.size(), 2u);
    EXPECT_EQ(relative[1], (std::filesystem::current_path() / "-rf.deb").string());
}

}  // namespace
}  // namespace tallyhawk
