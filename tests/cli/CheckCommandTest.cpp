// tallyhawk-cli check: one pass over a document's pages as cron runs it,
// against a real HTTP server on 127.0.0.1 whose pages change between passes.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/file.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>

#include "LocalHttpServer.h"
#include "cli/CliRunner.h"

namespace tallyhawk {
namespace {

using namespace std::chrono_literals;
using tallyhawk::testing::CliProcess;
using tallyhawk::testing::CliResult;
using tallyhawk::testing::RunCli;
using tallyhawk::testing::TempFolder;

const char* const kDead = "http://127.0.0.1:1/gone";

// Serves /NAME with the content the test sets; /slow answers only once the
// server is stopped, or after 10 s.
class CPagesServer {
public:
    CPagesServer() {
        http.Server().Get("/slow", [this](const httplib::Request&, httplib::Response& response) {
            std::unique_lock<std::mutex> guard(lock);
            slowAsked = true;
            wake.notify_all();
            wake.wait_for(guard, 10s, [this] { return stopping; });
            response.set_content("late", "text/html");
        });
        http.Server().Get(R"(/(\w+))", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> guard(lock);
            const std::string name = request.matches[1].str();
            const int visit = ++visits[name];
            auto made = generated.find(name);
            response.set_content(made != generated.end() ? made->second(visit) : pages[name], "text/html");
        });
        http.Start();
    }
    ~CPagesServer() {
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
        }
        wake.notify_all();
        http.Stop();
    }
    std::string Url(const std::string& name) const { return http.Url("/" + name); }
    void Set(const std::string& name, const std::string& content) {
        std::lock_guard<std::mutex> guard(lock);
        pages[name] = content;
    }
    // /NAME made anew at every request from the request's number (from 1).
    void Generate(const std::string& name, std::function<std::string(int)> make) {
        std::lock_guard<std::mutex> guard(lock);
        generated[name] = std::move(make);
    }
    int Visits(const std::string& name) {
        std::lock_guard<std::mutex> guard(lock);
        return visits[name];
    }
    bool WaitForSlow() {
        std::unique_lock<std::mutex> guard(lock);
        return wake.wait_for(guard, 10s, [this] { return slowAsked; });
    }

private:
    tallyhawk::testing::CLocalHttpServer http;
    std::mutex lock;
    std::condition_variable wake;
    std::map<std::string, std::string> pages;  // guarded by lock
    std::map<std::string, std::function<std::string(int)>> generated;  // guarded by lock
    std::map<std::string, int> visits;                                 // guarded by lock
    bool slowAsked = false;                    // guarded by lock
    bool stopping = false;                     // guarded by lock
};

class CheckCommandTest : public ::testing::Test {
protected:
    CheckCommandTest() : file(folder.Path() + "/pages.wat") {
        setenv("XDG_CONFIG_HOME", (folder.Path() + "/config").c_str(), 1);
        setenv("XDG_STATE_HOME", (folder.Path() + "/state").c_str(), 1);
        EXPECT_EQ(RunCli({"new", file}).status, 0);
    }
    // Adds a page checked on every pass, unless `more` options say otherwise.
    void Add(const std::string& name, const std::string& url, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"add", file, url, "--name", name, "--notify", "none",
                                      "--output", "added-text", "--interval", "00:00:00"};
        args.insert(args.end(), more.begin(), more.end());
        ASSERT_EQ(RunCli(args).status, 0);
    }
    nlohmann::json Show(int index) {
        return nlohmann::json::parse(RunCli({"show", file, std::to_string(index), "--json"}).out);
    }

    TempFolder folder;
    const std::string file;
    CPagesServer server;
};

