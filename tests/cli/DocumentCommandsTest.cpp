// tallyhawk-cli's document commands, run as a user runs them, against a real
// HTTP server on 127.0.0.1 and with settings in a folder of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/TallyhawkDoc.h"
#include "cli/CliRunner.h"
#include "engine/PageServer.h"

namespace tallyhawk {
namespace {

using tallyhawk::testing::CliResult;
using tallyhawk::testing::CPageServer;
using tallyhawk::testing::RunCli;
using tallyhawk::testing::TempFolder;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DocumentCommandsTest : public ::testing::Test {
protected:
    DocumentCommandsTest() : file(folder.Path() + "/pages.wat") {
        // The binary inherits these: its settings and log stay in the folder,
        // and a browser it starts is /bin/true.
        setenv("XDG_CONFIG_HOME", (folder.Path() + "/config").c_str(), 1);
        setenv("XDG_STATE_HOME", (folder.Path() + "/state").c_str(), 1);
        setenv("BROWSER", "true", 1);
    }
    CliResult Cli(std::vector<std::string> args) {
        CliResult result = RunCli(args);
        last = result.err;
        return result;
    }

    TempFolder folder;
    const std::string file;
    CPageServer server;
    std::string last;
};

TEST_F(DocumentCommandsTest, PageGoesFromNewThroughModifiedToCurrent) {
    ASSERT_EQ(Cli({"new", file}).status, 0) << last;
    EXPECT_EQ(ReadFile(file), std::string("\x01\x00\x00\x00\x00\x00", 6));
    EXPECT_EQ(Cli({"new", file}).status, 1) << "an existing document is not replaced";

    server.SetContent("<p>one</p>\n");
    CliResult added = Cli({"add", file, server.Url("/page"), "--name", "Local", "--notify", "none",
                           "--output", "added-text", "--password", "pw"});
    ASSERT_EQ(added.status, 0) << last;
    EXPECT_EQ(added.out, "0\n");
    CliResult fresh = Cli({"show", file, "0"});
    EXPECT_NE(fresh.out.find("status:    New\nupdated:   Never\n"), std::string::npos) << fresh.out;

    CliResult update = Cli({"update", file, "0"});
    ASSERT_EQ(update.status, 0) << update.err;
    EXPECT_NE(update.err.find("Please wait...\n"), std::string::npos) << update.err;
    EXPECT_NE(update.err.find("Done\n"), std::string::npos) << update.err;

    server.SetContent("<p>one</p>\n<p>two</p>\n");
    ASSERT_EQ(Cli({"set", file, "0", "--interval", "00:00:00"}).status, 0) << last;
    CliResult watch = Cli({"watch", file, "--for", "1"});
    ASSERT_EQ(watch.status, 0) << watch.err;
    EXPECT_NE(watch.out.find("[Local] Modified\n"), std::string::npos) << watch.out;
    // Due at every pass, the page may have been checked again when the time
    // ran out, and a canceled check leaves it Outdated: one pass settles it.
    EXPECT_EQ(Cli({"check", file}).status, 1) << last;

    CliResult show = Cli({"show", file, "0", "--json"});
    ASSERT_EQ(show.status, 0) << last;
    EXPECT_NE(show.out.find("\"status\": \"Modified\", \"statusCode\": 3"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("\"hasPassword\": true"), std::string::npos);
    EXPECT_EQ(show.out.find("pw"), std::string::npos) << "a password is never printed";

    CliResult view = Cli({"view", file, "0", "--print"});
    ASSERT_EQ(view.status, 0) << last;
    EXPECT_NE(view.out.find("two"), std::string::npos) << view.out;
    EXPECT_EQ(view.out.find("one"), std::string::npos) << view.out;

    CliResult list = Cli({"list", file, "--json"});
    EXPECT_NE(list.out.find("\"index\": 0, \"name\": \"Local\""), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\"status\": \"Current\""), std::string::npos) << list.out;

    // A viewer that cannot start fails the update, but the check's result is kept.
    server.SetContent("<p>three</p>\n");
    ASSERT_EQ(Cli({"set", file, "0", "--notify", "app", "--viewer", "/nonexistent/viewer"}).status, 0);
    EXPECT_EQ(Cli({"update", file, "0"}).status, 1);
    show = Cli({"show", file, "0", "--json"});
    EXPECT_NE(show.out.find("\"status\": \"Modified\""), std::string::npos) << show.out;
}

TEST_F(DocumentCommandsTest, ChangeFileOutlivesTheCommandThatOpenedIt) {
    // A "browser" that only notes what it was asked to open; a real one may
    // read the file after tallyhawk-cli has ended.
    const std::string opened = folder.Path() + "/opened";
    const std::string browser = folder.Write("browser.sh", "#!/bin/sh\necho \"$1\" > " + opened + "\n");
    ASSERT_EQ(chmod(browser.c_str(), 0700), 0);
    setenv("BROWSER", browser.c_str(), 1);

    ASSERT_EQ(Cli({"new", file}).status, 0) << last;
    server.SetContent("<p>one</p>\n");
    ASSERT_EQ(Cli({"add", file, server.Url("/page"), "--notify", "browser", "--output", "added-html",
                   "--compare", "source"})
                  .status,
              0)
        << last;
    ASSERT_EQ(Cli({"update", file, "0"}).status, 0) << last;
    server.SetContent("<p>one</p>\n<p>two</p>\n");
    ASSERT_EQ(Cli({"update", file, "0"}).status, 0) << last;

    // The browser runs on its own: wait (bounded) until it has written its line.
    std::string url;
    for (int i = 0; i < 500 && (url.empty() || url.back() != '\n'); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        url = ReadFile(opened);
    }
    ASSERT_EQ(url.rfind("file://", 0), 0u) << url;
    const std::string changes = ReadFile(url.substr(7, url.size() - 8));
    EXPECT_NE(changes.find("<base href=\"" + server.Url("/page") + "\">"), std::string::npos) << changes;
    EXPECT_EQ(changes.substr(changes.find("</div>\n")), "</div>\n<p>two</p>\n\n</body>\n</html>\n");
}

TEST_F(DocumentCommandsTest, UnreachablePageIsLoggedWhileWatching) {
    ASSERT_EQ(Cli({"new", file}).status, 0);
    // Checked on every pass, so that its retries come without a pause.
    ASSERT_EQ(Cli({"add", file, "http://127.0.0.1:1/x", "--name", "Gone", "--retry", "1", "--interval",
                   "00:00:00"}).status,
              0);
    CliResult watch = Cli({"watch", file, "--for", "1"});
    ASSERT_EQ(watch.status, 0) << watch.err;
    EXPECT_NE(watch.out.find(", http://127.0.0.1:1/x, "), std::string::npos) << watch.out;
    EXPECT_NE(watch.out.find("[Gone] Disabled\n"), std::string::npos) << watch.out;
    const std::string log = ReadFile(folder.Path() + "/state/tallyhawk/log.txt");
    EXPECT_NE(log.find("The page exceeded the predetermined retry count."), std::string::npos) << log;
}

TEST_F(DocumentCommandsTest, AddNamesFromTheAddressAndDefaultsCarryOver) {
    ASSERT_EQ(Cli({"new", file}).status, 0);
    ASSERT_EQ(Cli({"defaults", "--retry", "7", "--max-lines", "12"}).status, 0) << last;
    ASSERT_EQ(Cli({"add", file, "https://www.example.org/a"}).status, 0) << last;
    CliResult show = Cli({"show", file, "0", "--json"});
    EXPECT_NE(show.out.find("\"name\": \"Example\""), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("\"retryCount\": 7"), std::string::npos) << show.out;
    CliResult defaults = Cli({"defaults", "--json"});
    EXPECT_NE(defaults.out.find("\"maxLines\": 12"), std::string::npos) << defaults.out;
    // A bad value among good ones stores none of them.
    EXPECT_EQ(Cli({"defaults", "--retry", "2", "--logging", "maybe"}).status, 2);
    EXPECT_EQ(Cli({"defaults", "--retry", "2", "--max-lines", "x"}).status, 2);
    defaults = Cli({"defaults", "--max-lines", "-1", "--json"});
    EXPECT_NE(defaults.out.find("\"retryCount\": 7"), std::string::npos) << defaults.out;
    EXPECT_NE(defaults.out.find("\"maxLines\": -1"), std::string::npos) << "-1 means no bound";

    // The download time limit, in whole seconds from 10 to 3600.
    EXPECT_NE(defaults.out.find("\"timeLimit\": 120,"), std::string::npos) << defaults.out;
    for (const char* bad : {"9", "3601", "1.5", "-20", ""}) {
        EXPECT_EQ(Cli({"defaults", "--retry", "2", "--time-limit", bad}).status, 2) << bad;
        EXPECT_NE(last.find("Please enter an integer between 10 and 3600."), std::string::npos)
            << last;
    }
    ASSERT_EQ(Cli({"defaults", "--time-limit", "45"}).status, 0) << last;
    EXPECT_NE(Cli({"defaults"}).out.find("time limit: 45 seconds\n"), std::string::npos);
    // Downloads at once, 1 to 64 each.
    EXPECT_EQ(Cli({"defaults", "--per-server", "0"}).status, 2);
    ASSERT_EQ(Cli({"defaults", "--transfers", "8", "--per-server", "3"}).status, 0) << last;
    defaults = Cli({"defaults", "--json"});
    EXPECT_NE(defaults.out.find("\"timeLimit\": 45, \"transfers\": 8, \"transfersPerServer\": 3, "
                                "\"historyVersions\": 500, \"historyDays\": 730}"),
              std::string::npos)
        << defaults.out;
    EXPECT_NE(defaults.out.find("\"retryCount\": 7"), std::string::npos) << defaults.out;

    ASSERT_EQ(Cli({"remove", file, "0"}).status, 0);
    EXPECT_EQ(ReadFile(file).size(), 6u);
}

TEST_F(DocumentCommandsTest, PagesByNameAndEveryPageAtOnce) {
    ASSERT_EQ(Cli({"new", file}).status, 0);
    for (const char* name : {"News", "news", "Caf\xe9", "Weather"})  // one not UTF-8
        ASSERT_EQ(Cli({"add", file, "http://a.b/", "--name", name}).status, 0) << last;

    auto named = [&](const std::string& page) {
        CliResult show = Cli({"show", file, page});
        return show.status == 0 ? show.out.substr(0, show.out.find('\n')) : "";
    };
    EXPECT_EQ(named("Weather"), "name:      Weather");
    EXPECT_EQ(named("wEATHER"), "name:      Weather") << "any case, when none matches exactly";
    EXPECT_EQ(named("news"), "name:      news") << "an exact match is not ambiguous";
    EXPECT_EQ(named("CAF\xe9"), "name:      Caf\xe9");
    EXPECT_EQ(named("3"), "name:      Weather") << "digits are the number";
    EXPECT_EQ(Cli({"show", file, "NEWS"}).status, 2);
    EXPECT_NE(
        last.find(
            "2 pages are named 'NEWS'; give the number of one of them:\n  0\tNews\n  1\tnews\n"),
        std::string::npos)
        << last;
    EXPECT_EQ(Cli({"remove", file, "Rain"}).status, 2);
    EXPECT_NE(last.find("no page is named 'Rain'"), std::string::npos) << last;

    ASSERT_EQ(Cli({"remove", file, "weather"}).status, 0) << last;
    ASSERT_EQ(
        Cli({"set", file, "--all", "--highlight", "#336699", "--notify", "tray,sound"}).status, 0)
        << last;
    for (const char* page : {"0", "1", "2"}) {
        const std::string out = Cli({"show", file, page}).out;
        EXPECT_NE(out.find("\nnotify:    play sound, flash tray icon\n"), std::string::npos) << out;
        EXPECT_NE(out.find("\nhighlight: #336699, removed text #FF6464\n"), std::string::npos)
            << out;
        // Stored as 0x00BBGGRR, as before.
        EXPECT_NE(Cli({"show", file, page, "--json"}).out.find("\"highlightColor\": 10053171,"),
                  std::string::npos);
    }
    EXPECT_EQ(Cli({"list", file}).out.find("Weather"), std::string::npos);
    EXPECT_EQ(Cli({"set", file, "--all", "--name", "Same"}).status, 2) << "one name for every page";
    EXPECT_EQ(Cli({"set", file, "0", "--all", "--retry", "1"}).status, 2);
    EXPECT_EQ(Cli({"set", file, "0", "--highlight", "#33669"}).status, 2);
}

// The desktop program marks the document it shows (the same call as here);
// list and show then say on standard error that its window may be newer.
TEST_F(DocumentCommandsTest, ListAndShowNoteADocumentShownInTheDesktopProgram) {
    ASSERT_EQ(Cli({"new", file}).status, 0);
    ASSERT_EQ(Cli({"add", file, "http://a.b/", "--name", "A"}).status, 0);
    const CliResult alone = Cli({"list", file});
    EXPECT_EQ(alone.err, "");
    const std::string note = "the desktop program has this document open";
    {
        CTallyhawkDoc window;
        window.MarkShownInWindow();
        window.LockFile(file);
        const CliResult list = Cli({"list", file});
        EXPECT_EQ(list.out, alone.out) << "standard output as ever";
        EXPECT_NE(list.err.find(note), std::string::npos) << list.err;
        const CliResult show = Cli({"show", file, "A", "--json"});
        EXPECT_EQ(show.status, 0) << last;
        EXPECT_NE(show.err.find(note), std::string::npos) << show.err;
        EXPECT_EQ(Cli({"set", file, "A", "--retry", "1"}).status, 1) << "and nothing writes it";
    }
    EXPECT_EQ(Cli({"show", file, "A"}).err, "") << "closed: no note";
}

TEST_F(DocumentCommandsTest, BadUseAndDamagedDocuments) {
    ASSERT_EQ(Cli({"new", file}).status, 0);
    EXPECT_EQ(Cli({"add", file, "http://a.b/", "--retry", "12"}).status, 2);
    EXPECT_NE(last.find("Please enter an integer between 0 and 9."), std::string::npos) << last;
    EXPECT_EQ(Cli({"add", file, "http://a.b/", "--ignore-first", "x"}).status, 2);
    EXPECT_NE(last.find("Please enter an integer."), std::string::npos) << last;
    EXPECT_EQ(Cli({"add", file, "nodots"}).status, 2) << "no name from the address and none given";
    EXPECT_EQ(Cli({"show", file, "0"}).status, 2);
    EXPECT_EQ(Cli({"list", file, "--bogus"}).status, 2);
    EXPECT_EQ(Cli({"watch", file, "--for", "1"}).status, 1) << "nothing to watch";

    const std::string damaged = folder.Write("damaged.wat", std::string("\x01\x00\x05\x00\x00\x00\x06", 7));
    EXPECT_EQ(Cli({"add", damaged, "http://a.b/"}).status, 1);
    EXPECT_NE(last.find("damaged.wat"), std::string::npos) << last;
    EXPECT_EQ(ReadFile(damaged), std::string("\x01\x00\x05\x00\x00\x00\x06", 7)) << "never overwritten";
}

}  // namespace
}  // namespace tallyhawk
