#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "../net/TestServer.h"
#include "cli/CliRunner.h"

extern char** environ;

namespace tallyhawk::testing {
namespace {

using tallyhawk::test::ClosedPort;
using tallyhawk::test::TestServer;

class FetchCommandTest : public ::testing::Test {
protected:
    TestServer server;
};

TEST_F(FetchCommandTest, WritesTheBodyByteForByteWithProgressOnStderr) {
    CliResult r = RunCli({"fetch", server.Url("/chunked")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, TestServer::PageBody());
    EXPECT_NE(r.err.find("Resolving host name 127.0.0.1\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Connected to 127.0.0.1\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Downloaded "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - 5), "Done\n");

    // A 404 page is printed, but it is no page.
    CliResult missing = RunCli({"fetch", server.Url("/missing")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "no such page");
    EXPECT_EQ(missing.err.substr(missing.err.rfind('\n', missing.err.size() - 2) + 1),
              "The server answered 404 Not Found.\n");
    EXPECT_EQ(missing.err.find("Done"), std::string::npos) << missing.err;
}

TEST_F(FetchCommandTest, CredentialsAndFailures) {
    EXPECT_EQ(
        RunCli({"fetch", server.Url("/secret"), "--user", "walker", "--password", "s3cret"}).out,
        "welcome");
    CliResult refused = RunCli({"fetch", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_FALSE(refused.err.empty());
    EXPECT_EQ(RunCli({"fetch"}).status, 2);
    EXPECT_EQ(RunCli({"fetch", "--bogus", server.Url("/page")}).status, 2);
}

TEST_F(FetchCommandTest, InterruptCancelsCleanly) {
    TempFolder folder;
    const std::string errPath = folder.Path() + "/err";
    std::string url = server.Url("/trickle");
    std::string program = CliPath(), command = "fetch";
    char* argv[] = {program.data(), command.data(), url.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Wait (bounded) until the body is flowing, then press Ctrl-C.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server.TrickleStarts() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GT(server.TrickleStarts(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    std::ifstream in(errPath);
    std::string err{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(err.substr(err.size() - 9), "Canceled\n") << err;
}

}  // namespace
}  // namespace tallyhawk::testing
