// The string table: the program's texts under their resource ids, and the
// formatting that fills their conversions.
#include "base/StringTable.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/Exception.h"

namespace tallyhawk {
namespace {

TEST(StringTableTest, TextsStandUnderTheirResourceIds) {
    EXPECT_EQ(LoadString(135), "New");
    EXPECT_EQ(LoadString(136), "Outdated");
    EXPECT_EQ(LoadString(137), "Current");
    EXPECT_EQ(LoadString(138), "Updating");
    EXPECT_EQ(LoadString(139), "Modified");
    EXPECT_EQ(LoadString(59147), "Disabled");
    EXPECT_EQ(LoadString(59148), "Never");
    EXPECT_EQ(LoadString(59145),
              "The page exceeded the predetermined retry count.  This page will be disabled.");
    EXPECT_EQ(LoadString(134),
              "An unknown exception has occured.  Please restart the application and try again.");
    EXPECT_EQ(LoadString(103), "Failed to download file.");
    EXPECT_EQ(LoadString(12002), "The request has timed out.");
    EXPECT_EQ(LoadString(12035), "") << "a gap in the download texts";
    EXPECT_EQ(LoadString(999999), "");
    // The texts that out-of-memory paths take without a lookup are the table's own.
    EXPECT_EQ(kAllocationFailed, FindBuiltInString(IDS_ALLOCATION_FAILED));
    EXPECT_STREQ(kNoErrorMessage, "No error message is available.");
}

TEST(StringTableTest, FormatFillsConversionsInOrderAndNeverReadsAnArgumentAsAFormat) {
    EXPECT_EQ(FormatString(IDS_INTERNET_ERROR, {12035u}), "Internet error 12035");
    EXPECT_EQ(FormatString(IDS_DOWNLOADED, {std::uint64_t{4294967296}}), "Downloaded 4294967296 bytes...");
    EXPECT_EQ(FormatString(IDS_DOCUMENT_IN_USE, {"/a/%s%n.wat"}),
              "The document /a/%s%n.wat is in use by another Tallyhawk program; close it there first.");
    EXPECT_EQ(FormatText("%s and %d, 100%% of %-5lu", {"a", -3, 7}), "a and -3, 100% of 7");
    EXPECT_EQ(FormatText("%s then %s", {"one"}), "one then %s") << "a conversion without argument stays";
    EXPECT_EQ(FormatText("ends in %", {"x"}), "ends in %");
}

}  // namespace
}  // namespace tallyhawk
