#include "platform/TempDirectory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "base/Exception.h"
#include "base/StringTable.h"

namespace tallyhawk {

CPrivateTempDirectory::CPrivateTempDirectory(std::string path, TickSource ticks)
    : path(std::move(path)), ticks(ticks ? std::move(ticks) : TickSource(&MillisecondTicks)) {
    while (this->path.size() > 1 && this->path.back() == '/') this->path.pop_back();
}

std::string CPrivateTempDirectory::DefaultPath() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/tallyhawk-" + std::to_string(geteuid());
}

std::uint32_t CPrivateTempDirectory::MillisecondTicks() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

std::string CPrivateTempDirectory::Prepare() const {
    if (path.empty()) throw COsException(ENOENT);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) throw COsException();
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) throw COsException();
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        throw CGenericException(FormatString(IDS_TEMP_FOLDER_NOT_PRIVATE, {path}));
    }
    if ((st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) throw COsException();
    return path + "/";
}

std::string CPrivateTempDirectory::CreateFile(const std::string& extension) const {
    std::string folder = Prepare();
    std::uint32_t count = ticks();
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt, ++count) {
        char number[16];
        std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(count));
        std::string name = folder + number + "." + extension;
        // O_EXCL fails on any existing name, a symbolic link included, so a
        // planted link is never followed.
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            close(fd);
            return name;
        }
        if (errno != EEXIST) throw COsException();
    }
    throw COsException(EEXIST);
}


}  // namespace tallyhawk
