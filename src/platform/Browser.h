// The desktop's default web browser and text viewer.
#pragma once

#include <string>

namespace tallyhawk {

// The program that opens what the desktop's "open" action opens.
inline constexpr const char* kDesktopOpener = "xdg-open";

// The default browser's program: the first entry of $BROWSER (a colon-separated
// list by convention), or empty when $BROWSER is unset or empty. Empty means
// "let the desktop open it" (kDesktopOpener).
std::string DefaultBrowserFromEnvironment();

}  // namespace tallyhawk
