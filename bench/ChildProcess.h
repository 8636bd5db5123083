// Whole processes measured from a benchmark: wall time and peak resident
// memory of a child, with its standard output to a file.
#pragma once

#include <string>
#include <vector>

namespace tallyhawk::bench {

struct RunResult {
    bool ran = false;
    int status = -1;
    double seconds = 0;
    double megabytes = 0;  // peak resident memory of the child
};

// Runs `argv` with standard output to `out` and standard error to /dev/null.
RunResult Spawn(std::vector<std::string> argv, const std::string& out);

// The measuring helper: `BENCH --measure-child OUT PROGRAM ARGS...` runs
// PROGRAM and prints its exit status, time and peak memory. A child started
// straight from a large benchmark process would count that process's peak
// as its own (exec keeps the peak of the memory it replaces), so benchmarks
// measure through a fresh, small copy of themselves. main calls
// MeasureChild first when argv[1] is kMeasureFlag.
inline constexpr const char* kMeasureFlag = "--measure-child";
int MeasureChild(int argc, char** argv);

// Runs `command` through that helper, standard output to `out`.
RunResult RunMeasured(const std::vector<std::string>& command, const std::string& out);

}  // namespace tallyhawk::bench
