#include "cli/PageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/mman.h>

#include <csignal>
#endif

#include <cerrno>
#include <cstring>

#include "base/Exception.h"
#include "base/FileIo.h"

namespace tallyhawk::cli {

namespace {

std::string_view UpToZero(std::string_view bytes) {
    if (bytes.empty()) return bytes;
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    return zero ? bytes.substr(0, std::size_t(static_cast<const char*>(zero) - bytes.data()))
                : bytes;
}

#ifndef _WIN32
void OnBusError(int) {
    // Only async-signal-safe calls here.
    static const char message[] = "tallyhawk-cli diff: a file changed while it was compared\n";
    const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(2);
}
#endif

}  // namespace

CPageFile::~CPageFile() {
#ifndef _WIN32
    if (mapped) ::munmap(mapped, mappedSize);
#endif
}

bool CPageFile::Open(const std::string& path, std::string& error) {
    int flags = O_RDONLY;
#ifdef O_CLOEXEC
    flags |= O_CLOEXEC;
#endif
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        error = "cannot read '" + path + "': " + std::strerror(errno);
        return false;
    }
#ifndef _WIN32
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        int mapFlags = MAP_PRIVATE;
#ifdef MAP_POPULATE
        mapFlags |= MAP_POPULATE;  // the whole file is read anyway: map it in one go
#endif
        void* address = ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, mapFlags, fd, 0);
        if (address != MAP_FAILED) {
            ::close(fd);
            mapped = address;
            mappedSize = std::size_t(info.st_size);
            page = UpToZero({static_cast<const char*>(address), mappedSize});
            return true;
        }
        // Not mappable (some file systems): read it instead.
    }
#endif
    try {
        copy = ReadAll(fd);
    } catch (const COsException& e) {
        ::close(fd);
        error = "cannot read '" + path + "': " + e.Message();
        return false;
    }
    ::close(fd);
    page = UpToZero(copy);
    return true;
}

void CPageFile::GuardMappedFiles() {
#ifndef _WIN32
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = &OnBusError;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, nullptr);
#endif
}

}  // namespace tallyhawk::cli
