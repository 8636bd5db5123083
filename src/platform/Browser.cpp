#include "platform/Browser.h"

#include <cstdlib>

namespace tallyhawk {

std::string DefaultBrowserFromEnvironment() {
    const char* value = std::getenv("BROWSER");
    if (value == nullptr) return {};
    std::string browser = value;
    return browser.substr(0, browser.find(':'));
}

}  // namespace tallyhawk
