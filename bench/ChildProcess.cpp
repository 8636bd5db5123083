#include "ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>

extern char** environ;

namespace tallyhawk::bench {

RunResult Spawn(std::vector<std::string> argv, const std::string& out) {
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid) return result;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.ran = WIFEXITED(status);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.megabytes = static_cast<double>(usage.ru_maxrss) * 1024 / 1e6;  // ru_maxrss is in KiB
    return result;
}

int MeasureChild(int argc, char** argv) {
    if (argc < 4) return 2;
    const RunResult run = Spawn(std::vector<std::string>(argv + 3, argv + argc), argv[2]);
    std::printf("%d %d %.9f %.6f\n", run.ran, run.status, run.seconds, run.megabytes);
    return 0;
}

RunResult RunMeasured(const std::vector<std::string>& command, const std::string& out) {
    const std::string figures = out + ".figures";
    std::vector<std::string> argv{"/proc/self/exe", kMeasureFlag, out};
    argv.insert(argv.end(), command.begin(), command.end());
    RunResult result;
    if (!Spawn(argv, figures).ran) return result;
    std::ifstream in(figures);
    int ran = 0;
    in >> ran >> result.status >> result.seconds >> result.megabytes;
    result.ran = in && ran == 1;
    return result;
}

}  // namespace tallyhawk::bench
