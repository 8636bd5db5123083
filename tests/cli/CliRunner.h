// Runs the real tallyhawk-cli binary and collects what it prints.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tallyhawk::testing {

struct CliResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// The path of the tallyhawk-cli binary under test.
const char* CliPath();

// Runs tallyhawk-cli with `args`, standard input empty.
CliResult RunCli(const std::vector<std::string>& args);

class TempFolder;

// A tallyhawk-cli started and not yet waited for.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args);
    ~CliProcess();  // waits for it when Finish was not called
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;
    int Pid() const { return pid; }
    // Waits for the process to end.
    CliResult Finish();

private:
    std::unique_ptr<TempFolder> folder;  // its standard output and error
    int pid = -1;
};

// A fresh private folder for the test's files, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path; }
    // Writes `bytes` to a file in the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path;
};

}  // namespace tallyhawk::testing
