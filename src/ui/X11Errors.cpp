// Xlib's headers define names such as Status and None: they stay in this
// file (which no unity build joins to another).
#include "ui/X11Errors.h"

#include <mutex>

#ifdef TALLYHAWK_HAVE_X11
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#endif

namespace tallyhawk {

#ifdef TALLYHAWK_HAVE_X11
namespace {

XErrorHandler toolkitErrorHandler = nullptr;

int TolerateVanishedWindow(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow && error->request_code == X_TranslateCoords) return 0;
    return toolkitErrorHandler ? toolkitErrorHandler(display, error) : 0;
}

}  // namespace
#endif

void TolerateVanishedTrayWindows() {
#ifdef TALLYHAWK_HAVE_X11
    // After the toolkit has set its own handler, which the new one calls.
    static std::once_flag once;
    std::call_once(once, [] { toolkitErrorHandler = XSetErrorHandler(TolerateVanishedWindow); });
#endif
}

}  // namespace tallyhawk
