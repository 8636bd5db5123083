// CIntervalCtrl: the update interval as HH:MM:SS: three two-digit fields
// for hours (0-24), minutes and seconds (0-59) in one box, separated by
// colons, and one spin button shared by the three fields. The spin steps the
// field that last had the focus (its "buddy"), wrapping from the top of the
// field's range to 0 and back.
//
// Every change of a field's text sends EVT_INTERVAL_CHANGED, a command event
// that rises to the page. The fields are checked when one of them is left
// for another control of the window, and by ReadTime (the page's Apply): a
// field that is empty or out of range is reported ("Please enter an
// integer." or "Please enter an integer between 0 and 24.") and the focus
// returns to it. Typing is never interrupted: a field is empty on the way
// to its next number.
//
// User-interface thread only.
#pragma once

#include <wx/event.h>
#include <wx/panel.h>

#include <array>

#include "dialogs/TimeRules.h"

class wxSpinButton;
class wxSpinEvent;
class wxTextCtrl;

namespace tallyhawk {

// A field of the interval control has changed (no data).
wxDECLARE_EVENT(EVT_INTERVAL_CHANGED, wxCommandEvent);

class CIntervalCtrl : public wxPanel {
public:
    static constexpr int ID_HOURS = 1032;
    static constexpr int ID_MINUTES = 1033;
    static constexpr int ID_SECONDS = 1034;
    static constexpr int ID_SPIN = 1035;

    CIntervalCtrl(wxWindow* parent, wxWindowID id);

    // Shows the fields (without a change notice).
    void SetTime(const CHms& value);
    // Reads and checks the fields; a failure is reported and leaves the
    // last good value, which is returned.
    CHms GetTime();
    // The same, false after reporting a failure.
    bool ReadTime(CHms& value);

    wxTextCtrl* GetField(IntervalField field) const { return fields[Index(field)]; }
    // The field the spin steps: the one that last had the focus (hours at
    // first).
    IntervalField GetBuddy() const { return buddy; }
    void SetBuddy(IntervalField field) { buddy = field; }
    // One arrow press on the buddy field: +1 or -1, wrapping.
    void Step(int step);

private:
    static std::size_t Index(IntervalField field) { return static_cast<std::size_t>(field); }
    void OnFieldChanged(wxCommandEvent& event);
    void OnFieldFocus(IntervalField field, wxFocusEvent& event);
    void OnFieldLeft(wxFocusEvent& event);
    void OnSpin(wxSpinEvent& event);
    void OnChar(wxKeyEvent& event);
    void OnKeyDown(wxKeyEvent& event);

    std::array<wxTextCtrl*, 3> fields;
    wxSpinButton* spin;
    CHms value;
    IntervalField buddy = IntervalField::Hours;
    bool reporting = false;  // a problem is being shown: no second report
    bool told = false;       // a problem was reported, no field changed since
};

}  // namespace tallyhawk