TEST_F(CheckCommandTest, ReportsAChangeUntilItIsAccepted) {
    server.Set("a", "<p>one</p>\n");
    server.Set("b", "<p>b</p>\n");
    Add("A", server.Url("a"));
    Add("B", server.Url("b"));
    CliResult first = RunCli({"check", file, "--accept"});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "") << "first versions are accepted, not reported";
    EXPECT_EQ(RunCli({"check", file}).out, "");

    const std::string old = folder.Write("old", "<p>one</p>\n");
    const std::string now = folder.Write("new", "<p>one</p>\n<p>two</p>\n");
    server.Set("a", "<p>one</p>\n<p>two</p>\n");
    const std::string header = "[A] " + server.Url("a") + "\n";
    CliResult changed = RunCli({"check", file});
    EXPECT_EQ(changed.status, 1) << changed.err;
    EXPECT_EQ(changed.out, header + "+ two\n");
    // --html: the output mode's own bytes, as the change file holds them.
    changed = RunCli({"check", file, "--html", "--accept"});
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.out, header + RunCli({"diff", "--output", "added-text", old, now}).out)
        << "reported again until accepted";
    CliResult after = RunCli({"check", file});
    EXPECT_EQ(after.status, 0);
    EXPECT_EQ(after.out, "");
    EXPECT_EQ(Show(0)["status"], "Current");
}

