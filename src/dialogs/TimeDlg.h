// CTimeDlg: the "Time" dialog that sets the begin or end of a page's daily
// update window: a clock face whose hands are dragged (CClockCtrl), "&AM"
// and "&PM", and OK. There is no Cancel button; Escape and the close box
// end it with wxID_CANCEL, and the caller then changes nothing.
//
// The dialog can be resized: the clock grows with it, the buttons keep to
// the right edge (LayOutTimeDialog). User-interface thread only.
#pragma once

#include <wx/dialog.h>

class wxButton;
class wxRadioButton;

namespace tallyhawk {

class CClockCtrl;

class CTimeDlg : public wxDialog {
public:
    static constexpr int ID_PM = 1068;
    static constexpr int ID_AM = 1062;
    static constexpr int ID_CLOCK = 101;
    static constexpr const char* kTitle = "Time";

    explicit CTimeDlg(wxWindow* parent);

    // Before or while showing: the clock takes hour, minute and second
    // (|hour| mod 12 ...); "&PM" is checked for an hour below 0 or above 11.
    void Set(int hour, int minute, int second);
    // After OK: the clock's time with the hour as 0-23 (12 o'clock with PM
    // is 12, with AM 0).
    void Get(int& hour, int& minute, int& second) const;

    CClockCtrl& GetClock() { return *clock; }
    bool IsPm() const { return pm; }

private:
    // Around the clock and right of the buttons, in pixels at the normal
    // resolution.
    static constexpr int kMargin = 10;

    // The resize rule (LayOutTimeDialog) for the current client size.
    void LayOutControls();
    void OnOk(wxCommandEvent& event);
    void ShowPm();

    CClockCtrl* clock;
    wxRadioButton* amRadio;
    wxRadioButton* pmRadio;
    wxButton* okButton;
    bool pm = false;
};

}  // namespace tallyhawk
