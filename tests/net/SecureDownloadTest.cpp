// Downloads that must come from a verified server: https only, redirects
// included, with the certificate checked against the system's authorities
// or the ones the downloader was told to trust.
#include <gtest/gtest.h>

#include <atomic>

#include "LocalHttpServer.h"
#include "TestCertificate.h"
#include "net/Downloader.h"
#include "net/InternetError.h"

namespace tallyhawk {
namespace {

using testing::CLocalHttpServer;
using testing::CLocalHttpsServer;
using testing::CTestCertificate;

class SecureDownloadTest : public ::testing::Test {
protected:
    SecureDownloadTest()
        : https(CTestCertificate::Shared().CertificateFile().c_str(),
                CTestCertificate::Shared().KeyFile().c_str()) {
        http.Server().Get("/page", [this](const httplib::Request&, httplib::Response& response) {
            ++plainRequests;
            response.set_content("plain", "text/plain");
        });
        http.Start();
        https.Server().Get("/page", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("secret", "text/plain");
        });
        https.Server().Get("/away", [this](const httplib::Request&, httplib::Response& response) {
            response.set_redirect(http.Url("/page"));
        });
        https.Start();
    }
    ~SecureDownloadTest() override {
        https.Stop();
        http.Stop();
    }

    bool Fetch(const std::string& url, const CTransportSecurity& security) {
        downloader.SetSecurity(security);
        sink.Truncate();
        return downloader.Download(url, &sink);
    }

    CLocalHttpServer http;
    CLocalHttpsServer https;
    std::atomic<int> plainRequests{0};
    CDownloader downloader{std::chrono::seconds(10)};
    CMemorySink sink;
    const std::string trusted = CTestCertificate::Shared().CertificateFile();
};

TEST_F(SecureDownloadTest, TrustedCertificateDownloadsAndUnknownOneIsRefused) {
    ASSERT_TRUE(Fetch(https.Url("/page"), {true, trusted}));
    EXPECT_EQ(sink.Data(), "secret");

    // The system's store does not know the test's certificate.
    EXPECT_FALSE(Fetch(https.Url("/page"), {true, ""}));
    EXPECT_EQ(downloader.GetError(), kErrorInvalidCa);
    EXPECT_EQ(sink.Data(), "");
    // Nor does the check go away for downloads that are not restricted.
    EXPECT_FALSE(Fetch(https.Url("/page"), {}));
    EXPECT_EQ(downloader.GetError(), kErrorInvalidCa);
}

TEST_F(SecureDownloadTest, HttpsOnlyRefusesHttpAndRedirectsToIt) {
    EXPECT_FALSE(Fetch(http.Url("/page"), {true, trusted}));
    EXPECT_EQ(downloader.GetError(), kErrorUnrecognizedScheme);
    EXPECT_FALSE(Fetch(https.Url("/away"), {true, trusted}));
    EXPECT_EQ(downloader.GetError(), kErrorRedirectSchemeChange);
    EXPECT_EQ(sink.Data(), "");
    EXPECT_EQ(plainRequests.load(), 0);

    // Without the restriction the same redirect is followed.
    EXPECT_TRUE(Fetch(https.Url("/away"), {false, trusted}));
    EXPECT_EQ(sink.Data(), "plain");
}

}  // namespace
}  // namespace tallyhawk
