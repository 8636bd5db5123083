// CDocument: the small document base of the program's front ends: a path, a
// modified flag, and New, Open, Save and delete-contents steps around the
// derived document's Serialize.
//
// Files are read through a loading archive and written atomically (a new
// file in the same folder, flushed, renamed over the old one, mode 0600).
//
// A front end that may write the document takes its file lock (LockFile):
// an advisory lock (flock) on the file, held until the document is closed.
// Saving moves the lock to the new file before it replaces the old one, so
// another process never finds the path unlocked in between; saving under a
// new name (Save As) moves it to that file and lets go of the old one. A
// second process asking for the lock gets CGenericException with
// IDS_DOCUMENT_IN_USE, and so does saving over a file that another holder has locked.
//
// Used on one thread, except SetModifiedFlag and IsModified, which any thread
// may call (events from the watch thread mark the document modified).
#pragma once

#include <atomic>
#include <string>

namespace tallyhawk {

class CArchive;

class CDocument {
public:
    CDocument() = default;
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;
    virtual ~CDocument();

    const std::string& GetPathName() const { return pathName; }
    void SetPathName(const std::string& path) { pathName = path; }
    bool IsModified() const { return modified.load(); }
    void SetModifiedFlag(bool value = true) { modified.store(value); }

    // Empties the document, forgets its path and releases the lock.
    // Derived classes add their own steps and call this one.
    virtual bool OnNewDocument();
    // Empties the document, then reads `path`. On any failure the exception
    // leaves (CArchiveException for a short or damaged file, COsException
    // when it cannot be read) and the document is a new one (OnNewDocument):
    // untitled, without path or lock. On success a lock held for another
    // file is let go. Not modified afterwards.
    virtual void OnOpenDocument(const std::string& path);
    // Writes the document to `path` atomically and takes that path. A lock
    // the document holds moves to the new file. Not modified afterwards,
    // unless a change came in while it was written. Throws COsException, or
    // CGenericException(IDS_DOCUMENT_IN_USE) when another holder has `path`
    // locked; the old file and the lock are then as they were.
    virtual void OnSaveDocument(const std::string& path);

    // Takes the advisory lock of `path` (the file must exist) for this
    // document. Throws CGenericException(IDS_DOCUMENT_IN_USE) when another holder
    // has it, COsException when the file cannot be opened.
    void LockFile(const std::string& path);
    // Lets go of the lock, if held.
    void UnlockFile();
    bool HoldsLock() const { return lockFd >= 0; }

    // The window mark tells other processes that the document is shown in a
    // window (the desktop program's), which may hold newer pages than the
    // file. From this call on, every lock the document holds, takes or moves
    // also carries the mark: an open-file-description read lock (fcntl
    // F_OFD_SETLK) of the one byte at offset 2^62, far past any document's
    // end, on the lock's own descriptor. It goes with that
    // descriptor, so a program that dies leaves no stale mark. Where the
    // system has no such locks the document is simply never marked.
    void MarkShownInWindow();
    // Whether another open file holds the window mark of the file at
    // `path`. Only asks (F_OFD_GETLK): a probe never takes a lock, so it
    // cannot make another program's LockFile fail. False when the file
    // cannot be opened.
    static bool IsShownInWindow(const std::string& path);

    virtual void Serialize(CArchive& archive) = 0;
    // Empties the document; called before New and Open and when it closes.
    virtual void DeleteContents() {}

private:
    // Throws CGenericException(IDS_DOCUMENT_IN_USE) when a holder other than this
    // document has the lock of the file at `path`.
    void RequireNotInUse(const std::string& path) const;

    std::string pathName;
    std::string lockedPath;
    int lockFd = -1;
    bool windowMark = false;
    std::atomic<bool> modified{false};
};

}  // namespace tallyhawk
