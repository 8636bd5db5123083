// Whole-buffer reads and writes on file descriptors, retried on interruption.
#pragma once

#include <cstddef>
#include <string>

namespace tallyhawk {

// Writes all `size` bytes. Throws COsException with the errno.
void WriteAll(int fd, const void* data, std::size_t size);
inline void WriteAll(int fd, const std::string& bytes) {
    WriteAll(fd, bytes.data(), bytes.size());
}

// Reads from the descriptor's position to its end. Throws COsException.
std::string ReadAll(int fd);

// Writes `bytes` to the file at `path` (created with mode 0600 when missing),
// emptying it first, without following a symbolic link. Throws COsException.
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace tallyhawk
