#include "import/FileSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "import/CollectProgress.h"

namespace tallyhawk {

namespace {

struct CDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using CDir = std::unique_ptr<DIR, CDirCloser>;

struct CEntry {
    std::string path;
    bool folder;
};

// One search's state: where it has been and what it may still take.
class CSearch {
public:
    CSearch(const std::function<bool(std::string_view)>& matches, std::vector<std::string>& files,
            const CSearchLimits& limits, CCollectProgress* progress)
        : matches(matches), files(files), limits(limits), filesLeft(limits.files), progress(progress) {}

    void Walk(std::string folder, int depth) {
        if (Canceled()) return;
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return;
        if (!visited.emplace(info.st_dev, info.st_ino).second) return;
        if (folder.empty() || folder.back() != '/') folder += '/';
        std::vector<CEntry> entries = Read(folder);
        for (const CEntry& entry : entries) {
            if (entry.folder && depth < limits.depth) Walk(entry.path, depth + 1);
        }
        for (const CEntry& entry : entries) {
            if (entry.folder || filesLeft == 0) continue;
            const std::string_view name = std::string_view(entry.path).substr(folder.size());
            if (!matches(name)) continue;
            files.push_back(entry.path);
            --filesLeft;
        }
    }

private:
    // The folder's entries but "." and "..", in the file system's order;
    // only folders and regular files.
    std::vector<CEntry> Read(const std::string& folder) {
        std::vector<CEntry> entries;
        CDir dir(::opendir(folder.c_str()));
        if (!dir) return entries;
        while (entriesLeft > 0 && !Canceled()) {
            const dirent* entry = ::readdir(dir.get());
            if (!entry) break;
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            --entriesLeft;
            if (progress) progress->CountEntry();
            std::string path = folder + std::string(name);
            struct stat info {};
            if (::stat(path.c_str(), &info) != 0) continue;
            if (S_ISDIR(info.st_mode)) entries.push_back({std::move(path), true});
            else if (S_ISREG(info.st_mode)) entries.push_back({std::move(path), false});
        }
        return entries;
    }

    bool Canceled() const { return progress && progress->IsCanceled(); }

    const std::function<bool(std::string_view)>& matches;
    std::vector<std::string>& files;
    const CSearchLimits& limits;
    std::size_t entriesLeft = limits.entries;
    std::size_t filesLeft;
    std::set<std::pair<dev_t, ino_t>> visited;
    CCollectProgress* progress;
};

}  // namespace

void FindFiles(const std::string& folder, const std::function<bool(std::string_view)>& matches,
               std::vector<std::string>& files, const CSearchLimits& limits,
               CCollectProgress* progress) {
    if (folder.empty()) return;
    CSearch(matches, files, limits, progress).Walk(folder, 0);
}

std::vector<std::string> ListFolders(const std::string& folder, std::size_t limit,
                                     CCollectProgress* progress) {
    std::vector<std::string> names;
    CDir dir(::opendir(folder.c_str()));
    if (!dir) return names;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    // Entries looked at, not folders found, bound the time a huge folder takes.
    for (std::size_t seen = 0; seen < limit * 100 && names.size() < limit; ++seen) {
        if (progress && progress->IsCanceled()) return {};
        const dirent* entry = ::readdir(dir.get());
        if (!entry) break;
        if (progress) progress->CountEntry();
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && IsFolder(prefix + name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ReadFileStart(const std::string& path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    // Not blocking: a pipe under a bookmark file's name must not hold the
    // open; it is refused below as no regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        const auto size = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
        bytes.resize(std::min(size, limit));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        // A file that shrank since it was measured gives what it still has.
        bytes.resize(ok ? done : 0);
    }
    ::close(fd);
    return ok;
}

}  // namespace tallyhawk
