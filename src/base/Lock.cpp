#include "base/Lock.h"

namespace tallyhawk {

bool CCriticalSectionLock::Lock(std::uint32_t) {
    section.lock();
    return true;
}

bool CCriticalSectionLock::Unlock() {
    section.unlock();
    return true;
}

CLockGuard::CLockGuard(CLock* target, bool lockNow) : target(target) {
    if (lockNow && target->Lock(kInfinite)) count = 1;
}

CLockGuard::~CLockGuard() {
    if (count > 0) target->Unlock();
    count = 0;
}

bool CLockGuard::Lock(std::uint32_t timeout) {
    if (count == 0 && !target->Lock(timeout)) return false;
    ++count;
    return true;
}

bool CLockGuard::Unlock() {
    if (count < 1) return false;
    if (count > 1) {
        --count;
        return true;
    }
    count = 0;
    return target->Unlock();
}

}  // namespace tallyhawk
