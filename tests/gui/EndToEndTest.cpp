// The real tallyhawk program on the test display, against a local server:
// started with a document and "run" it checks the pages; a second start
// hands its document over and ends; closing the window (no tray on this
// display) asks the Exit question, then whether to save, and ends the
// program with status 0. Without a display it says what to use instead.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <thread>

#include <wx/clipbrd.h>
#include <wx/dataobj.h>

#include "LocalHttpServer.h"
#include "app/TallyhawkDoc.h"
#include "gui/FrameFixture.h"
#include "ui/PageClipboard.h"

// Last: its macros would spoil the headers above.
#include <X11/Xlib.h>

extern char** environ;

namespace tallyhawk::test {

namespace {

using namespace std::chrono_literals;

// A program run with an environment of its own; its standard error goes to
// a file.
class CProcess {
public:
    // `outputFile`, when given, takes the standard output.
    CProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& env,
             const std::string& errorFile, const std::string& outputFile = {}) {
        std::vector<char*> argv, envp;
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (!outputFile.empty())
            posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CProcess() {
        if (pid > 0 && !status) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    void Signal(int signal) {
        if (pid > 0 && !status) ::kill(pid, signal);
    }
    // The exit status once it ended within `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!status && std::chrono::steady_clock::now() < end) {
            int raw = 0;
            if (::waitpid(pid, &raw, WNOHANG) == pid)
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            else
                std::this_thread::sleep_for(20ms);
        }
        return status;
    }

private:
    pid_t pid = -1;
    std::optional<int> status;
};

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// The id of the first visible window whose name matches `pattern`, waiting
// for it up to 20 s; 0 when none came.
unsigned long FindWindow(const std::string& pattern) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < end) {
        const std::string id =
            Run("xdotool search --onlyvisible --name '" + pattern + "' 2>/dev/null | head -1");
        if (!id.empty()) return std::stoul(id);
        std::this_thread::sleep_for(100ms);
    }
    return 0;
}

// Answers the message box on screen (its default button) with Return.
bool AnswerMessageBox() {
    const unsigned long box = FindWindow("^Tallyhawk$");
    if (!box) return false;
    std::this_thread::sleep_for(300ms);
    return Run("xdotool windowfocus --sync " + std::to_string(box) + " key Return; echo $?") == "0";
}

// What the close button does: the window manager's delete request.
void RequestClose(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
}

// Closes the real program's window with its close button where there is no
// tray, answers the Exit question with OK and the save question with Yes;
// true when the program then ends with status 0.
bool CloseSaving(unsigned long window, CProcess& program) {
    RequestClose(window);
    return AnswerMessageBox() && AnswerMessageBox() && program.Wait(20s) == 0;
}

bool WaitFor(const std::atomic<int>& counter, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (counter.load() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    return counter.load() > 0;
}

}  // namespace

