#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "cli/CliRunner.h"

namespace tallyhawk::testing {
namespace {

class DiffCommandTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string oldPage =
        folder.Write("old.html", "<title>T</title>\n<p>Price: 10</p>\n<p>Same</p>\n");
    std::string newPage =
        folder.Write("new.html", "<title>T</title>\n<p>Price: 12</p>\n<p>Same</p>\n");
};

TEST_F(DiffCommandTest, WritesTheChosenOutputAndExitsOneOnChanges) {
    CliResult r = RunCli({"diff", oldPage, newPage});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "<title>T</title>\n<p><del style=\"background:#FF6464;text-decoration:line-through\">"
              "Price: 10</del><b style=\"background:#FFFF64\">Price: 12</b></p>\n<p>Same</p>\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(RunCli({"diff", "--output", "added-text", oldPage, newPage}).out, "Price: 12\r\n");
    EXPECT_EQ(RunCli({"diff", "--output", "deleted-text", oldPage, newPage}).out, "Price: 10\r\n");
    // The lines as a document of their own, which names NEW and, given one,
    // takes the page's address as its base.
    const std::string added = RunCli({"diff", "--output", "added-html", oldPage, newPage}).out;
    EXPECT_NE(added.find("<title>Added to " + newPage + "</title>"), std::string::npos) << added;
    EXPECT_EQ(added.substr(added.size() - 34), "<p>Price: 12</p>\n\n</body>\n</html>\n");
    const std::string deleted = RunCli({"diff", "--output", "deleted-html", "--base",
                                        "http://example.com/p", oldPage, newPage})
                                    .out;
    EXPECT_NE(deleted.find("<base href=\"http://example.com/p\">\n<title>Deleted from"),
              std::string::npos)
        << deleted;
    EXPECT_EQ(deleted.substr(deleted.size() - 34), "<p>Price: 10</p>\n\n</body>\n</html>\n");
    EXPECT_EQ(RunCli({"diff", "--base", "http://example.com/p", oldPage, newPage})
                  .out.rfind("<base href=\"http://example.com/p\">\n<title>T</title>", 0),
              0u);
    EXPECT_EQ(RunCli({"diff", "--flags", oldPage, newPage}).out, "30\n");
    EXPECT_NE(RunCli({"diff", "--colors", "0x00123456,0x0", oldPage, newPage}).out.find("#563412"),
              std::string::npos);
    // The changed line holds three changed ranges: an empty one where it
    // begins, the price, and its line break.
    EXPECT_EQ(RunCli({"diff", "--flags", "--ignore-first", "1", oldPage, newPage}).out, "6\n");
    CliResult allIgnored =
        RunCli({"diff", "--flags", "--ignore-first", "2", "--ignore-last", "1", oldPage, newPage});
    EXPECT_EQ(allIgnored.out, "1\n");
    EXPECT_EQ(allIgnored.status, 0);
}

TEST_F(DiffCommandTest, NoChangeExitsZeroAndZeroByteEndsThePage) {
    std::string withTail = folder.Write(
        "tail.html", std::string("<title>T</title>\n<p>Price: 10</p>\n<p>Same</p>\n\0junk\n", 51));
    CliResult r = RunCli({"diff", "--flags", oldPage, withTail});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\n");
}

TEST_F(DiffCommandTest, TroubleExitsTwoWithOneLine) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"diff", oldPage},
             {"diff", "--output", "sideways", oldPage, newPage},
             {"diff", "--ignore-first", "-3", oldPage, newPage},
             {"diff", "--colors", "red,blue", oldPage, newPage},
             {"diff", "--bogus", oldPage, newPage},
             {"diff", oldPage, folder.Path() + "/missing.html"}}) {
        CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    EXPECT_NE(RunCli({"diff", oldPage, folder.Path() + "/missing.html"}).err.find("missing.html"),
              std::string::npos);
}

// A file that is not a regular one (here a pipe) is read rather than mapped,
// and compares the same.
TEST_F(DiffCommandTest, ReadsPipesLikeFiles) {
    const std::string fifo = folder.Path() + "/new.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CliProcess cli({"diff", "--output", "added-text", oldPage, fifo});
    {
        // Blocks until tallyhawk-cli opens the pipe.
        std::ofstream writer(fifo, std::ios::binary);
        writer << "<title>T</title>\n<p>Price: 12</p>\n<p>Same</p>\n";
    }
    CliResult r = cli.Finish();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Price: 12\r\n");
    EXPECT_EQ(r.err, "");
}

// OLD is mapped; cutting it short before the comparison touches it must end
// the command with its trouble status and a message, not a crash.
TEST_F(DiffCommandTest, FileCutShortWhileComparingIsTrouble) {
    const std::string big = folder.Write("big.html", std::string(1 << 20, 'x') + "\n");
    const std::string fifo = folder.Path() + "/new.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CliProcess cli({"diff", "--flags", big, fifo});
    {
        std::ofstream writer(fifo, std::ios::binary);  // OLD is open and mapped by now
        ASSERT_EQ(::truncate(big.c_str(), 0), 0);
        writer << "y\n";
    }
    CliResult r = cli.Finish();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tallyhawk-cli diff: a file changed while it was compared\n");
}

#if defined(TALLYHAWK_CURL_LOADED_LAZILY) && defined(__GLIBC__)
// A comparison never loads the download library and its dozens of
// dependencies, nor SQLite; a download loads libcurl when it starts. The
// dynamic loader lists every library it loads when LD_DEBUG=files.
TEST_F(DiffCommandTest, OnlyDownloadsLoadTheDownloadLibrary) {
    ASSERT_EQ(::setenv("LD_DEBUG", "files", 1), 0);
    CliResult diff = RunCli({"diff", "--flags", oldPage, newPage});
    CliResult fetch = RunCli({"fetch", "file://" + oldPage});
    ::unsetenv("LD_DEBUG");
    EXPECT_EQ(diff.out, "30\n");
    EXPECT_NE(diff.err.find("file="), std::string::npos) << "LD_DEBUG had no effect";
    EXPECT_EQ(diff.err.find("libcurl"), std::string::npos) << diff.err;
    EXPECT_EQ(diff.err.find("libsqlite3"), std::string::npos) << diff.err;
    EXPECT_EQ(fetch.status, 0);
    EXPECT_EQ(fetch.out, "<title>T</title>\n<p>Price: 10</p>\n<p>Same</p>\n");
    EXPECT_NE(fetch.err.find("libcurl"), std::string::npos) << fetch.err;
}
#endif

TEST_F(DiffCommandTest, HelpExplainsCommands) {
    CliResult top = RunCli({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("diff"), std::string::npos);
    CliResult help = RunCli({"diff", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--ignore-first"), std::string::npos);
    EXPECT_EQ(RunCli({"frobnicate"}).status, 2);
}

}  // namespace
}  // namespace tallyhawk::testing
