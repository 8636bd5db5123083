#include "engine/SiteServices.h"

#include <atomic>

#include "base/Exception.h"
#include "platform/Browser.h"
#include "platform/Clock.h"
#include "platform/ProcessLauncher.h"
#include "platform/SoundPlayer.h"
#include "platform/TempDirectory.h"

namespace tallyhawk {

namespace {

std::atomic<CSiteServices*> replacement{nullptr};

}  // namespace

CSiteServices::CSiteServices(const IClock& clock, IProcessLauncher& launcher,
                             ISoundPlayer& soundPlayer, const CPrivateTempDirectory& tempDirectory,
                             BrowserLookup browserLookup)
    : clock(clock),
      launcher(launcher),
      soundPlayer(soundPlayer),
      tempDirectory(tempDirectory),
      browserLookup(browserLookup ? std::move(browserLookup)
                                  : BrowserLookup(&DefaultBrowserFromEnvironment)) {}

CSiteServices& CSiteServices::Default() {
    if (CSiteServices* services = replacement.load()) return *services;
    static CPrivateTempDirectory tempDirectory;
    static CSiteServices services(CSystemClock::Instance(), CSpawnLauncher::Instance(),
                                  CCommandSoundPlayer::Instance(), tempDirectory);
    return services;
}

void CSiteServices::SetDefault(CSiteServices* services) { replacement.store(services); }

void CSiteServices::LookUpDefaultBrowser() {
    std::lock_guard<std::mutex> guard(lock);
    if (!defaultBrowser.empty()) return;
    try {
        defaultBrowser = browserLookup();
    } catch (const CException&) {
        defaultBrowser.clear();
    }
}

std::string CSiteServices::GetDefaultBrowser() const {
    std::lock_guard<std::mutex> guard(lock);
    return defaultBrowser;
}

}  // namespace tallyhawk
