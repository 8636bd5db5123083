// Helpers for tests in real windows: the toolkit is started once by the test
// program's main; these pump its events and take screenshots.
#pragma once

#include <chrono>
#include <functional>
#include <string>

class wxWindow;

namespace tallyhawk::test {

// Handles pending events for `duration` (at least one round).
void PumpEvents(std::chrono::milliseconds duration = std::chrono::milliseconds(50));
// Handles events until `done` returns true or `limit` passes; returns done().
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));
// Writes what `window` shows on screen (frame included) to
// screenshots/NAME.png in the build folder; returns the file's path.
std::string Screenshot(wxWindow* window, const std::string& name);

}  // namespace tallyhawk::test
