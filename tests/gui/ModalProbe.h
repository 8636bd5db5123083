// Runs a modal dialog in a test: a probe looks at the windows every 10 ms
// from inside whatever event loop runs, nested dialogs' loops included.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

#include <chrono>
#include <functional>

namespace tallyhawk::test {

// Every modal dialog open now, innermost last.
inline std::vector<wxDialog*> ModalDialogs() {
    std::vector<wxDialog*> dialogs;
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog && dialog->IsModal()) dialogs.push_back(dialog);
    }
    return dialogs;
}

// The open modal dialog of type T, or null.
template <class T>
T* OpenDialog() {
    for (wxDialog* dialog : ModalDialogs()) {
        if (auto* found = dynamic_cast<T*>(dialog)) return found;
    }
    return nullptr;
}

// Runs `action`, which opens modal dialogs. `probe` runs every 10 ms until
// it returns true; it must not block (actions that open a nested loop are
// posted with CallAfter). After `limit`, every open modal dialog is ended
// with -1, so a fault cannot hang the run; `done` reports whether the probe
// got what it waited for.
inline void RunWithProbe(const std::function<void()>& action, const std::function<bool()>& probe,
                         bool& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    wxTimer timer;
    done = !probe;
    bool busy = false;
    const auto end = std::chrono::steady_clock::now() + limit;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (busy) return;
        busy = true;
        if (!done) done = probe();
        if (std::chrono::steady_clock::now() > end) {
            for (wxDialog* open : ModalDialogs()) open->EndModal(-1);
        }
        busy = false;
    });
    timer.Start(10);
    action();
}

// Shows `dialog` modally with a probe, as RunWithProbe, and returns its result.
inline int RunModal(wxDialog& dialog, const std::function<bool()>& probe, bool& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    int result = 0;
    RunWithProbe([&] { result = dialog.ShowModal(); }, probe, done, limit);
    return result;
}

}  // namespace tallyhawk::test
