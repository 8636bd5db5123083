// IProcessLauncher: how the program starts other programs.
//
// Programs are started with an argument vector, never through a shell, so
// nothing in a file name or URL is interpreted. Tests swap in a fake that
// records the vectors.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tallyhawk {

// Asked again and again while something waits; true: give up waiting now.
using StopTest = std::function<bool()>;

class IProcessLauncher {
public:
    virtual ~IProcessLauncher() = default;

    // Starts arguments[0] (looked up in PATH when it has no '/') with the rest
    // as its arguments and returns at once. Throws COsException with the errno
    // when the program cannot be started (2 when it is not found).
    virtual void Launch(const std::vector<std::string>& arguments) = 0;

    // Starts arguments[0] as Launch does, with its output discarded, and waits
    // until it ends; a program still running after `limit`, or once `stopped`
    // (when given) answers true, is killed. `stopped` is asked on the calling
    // thread every few milliseconds. Returns the exit status, or -1 when the
    // program was killed or ended by a signal. Throws as Launch does.
    virtual int Run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                    const StopTest& stopped = {}) = 0;
};

// The real launcher over posix_spawnp. Thread-safe.
class CSpawnLauncher : public IProcessLauncher {
public:
    CSpawnLauncher() = default;
    ~CSpawnLauncher() override;
    CSpawnLauncher(const CSpawnLauncher&) = delete;
    CSpawnLauncher& operator=(const CSpawnLauncher&) = delete;

    void Launch(const std::vector<std::string>& arguments) override;
    int Run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
            const StopTest& stopped = {}) override;

    // The one instance the program uses.
    static CSpawnLauncher& Instance();

private:
    // Collects launched programs that have ended, so they leave no zombies.
    void ReapEnded();

    std::mutex lock;
    std::vector<pid_t> launched;  // guarded by lock
};

// The full path of `program` found in $PATH, or empty. A name with '/' is
// returned as it is when that file is executable.
std::string FindProgramInPath(const std::string& program);

}  // namespace tallyhawk
