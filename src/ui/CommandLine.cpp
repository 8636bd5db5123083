#include "ui/CommandLine.h"

#include <algorithm>
#include <cctype>

#include "base/StringTable.h"

namespace tallyhawk {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

CCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CCommandLine line;
    for (const std::string& argument : arguments) {
        const std::string lower = Lower(argument);
        if (lower == "run" || lower == "--run") {
            line.run = true;
        } else if (argument == "--minimized") {
            line.minimized = true;
        } else if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (!argument.empty() && argument[0] != '-' && !line.file) {
            line.file = argument;
        }
    }
    return line;
}

std::string UsageText() { return LoadString(IDS_USAGE); }

std::string VersionText() { return FormatString(IDS_VERSION_LINE, {TALLYHAWK_VERSION}); }

void CRecentFiles::Add(const std::string& path) {
    if (path.empty()) return;
    Remove(path);
    items.insert(items.begin(), path);
    if (items.size() > capacity) items.resize(capacity);
}

void CRecentFiles::Remove(const std::string& path) {
    items.erase(std::remove(items.begin(), items.end(), path), items.end());
}

std::string CRecentFiles::ToBytes() const {
    std::string bytes;
    for (const std::string& item : items) {
        bytes += item;
        bytes += '\0';
    }
    return bytes;
}

void CRecentFiles::FromBytes(const std::string& bytes) {
    items.clear();
    std::size_t start = 0;
    while (start < bytes.size() && items.size() < capacity) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        if (end > start) items.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace tallyhawk
