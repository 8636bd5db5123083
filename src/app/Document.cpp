#include "app/Document.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/AtomicFile.h"
#include "base/Archive.h"
#include "base/Exception.h"

namespace tallyhawk {

namespace {

std::string InUse(const std::string& path) {
    char text[4096];
    std::snprintf(text, sizeof text, CDocument::kInUseMessage, path.c_str());
    return text;
}

class CDescriptor {
public:
    explicit CDescriptor(int fd) : fd(fd) {}
    ~CDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int fd;
};

}  // namespace

CDocument::~CDocument() { UnlockFile(); }

bool CDocument::OnNewDocument() {
    DeleteContents();
    UnlockFile();
    pathName.clear();
    SetModifiedFlag(false);
    return true;
}

void CDocument::OnOpenDocument(const std::string& path) {
    DeleteContents();
    try {
        CDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (file.fd < 0) throw COsException();
        CArchive archive(file.fd, CArchive::Load);
        Serialize(archive);
    } catch (...) {
        // Nothing of a file that could not be read completely survives.
        DeleteContents();
        SetModifiedFlag(false);
        throw;
    }
    pathName = path;
    SetModifiedFlag(false);
}

void CDocument::OnSaveDocument(const std::string& path) {
    // Cleared before the pages are written, not after: a change that the
    // watch thread makes while they are written marks the document again
    // instead of being forgotten.
    const bool wasModified = modified.exchange(false);
    try {
        CAtomicFile file(path);
        {
            CArchive archive(file.Descriptor(), CArchive::Store);
            Serialize(archive);
            archive.Flush();
        }
        const bool relock = lockFd >= 0 && lockedPath == path;
        if (relock && ::flock(file.Descriptor(), LOCK_EX | LOCK_NB) != 0) throw COsException();
        file.Commit();
        if (relock) {
            // The new file is locked through its own descriptor: keep that one.
            int fd = ::dup(file.Descriptor());
            if (fd >= 0) {
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
                ::close(lockFd);
                lockFd = fd;
            }
        }
    } catch (...) {
        if (wasModified) SetModifiedFlag(true);
        throw;
    }
    pathName = path;
}

void CDocument::LockFile(const std::string& path) {
    UnlockFile();
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw COsException();
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) throw CGenericException(InUse(path));
            throw COsException(static_cast<std::uint32_t>(error));
        }
        // The holder may have replaced the file between our open and our
        // lock: then we hold the lock of a file that is gone; try again.
        struct stat held {}, current {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &current) == 0 &&
            held.st_dev == current.st_dev && held.st_ino == current.st_ino) {
            lockFd = fd;
            lockedPath = path;
            return;
        }
        ::close(fd);
    }
    throw CGenericException(InUse(path));
}

void CDocument::UnlockFile() {
    if (lockFd >= 0) ::close(lockFd);
    lockFd = -1;
    lockedPath.clear();
}

}  // namespace tallyhawk
