// A places database of any bytes, read through SQLite from a file.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "import/FirefoxPlaces.h"

namespace {

// The file each input is written to, removed when the fuzzer ends.
struct CScratchFile {
    const std::string path = "/tmp/tallyhawk-fuzz-places-" + std::to_string(::getpid());
    ~CScratchFile() { ::unlink(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const CScratchFile scratch;
    const std::string& path = scratch.path;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    tallyhawk::CBookmarkList list;
    tallyhawk::ReadFirefoxPlaces(path, list);
    return 0;
}
