// CSiteServices: what a watched page needs from the world outside the
// program — the clock, starting programs, the sound player, the private
// temporary folder and the default browser — gathered so that tests can give
// pages fakes. Thread-safe; every page holds a pointer to the services it was
// made with, which must outlive it.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace tallyhawk {

class CPrivateTempDirectory;
class IClock;
class IProcessLauncher;
class ISoundPlayer;

class CSiteServices {
public:
    // Returns the default browser's program; may throw CException.
    using BrowserLookup = std::function<std::string()>;

    // All must outlive the services. Without a lookup, the browser comes from
    // the environment (platform/Browser.h).
    CSiteServices(const IClock& clock, IProcessLauncher& launcher, ISoundPlayer& soundPlayer,
                  const CPrivateTempDirectory& tempDirectory, BrowserLookup browserLookup = {});
    CSiteServices(const CSiteServices&) = delete;
    CSiteServices& operator=(const CSiteServices&) = delete;

    // The real services. Pages made without services use these, or the ones
    // given to SetDefault.
    static CSiteServices& Default();
    // Replaces the default services (null: back to the real ones). For tests
    // and front ends, before any page is made; `services` must outlive them.
    static void SetDefault(CSiteServices* services);

    const IClock& Clock() const { return clock; }
    IProcessLauncher& Launcher() const { return launcher; }
    ISoundPlayer& SoundPlayer() const { return soundPlayer; }
    const CPrivateTempDirectory& TempDirectory() const { return tempDirectory; }

    // Runs the browser lookup when the default browser is still unknown; a
    // failure is swallowed and leaves it unknown. Once known it is kept.
    void LookUpDefaultBrowser();
    // The default browser's program, empty when unknown.
    std::string GetDefaultBrowser() const;
    // How long a page that learns its noise waits before the download that
    // confirms a change: long enough for whatever changes at every visit
    // to change, short enough not to keep the change waiting.
    static constexpr std::chrono::milliseconds kConfirmPause{1000};
    std::chrono::milliseconds ConfirmPause() const { return confirmPause.load(); }
    // For tests, which need not wait.
    void SetConfirmPause(std::chrono::milliseconds value) { confirmPause.store(value); }

private:
    const IClock& clock;
    IProcessLauncher& launcher;
    ISoundPlayer& soundPlayer;
    const CPrivateTempDirectory& tempDirectory;
    BrowserLookup browserLookup;
    mutable std::mutex lock;
    std::string defaultBrowser;  // guarded by lock
    std::atomic<std::chrono::milliseconds> confirmPause{kConfirmPause};
};

}  // namespace tallyhawk
