// CPrivateTempDirectory: the per-user folder that holds change files.
//
// The folder is private: created with mode 0700, and before each use checked
// to be a real directory (not a symbolic link) owned by this user, with its
// mode put back to 0700 if it drifted. Files in it are created exclusively
// (O_CREAT|O_EXCL), which never follows a link planted at the name. Names are
// "%s%lu.%s": the folder with its trailing '/', a millisecond counter and the
// extension. Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tallyhawk {

class CPrivateTempDirectory {
public:
    // How many names CreateFile tries before it gives up.
    static constexpr int kMaxNameAttempts = 1000;

    using TickSource = std::function<std::uint32_t()>;

    // `path`: the folder; `ticks`: the counter that names files (default:
    // milliseconds of the monotonic clock, cut to 32 bits).
    explicit CPrivateTempDirectory(std::string path = DefaultPath(), TickSource ticks = {});

    // ${TMPDIR:-/tmp}/tallyhawk-<uid>
    static std::string DefaultPath();
    static std::uint32_t MillisecondTicks();

    // Creates the folder when missing and checks that it is private. Returns
    // its path with a trailing '/'. Throws COsException for a system failure,
    // CGenericException when the folder is not a private folder of this user.
    std::string Prepare() const;

    // Creates a new, empty file "<folder>/<ticks>.<extension>" with mode 0600
    // and returns its path. A name that exists is skipped for the next count;
    // after kMaxNameAttempts names COsException(EEXIST) is thrown. Any other
    // failure throws at once.
    std::string CreateFile(const std::string& extension) const;

private:
    std::string path;
    TickSource ticks;
};


}  // namespace tallyhawk
