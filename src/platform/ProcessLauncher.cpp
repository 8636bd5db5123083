#include "platform/ProcessLauncher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "base/Exception.h"

extern char** environ;

namespace tallyhawk {

namespace {

// posix_spawn's attribute and file-action objects, released on every path.
class CSpawnSetup {
public:
    explicit CSpawnSetup(bool discardOutput) {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
        // The child starts with no blocked signals and default dispositions,
        // whatever this process has done with its own.
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGCHLD}) {
            sigaddset(&defaults, signal);
        }
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        if (discardOutput) {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        }
    }
    ~CSpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    CSpawnSetup(const CSpawnSetup&) = delete;
    CSpawnSetup& operator=(const CSpawnSetup&) = delete;

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
};

pid_t Spawn(const std::vector<std::string>& arguments, bool discardOutput) {
    if (arguments.empty() || arguments[0].empty()) throw COsException(ENOENT);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    CSpawnSetup setup(discardOutput);
    pid_t pid = 0;
    int result = posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
    if (result != 0) throw COsException(static_cast<std::uint32_t>(result));
    return pid;
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

int WaitBlocking(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return ExitStatus(status);
}

}  // namespace

CSpawnLauncher::~CSpawnLauncher() { ReapEnded(); }

CSpawnLauncher& CSpawnLauncher::Instance() {
    static CSpawnLauncher launcher;
    return launcher;
}

void CSpawnLauncher::ReapEnded() {
    std::lock_guard<std::mutex> guard(lock);
    std::erase_if(launched, [](pid_t pid) {
        int status = 0;
        return waitpid(pid, &status, WNOHANG) != 0;  // ended, or not ours to wait for
    });
}

void CSpawnLauncher::Launch(const std::vector<std::string>& arguments) {
    ReapEnded();
    pid_t pid = Spawn(arguments, false);
    std::lock_guard<std::mutex> guard(lock);
    launched.push_back(pid);
}

int CSpawnLauncher::Run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                        const StopTest& stopped) {
    // How often `stopped` is asked while the program runs.
    constexpr std::chrono::milliseconds kStopSlice{10};
    pid_t pid = Spawn(arguments, true);
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) return WaitBlocking(pid);  // a kernel without pidfds: no limit
    auto deadline = std::chrono::steady_clock::now() + limit;
    bool ended = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (stopped && stopped())) break;
        if (stopped) left = std::min(left, kStopSlice);
        struct pollfd entry = {pidfd, POLLIN, 0};
        int ready = poll(&entry, 1, static_cast<int>(left.count()));
        if (ready > 0) {
            ended = true;
            break;
        }
        if (ready < 0 && errno != EINTR) break;
    }
    close(pidfd);
    if (!ended) {
        kill(pid, SIGKILL);
        WaitBlocking(pid);
        return -1;
    }
    return WaitBlocking(pid);
}

std::string FindProgramInPath(const std::string& program) {
    auto executable = [](const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
    };
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) return executable(program) ? program : std::string();
    const char* value = std::getenv("PATH");
    std::string path = value ? value : "/usr/local/bin:/usr/bin:/bin";
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type colon = path.find(':', start);
        std::string folder = path.substr(start, colon == std::string::npos ? colon : colon - start);
        std::string candidate = folder.empty() ? std::string(".") : folder;
        candidate.push_back('/');
        candidate += program;
        if (executable(candidate)) return candidate;
        if (colon == std::string::npos) return {};
        start = colon + 1;
    }
}

}  // namespace tallyhawk
