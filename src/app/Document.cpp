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
#include "base/StringTable.h"

namespace tallyhawk {

namespace {

std::string InUse(const std::string& path) { return FormatString(IDS_DOCUMENT_IN_USE, {path}); }

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

// The window mark's byte: beyond any file's contents, so that no reader or
// writer of the contents ever locks it by chance.
constexpr off_t kWindowMarkOffset = off_t(1) << 62;

struct flock WindowMarkRange(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = kWindowMarkOffset;
    range.l_len = 1;
    return range;
}

// A mark that cannot be taken (a file system without such locks) only
// leaves the file unmarked: the lock proper is what keeps it safe.
void TakeWindowMark(int fd) {
#ifdef F_OFD_SETLK
    struct flock mark = WindowMarkRange(F_RDLCK);
    ::fcntl(fd, F_OFD_SETLK, &mark);
#else
    (void)fd;
#endif
}

}  // namespace

CDocument::~CDocument() { UnlockFile(); }

void CDocument::MarkShownInWindow() {
    windowMark = true;
    if (lockFd >= 0) TakeWindowMark(lockFd);
}

bool CDocument::IsShownInWindow(const std::string& path) {
#ifdef F_OFD_GETLK
    CDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0) return false;
    struct flock probe = WindowMarkRange(F_WRLCK);
    if (::fcntl(file.fd, F_OFD_GETLK, &probe) != 0) return false;
    // Only the mark itself: a lock over the whole file (another program's
    // own, or a file system's stand-in for flock) says nothing about a window.
    return probe.l_type == F_RDLCK && probe.l_start == kWindowMarkOffset && probe.l_len == 1;
#else
    (void)path;
    return false;
#endif
}

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
        // Nothing of a file that could not be read completely survives, and
        // the previous file's contents are gone: what is left is a new,
        // untitled document. Keeping the previous path (or its lock) would
        // let the next Save write this empty list over that file.
        OnNewDocument();
        throw;
    }
    // The lock of another file (the one open before) does not belong to this one.
    if (lockFd >= 0 && lockedPath != path) UnlockFile();
    pathName = path;
    SetModifiedFlag(false);
}

void CDocument::OnSaveDocument(const std::string& path) {
    // Cleared before the pages are written, not after: a change that the
    // watch thread makes while they are written marks the document again
    // instead of being forgotten.
    const bool wasModified = modified.exchange(false);
    try {
        // Saving under another name must not replace a file that another
        // program holds: it would lose its changes, or overwrite ours.
        if (path != lockedPath) RequireNotInUse(path);
        CAtomicFile file(path);
        {
            CArchive archive(file.Descriptor(), CArchive::Store);
            Serialize(archive);
            archive.Flush();
        }
        // A held lock moves to the new file, Save As included: the file the
        // document now stands for is the one other processes must find locked.
        CDescriptor newLock(-1);
        if (lockFd >= 0) {
            if (::flock(file.Descriptor(), LOCK_EX | LOCK_NB) != 0) throw COsException();
            // The new file is locked through its own descriptor: keep one.
            newLock.fd = ::fcntl(file.Descriptor(), F_DUPFD_CLOEXEC, 0);
            if (newLock.fd < 0) throw COsException();
            if (windowMark) TakeWindowMark(newLock.fd);
        }
        file.Commit();
        if (newLock.fd >= 0) {
            ::close(lockFd);
            lockFd = newLock.fd;
            newLock.fd = -1;
            lockedPath = path;
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
            if (windowMark) TakeWindowMark(fd);
            return;
        }
        ::close(fd);
    }
    throw CGenericException(InUse(path));
}

void CDocument::RequireNotInUse(const std::string& path) const {
    CDescriptor probe(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (probe.fd < 0) return;  // nothing there yet, or unreadable: the save itself tells
    if (::flock(probe.fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
    // Our own lock, reached under another name (a link to the same file), is no other holder.
    struct stat probed {}, held {};
    if (lockFd >= 0 && ::fstat(probe.fd, &probed) == 0 && ::fstat(lockFd, &held) == 0 &&
        probed.st_dev == held.st_dev && probed.st_ino == held.st_ino)
        return;
    throw CGenericException(InUse(path));
}

void CDocument::UnlockFile() {
    if (lockFd >= 0) ::close(lockFd);
    lockFd = -1;
    lockedPath.clear();
}

}  // namespace tallyhawk