class EndToEndTest : public ::testing::Test {
protected:
    EndToEndTest() {
        server.Server().Get("/one", [this](const httplib::Request&, httplib::Response& response) {
            ++one;
            response.set_content("<p>one</p>", "text/html");
        });
        server.Server().Get("/two", [this](const httplib::Request&, httplib::Response& response) {
            ++two;
            response.set_content("<p>two</p>", "text/html");
        });
        server.Start();
        ::mkdir((scratch / "run").c_str(), 0700);
        env = {"DISPLAY=" + std::string(std::getenv("DISPLAY")), "HOME=" + scratch / "home",
               "XDG_CONFIG_HOME=" + scratch / "config", "XDG_STATE_HOME=" + scratch / "state",
               "XDG_RUNTIME_DIR=" + scratch / "run", "PATH=/usr/bin:/bin", "NO_AT_BRIDGE=1"};
        // The XAUTHORITY of the test display, and in sanitizer builds the
        // sanitizers' options (their suppressions and report files).
        for (const char* name : {"XAUTHORITY", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
            if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
        }
    }
    ~EndToEndTest() override { server.Stop(); }

    // A document of one page; `interval` in seconds (-1: the default).
    std::string MakeDocument(const std::string& name, const std::string& path, int interval = -1) {
        CTallyhawkDoc doc;
        CWatchSite page;
        page.SetName(name);
        page.SetUrl(server.Url(path));
        if (interval >= 0) {
            CWatcherSettings settings = page.GetSettings();
            settings.SetInterval(interval);
            page.SetSettings(settings);
        }
        doc.GetPageList().Add(page);
        const std::string file = scratch / (name + ".wat");
        doc.OnSaveDocument(file);
        return file;
    }

    static std::int64_t LastUpdatedOnDisk(const std::string& file) {
        CTallyhawkDoc saved;
        saved.OnOpenDocument(file);
        return saved.GetPageList().GetCount() == 1 ? saved.GetPageList().GetAt(0)->GetLastUpdated() : -1;
    }

    testing::CScratchFolder scratch;
    testing::CLocalHttpServer server;
    std::atomic<int> one{0}, two{0}, busy{0};
    std::vector<std::string> env;
};

TEST_F(EndToEndTest, RunHandOverAndCloseOfTheRealProgram) {
    const std::string first = MakeDocument("one", "/one");
    const std::string second = MakeDocument("two", "/two");

    CProcess program({TALLYHAWK_PROGRAM, first, "run"}, env, scratch / "first.err");
    ASSERT_TRUE(WaitFor(one, 20s)) << "the first document's page was never checked";
    const unsigned long window = FindWindow("^one.wat - Tallyhawk$");
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(CDocument::IsShownInWindow(first)) << "what tallyhawk-cli list looks for";

    // The second start hands over and ends; the running one saves the first
    // document without a question (a watched document is kept saved), then
    // opens the second and watches it.
    CProcess later({TALLYHAWK_PROGRAM, second, "RUN"}, env, scratch / "second.err");
    EXPECT_EQ(later.Wait(20s), 0);
    EXPECT_TRUE(WaitFor(two, 20s)) << "the handed-over document was not watched";
    EXPECT_NE(FindWindow("^two.wat - Tallyhawk$"), 0u);
    EXPECT_EQ(program.Wait(0ms), std::nullopt);
    EXPECT_TRUE(CDocument::IsShownInWindow(second));
    EXPECT_FALSE(CDocument::IsShownInWindow(first));
    EXPECT_GT(LastUpdatedOnDisk(first), 0);

    // No tray here: the close button asks the Exit question, and the program
    // saves the watched document and ends.
    RequestClose(window);
    EXPECT_TRUE(AnswerMessageBox());
    EXPECT_EQ(program.Wait(20s), 0);
    EXPECT_GT(LastUpdatedOnDisk(second), 0);
}

// A stop signal saves the watched document and ends the program with status
// 0; killed outright at any moment, the file on disk is still a document.
TEST_F(EndToEndTest, StopSignalsSaveAndAKillNeverLeavesAHalfWrittenDocument) {
    // A page that changes at every request and is due at every pass: the
    // program saves as often as it may.
    server.Server().Get("/busy", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content("<p>" + std::to_string(++busy) + "</p>", "text/html");
    });
    const std::string file = MakeDocument("busy", "/busy", 0);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const int before = busy.load();
        CProcess program({TALLYHAWK_PROGRAM, file, "run"}, env, scratch / "signal.err");
        ASSERT_NE(FindWindow("^busy.wat - Tallyhawk$"), 0u);
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (busy.load() < before + 2 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        program.Signal(signal);
        EXPECT_EQ(program.Wait(20s), 0) << signal;
        const int served = busy.load();
        CTallyhawkDoc saved;
        saved.OnOpenDocument(file);
        // The last version saved is the last one served (or the one before,
        // when the stop came while a check was running).
        const std::string kept = saved.GetPageList().GetAt(0)->GetLatestContent();
        EXPECT_TRUE(kept == "<p>" + std::to_string(served) + "</p>" ||
                    kept == "<p>" + std::to_string(served - 1) + "</p>")
            << signal << ": " << kept << " after " << served;
    }
    std::srand(static_cast<unsigned>(::getpid()));
    for (int attempt = 0; attempt < 20; ++attempt) {
        CProcess program({TALLYHAWK_PROGRAM, file, "run"}, env, scratch / "kill.err");
        std::this_thread::sleep_for(std::chrono::milliseconds(300 + std::rand() % 2700));
        program.Signal(SIGKILL);
        program.Wait(20s);
        CTallyhawkDoc saved;
        EXPECT_NO_THROW(saved.OnOpenDocument(file)) << "attempt " << attempt;
        EXPECT_EQ(saved.GetPageList().GetCount(), 1) << "attempt " << attempt;
    }
}

