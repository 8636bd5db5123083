// The activity indicator of the message-log bar: while watching runs, a
// shaded band sweeps to and fro inside a sunken frame.
//
// CActivitySteps holds the sweep (plain, no window); CActivityIndicator is the
// window that draws it and drives it with a timer. The timer runs only while
// the indicator is active and its top-level window is shown and not
// iconized, so a hidden program does no drawing work.
#pragma once

#include <wx/timer.h>
#include <wx/window.h>

class wxDC;
class wxIconizeEvent;
class wxShowEvent;

namespace tallyhawk {

class CActivitySteps {
public:
    enum class Direction { Forward, Backward };
    static constexpr double kStep = 0.01;

    // The band's pixels [begin, end) inside the frame, 0 at the first inner
    // pixel; `leading` is the pixel at the moving edge, drawn in the full
    // shadow colour.
    struct Band {
        int begin;
        int end;
        int leading;
    };

    // Sets the flag, and puts the band back at the start, moving forward.
    void SetActive(bool value);
    bool IsActive() const { return active; }

    // While active, moves the position by kStep in the current direction; past
    // 1.0 it is set to 1.0 and turns backward, below 0.0 it is set to 0.0 and
    // turns forward. Does nothing while inactive.
    void Step();

    double GetPosition() const { return position; }
    Direction GetDirection() const { return direction; }

    // The band for an inner width of `width` pixels: moving forward from
    // position x w - w/2 to position x w, moving backward from position x w to
    // position x w + w/2, cut to the inner area. Empty (begin == end) while
    // inactive or at position 0.
    Band GetBand(int width) const;
    // How far pixel `x` of `band` is shaded towards the shadow colour: 0.0 at
    // the band's trailing end (where it would start, uncut), 1.0 at its
    // leading pixel.
    double Shade(const Band& band, int width, int x) const;

private:
    bool active = false;
    double position = 0.0;
    Direction direction = Direction::Forward;
};

class CActivityIndicator : public wxWindow {
public:
    // The sweep moves one step every kStepMilliseconds, and is drawn every
    // kFrameMilliseconds, kStepsPerFrame steps at a time: the same pace with
    // a third of the redraws. Each redraw goes through the desktop's whole
    // drawing cycle, which at one per step cost a shown window more than
    // twice the processor time of everything else it does while watching.
    static constexpr int kStepMilliseconds = 12;
    static constexpr int kStepsPerFrame = 3;
    static constexpr int kFrameMilliseconds = kStepMilliseconds * kStepsPerFrame;

    // Follows the top-level window that `parent` belongs to.
    explicit CActivityIndicator(wxWindow* parent, wxWindowID id = wxID_ANY);
    ~CActivityIndicator() override;

    // Resets the sweep and redraws; starts or stops the animation.
    void SetActive(bool value);
    bool IsActive() const { return steps.IsActive(); }
    // The timer runs (active, and the top-level window shown).
    bool IsAnimating() const { return timer.IsRunning(); }
    const CActivitySteps& GetSteps() const { return steps; }

protected:
    wxSize DoGetBestClientSize() const override;

private:
    void OnPaint(wxPaintEvent& event);
    void OnTimer(wxTimerEvent& event);
    void OnTopLevelShow(wxShowEvent& event);
    void OnTopLevelIconize(wxIconizeEvent& event);
    // Starts or stops the timer as the state now asks.
    void UpdateTimer();

    CActivitySteps steps;
    wxTimer timer;
    wxWindow* topLevel;  // null when the indicator has no top-level parent
    bool iconized = false;
};

// Paints an indicator in the state of `steps` into `dc` over a client area
// of `size`: the sunken frame and, inside it, the band as one-pixel vertical
// lines running from the button-face colour to the shadow colour.
void DrawActivityIndicator(wxDC& dc, const wxSize& size, const CActivitySteps& steps);

}  // namespace tallyhawk
