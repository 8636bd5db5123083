// Whole-buffer reads and writes on file descriptors, retried on interruption.
#pragma once

#include <cstddef>
#include <string>

#include "base/Exception.h"

namespace tallyhawk {

// Writes all `size` bytes. Throws COsException with the errno.
void WriteAll(int fd, const void* data, std::size_t size);
inline void WriteAll(int fd, const std::string& bytes) {
    WriteAll(fd, bytes.data(), bytes.size());
}

// Reads from the descriptor's position to its end. Throws COsException.
std::string ReadAll(int fd);

// A file that ReadRegularFile will not read: no regular file, or too large.
class CFileRefusedException : public CGenericException {
public:
    using CGenericException::CGenericException;
    const char* ClassName() const override { return "CFileRefusedException"; }
};

// The bytes of the regular file at `path`, which may hold at most `limit`
// bytes. Whatever else has that name (a pipe, a device, a folder) is refused
// without waiting on it: CFileRefusedException with "PATH is not a regular
// file.", and so is a larger file, "PATH is larger than LIMIT bytes; it was
// not read." Throws COsException when the file cannot be opened or read.
std::string ReadRegularFile(const std::string& path, std::size_t limit);

// Writes `bytes` to the file at `path` (created with mode 0600 when missing),
// emptying it first, without following a symbolic link. Throws COsException.
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace tallyhawk
