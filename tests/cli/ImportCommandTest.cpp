// tallyhawk-cli import, run as a user runs it, over a home folder of the
// test's own with bookmarks and favourites.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "cli/CliRunner.h"
#include "import/BrowserFiles.h"

namespace tallyhawk {
namespace {

using tallyhawk::testing::CBrowserHome;
using tallyhawk::testing::CliResult;
using tallyhawk::testing::ReadFile;
using tallyhawk::testing::RunCli;

class ImportCommandTest : public ::testing::Test {
protected:
    // The binary inherits the environment: its home is the test's, where its
    // settings (in ~/.config) and the browsers' files are.
    ImportCommandTest()
        : file(home / "pages.wat"),
          homeEnv("HOME", home.Home().c_str()),
          config("XDG_CONFIG_HOME", (home / ".config").c_str()),
          state("XDG_STATE_HOME", (home / "state").c_str()),
          wine("WINEPREFIX", nullptr) {
        home.NetscapeFile(".mozilla/bookmarks.html",
                          {{"Netscape News", "http://news.example/"}, {"Tab\tand\nbreak", "http://ws.example/"}});
        home.FirefoxPlaces(".mozilla/firefox/p.default/places.sqlite", {{"Firefox Docs", "https://docs.example/"}});
        home.ChromiumFile(".config/google-chrome/Default/Bookmarks", {{"Chrome Mail", "https://mail.example/NEWS"}});
        home.Shortcut("Favorites/Fav News.url", "http://fav.example/");
        home.Shortcut("Favorites/Other.url", "http://other.example/");
    }

