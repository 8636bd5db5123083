#include "base/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdint>

#include "base/Exception.h"

namespace tallyhawk {

void WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
#ifdef _WIN32
        int n = ::_write(fd, p, static_cast<unsigned>(size));
#else
        ssize_t n = ::write(fd, p, size);
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw COsException();
        if (n == 0) throw COsException(EIO);  // no progress, and no errno of its own
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

std::string ReadAll(int fd) {
    std::string bytes;
    // A regular file's size is known: take the memory once.
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
#ifdef _WIN32
        int n = ::_read(fd, buffer, sizeof buffer);
#else
        ssize_t n = ::read(fd, buffer, sizeof buffer);
#endif
        if (n == 0) return bytes;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw COsException();
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    int flags = O_WRONLY | O_CREAT | O_TRUNC;
#ifdef O_CLOEXEC
    flags |= O_CLOEXEC;
#endif
#ifdef O_NOFOLLOW
    flags |= O_NOFOLLOW;
#endif
#ifdef O_BINARY
    flags |= O_BINARY;  // Windows opens in text mode otherwise and rewrites every LF as CR LF
#endif
    int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) throw COsException();
    try {
        WriteAll(fd, bytes);
    } catch (const COsException&) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) throw COsException();
}

}  // namespace tallyhawk
