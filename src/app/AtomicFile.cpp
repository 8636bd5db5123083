#include "app/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdlib>

#include "base/Exception.h"
#include "base/FileIo.h"

namespace tallyhawk {

namespace {

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file that a save replaces: `path`, or, when that is a symbolic link,
// the file it points at (following a chain of links; a link's relative target
// counts from the link's folder). Replacing the link itself would turn it
// into a regular file and leave its target stale.
std::string ResolveLinks(std::string path) {
    constexpr int kMaxLinks = 40;  // as the kernel's own limit
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        char target[PATH_MAX];
        ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length < 0) throw COsException();
        if (static_cast<std::size_t>(length) >= sizeof target) throw COsException(ENAMETOOLONG);
        std::string next(target, static_cast<std::size_t>(length));
        path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
    }
    throw COsException(ELOOP);
}

}  // namespace

CAtomicFile::CAtomicFile(const std::string& target, unsigned mode)
    : path(ResolveLinks(target)), mode(mode) {
    temporary = path + ".XXXXXX";
    fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) throw COsException();
}

CAtomicFile::~CAtomicFile() {
    if (!committed) ::unlink(temporary.c_str());
    if (fd >= 0) ::close(fd);
}

void CAtomicFile::Commit() {
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0 || ::fsync(fd) != 0) throw COsException();
    if (::rename(temporary.c_str(), path.c_str()) != 0) throw COsException();
    committed = true;
    // The rename itself reaches the disk with its folder.
    int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void CAtomicFile::Write(const std::string& path, const std::string& bytes) {
    CAtomicFile file(path);
    WriteAll(file.Descriptor(), bytes);
    file.Commit();
}

}  // namespace tallyhawk
