// CAtomicFile: writes a file that either keeps its old contents or gets all
// of the new ones. The bytes go to a new temporary file in the same folder
// (mode 0600 unless the owner asks for another); Commit flushes it to the disk and renames it over the target.
// A target that is a symbolic link is written through: the file it points
// at is replaced (the temporary file lies beside that one) and the link
// stays. A file that is never committed is removed. Not thread-safe.
#pragma once

#include <string>

namespace tallyhawk {

class CAtomicFile {
public:
    // Creates the temporary file beside `path` (or beside the file a link at
    // `path` points at); the committed file gets `mode`. Throws COsException.
    explicit CAtomicFile(const std::string& path, unsigned mode = 0600);
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;
    // Removes the temporary file when it was not committed.
    ~CAtomicFile();

    // The temporary file's descriptor, open for writing.
    int Descriptor() const { return fd; }
    // Syncs the temporary file and renames it to the target, then syncs the
    // folder. The descriptor stays open (on the new file) until destruction.
    // Throws COsException.
    void Commit();

    // Writes `bytes` to `path` this way. Throws COsException.
    static void Write(const std::string& path, const std::string& bytes);

private:
    std::string path;
    std::string temporary;
    unsigned mode;
    int fd = -1;
    bool committed = false;
};

}  // namespace tallyhawk
