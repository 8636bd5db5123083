#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "net/HttpResponse.h"
#include "net/Session.h"

namespace tallyhawk {
namespace {

TEST(HttpResponseTest, RetryAfterInEveryFormHttpAllows) {
    CSession::StartLibrary();
    const std::int64_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(ParseRetryAfter("120", now), 120);
    EXPECT_EQ(ParseRetryAfter(" 0 ", now), 0);
    EXPECT_EQ(ParseRetryAfter("99999999999999999999999", now),
              std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(ParseRetryAfter("Sun, 06 Nov 1994 08:50:37 GMT", now), 60);
    EXPECT_EQ(ParseRetryAfter("Sunday, 06-Nov-94 08:51:37 GMT", now), 120);
    EXPECT_EQ(ParseRetryAfter("Sun Nov  6 08:52:37 1994", now), 180);
    EXPECT_EQ(ParseRetryAfter("Sun, 06 Nov 1994 08:00:00 GMT", now), 0);  // past: at once
    for (const char* bad : {"", "-5", "1.5", "soon", "12 apples"})
        EXPECT_EQ(ParseRetryAfter(bad, now), -1) << bad;
}

TEST(HttpResponseTest, HeadKeepsTheLastResponseAndStaysBounded) {
    CResponseHead head;
    EXPECT_TRUE(head.Add("HTTP/1.1 301 Moved\r\n"));
    EXPECT_TRUE(head.Add("Content-Type: text/plain\r\n"));
    EXPECT_TRUE(head.Add("HTTP/2 404 \r\n"));  // HTTP/2 sends no reason
    EXPECT_EQ(head.Status(), 404);
    EXPECT_EQ(head.Reason(), "Not Found");
    EXPECT_EQ(head.ContentType(), "");
    EXPECT_TRUE(head.Add("HTTP/1.1 200 " + std::string(500, 'r') + "\r\n"));
    EXPECT_EQ(head.Reason(), std::string(CResponseHead::kMaxReason, 'r'));
    head.ExpectNewResponse();
    EXPECT_EQ(head.Status(), 0);

    bool accepted = true;
    for (std::size_t i = 0; accepted && i <= CResponseHead::kMaxLines; ++i)
        accepted = head.Add("X: y\r\n");
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(head.Add("HTTP/1.1 200 OK\r\n"));  // each response has its own bound
    EXPECT_FALSE(head.Add("X: " + std::string(CResponseHead::kMaxBytes, 'v') + "\r\n"));
    EXPECT_EQ(StandardReasonPhrase(599), "");
}

}  // namespace
}  // namespace tallyhawk
