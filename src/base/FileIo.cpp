#include "base/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "base/Exception.h"
#include "base/StringTable.h"

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

namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// Reads `fd` to its end straight into a string of `room` bytes to begin
// with, growing it by doubling. More than `limit` bytes throw `tooLarge`'s
// exception once the limit is passed: at most one byte past it is read.
template <typename TooLarge>
std::string ReadToEnd(int fd, std::size_t room, std::size_t limit, TooLarge&& tooLarge) {
    std::string bytes(room, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > limit) tooLarge();
            bytes.resize(limit == kNoLimit ? 2 * bytes.size() : std::min(limit + 1, 2 * bytes.size()));
        }
        const std::size_t wanted = bytes.size() - used;
#ifdef _WIN32
        int n = ::_read(fd, bytes.data() + used,
                        static_cast<unsigned>(wanted < 0x40000000 ? wanted : 0x40000000));
#else
        ssize_t n = ::read(fd, bytes.data() + used, wanted);
#endif
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw COsException();
        }
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

}  // namespace

std::string ReadAll(int fd) {
    // Straight into the string, with no buffer in between. A regular file's
    // size is known: room for it and one byte more, so that the read that
    // finds its end needs no growth.
    std::size_t room = 64 * 1024;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        room = static_cast<std::size_t>(info.st_size) + 1;
    return ReadToEnd(fd, room, kNoLimit, [] {});
}

std::string ReadRegularFile(const std::string& path, std::size_t limit) {
    int flags = O_RDONLY;
#ifdef O_CLOEXEC
    flags |= O_CLOEXEC;
#endif
#ifdef O_NONBLOCK
    flags |= O_NONBLOCK;  // a pipe with no writer must not hold the open
#endif
#ifdef O_NOCTTY
    flags |= O_NOCTTY;
#endif
#ifdef O_BINARY
    flags |= O_BINARY;
#endif
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) throw COsException();
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0) throw COsException();
    if (!S_ISREG(info.st_mode))
        throw CFileRefusedException(FormatString(IDS_NOT_A_REGULAR_FILE, {path}));
    if (static_cast<std::uint64_t>(info.st_size) > limit)
        throw CFileRefusedException(FormatString(IDS_FILE_TOO_LARGE, {path, limit}));
    // At most one byte past the limit: a file that grows meanwhile is
    // refused as well, and never read whole.
    return ReadToEnd(fd, static_cast<std::size_t>(info.st_size) + 1, limit, [&] {
        throw CFileRefusedException(FormatString(IDS_FILE_TOO_LARGE, {path, limit}));
    });
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
