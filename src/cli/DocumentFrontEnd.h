// What tallyhawk-cli's document commands share: the stored defaults, the
// argument parsing, opening and saving a document, a page as JSON, the exit
// statuses of failures, and the stop signals of the commands that run the
// watch thread (watch, check). Used by the main thread only.
#pragma once

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/SettingsStore.h"
#include "app/TallyhawkDoc.h"
#include "cli/Commands.h"
#include "cli/PageOptions.h"
#include "engine/WatchSite.h"

namespace tallyhawk::cli {

// Bad use of a command: exit status 2.
struct UsageError {
    std::string message;
};

// What the front end keeps between documents: the stored defaults.
struct FrontEnd {
    FrontEnd();
    CFileSettingsStore store;
    CWatchSite defaultPage;
    CAppSettings app;
};

// Runs a command's `body` and returns its exit status; a failure is printed
// as "tallyhawk-cli COMMAND: message" and returns 2 for bad use, otherwise
// `trouble`.
int Run(const char* command, const std::function<int()>& body, int trouble = 1);

// Splits the arguments into positional ones and the flags it knows.
struct Parsed {
    std::vector<std::string> positional;
    bool json = false;
    bool print = false;
    bool removed = false;
    bool prune = false;
    std::optional<std::string> show, output;
    std::optional<std::pair<std::string, std::string>> diff;
    bool all = false;
    bool accept = false;
    bool html = false;
    std::optional<std::string> forSeconds;
    bool favorites = false;
    bool list = false;
    std::optional<std::string> match;
    PageOptions page;
    bool anyPageOption = false;
    std::optional<std::string> logFile, logging, maxLines, timeLimit, transfers, perServer,
        historyVersions, historyDays;
};

// `flags`: the options besides the page options (taken only when
// `pageOptions`) that the command accepts. Throws UsageError.
Parsed Parse(const Args& args, bool pageOptions, std::initializer_list<const char*> flags);
// Throws UsageError unless there are exactly `count` positional arguments,
// `what` naming them.
void RequirePositional(const Parsed& parsed, std::size_t count, const char* what);

// Opens FILE; `forWriting` takes its lock first. The message log takes the
// application's log settings.
std::unique_ptr<CTallyhawkDoc> OpenDocument(FrontEnd& front, const std::string& path, bool forWriting);
void Save(CTallyhawkDoc& doc, const std::string& path);
// For a command that reads FILE without its lock: when the desktop program
// shows the document in its window, says on standard error that the window
// may be newer than what the command prints.
void NoteShownInWindow(const char* command, const std::string& path);

// PAGE as the user gives it: digits alone are the page's number; anything
// else its name, byte for byte, or else with ASCII letters in any case.
// Throws UsageError when there is no such page or several have the name.
std::int32_t FindPage(const std::string& text, CTallyhawkDoc& doc);

// The page's fields as a JSON object without its closing brace, so that a
// caller may add its own.
std::string PageJson(std::int32_t index, const CWatchSite& page);
// The settings of what to watch as JSON members ("compare": ..., without
// braces), for show, list and defaults.
std::string WatchSettingsJson(const CWatcherSettings& settings);

// SIGINT and SIGTERM, blocked from construction on and taken by the
// constructing thread alone, in Wait; every thread started afterwards
// inherits the mask. SIGUSR1 serves only to wake that wait.
class CStopSignals {
public:
    CStopSignals() : owner(pthread_self()) {
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGUSR1);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    }
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // Waits for a signal, at most `timeout` (null: without limit). Returns
    // SIGINT or SIGTERM, or 0 after a wake or the time-out.
    int Wait(const timespec* timeout) {
        const int signal = timeout ? sigtimedwait(&signals, nullptr, timeout)
                                   : sigwaitinfo(&signals, nullptr);
        return signal == SIGINT || signal == SIGTERM ? signal : 0;
    }
    // Ends a Wait in progress, or the next one; from any thread. A wake that
    // is never waited for stays pending, blocked, and is dropped at exit.
    void Wake() { pthread_kill(owner, SIGUSR1); }

private:
    sigset_t signals;
    pthread_t owner;
};

}  // namespace tallyhawk::cli
