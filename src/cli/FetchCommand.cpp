// tallyhawk-cli fetch: downloads one URL to standard output, byte for byte,
// with the progress on standard error.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#endif

#include "app/AppSettings.h"
#include "app/PageCheck.h"
#include "app/SettingsStore.h"
#include "base/Exception.h"
#include "base/FileIo.h"
#include "cli/Commands.h"
#include "net/Downloader.h"
#include "net/InternetError.h"

namespace tallyhawk::cli {

const char* const kFetchHelp =
    "Usage: tallyhawk-cli fetch URL [--user NAME --password PASS]\n"
    "Downloads URL the way a watched page is checked and writes the body to\n"
    "standard output unchanged, as the server sends it: fetch asks for no\n"
    "compression and sends no validators of an earlier version. The progress\n"
    "goes to standard error, one line per step. A URL without \"://\" is taken\n"
    "as http://URL. An answer with an HTTP status of 400 or more is printed too,\n"
    "but fails. The download keeps to the time limit of tallyhawk-cli defaults\n"
    "--time-limit.\n\n"
    "  --user NAME       user name for the server's authentication\n"
    "  --password PASS   password for the server's authentication\n\n"
    "Exit status: 0 downloaded, 1 failed (the reason, such as \"The server answered\n"
    "404 Not Found.\", is printed), 2 usage error,\n"
    "130 interrupted (Ctrl-C).\n";

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// Writes each chunk straight to the descriptor; the body is never held in
// memory, not even in a stdio buffer.
class StdoutSink : public CDownloadSink {
public:
    void Truncate() override {}  // standard output may be a pipe, or a file opened to append
    void Write(const char* data, std::size_t length) override { WriteAll(1, data, length); }
};

// The downloader that Ctrl-C cancels, while one runs.
std::mutex interruptLock;
CDownloader* interruptTarget = nullptr;
// Set by Ctrl-C. A download clears its cancel mark when it starts, so an
// interrupt that comes just before is repeated from the first progress step.
std::atomic<bool> interrupted{false};

void CancelRunningDownload() {
    interrupted = true;
    std::lock_guard lock(interruptLock);
    if (interruptTarget) interruptTarget->Cancel();
}

// The main window's status texts (the same as the Update Page dialog's), one
// line per step. A run of Receiving announcements is one line: on a terminal
// it is rewritten in place (at most ten times a second), elsewhere it is
// printed once, with the final count, when the next step comes.
class ProgressPrinter : public CEventSink {
public:
    ProgressPrinter() : terminal(IsTerminal()) {}
    ~ProgressPrinter() override { UnsubscribeAll(); }

    bool OnProgress(const CDownloadProgress* progress) {
        if (interrupted && progress->state != Canceled) CancelRunningDownload();
        if (progress->state == Receiving) {
            receiving.state = Receiving;  // only the count is shown
            receiving.bytesReceived = progress->bytesReceived;
            receivingOpen = true;
            if (terminal) {
                auto now = std::chrono::steady_clock::now();
                if (now - lastShown >= std::chrono::milliseconds(100)) {
                    lastShown = now;
                    std::fprintf(stderr, "\r%s", CPageCheck::StatusText(receiving).c_str());
                }
            }
            return true;
        }
        EndReceiving();
        std::fprintf(stderr, "%s\n", CPageCheck::StatusText(*progress).c_str());
        return true;
    }

    // Ends a Receiving line still open (a failure announces nothing more).
    void EndReceiving() {
        if (!receivingOpen) return;
        std::fprintf(stderr, "%s%s\n", terminal ? "\r" : "",
                     CPageCheck::StatusText(receiving).c_str());
        receivingOpen = false;
    }

private:
    static bool IsTerminal() {
#ifdef _WIN32
        return _isatty(_fileno(stderr)) != 0;
#else
        return isatty(STDERR_FILENO) != 0;
#endif
    }

    bool terminal;
    bool receivingOpen = false;
    CDownloadProgress receiving;
    std::chrono::steady_clock::time_point lastShown;
};

#ifdef _WIN32

BOOL WINAPI OnConsoleControl(DWORD) {
    CancelRunningDownload();
    return TRUE;
}

class InterruptWatch {
public:
    InterruptWatch() { SetConsoleCtrlHandler(&OnConsoleControl, TRUE); }
    ~InterruptWatch() { SetConsoleCtrlHandler(&OnConsoleControl, FALSE); }
};

#else

// Ctrl-C and SIGTERM are taken by a thread of their own with sigwait, so the
// cancel runs as ordinary code rather than inside a signal handler.
class InterruptWatch {
public:
    InterruptWatch() {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGUSR1);  // our own "download over"
        pthread_sigmask(SIG_BLOCK, &signals, &previous);
        watcher = std::thread([signals, this] {
            for (;;) {
                int number = 0;
                if (sigwait(&signals, &number) != 0) continue;
                if (number == SIGUSR1) {
                    std::lock_guard lock(interruptLock);
                    if (over) return;
                    continue;
                }
                CancelRunningDownload();
            }
        });
    }
    ~InterruptWatch() {
        {
            std::lock_guard lock(interruptLock);
            over = true;
        }
        pthread_kill(watcher.native_handle(), SIGUSR1);
        watcher.join();
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

private:
    sigset_t previous;
    bool over = false;  // guarded by interruptLock
    std::thread watcher;
};

#endif

int Usage(const char* problem) {
    std::fprintf(stderr, "tallyhawk-cli fetch: %s\n%s", problem, kFetchHelp);
    return kExitUsage;
}

}  // namespace

int RunFetch(const Args& args) {
    std::string url, user, password;
    bool haveUrl = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--user" || arg == "--password") {
            if (i + 1 == args.size()) return Usage("option needs a value");
            (arg == "--user" ? user : password) = args[++i];
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return Usage(("unknown option " + arg).c_str());
        } else if (haveUrl) {
            return Usage("only one URL, please");
        } else {
            url = arg;
            haveUrl = true;
        }
    }
    if (!haveUrl) return Usage("no URL given");

#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    CSession::StartLibrary();  // before any thread starts
    CDownloader downloader;
    {
        CAppSettings settings;
        LoadAppSettings(CFileSettingsStore(), settings);
        downloader.SetTimeLimits(settings.GetTimeLimits());
    }
    ProgressPrinter printer;
    downloader.Subscribe(&printer, &ProgressPrinter::OnProgress);
    if (!user.empty() || !password.empty()) downloader.SetCredentials(user, password);

    StdoutSink sink;
    bool succeeded = false;
    try {
        InterruptWatch watch;
        {
            std::lock_guard lock(interruptLock);
            interruptTarget = &downloader;
        }
        struct Detach {
            ~Detach() {
                std::lock_guard lock(interruptLock);
                interruptTarget = nullptr;
            }
        } detach;
        succeeded = downloader.Download(url, &sink);
        if (!succeeded && !downloader.IsCanceled()) ThrowDownloadError(downloader);
    } catch (const CException& e) {
        printer.EndReceiving();
        char message[1024];
        e.GetErrorMessage(message, sizeof message);
        std::fprintf(stderr, "%s\n", message);
        return kExitFailed;
    }
    printer.EndReceiving();
    return succeeded ? 0 : kExitInterrupted;
}

}  // namespace tallyhawk::cli
