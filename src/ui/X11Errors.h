// What the desktop program does about the X server's complaints.
#pragma once

namespace tallyhawk {

// The tray host embeds the tray icon's window in one of its own and may
// destroy or re-embed it at any moment; the toolkit's next question about
// where that window is on the screen then names a window that is gone. The
// answer is only lost, not harmful, but the toolkit's error handler ends the
// program for it. From the first call on, that one complaint is let pass;
// every other still goes to the toolkit's handler. Nothing off X11.
void TolerateVanishedTrayWindows();

}  // namespace tallyhawk
