// The desktop program's command line, `tallyhawk [FILE] [run]`, and the
// recent-file list. Plain logic; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tallyhawk {

struct CCommandLine {
    std::optional<std::string> file;  // the document to open
    bool run = false;                 // start watching once started
    bool minimized = false;           // start with only the tray icon showing
    bool help = false;                // print the usage and end
    bool version = false;             // print the version and end
};

// "run" or "--run" in any letter case, as an argument of its own, starts
// watching; the first other argument that is not an option is the document.
// The text "run" inside a path (a home folder, a document's name) is never a
// request to watch. "--minimized", "--help" (or "-h") and "--version" are
// taken as written; other options are left to the toolkit.
CCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What `tallyhawk --help` and `tallyhawk --version` print.
std::string UsageText();
std::string VersionText();

// The File menu's list of the most recent documents, newest first, stored in
// the settings store as one value: the paths, each followed by a zero byte.
class CRecentFiles {
public:
    static constexpr const char* kValueName = "Recent File List";

    explicit CRecentFiles(std::size_t capacity = 4) : capacity(capacity) {}

    // Puts `path` first, dropping an older entry of it and the oldest beyond
    // the capacity.
    void Add(const std::string& path);
    void Remove(const std::string& path);
    const std::vector<std::string>& Items() const { return items; }

    std::string ToBytes() const;
    // Replaces the list; empty entries and those beyond the capacity are dropped.
    void FromBytes(const std::string& bytes);

private:
    std::size_t capacity;
    std::vector<std::string> items;
};

}  // namespace tallyhawk
