#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "base/Exception.h"
#include "base/StringTable.h"

namespace tallyhawk {
namespace {

std::string lastBoxText;
int RecordingBox(const std::string& text, unsigned) {
    lastBoxText = text;
    return 7;
}

TEST(ExceptionTest, GetErrorMessageCutsToBufferSize) {
    CGenericException e;
    char buffer[16];
    unsigned help = 99;
    EXPECT_TRUE(e.GetErrorMessage(buffer, 8, &help));
    EXPECT_STREQ(buffer, "No erro");
    EXPECT_EQ(help, 0u);
    buffer[0] = 'x';
    e.GetErrorMessage(buffer, 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(CGenericException(static_cast<const char*>(nullptr)).Message(), kNoErrorMessage);
}

TEST(ExceptionTest, CaughtAsBaseByConstReference) {
    try {
        throw COsException(ENOENT);
    } catch (const CException& e) {
        char buffer[1024];
        e.GetErrorMessage(buffer, sizeof buffer);
        EXPECT_STREQ(buffer, "No such file or directory");
        EXPECT_STREQ(e.ClassName(), "COsException");
    }
}

TEST(ExceptionTest, OsExceptionWithoutSystemTextNamesTheCode) {
    COsException unknown(123456u);
    EXPECT_EQ(unknown.Message(), "Operating System Error 123456");
    EXPECT_EQ(unknown.Code(), 123456u);
    EXPECT_EQ(COsException(5000u).Message(), "Operating System Error 5000");
    errno = EACCES;
    COsException fromErrno;
    EXPECT_EQ(fromErrno.Code(), unsigned(EACCES));
    EXPECT_EQ(fromErrno.Message(), "Permission denied");
}

TEST(ExceptionTest, ReportErrorFallsBackForEmptyMessage) {
    SetMessageBoxHandler(&RecordingBox);
    CGenericException empty{std::string()};
    EXPECT_EQ(empty.ReportError(0, 0), 7);
    EXPECT_EQ(lastBoxText, kNoErrorMessage);

    RegisterStrings({{61001, "Resource text"}});
    CGenericException emptyAgain{std::string()};
    emptyAgain.ReportError(0, 61001);
    EXPECT_EQ(lastBoxText, "Resource text");
    EXPECT_EQ(CGenericException::FromResource(61001).Message(), "Resource text");
    EXPECT_EQ(CGenericException::FromResource(61002).Message(), "");
    SetMessageBoxHandler(nullptr);
}

TEST(ExceptionTest, XpExceptionKeepsFirst256Bytes) {
    std::string longText(300, 'x');
    longText[255] = 'y';
    CXpException e(longText.c_str());
    EXPECT_EQ(std::string(e.GetMessage()), longText.substr(0, 256));
    EXPECT_STREQ(CXpException(kAllocationFailed).GetMessage(), "A memory allocation has failed.");
    EXPECT_STREQ(CXpException(nullptr).GetMessage(), "");
}

}  // namespace
}  // namespace tallyhawk