// The page format on this program's clipboard, counting how often another
// program asked for the bytes.
class CServedPageRecord : public wxCustomDataObject {
public:
    CServedPageRecord(const std::string& bytes, std::atomic<int>& served)
        : wxCustomDataObject(wxDataFormat("Tallyhawk")), served(served) {
        SetData(bytes.size(), bytes.data());
    }
    bool GetDataHere(void* buffer) const override {
        ++served;
        return wxCustomDataObject::GetDataHere(buffer);
    }

private:
    std::atomic<int>& served;
};

// A page copied in the real program pastes here, and one put on the clipboard
// here pastes there: another running program reads the same record.
TEST_F(EndToEndTest, PagesPassBetweenTwoRunningProgramsThroughTheClipboard) {
    const std::string file = MakeDocument("one", "/one");
    CProcess program({TALLYHAWK_PROGRAM, file}, env, scratch / "err");
    const unsigned long window = FindWindow("^one.wat - Tallyhawk$");
    ASSERT_NE(window, 0u);
    const std::string focus = "xdotool windowfocus --sync " + std::to_string(window);

    tallyhawk::test::Run(focus + " key ctrl+c");
    std::string bytes;
    ASSERT_TRUE(PumpUntil([&] { return ReadPageRecord(bytes); }, 20s));
    EXPECT_EQ(PageFromRecord(bytes)->GetName(), "one");

    CWatchSite other;
    other.SetName("pasted");
    other.SetUrl(server.Url("/two"));
    std::atomic<int> served{0};
    {
        wxClipboardLocker open;
        ASSERT_TRUE(wxTheClipboard->SetData(new CServedPageRecord(PageRecord(other), served)));
    }
    tallyhawk::test::Run(focus + " key ctrl+v");
    ASSERT_TRUE(PumpUntil([&] { return served.load() > 0; }, 20s));
    PumpEvents(std::chrono::milliseconds(200));
    // Nothing of this program's may stay on the clipboard: the other one
    // would wait for answers while this one waits for its message boxes.
    wxTheClipboard->Clear();

    EXPECT_TRUE(CloseSaving(window, program));
    CTallyhawkDoc saved;
    saved.OnOpenDocument(file);
    ASSERT_EQ(saved.GetPageList().GetCount(), 2);
    EXPECT_EQ(saved.GetPageList().GetAt(1)->GetName(), "pasted");
    EXPECT_EQ(saved.GetPageList().GetAt(1)->GetUrl(), server.Url("/two"));
}

// A start whose document cannot be opened says so and ends with status 1,
// its window gone before the document it shows (checked in the sanitizer
// builds, where a use after free ends the program otherwise).
TEST_F(EndToEndTest, AStartWithAMissingDocumentEndsCleanly) {
    CProcess program({TALLYHAWK_PROGRAM, scratch / "missing.wat"}, env, scratch / "missing.err");
    EXPECT_TRUE(AnswerMessageBox());
    EXPECT_EQ(program.Wait(20s), 1);
}

TEST_F(EndToEndTest, WithoutADisplayItNamesTheHeadlessProgram) {
    std::vector<std::string> noDisplay(env.begin() + 1, env.end());  // all but DISPLAY
    CProcess program({TALLYHAWK_PROGRAM}, noDisplay, scratch / "err");
    EXPECT_EQ(program.Wait(10s), 1);
    std::ifstream error(scratch / "err");
    std::string text((std::istreambuf_iterator<char>(error)), {});
    EXPECT_NE(text.find("tallyhawk-cli watch"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

TEST_F(EndToEndTest, HelpAndVersionNeedNoDisplay) {
    std::vector<std::string> noDisplay(env.begin() + 1, env.end());  // all but DISPLAY
    auto output = [&](const std::string& option) {
        CProcess program({TALLYHAWK_PROGRAM, option}, noDisplay, scratch / "err", scratch / "out");
        EXPECT_EQ(program.Wait(10s), 0) << option;
        std::ifstream file(scratch / "out");
        return std::string((std::istreambuf_iterator<char>(file)), {});
    };
    EXPECT_EQ(output("--version"), std::string("tallyhawk ") + TALLYHAWK_VERSION + "\n");
    const std::string usage = output("--help");
    EXPECT_EQ(usage.rfind("Usage: tallyhawk [FILE] [run] [--minimized]\n", 0), 0u) << usage;
    EXPECT_NE(usage.find("tallyhawk-cli"), std::string::npos) << usage;
}

}  // namespace tallyhawk::test
