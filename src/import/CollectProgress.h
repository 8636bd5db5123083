// CCollectProgress: how far a collection of links has come, and the request
// to stop it. The collecting thread counts; another thread (the dialog's
// user-interface thread) reads the counts and may cancel.
//
// Every member may be called from any thread.
#pragma once

#include <atomic>
#include <cstddef>

namespace tallyhawk {

class CCollectProgress {
public:
    CCollectProgress() = default;
    CCollectProgress(const CCollectProgress&) = delete;
    CCollectProgress& operator=(const CCollectProgress&) = delete;

    // Asks the collection to stop. The folder walk looks at this before each
    // entry, the readers every 64 KiB of a text, every JSON value and every
    // thousand database steps, so the collection ends within milliseconds.
    // What it found so far is incomplete and meant to be thrown away.
    void Cancel() { canceled.store(true); }
    bool IsCanceled() const { return canceled.load(); }

    // Folder entries looked at so far, in the folder walk and the profile
    // folders.
    std::size_t Entries() const { return entries.load(); }
    // Links collected so far.
    std::size_t Links() const { return links.load(); }

    // The collecting thread's side.
    void CountEntry() { entries.fetch_add(1, std::memory_order_relaxed); }
    void SetLinks(std::size_t count) { links.store(count, std::memory_order_relaxed); }

private:
    std::atomic<bool> canceled{false};
    std::atomic<std::size_t> entries{0};
    std::atomic<std::size_t> links{0};
};

}  // namespace tallyhawk
