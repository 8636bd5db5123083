#include "app/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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


}  // namespace

CAtomicFile::CAtomicFile(std::string target) : path(std::move(target)) {
    temporary = path + ".XXXXXX";
    fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) throw COsException();
}

CAtomicFile::~CAtomicFile() {
    if (!committed) ::unlink(temporary.c_str());
    if (fd >= 0) ::close(fd);
}

void CAtomicFile::Commit() {
    if (::fchmod(fd, 0600) != 0 || ::fsync(fd) != 0) throw COsException();
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
