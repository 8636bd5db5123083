// Values gathered on a worker thread for the window, handed over in batches:
// the first value posts one call; the window takes everything gathered so
// far, handles it, and comes back for more a little later (kBatchPause)
// instead of being posted to again. However fast the watch thread checks,
// the window's queue never fills with its posts, and the window's timers
// and drawing keep their turn. Add on any thread; Take on the window's.
#pragma once

#include <chrono>
#include <mutex>
#include <vector>

namespace tallyhawk {

inline constexpr std::chrono::milliseconds kBatchPause{25};

template <class Value>
class CPostedBatch {
public:
    // Adds `value`; true when the caller must post the call that takes it.
    bool Add(Value value) {
        std::lock_guard guard(lock);
        values.push_back(std::move(value));
        if (posted) return false;
        posted = true;
        return true;
    }
    // Moves everything gathered into `out` and returns true; with nothing
    // gathered, returns false and lets the next Add post again.
    bool Take(std::vector<Value>& out) {
        std::lock_guard guard(lock);
        out.clear();
        if (values.empty()) {
            posted = false;
            return false;
        }
        out.swap(values);
        return true;
    }

private:
    std::mutex lock;
    std::vector<Value> values;  // guarded by lock
    bool posted = false;        // guarded by lock: a take is due
};

}  // namespace tallyhawk
