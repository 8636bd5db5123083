// The desktop program's rules that need no window: the command table and its
// filter, the row texts and column widths, the tray menu, the command line,
// the recent files, the hand-over bytes and the clipboard record.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "base/Archive.h"
#include "base/StringTable.h"
#include "engine/WatchSite.h"
#include "engine/EngineTestUtil.h"
#include "platform/PlatformTestUtil.h"
#include "ui/CommandIds.h"
#include "ui/CommandLine.h"
#include "ui/CommandTable.h"
#include "ui/PageClipboard.h"
#include "ui/PageRows.h"
#include "ui/SingleInstance.h"
#include "ui/TrayMenu.h"

namespace tallyhawk {
namespace {

class UiLogicTest : public ::testing::Test {};

TEST_F(UiLogicTest, WatchingFilterAllowsExactlyTheWatchingSet) {
    CCommandFilter filter;
    const std::set<int> allowed = {ID_APP_EXIT,       ID_APP_ABOUT,       ID_HELP_CONTENTS,
                                   ID_WATCH_STOP,     ID_WATCH_START,     ID_PAGE_BROWSE,
                                   ID_VIEW_ERRORS,    ID_PAGE_VIEW_CHANGES, ID_VIEW_TRAY_MINIMIZE,
                                   ID_TOOLS_OPTIONS,  ID_LOG_SAVE,        ID_LOG_CLEAR,
                                   ID_PAGE_HISTORY};
    for (const CCommandInfo& command : Commands()) {
        EXPECT_TRUE(filter.IsAllowed(command.id, false)) << command.id;
        EXPECT_EQ(filter.IsAllowed(command.id, true), allowed.count(command.id) == 1) << command.id;
    }
    // Ids outside the table (the recent files) are not routed while watching.
    EXPECT_FALSE(filter.IsAllowed(ID_FILE_MRU_FILE1, true));
    EXPECT_TRUE(filter.IsAllowed(ID_FILE_MRU_FILE1, false));
}

TEST_F(UiLogicTest, EveryMenuAndToolbarIdIsACommandWithItsPrompt) {
    std::set<int> seen;
    for (const CCommandInfo& command : Commands())
        EXPECT_TRUE(seen.insert(command.id).second) << "twice: " << command.id;
    for (const CMenuLayout& popup : MenuLayout()) {
        for (int id : popup.items) {
            if (id != 0 && id != ID_FILE_MRU_FILE1) {
                ASSERT_NE(FindCommand(id), nullptr) << id;
                EXPECT_NE(FindCommand(id)->menuText, nullptr) << id;
            }
        }
    }
    for (int id : ToolbarLayout()) {
        if (id == 0) continue;
        ASSERT_NE(FindCommand(id), nullptr) << id;
        EXPECT_NE(FindCommand(id)->image, ToolbarImage::None) << id;
        EXPECT_FALSE(CommandTooltip(id).empty()) << id;
    }
    EXPECT_EQ(CommandPrompt(ID_PAGE_UPDATE), "Check the selected page for changes");
    EXPECT_EQ(CommandTooltip(ID_PAGE_UPDATE), "Update");
    EXPECT_EQ(CommandPrompt(ID_HELP_CONTENTS), "Dispalys online documentation");
    EXPECT_EQ(MenuLayout()[2].title, std::string("&Page"));
}

TEST_F(UiLogicTest, ToolkitIdsRoundTripBelowTheToolkitLimit) {
    for (const CCommandInfo& command : Commands()) {
        EXPECT_GT(ToolkitId(command.id), 0);
        EXPECT_LT(ToolkitId(command.id), 0x7FFF);
        EXPECT_EQ(CommandId(ToolkitId(command.id)), command.id);
    }
}

TEST_F(UiLogicTest, ColumnWidthsGiveTheRestToTheLastColumn) {
    EXPECT_EQ(ColumnWidths(1000), (std::array<int, 4>{200, 400, 200, 200}));
    EXPECT_EQ(ColumnWidths(999), (std::array<int, 4>{199, 399, 199, 202}));
    EXPECT_EQ(ColumnWidths(0), (std::array<int, 4>{0, 0, 0, 0}));
}

TEST_F(UiLogicTest, RowTextsComeFromTheStringTable) {
    testing::CFakeServices fakes;
    CWatchSite page(&fakes.services);
    page.SetName("News");
    page.SetUrl("http://127.0.0.1/news");
    EXPECT_EQ(RowText(page, 0), "News");
    EXPECT_EQ(RowText(page, 1), "http://127.0.0.1/news");
    EXPECT_EQ(RowText(page, 2), "New");
    EXPECT_EQ(RowText(page, 3), "Never");
    page.Enable(false);
    EXPECT_EQ(RowText(page, 2), "Disabled");
    const char* expected[] = {"New", "Outdated", "Current", "Modified", "Updating", "Disabled"};
    for (int status = 0; status < 6; ++status) EXPECT_EQ(StatusText(status), expected[status]);
    EXPECT_EQ(StatusText(6), "");
    // "%c" in the C locale of the test.
    testing::CScopedTimeZone utc("UTC0");
    EXPECT_EQ(LastUpdatedText(953733900), "Wed Mar 22 14:05:00 2000");
}

TEST_F(UiLogicTest, TrayMenuFollowsModifiedPagesAndErrors) {
    std::vector<CTrayMenuItem> items = TrayMenuItems({}, false);
    std::vector<int> ids;
    for (const auto& item : items) ids.push_back(item.id);
    EXPECT_EQ(ids, (std::vector<int>{ID_TRAY_RESTORE, ID_TRAY_MINIMIZE, 0, ID_WATCH_START,
                                     ID_WATCH_STOP, 0, ID_APP_EXIT}));
    EXPECT_EQ(items[0].text, "&Restore");
    EXPECT_EQ(items[3].text, "&Start Monitoring");
    EXPECT_EQ(items[4].text, "Stop &Monitoring");
    EXPECT_EQ(items[6].text, "&Exit");

    items = TrayMenuItems({{0, "First"}, {5, "Sixth"}}, true);
    ASSERT_GE(items.size(), 5u);
    EXPECT_EQ(items[0].id, 65436);
    EXPECT_EQ(items[0].text, "First");
    EXPECT_EQ(items[1].id, 65431);
    EXPECT_EQ(items[1].page, 5);
    EXPECT_EQ(items[2].id, 0);
    EXPECT_EQ(items[3].id, ID_VIEW_ERRORS);
    EXPECT_EQ(items[3].text, "&View Errors");
    EXPECT_EQ(items[4].id, 0);
    EXPECT_EQ(items[5].id, ID_TRAY_RESTORE);
}

TEST_F(UiLogicTest, TrayPageIdsNeverReachTheMenusOtherIds) {
    EXPECT_EQ(TrayPageItemId(0), 65436);
    EXPECT_EQ(TrayPageItemId(kLastNumberedTrayPage), ID_TRAY_RESTORE + 1);
    // Index 3708 would be 61728, the Restore item itself.
    EXPECT_EQ(TrayPageItemId(kLastNumberedTrayPage + 1), std::nullopt);
    EXPECT_EQ(TrayPageItemId(-1), std::nullopt);
    const auto items = TrayMenuItems({{9000, "Far"}}, false);
    EXPECT_EQ(items[0].id, -1);
    EXPECT_EQ(items[0].page, 9000);
}

TEST_F(UiLogicTest, ErrorsMessageJoinsNamesInOnePairOfBrackets) {
    EXPECT_EQ(ErrorsMessage({"One", "Two"}),
              "The folloing page(s) have exceeded their predetermined retry count and have been "
              "disabled.\n[One Two]");
}

TEST_F(UiLogicTest, RunIsAnArgumentOfItsOwnInAnyCase) {
    EXPECT_TRUE(ParseCommandLine({"RUN"}).run);
    EXPECT_TRUE(ParseCommandLine({"--Run"}).run);
    const CCommandLine line = ParseCommandLine({"/home/bruno/runs.wat"});
    EXPECT_FALSE(line.run);
    EXPECT_EQ(line.file, "/home/bruno/runs.wat");
    const CCommandLine both = ParseCommandLine({"run", "a.wat", "b.wat"});
    EXPECT_TRUE(both.run);
    EXPECT_EQ(both.file, "a.wat");
    EXPECT_FALSE(ParseCommandLine({"--runner"}).run);
    EXPECT_FALSE(ParseCommandLine({}).file);
}

TEST_F(UiLogicTest, OptionsAreTakenAsWrittenAndTheUsageNamesEach) {
    const CCommandLine line = ParseCommandLine({"--minimized", "a.wat", "--version"});
    EXPECT_TRUE(line.minimized);
    EXPECT_TRUE(line.version);
    EXPECT_FALSE(line.help);
    EXPECT_EQ(line.file, "a.wat");
    EXPECT_TRUE(ParseCommandLine({"-h"}).help);
    EXPECT_FALSE(ParseCommandLine({"--MINIMIZED"}).minimized);
    // An option the toolkit takes is neither the document nor ours.
    EXPECT_FALSE(ParseCommandLine({"--display=:1"}).file);
    for (const char* option : {"FILE", "run", "--run", "--minimized", "--help", "-h", "--version"})
        EXPECT_NE(UsageText().find(option), std::string::npos) << option;
    EXPECT_EQ(VersionText().rfind("tallyhawk ", 0), 0u);
}

TEST_F(UiLogicTest, RecentFilesKeepFourNewestFirstAndRoundTrip) {
    CRecentFiles recent;
    for (const char* path : {"a", "b", "c", "d", "e", "c"}) recent.Add(path);
    EXPECT_EQ(recent.Items(), (std::vector<std::string>{"c", "e", "d", "b"}));
    CRecentFiles loaded;
    loaded.FromBytes(recent.ToBytes());
    EXPECT_EQ(loaded.Items(), recent.Items());
    loaded.FromBytes(std::string("x\0\0y\0z\0w\0v\0u", 12));
    EXPECT_EQ(loaded.Items(), (std::vector<std::string>{"x", "y", "z", "w"}));
}

TEST_F(UiLogicTest, HandOverBytesRoundTripAndRejectOthers) {
    CCommandLine line;
    ASSERT_TRUE(CSingleInstance::Decode(CSingleInstance::Encode({"/tmp/a b.wat", true}), line));
    EXPECT_TRUE(line.run);
    EXPECT_EQ(line.file, "/tmp/a b.wat");
    ASSERT_TRUE(CSingleInstance::Decode("norun\n", line));
    EXPECT_FALSE(line.run);
    EXPECT_FALSE(line.file);
    EXPECT_FALSE(CSingleInstance::Decode("run", line));
    EXPECT_FALSE(CSingleInstance::Decode("walk\n/x", line));
    EXPECT_FALSE(CSingleInstance::Decode(std::string("run\n/x\0y", 8), line));
}

TEST_F(UiLogicTest, WithoutARuntimeFolderTheSocketGoesOnlyToAPrivateFolder) {
    testing::CScratchFolder scratch;
    testing::CScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    testing::CScopedEnv tmp("TMPDIR", scratch.path.c_str());
    const std::string folder = scratch / ("tallyhawk-" + std::to_string(geteuid()));
    {
        CSingleInstance instance("test");
        EXPECT_EQ(instance.SocketPath(), folder + "/tallyhawk-test.socket");
        struct stat st {};
        ASSERT_EQ(lstat(folder.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // A link planted at the folder's name is refused, not followed.
    std::filesystem::remove_all(folder);
    ASSERT_EQ(::mkdir((scratch / "elsewhere").c_str(), 0777), 0);
    ASSERT_EQ(::symlink((scratch / "elsewhere").c_str(), folder.c_str()), 0);
    EXPECT_THROW(CSingleInstance("test"), CException);
    EXPECT_TRUE(std::filesystem::is_empty(scratch / "elsewhere"));
}

TEST_F(UiLogicTest, ClipboardRecordIsThePageRecordAndDamageIsRefused) {
    testing::CFakeServices fakes;
    CWatchSite page(&fakes.services);
    page.SetName("News");
    page.SetUrl("http://127.0.0.1/news");
    page.SetLatestContent("latest");
    page.SetValidators("\"v\"", "Mon, 01 Jan 2024 00:00:00 GMT");
    page.SetLastUpdated(1234);
    page.SetStatus(Modified);
    const std::string bytes = PageRecord(page);
    std::string expected;
    {
        CArchive archive(expected);
        page.Serialize(archive);
        archive.Flush();
    }
    EXPECT_EQ(bytes, expected);
    // A longer block reads one record from its start.
    auto copy = PageFromRecord(bytes + "trailing bytes");
    EXPECT_EQ(copy->GetName(), "News");
    EXPECT_EQ(copy->GetStatus(), Modified);
    EXPECT_EQ(copy->GetLatestContent(), "latest");
    EXPECT_EQ(copy->GetLastUpdated(), 1234);
    EXPECT_EQ(copy->GetETag(), "\"v\"");
    EXPECT_THROW(PageFromRecord(bytes.substr(0, bytes.size() - 3)), CArchiveException);
    EXPECT_THROW(PageFromRecord(""), CArchiveException);
}

TEST_F(UiLogicTest, FormatStringFillsEachPlaceholderInOrder) {
    EXPECT_EQ(FormatString(IDS_PAGE_HAS_CHANGED, {"News"}), "News has changed");
    EXPECT_EQ(FormatString(IDS_OPEN_FAILED, {"/x.wat", "gone"}), "Cannot open /x.wat: gone");
}

}  // namespace
}  // namespace tallyhawk
