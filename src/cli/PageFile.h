// A page version read from a file for tallyhawk-cli diff: the file's bytes
// up to its first zero byte, as a stored page holds them.
//
// A regular file is mapped rather than read: the comparison then works on
// the system's own cached copy of the file, with no copy into the program
// and no page of fresh memory for each 4 KiB read. Anything else (a pipe, a
// terminal) is read into memory. A mapped file that is cut short while the
// program runs would end it with SIGBUS; GuardMappedFiles turns that into the
// command's usual trouble exit with one line on standard error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallyhawk::cli {

class CPageFile {
public:
    CPageFile() = default;
    ~CPageFile();
    CPageFile(const CPageFile&) = delete;
    CPageFile& operator=(const CPageFile&) = delete;

    // Opens and maps or reads `path`; false with `error` set when it cannot.
    bool Open(const std::string& path, std::string& error);
    // The page: the bytes before the file's first zero byte.
    std::string_view Page() const { return page; }

    // From now on, SIGBUS (a mapped file cut short) writes "tallyhawk-cli
    // diff: a file changed while it was compared" and exits with status 2.
    static void GuardMappedFiles();

private:
    void* mapped = nullptr;
    std::size_t mappedSize = 0;
    std::string copy;
    std::string_view page;
};

}  // namespace tallyhawk::cli
