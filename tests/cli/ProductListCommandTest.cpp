// tallyhawk-cli product-list: a distributor writes the list the Upgrade
// Wizard reads, and shows one to check it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/CliRunner.h"

namespace tallyhawk::testing {
namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ProductListCommandTest : public ::testing::Test {
protected:
    TempFolder folder;
    const std::string list = folder.Path() + "/brindlecote.fin";
};

TEST_F(ProductListCommandTest, WritesAPublishableListThatShowReadsBack) {
    CliResult written = RunCli({"product-list", "write", list, "--name", "Tallyhawk", "--version",
                                "1.2", "--free-from", "1.0", "--setup",
                                "https://dl.example.org/tallyhawk_1.2_amd64.deb", "--description",
                                "Faster checks.\nFewer questions.", "--name", "Other", "--version",
                                "3", "--setup", "https://dl.example.org/other.exe"});
    ASSERT_EQ(written.status, 0) << written.err;
    struct stat info {};
    ASSERT_EQ(::stat(list.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);  // the web server must be able to read it
    const std::string bytes = Read(list);
    EXPECT_EQ(bytes.substr(0, 6), std::string("\x01\x00\x02\x00\x00\x00", 6));
    EXPECT_EQ(bytes.substr(6, 12), std::string("\x01\x00\x09Tallyhawk", 12));

    CliResult shown = RunCli({"product-list", "show", list});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out,
              "Tallyhawk\n"
              "  version:     1.200\n"
              "  free from:   1.000\n"
              "  setup:       https://dl.example.org/tallyhawk_1.2_amd64.deb\n"
              "  description: Faster checks.\n"
              "               Fewer questions.\n"
              "Other\n"
              "  version:     3.000\n"
              "  free from:   0.000\n"
              "  setup:       https://dl.example.org/other.exe\n"
              "  description: \n");
}

TEST_F(ProductListCommandTest, RefusesWhatTheWizardCouldNotUse) {
    const std::vector<std::vector<std::string>> bad = {
        {"product-list", "write", list, "--name", "T", "--version", "1", "--setup",
         "http://dl.example.org/t.deb"},
        {"product-list", "write", list, "--name", "T", "--setup", "https://h/t.deb"},
        {"product-list", "write", list, "--name", "T", "--version", "1.2.3", "--setup",
         "https://h/t.deb"},
        {"product-list", "write", list, "--version", "1", "--name", "T"},
        {"product-list", "write", list, "--name", "  ", "--version", "1", "--setup", "https://h/"},
        {"product-list", "write", list},
        {"product-list", "show"},
        {"product-list", "print", list},
    };
    for (const auto& args : bad) {
        CliResult result = RunCli(args);
        EXPECT_EQ(result.status, 2) << args.back() << ": " << result.err;
        EXPECT_NE(result.err.find("Usage: tallyhawk-cli product-list"), std::string::npos);
    }
    struct stat info {};
    EXPECT_NE(::stat(list.c_str(), &info), 0);  // nothing was written
}

TEST_F(ProductListCommandTest, DamagedOrMissingListIsReported) {
    const std::string damaged = folder.Write("damaged.fin", std::string("\x01\x00\x05\x00\x00\x00\x01", 7));
    CliResult result = RunCli({"product-list", "show", damaged});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("The product list could not be read. It names 5 products"),
              std::string::npos) << result.err;
    EXPECT_EQ(RunCli({"product-list", "show", folder.Path() + "/none.fin"}).status, 1);
}

TEST_F(ProductListCommandTest, ShowRefusesWhatIsNoListFileWithoutHangingOrAborting) {
    const std::string fifo = folder.Path() + "/pipe.fin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = folder.Path() + "/huge.fin";
    { std::ofstream(huge) << "x"; }
    std::filesystem::resize_file(huge, 16 * 1024 * 1024 + 1);
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {"/dev/zero", "/dev/zero is not a regular file."},
        {fifo, fifo + " is not a regular file."},
        {folder.Path(), folder.Path() + " is not a regular file."},
        {huge, huge + " is larger than 16777216 bytes; it was not read."},
    };
    for (const auto& c : cases) {
        CliResult result = RunCli({"product-list", "show", c.path});
        EXPECT_EQ(result.status, 2) << c.path;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "tallyhawk-cli product-list: " + c.message + "\n");
    }
}

}  // namespace
}  // namespace tallyhawk::testing