    CBrowserHome home;
    const std::string file;
    tallyhawk::testing::CScopedEnv homeEnv, config, state, wine;
};

TEST_F(ImportCommandTest, AddsEveryBookmarkAsAPageFromTheDefaults) {
    ASSERT_EQ(RunCli({"defaults", "--retry", "7"}).status, 0);
    ASSERT_EQ(RunCli({"new", file}).status, 0);
    ASSERT_EQ(RunCli({"add", file, "http://first.example/", "--name", "First"}).status, 0);

    CliResult imported = RunCli({"import", file});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out,
              "1\tNetscape News\thttp://news.example/\n"
              "2\tTab and break\thttp://ws.example/\n"
              "3\tFirefox Docs\thttps://docs.example/\n"
              "4\tChrome Mail\thttps://mail.example/NEWS\n");
    CliResult shown = RunCli({"show", file, "2"});
    EXPECT_NE(shown.out.find("name:      Tab\tand\nbreak\nurl:       http://ws.example/\nstatus:    New\n"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("retry:     7\n"), std::string::npos) << shown.out;
}

TEST_F(ImportCommandTest, FavoritesAndMatchingChooseTheLinks) {
    ASSERT_EQ(RunCli({"new", file}).status, 0);
    CliResult favorites = RunCli({"import", file, "--favorites", "--match", "NEWS"});
    ASSERT_EQ(favorites.status, 0) << favorites.err;
    EXPECT_EQ(favorites.out, "0\tFav News\thttp://fav.example/\n");
    // The address counts as well as the name; letters in any case.
    CliResult bookmarks = RunCli({"import", file, "--match", "news"});
    EXPECT_EQ(bookmarks.out,
              "1\tNetscape News\thttp://news.example/\n"
              "2\tChrome Mail\thttps://mail.example/NEWS\n");
    EXPECT_EQ(RunCli({"list", file}).out.find("Other"), std::string::npos);
}

TEST_F(ImportCommandTest, ListingLeavesTheDocumentAlone) {
    ASSERT_EQ(RunCli({"new", file}).status, 0);
    const std::string before = ReadFile(file);
    CliResult listed = RunCli({"import", file, "--list", "--favorites"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    // In the order the folder lists its files.
    EXPECT_TRUE(listed.out == "Fav News\thttp://fav.example/\nOther\thttp://other.example/\n" ||
                listed.out == "Other\thttp://other.example/\nFav News\thttp://fav.example/\n")
        << listed.out;
    EXPECT_EQ(ReadFile(file), before);
    // Without a document at all.
    CliResult alone = RunCli({"import", "--list", "--match", "docs"});
    EXPECT_EQ(alone.out, "Firefox Docs\thttps://docs.example/\n");
}

TEST_F(ImportCommandTest, ControlCharactersOfNamesAndAddressesAreEscaped) {
    // A bookmark file can put anything between the tags: terminal escapes,
    // bells, carriage returns, bytes that are not UTF-8.
    home.NetscapeFile(".netscape/bookmarks.html",
                      {{"\x1b[31mRed\x1b[0m \x07" "Bell\rCR", "http://hostile.example/\x1b]0;title\x07"},
                       {"Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\xa6", "http://hostile.example/utf8"},
                       {"Bad \xff\xfe \xc0\xaf \xed\xa0\x80 \xc2\x9b" "2J\x7f end\xe2\x82",
                        "http://hostile.example/bad"}});
    const std::string expected =
        "\\x1b[31mRed\\x1b[0m \\x07Bell CR\thttp://hostile.example/\\x1b]0;title\\x07\n"
        "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\xa6\thttp://hostile.example/utf8\n"
        "Bad \\xff\\xfe \\xc0\\xaf \\xed\\xa0\\x80 \\xc2\\x9b2J\\x7f end\\xe2\\x82\t"
        "http://hostile.example/bad\n";
    CliResult listed = RunCli({"import", "--list", "--match", "hostile"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, expected);

    // Added pages are printed the same way, and keep their names as found.
    ASSERT_EQ(RunCli({"new", file}).status, 0);
    CliResult imported = RunCli({"import", file, "--match", "hostile"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    std::string numbered;
    for (std::size_t start = 0, index = 0; start < expected.size(); ++index) {
        const std::size_t end = expected.find('\n', start) + 1;
        numbered += std::to_string(index) + "\t" + expected.substr(start, end - start);
        start = end;
    }
    EXPECT_EQ(imported.out, numbered);
    EXPECT_NE(RunCli({"show", file, "0"}).out.find("\x1b[31mRed\x1b[0m \x07"), std::string::npos);
    for (char c : listed.out + imported.out) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE((byte >= 0x20 && byte != 0x7F) || c == '\t' || c == '\n') << int(byte);
    }
}

TEST_F(ImportCommandTest, NothingFoundChangesNothing) {
    ASSERT_EQ(RunCli({"new", file}).status, 0);
    const std::string before = ReadFile(file);
    CliResult none = RunCli({"import", file, "--match", "nowhere"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "tallyhawk-cli import: No link's name or address contains \"nowhere\".\n");
    EXPECT_EQ(ReadFile(file), before);

    CBrowserHome empty;
    tallyhawk::testing::CScopedEnv bare("HOME", empty.Home().c_str());
    EXPECT_EQ(RunCli({"import", file, "--favorites"}).err, "tallyhawk-cli import: No favorites were found.\n");
}

TEST_F(ImportCommandTest, BadUseAndADocumentInUse) {
    EXPECT_EQ(RunCli({"import"}).status, 2);
    EXPECT_EQ(RunCli({"import", file, "extra"}).status, 2);
    EXPECT_EQ(RunCli({"import", file, "--json"}).status, 2);
    EXPECT_EQ(RunCli({"import", file, "--match"}).status, 2);
    EXPECT_EQ(RunCli({"import", home / "missing.wat"}).status, 1);

    ASSERT_EQ(RunCli({"new", file}).status, 0);
    const std::string before = ReadFile(file);
    const int held = open(file.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    CliResult busy = RunCli({"import", file});
    close(held);
    EXPECT_EQ(busy.status, 1);
    EXPECT_NE(busy.err.find("is in use"), std::string::npos) << busy.err;
    EXPECT_EQ(ReadFile(file), before);

    CliResult help = RunCli({"import", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: tallyhawk-cli import FILE", 0), 0u) << help.out;
}

}  // namespace
}  // namespace tallyhawk
