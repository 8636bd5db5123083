#include "platform/Clock.h"

#include <chrono>

namespace tallyhawk {

std::int64_t CSystemClock::Now() const {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

const CSystemClock& CSystemClock::Instance() {
    static const CSystemClock clock;
    return clock;
}

}  // namespace tallyhawk
