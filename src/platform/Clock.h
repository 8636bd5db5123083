// IClock: where the engine reads the current time, so that tests can set it.
#pragma once

#include <cstdint>

namespace tallyhawk {

class IClock {
public:
    virtual ~IClock() = default;
    // Whole seconds since 1970-01-01 00:00:00 UTC. Callable from any thread.
    virtual std::int64_t Now() const = 0;
};

// The system's wall clock.
class CSystemClock : public IClock {
public:
    std::int64_t Now() const override;
    // The one instance the program uses.
    static const CSystemClock& Instance();
};

}  // namespace tallyhawk
