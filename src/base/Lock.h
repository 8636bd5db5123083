// The lock interface used by the notification classes, its one
// implementation, and a scoped holder that counts nested locking.
//
// A CLock is re-entrant for the thread that holds it. CLockGuard belongs to
// one thread: it is not itself thread-safe, only the lock behind it is.
#pragma once

#include <cstdint>
#include <mutex>

namespace tallyhawk {

// Time-out value that means "wait as long as it takes", in milliseconds.
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

class CLock {
public:
    virtual ~CLock() = default;
    // Takes the lock, waiting at most `timeout` milliseconds; true when held.
    virtual bool Lock(std::uint32_t timeout = kInfinite) = 0;
    // Releases one level of the lock held by the calling thread.
    virtual bool Unlock() = 0;
};

// A re-entrant lock. Lock waits without limit whatever the time-out says
// (callers only ever pass kInfinite) and always returns true. Unlock must
// only be called by the thread that holds the lock.
class CCriticalSectionLock : public CLock {
public:
    CCriticalSectionLock() = default;
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

    bool Lock(std::uint32_t timeout = kInfinite) override;
    bool Unlock() override;

private:
    std::recursive_mutex section;
};

// Holds `target` for a scope. Nested Lock calls only count; the target is
// locked once when the count leaves 0 and unlocked once when it returns to 0
// (or when the guard is destroyed while it still holds the lock).
class CLockGuard {
public:
    // With `lockNow`, takes the lock at once (count 1 on success).
    explicit CLockGuard(CLock* target, bool lockNow = true);
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;
    virtual ~CLockGuard();

    // false when the target could not be locked; the count is then unchanged.
    virtual bool Lock(std::uint32_t timeout = kInfinite);
    // false when the guard does not hold the lock (count 0): nothing happens.
    virtual bool Unlock();

    std::int32_t Count() const { return count; }

private:
    CLock* target;  // not owned
    std::int32_t count = 0;
};

}  // namespace tallyhawk
