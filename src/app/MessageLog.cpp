#include "app/MessageLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Exception.h"
#include "base/FileIo.h"
#include "base/StringTable.h"
#include "platform/Clock.h"

namespace tallyhawk {

namespace {

constexpr std::size_t kExceptionMessageSize = 2048;
constexpr const char* kLineBreak = "\n";

// An open file descriptor, closed on every path.
class CFileHandle {
public:
    explicit CFileHandle(int fd) : fd(fd) {}
    ~CFileHandle() {
        if (fd >= 0) close(fd);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

// Appending to the log file is best effort: a full disk must not stop the
// program's work, and the entry stays in the message log.
bool TryWriteAll(int fd, const std::string& bytes) {
    try {
        WriteAll(fd, bytes);
        return true;
    } catch (const COsException&) {
        return false;
    }
}

// The file's lines without their line breaks (LF, or CR LF from a file
// written elsewhere). A last line without a break still counts.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t cut = (end > start && text[end - 1] == '\r') ? end - 1 : end;
        lines.emplace_back(text, start, cut - start);
        start = end + 1;
    }
    return lines;
}

}  // namespace

CMessageLog::CMessageLog(const IClock* clock)
    : clock(clock ? clock : &CSystemClock::Instance()) {}

void CMessageLog::Add(const std::string& message, const std::string& source) {
    std::int32_t index;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        entries.emplace_back(message, source, clock->Now());
        std::string line = entries.back().FileLine();
        Trim();
        WriteToLogFile(line);
        index = static_cast<std::int32_t>(entries.size()) - 1;
    }
    CLogEvent event{LogEntryAdded, index, this};
    Announce(&event);
}

void CMessageLog::Add(const CException& exception, const std::string& source) {
    char buffer[kExceptionMessageSize];
    buffer[0] = '\0';
    bool hasText = exception.GetErrorMessage(buffer, sizeof buffer);
    Add(hasText && buffer[0] != '\0' ? std::string(buffer) : LoadString(IDS_UNKNOWN_EXCEPTION), source);
}

void CMessageLog::Clear() {
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        entries.clear();
    }
    CLogEvent event{LogCleared, -1, this};
    Announce(&event);
}

std::int32_t CMessageLog::GetCount() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return static_cast<std::int32_t>(entries.size());
}

std::optional<CLogEntry> CMessageLog::GetAt(std::int32_t index) const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return std::nullopt;
    return entries[static_cast<std::size_t>(index)];
}

void CMessageLog::SetMaximumLines(std::int32_t lines) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    maximumLines = lines;
    Trim();
}

std::int32_t CMessageLog::GetMaximumLines() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return maximumLines;
}

void CMessageLog::SetLogToFile(bool enabled) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    logToFile = enabled;
}

bool CMessageLog::GetLogToFile() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return logToFile;
}

void CMessageLog::SetLogFile(const std::string& path) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    logFile = path;
}

std::string CMessageLog::GetLogFile() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return logFile;
}

void CMessageLog::Trim() {
    if (maximumLines == kNoLimit) return;
    // Any other negative bound behaves as 0: an empty list.
    std::size_t bound = maximumLines > 0 ? static_cast<std::size_t>(maximumLines) : 0;
    if (entries.size() > bound) {
        entries.erase(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(entries.size() - bound));
    }
}

void CMessageLog::WriteToLogFile(const std::string& line) {
    if (!logToFile || logFile.empty()) return;
    // O_NONBLOCK: opening never waits (a FIFO, a file with a lease).
    CFileHandle file(open(logFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
    if (file.Get() < 0) return;
    // Only a regular file: reading a FIFO or a device to its end could wait for ever.
    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    // Another instance of the program may log to the same file, and a backup
    // or rotation tool may hold it. Never wait for it: this runs under the
    // log's lock on the watch thread, and a file that is locked just misses
    // this line.
    if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0) return;
    if (maximumLines == kNoLimit) {
        // Nothing is counted: only the last byte matters, not the whole file,
        // which grows without bound.
        const off_t end = lseek(file.Get(), 0, SEEK_END);
        if (end < 0) return;
        char last = '\n';
        if (end > 0 && pread(file.Get(), &last, 1, end - 1) != 1) return;
        TryWriteAll(file.Get(), (last != '\n' ? kLineBreak : "") + line + kLineBreak);
        return;
    }
    std::string content;
    try {
        content = ReadAll(file.Get());
    } catch (const COsException&) {
        return;
    }
    // Complete a last line that was cut off, so the new line stands alone.
    std::string separator = (!content.empty() && content.back() != '\n') ? kLineBreak : "";
    std::vector<std::string> lines = SplitLines(content);
    lines.push_back(line);
    std::size_t bound = maximumLines > 0 ? static_cast<std::size_t>(maximumLines) : 0;
    if (lines.size() <= bound) {
        TryWriteAll(file.Get(), separator + line + kLineBreak);
        return;
    }
    // Over the bound: keep the newest three quarters of it (cut towards zero).
    std::size_t keep = bound * 3 / 4;
    std::string rewritten;
    for (std::size_t i = lines.size() - keep; i < lines.size(); ++i) {
        rewritten += lines[i];
        rewritten += kLineBreak;
    }
    if (ftruncate(file.Get(), 0) != 0 || lseek(file.Get(), 0, SEEK_SET) != 0) return;
    TryWriteAll(file.Get(), rewritten);
}

void CMessageLog::SaveTo(const std::string& path) const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    CFileHandle file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (file.Get() < 0) throw COsException();
    std::string text;
    for (const CLogEntry& entry : entries) {
        text += entry.FileLine();
        text += kLineBreak;
    }
    WriteAll(file.Get(), text);
    int fd = file.Get();
    if (fsync(fd) != 0 && errno != EINVAL) throw COsException();
}

}  // namespace tallyhawk