// A page that watches the text of a region: the noise around it and the
// noise the user told it to ignore never make a report; an edit does. A
// pattern that cannot be used is refused before anything is written, and a
// region the page lost fails the check instead of reporting it emptied.
TEST_F(CheckCommandTest, TheWatchedTextOfARegionReportsEditsAndNotNoise) {
    auto page = [](const std::string& token, int viewers, const std::string& story) {
        return "<html><head><title>T</title><meta name=\"csrf\" content=\"" + token +
               "\"><script>var id='" + token + "';</script></head>\n<body><div class=\"trending\">" +
               token + "</div>\n<main><h1>News</h1>\n<p>" + std::to_string(viewers) +
               " people are viewing</p>\n<p class=\"" + token + "\">" + story +
               " &amp; more</p></main></body></html>\n";
    };
    server.Set("n", page("a1", 3, "Old story"));
    Add("News", server.Url("n"),
        {"--compare", "text", "--region", "main", "--ignore-text", "\\d+ people are viewing"});
    nlohmann::json shown = Show(0)["settings"];
    EXPECT_EQ(shown["compare"], "text");
    EXPECT_EQ(shown["region"], "main");
    EXPECT_EQ(shown["ignoreText"], nlohmann::json::array({"\\d+ people are viewing"}));

    CliResult bad = RunCli({"set", file, "News", "--ignore-text", "(unclosed"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("(unclosed"), std::string::npos) << bad.err;
    EXPECT_EQ(Show(0)["settings"]["ignoreText"], shown["ignoreText"]) << "the page keeps its settings";

    CliResult preview = RunCli({"preview", file, "News", "--removed"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.out.substr(0, preview.out.find("\n---")), "News\nOld story & more\n");
    EXPECT_NE(preview.out.find("a1"), std::string::npos) << "outside the region: " << preview.out;
    EXPECT_NE(preview.out.find("3 people are viewing"), std::string::npos) << preview.out;

    ASSERT_EQ(RunCli({"check", file, "--accept"}).status, 0);
    server.Set("n", page("b2", 17, "Old story"));
    CliResult quiet = RunCli({"check", file});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    server.Set("n", page("c3", 5, "New story"));
    CliResult changed = RunCli({"check", file});
    EXPECT_EQ(changed.status, 1) << changed.err;
    EXPECT_EQ(changed.out, "[News] " + server.Url("n") + "\n+ New story & more\n");

    ASSERT_EQ(RunCli({"set", file, "News", "--region", "#gone"}).status, 0);
    CliResult lost = RunCli({"check", file});
    EXPECT_EQ(lost.status, 3);
    EXPECT_NE(lost.err.find("The region \"#gone\" matched nothing on the page."), std::string::npos)
        << lost.err;
    EXPECT_EQ(lost.out, "");
}

// A page added with no settings learns what changes at every visit from a
// second download, reports the edit and not the noise, shows what it
// learned, and forgets it when told.
TEST_F(CheckCommandTest, ANewPageLearnsItsNoiseAndReportsOnlyTheEdit) {
    const char* const stories[] = {"The harbour opens on Monday.", "The harbour opens on Tuesday."};
    std::atomic<int> story{0};  // read by the server's thread
    server.Generate("n", [&](int visit) {
        std::string page = "<html><body><h1>Harbour news</h1><p>" + std::string(stories[story.load()]) + "</p>";
        page += "<p>Posted " + std::to_string(visit) + " minutes ago</p>";
        page += "<p>" + std::to_string(visit * 7 % 50 + 2) + " people are viewing</p>";
        const char* const trending[] = {"Storm closes the pier", "A new ferry timetable", "Market day returns"};
        page += "<h2>Trending</h2><p>" + std::string(trending[visit % 3]) + "</p><p>About us</p></body></html>";
        return page;
    });
    ASSERT_EQ(RunCli({"add", file, server.Url("n"), "--name", "N", "--interval", "00:00:00"}).status, 0);
    EXPECT_EQ(Show(0)["settings"]["learnNoise"], true) << "new pages learn";
    EXPECT_EQ(Show(0)["learnedNoise"], nlohmann::json::array());
    ASSERT_EQ(RunCli({"check", file, "--accept"}).status, 0);
    EXPECT_EQ(server.Visits("n"), 1);

    CliResult quiet = RunCli({"check", file});
    EXPECT_EQ(quiet.status, 0) << quiet.out << quiet.err;
    EXPECT_EQ(server.Visits("n"), 3) << "a change is confirmed by a second download";
    EXPECT_EQ(Show(0)["learnedNoise"],
              nlohmann::json::array({"Changing parts of a line: \u2026 people are viewing",
                                     "Lines between \"Trending\" and \"About us\""}));
    EXPECT_EQ(RunCli({"check", file}).status, 0);
    EXPECT_EQ(server.Visits("n"), 4) << "learned noise costs no second download";

    story = 1;
    CliResult changed = RunCli({"check", file, "--accept"});
    EXPECT_EQ(changed.status, 1) << changed.err;
    EXPECT_EQ(changed.out.substr(changed.out.find('\n') + 1),
              "- The harbour opens on Monday.\n+ The harbour opens on Tuesday.\n");

    CliResult preview = RunCli({"preview", file, "N", "--removed"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_NE(preview.out.find("--- noise (as compared) ---\nPosted \u2026\n\u2026 people are viewing\n"
                               "\u2026 (1 line)\n"),
              std::string::npos)
        << preview.out;
    CliResult shown = RunCli({"show", file, "N"});
    EXPECT_NE(shown.out.find("learned:   Lines between \"Trending\" and \"About us\"\n"), std::string::npos)
        << shown.out;

    EXPECT_EQ(RunCli({"defaults", "--learn-noise", "reset"}).status, 2);
    ASSERT_EQ(RunCli({"set", file, "N", "--learn-noise", "reset"}).status, 0);
    EXPECT_EQ(Show(0)["learnedNoise"], nlohmann::json::array());
    EXPECT_EQ(RunCli({"check", file}).status, 0) << "learned again at once";
    EXPECT_EQ(Show(0)["learnedNoise"].size(), 2u);
}

// Every download that differs is kept beside the document, listed, shown
// and compared from the history; the defaults' retention prunes it; a
// damaged history is set aside with a word in the log, and checks go on.
TEST_F(CheckCommandTest, EveryDifferentVersionIsKeptInTheHistory) {
    server.Set("h", "<p>one</p>\n");
    Add("H", server.Url("h"), {"--compare", "source"});
    ASSERT_EQ(RunCli({"check", file, "--accept"}).status, 0);
    ASSERT_EQ(RunCli({"check", file}).status, 0);  // the same again: not kept twice
    server.Set("h", "<p>one</p>\n<p>two</p>\n");
    ASSERT_EQ(RunCli({"check", file, "--accept"}).status, 1);
    server.Set("h", "<p>two</p>\n<p>three</p>\n");
    ASSERT_EQ(RunCli({"check", file}).status, 1);

    CliResult listed = RunCli({"history", file, "H", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const nlohmann::json versions = nlohmann::json::parse(listed.out);
    ASSERT_EQ(versions.size(), 3u) << listed.out;
    EXPECT_EQ(versions[0]["number"], 1);
    EXPECT_NE(versions[0]["acceptedTime"], 0) << "the first download is the first accepted version";
    EXPECT_NE(versions[1]["acceptedTime"], 0) << "--accept accepted the second";
    EXPECT_EQ(versions[2]["acceptedTime"], 0);
    EXPECT_EQ(versions[2]["status"], "Modified");
    EXPECT_EQ(versions[2]["size"], 24);

    EXPECT_EQ(RunCli({"history", file, "H", "--show", "2"}).out, "<p>one</p>\n<p>two</p>\n");
    CliResult diff = RunCli({"history", file, "H", "--diff", "1", "3", "--output", "added-html"});
    EXPECT_EQ(diff.status, 1) << diff.err;
    EXPECT_NE(diff.out.find("<p>three</p>"), std::string::npos) << diff.out;
    EXPECT_EQ(RunCli({"history", file, "H", "--show", "4"}).status, 2) << "no such version";

    ASSERT_EQ(RunCli({"defaults", "--history-versions", "2"}).status, 0);
    CliResult pruned = RunCli({"history", file, "--prune"});
    EXPECT_EQ(pruned.out, "1 version removed\n") << pruned.err;
    EXPECT_EQ(RunCli({"history", file, "H", "--show", "1"}).out, "<p>one</p>\n<p>two</p>\n");

    // Damaged: set aside, said in the log, a new history begun; the check
    // itself goes on as ever.
    {
        std::ofstream damaged(file + ".history", std::ios::binary | std::ios::trunc);
        damaged << "this is no database";
    }
    server.Set("h", "<p>four</p>\n");
    CliResult after = RunCli({"check", file});
    EXPECT_EQ(after.status, 1) << after.err;
    EXPECT_NE(after.err.find("set aside"), std::string::npos) << after.err;
    EXPECT_EQ(nlohmann::json::parse(RunCli({"history", file, "H", "--json"}).out).size(), 1u);
}

// Read in a terminal: the lines of text deleted and added, as far as each
// page's output mode shows them, with nothing a terminal would obey.
TEST_F(CheckCommandTest, ChangesAreMarkedLinesOfTextAsTheModeShowsThem) {
    const std::string before = "<h1>News</h1>\n<p>gone &amp; done</p>\n<p>same</p>\n";
    const std::string after =
        "<h1>News</h1>\n<p>same</p>\n<hr>\n"
        "<p>caf&#233; \x1b[31mred</p>\n<p>Latin \xe9</p>\n";
    for (const char* page : {"h", "d", "m"}) server.Set(page, before);
    Add("Highlighted", server.Url("h"), {"--output", "highlighted", "--compare", "source"});
    Add("Deletions", server.Url("d"), {"--output", "deleted-text", "--compare", "source"});
    Add("Markup", server.Url("m"), {"--output", "added-html", "--compare", "source"});
    ASSERT_EQ(RunCli({"check", file, "--accept"}).status, 0);
    server.Set("h", after);
    server.Set("d", after);
    server.Set("m", before + "<hr>\n");

    CliResult changed = RunCli({"check", file});
    EXPECT_EQ(changed.status, 1) << changed.err;
    const std::string highlighted = "[Highlighted] " + server.Url("h") +
                                    "\n- gone & done\n+ caf\xc3\xa9 \\x1b[31mred\n+ Latin \\xe9\n";
    const std::string deletions = "[Deletions] " + server.Url("d") + "\n- gone & done\n";
    const std::string markup =
        "[Markup] " + server.Url("m") + "\n  (only the page's markup or white space changed)\n";
    EXPECT_EQ(changed.out, highlighted + deletions + markup);
    // The whole highlighted page, as before.
    CliResult html = RunCli({"check", file, "--html"});
    EXPECT_NE(
        html.out.find(
            "<p>same</p>\n<hr>\n<p><b style=\"background:#FFFF64\">caf&#233; \x1b[31mred</b>"),
        std::string::npos)
        << html.out;
    EXPECT_EQ(RunCli({"check", file, "--html", "--json"}).status, 2);
}

TEST_F(CheckCommandTest, DeadPageFailsAcrossPassesUntilItIsDisabled) {
    Add("Dead", kDead, {"--retry", "1"});
    CliResult once = RunCli({"check", file});
    EXPECT_EQ(once.status, 3) << "every checked page failed";
    EXPECT_NE(once.err.find(std::string(", ") + kDead + ", "), std::string::npos) << once.err;
    EXPECT_EQ(Show(0)["failures"], 1);
    EXPECT_EQ(RunCli({"check", file}).status, 3);
    EXPECT_EQ(Show(0)["status"], "Disabled");
    EXPECT_EQ(Show(0)["failures"], 0);

    std::ifstream log(folder.Path() + "/state/tallyhawk/log.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << "two failures, then the page is disabled";
    EXPECT_EQ(lines[2].rfind(std::string("The page exceeded the predetermined retry count.  "
                                         "This page will be disabled., ") + kDead + ", ", 0), 0u);

    // A disabled page is not checked; one failure among good pages is not status 3.
    EXPECT_EQ(RunCli({"check", file}).status, 0);
    server.Set("b", "<p>b</p>\n");
    Add("B", server.Url("b"));
    Add("Dead again", kDead);
    EXPECT_EQ(RunCli({"check", file}).status, 0);
}

TEST_F(CheckCommandTest, JsonHoldsEveryCheckedPage) {
    server.Set("m", "<p>m</p>\n");
    server.Set("c", "<p>c</p>\n");
    Add("M", server.Url("m"));
    Add("C", server.Url("c"));
    Add("Dead", kDead);
    Add("Later", server.Url("c"), {"--interval", "01:00:00"});
    ASSERT_EQ(RunCli({"check", file, "--accept"}).status, 0);
    server.Set("m", "<p>m</p>\n<p>caf\xe9</p>\n");  // not UTF-8

    for (bool all : {false, true}) {
        std::vector<std::string> args{"check", file, "--json"};
        if (all) args.push_back("--all");
        CliResult result = RunCli(args);
        EXPECT_EQ(result.status, 1) << result.err;
        nlohmann::json report = nlohmann::json::parse(result.out);
        ASSERT_EQ(report.size(), all ? 4u : 3u) << result.out;
        EXPECT_EQ(report[0]["name"], "M");
        EXPECT_EQ(report[0]["status"], "Modified");
        EXPECT_EQ(report[0]["changes"], "caf\xc3\xa9\r\n");
        EXPECT_EQ(report[1]["url"], server.Url("c"));
        EXPECT_EQ(report[1]["status"], "Current");
        EXPECT_FALSE(report[1].contains("changes") || report[1].contains("error"));
        EXPECT_EQ(report[2]["status"], "Outdated");
        EXPECT_FALSE(report[2]["error"].get<std::string>().empty());
    }
}

TEST_F(CheckCommandTest, BadUseADocumentInUseAndAStopSignal) {
    EXPECT_EQ(RunCli({"check"}).status, 2);
    EXPECT_EQ(RunCli({"check", file, "--print"}).status, 2);
    EXPECT_EQ(RunCli({"check", folder.Path() + "/missing.wat"}).status, 2) << "trouble is not a change";

    server.Set("a", "<p>a</p>\n");
    Add("A", server.Url("a"));
    Add("Slow", server.Url("slow"));
    {
        const int held = open(file.c_str(), O_RDONLY);
        ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
        CliResult busy = RunCli({"check", file});
        close(held);
        EXPECT_EQ(busy.status, 2);
        EXPECT_NE(busy.err.find("is in use"), std::string::npos) << busy.err;
    }

    // One download at a time: A is checked before the slow page begins.
    ASSERT_EQ(RunCli({"defaults", "--transfers", "1"}).status, 0);
    CliProcess check({"check", file});
    ASSERT_TRUE(server.WaitForSlow());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(check.Pid(), SIGTERM), 0);
    CliResult stopped = check.Finish();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the slow download is cut short";
    EXPECT_EQ(stopped.status, 128 + SIGTERM) << stopped.err;
    EXPECT_EQ(Show(0)["status"], "Current") << "what was checked is saved";
    EXPECT_EQ(Show(1)["status"], "Outdated");
}

}  // namespace
}  // namespace tallyhawk
