// Test helpers for the engine and the application layer: a settable clock,
// a time zone for the length of a test, and fakes of the platform services.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "platform/Clock.h"
#include "platform/PlatformTestUtil.h"
#include "platform/ProcessLauncher.h"
#include "platform/SoundPlayer.h"
#include "platform/TempDirectory.h"
#include "engine/SiteServices.h"

namespace tallyhawk::testing {

class CFakeClock : public IClock {
public:
    explicit CFakeClock(std::int64_t now = 1000000000) : now(now) {}
    std::int64_t Now() const override { return now.load(); }
    void Set(std::int64_t seconds) { now = seconds; }
    void Advance(std::int64_t seconds) { now += seconds; }

private:
    std::atomic<std::int64_t> now;
};

// Sets TZ (a POSIX zone string such as "JST-9", so no zone files are needed)
// for the life of the object.
class CScopedTimeZone {
public:
    explicit CScopedTimeZone(const char* zone) : env("TZ", zone) { tzset(); }

private:
    struct CReset {
        ~CReset() { tzset(); }  // runs after env has put TZ back
    };
    CReset reset;
    CScopedEnv env;
};

// Seconds since 1970 of a local date and time in the current zone.
inline std::int64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&fields));
}

class CRecordingLauncher : public IProcessLauncher {
public:
    void Launch(const std::vector<std::string>& arguments) override {
        std::lock_guard<std::mutex> guard(lock);
        for (const std::string& program : failing) {
            if (!arguments.empty() && arguments[0] == program) throw COsException(2);
        }
        for (const std::string& program : breaking) {
            if (!arguments.empty() && arguments[0] == program) throw std::runtime_error("broke");
        }
        launched.push_back(arguments);
    }
    int Run(const std::vector<std::string>& arguments, std::chrono::milliseconds,
            const StopTest&) override {
        std::lock_guard<std::mutex> guard(lock);
        run.push_back(arguments);
        return 0;
    }
    // Launch throws COsException(2) for these programs, as for a missing one.
    void FailFor(const std::string& program) {
        std::lock_guard<std::mutex> guard(lock);
        failing.push_back(program);
    }
    std::vector<std::vector<std::string>> Launched() {
        std::lock_guard<std::mutex> guard(lock);
        return launched;
    }
    // Launch throws a failure that is none of the program's exceptions.
    void BreakFor(const std::string& program) {
        std::lock_guard<std::mutex> guard(lock);
        breaking.push_back(program);
    }
    std::mutex lock;
    std::vector<std::string> failing;
    std::vector<std::string> breaking;
    std::vector<std::vector<std::string>> launched;
    std::vector<std::vector<std::string>> run;
};

// Records the sounds played. Each lasts `length` (0: none), unless the
// player is told to stop; a long one stands for a stuck audio system.
class CRecordingSoundPlayer : public ISoundPlayer {
public:
    void Play(const std::string& file, const StopTest& stopped) override {
        std::unique_lock<std::mutex> guard(lock);
        played.push_back(file);
        started.notify_all();
        const auto end = std::chrono::steady_clock::now() + length;
        while (std::chrono::steady_clock::now() < end && !(stopped && stopped())) {
            started.wait_for(guard, std::chrono::milliseconds(2));
        }
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> guard(lock);
        return played.size();
    }
    // Waits (bounded) until `count` sounds have started.
    bool WaitForPlays(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> guard(lock);
        return started.wait_for(guard, limit, [&] { return played.size() >= count; });
    }
    std::chrono::milliseconds length{0};
    std::mutex lock;
    std::condition_variable started;
    std::vector<std::string> played;
};

// Pages made with fakes for time, programs and sound, and a private temporary
// folder in a scratch folder whose file names count up from 1000.
class CFakeServices {
public:
    CFakeServices()
        : temp(scratch / "temp", [this] { return ++tick; }),
          services(clock, launcher, sound, temp, [this] {
              ++lookups;
              if (browser == "!") throw CGenericException("no browser");
              return browser;
          }) {}
    std::string TempPath(const std::string& name) const { return scratch / ("temp/" + name); }

    CScratchFolder scratch;
    CFakeClock clock;
    CRecordingLauncher launcher;
    CRecordingSoundPlayer sound;
    std::uint32_t tick = 999;
    std::string browser;  // what the browser lookup finds; "!": it fails
    int lookups = 0;
    CPrivateTempDirectory temp;
    CSiteServices services;
};

}  // namespace tallyhawk::testing
