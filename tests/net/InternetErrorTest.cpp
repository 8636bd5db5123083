#include "net/InternetError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

#include "base/Exception.h"
#include "base/StringTable.h"

namespace tallyhawk {
namespace {

bool HasOwnText(std::uint32_t code) {
    return InternetErrorText(code) != "Internet error " + std::to_string(code);
}

// The rows a download meets in practice; every other result is covered by the
// range test below.
TEST(InternetErrorTest, CurlResultsADownloadMeets) {
    const struct {
        CURLcode result;
        std::uint32_t code;
    } rows[] = {
        {CURLE_OK, 0},
        {CURLE_COULDNT_RESOLVE_HOST, 12007},
        {CURLE_COULDNT_CONNECT, 12029},
        {CURLE_OPERATION_TIMEDOUT, 12002},
        {CURLE_URL_MALFORMAT, 12005},
        {CURLE_UNSUPPORTED_PROTOCOL, 12006},
        {CURLE_ABORTED_BY_CALLBACK, 12017},
        {CURLE_WRITE_ERROR, 12017},
        {CURLE_PARTIAL_FILE, 12030},
        {CURLE_SEND_ERROR, 12030},
        {CURLE_RECV_ERROR, 12031},
        {CURLE_WEIRD_SERVER_REPLY, 12152},
        {CURLE_GOT_NOTHING, 12152},
        {CURLE_TOO_MANY_REDIRECTS, 12156},
        {CURLE_SSL_CONNECT_ERROR, 12157},
        {CURLE_SSL_CACERT_BADFILE, 12157},
        {CURLE_SSL_CLIENTCERT, 12044},
        {CURLE_COULDNT_RESOLVE_PROXY, 12165},
        {CURLE_LOGIN_DENIED, 12015},
        {CURLE_REMOTE_FILE_NOT_FOUND, 12028},
        {CURLE_FAILED_INIT, 12172},
        {CURLE_AGAIN, 12029},  // no better match
    };
    for (const auto& row : rows)
        EXPECT_EQ(InternetErrorFromCurl(row.result), row.code) << "CURLcode " << row.result;
}

TEST(InternetErrorTest, CertificateFailuresByVerificationResult) {
    EXPECT_EQ(InternetErrorFromCurl(CURLE_PEER_FAILED_VERIFICATION, 0), 12038);   // host name
    EXPECT_EQ(InternetErrorFromCurl(CURLE_PEER_FAILED_VERIFICATION, 62), 12038);
    EXPECT_EQ(InternetErrorFromCurl(CURLE_PEER_FAILED_VERIFICATION, 10), 12037);  // expired
    EXPECT_EQ(InternetErrorFromCurl(CURLE_PEER_FAILED_VERIFICATION, 9), 12037);
    EXPECT_EQ(InternetErrorFromCurl(CURLE_PEER_FAILED_VERIFICATION, 18), 12045);  // self-signed
    EXPECT_EQ(InternetErrorFromCurl(CURLE_PEER_FAILED_VERIFICATION, 20), 12045);
    EXPECT_EQ(InternetErrorFromCurl(CURLE_PEER_FAILED_VERIFICATION, 23), 12170);  // revoked
    EXPECT_EQ(InternetErrorFromCurl(CURLE_PEER_FAILED_VERIFICATION, 7), 12169);
}

TEST(InternetErrorTest, EveryCurlResultBecomesACodeWithItsOwnText) {
    for (int result = 1; result < CURL_LAST; ++result) {
        std::uint32_t code = InternetErrorFromCurl(static_cast<CURLcode>(result));
        EXPECT_GE(code, kInternetErrorFirst) << result;
        EXPECT_LE(code, kInternetErrorLast) << result;
        EXPECT_TRUE(HasOwnText(code)) << result << " -> " << code;
    }
}

TEST(InternetErrorTest, TextTableCoversExactlyTheListedCodes) {
    std::set<std::uint32_t> listed;
    auto add = [&](std::uint32_t first, std::uint32_t last) {
        for (std::uint32_t code = first; code <= last; ++code) listed.insert(code);
    };
    add(12001, 12034);
    add(12036, 12050);
    add(12052, 12055);
    add(12110, 12112);
    add(12130, 12138);
    add(12150, 12172);
    ASSERT_EQ(listed.size(), 88u);
    std::set<std::string> texts;
    for (std::uint32_t code = kInternetErrorFirst; code <= kInternetErrorLast; ++code) {
        EXPECT_EQ(HasOwnText(code), listed.count(code) == 1) << code;
        if (HasOwnText(code)) texts.insert(InternetErrorText(code));
    }
    EXPECT_EQ(texts.size(), 88u);  // one sentence each, no copies
    EXPECT_EQ(InternetErrorText(12035), "Internet error 12035");
    EXPECT_EQ(InternetErrorText(12173), "Internet error 12173");
    EXPECT_EQ(InternetErrorText(12174), "Internet error 12174");
    EXPECT_EQ(LoadString(IDS_FAILED_TO_DOWNLOAD), "Failed to download file.");
}

TEST(InternetErrorTest, QuotedTextsStandAsWritten) {
    EXPECT_EQ(InternetErrorText(12002), "The request has timed out.");
    EXPECT_EQ(InternetErrorText(12005), "The URL is invalid.");
    EXPECT_EQ(InternetErrorText(12006),
              "The URL scheme could not be recognized, or is not supported.");
    EXPECT_EQ(InternetErrorText(12007), "The server name could not be resolved.");
    EXPECT_EQ(InternetErrorText(12017),
              "The operation was canceled, usually because the handle on which the request was "
              "operating was closed before the operation completed.");
    EXPECT_EQ(InternetErrorText(12029), "The attempt to connect to the server failed.");
    EXPECT_EQ(InternetErrorText(12030), "The connection with the server has been terminated.");
    EXPECT_EQ(InternetErrorText(12031), "The connection with the server has been reset.");
    EXPECT_EQ(InternetErrorText(12152), "The server response could not be parsed.");
    EXPECT_EQ(InternetErrorText(12163), "The Internet connection has been lost.");
    EXPECT_EQ(InternetErrorText(12164), "The Web site or server indicated is unreachable.");
    EXPECT_EQ(InternetErrorText(12172),
              "Initialization of the Win32 Internet API has not occurred. Indicates that a "
              "higher-level function, such as InternetOpen, has not been called yet.");
}

TEST(InternetErrorTest, CodeBecomesTheProgramsException) {
    auto messageOf = [](std::uint32_t code, std::string* className) {
        try {
            ThrowDownloadError(code);
        } catch (const CException& e) {
            char buffer[1024];
            e.GetErrorMessage(buffer, sizeof buffer);
            *className = e.ClassName();
            return std::string(buffer);
        }
        return std::string("nothing thrown");
    };
    std::string kind;
    EXPECT_EQ(messageOf(12029, &kind), "The attempt to connect to the server failed.");
    EXPECT_EQ(kind, "CGenericException");
    EXPECT_EQ(messageOf(12035, &kind), "Internet error 12035");
    EXPECT_EQ(kind, "CGenericException");
    EXPECT_EQ(messageOf(12174, &kind), "Internet error 12174");
    EXPECT_EQ(messageOf(ENOENT, &kind), "No such file or directory");
    EXPECT_EQ(kind, "COsException");
    EXPECT_EQ(messageOf(12000, &kind), "Operating System Error 12000");
    EXPECT_EQ(messageOf(12175, &kind), "Operating System Error 12175");
    EXPECT_EQ(kind, "COsException");
}

}  // namespace
}  // namespace tallyhawk
