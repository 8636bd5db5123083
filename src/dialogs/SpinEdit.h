// CSpinEdit: a text field for a whole number with its own spin button beside
// it. The arrows (and the Up and Down keys in the field) step the number in
// the field by one, wrapping from the range's top to its bottom and back;
// what is typed is not limited to the range: the page that reads the field
// checks it with ReadInteger, which reports "Please enter an integer." or
// "Please enter an integer between %1 and %2." and returns the focus to the
// field.
//
// The spin button is a sibling of the field (a child of the field's parent,
// id ID_SPIN), enabled and disabled with it; MakeSizer puts the two side by
// side. User-interface thread only.
#pragma once

#include <wx/textctrl.h>

#include <optional>

#include "dialogs/SheetRules.h"

class wxSizer;
class wxSpinButton;
class wxSpinEvent;

namespace tallyhawk {

class CSpinEdit : public wxTextCtrl {
public:
    static constexpr int ID_SPIN = 100;

    // A field wide enough for `digits` digits, showing "0", range 0 to 100.
    CSpinEdit(wxWindow* parent, wxWindowID id, int digits = 4);

    // The field and its spin button, side by side and of one height.
    wxSizer* MakeSizer();
    wxSpinButton* GetSpin() const { return spin; }

    void SetRange(int lower, int upper);
    int GetLower() const { return lower; }
    int GetUpper() const { return upper; }
    // Typing accepts digits only.
    void SetDigitsOnly(bool value) { digitsOnly = value; }

    // One arrow press: +1 or -1 from the number in the field (a field that
    // holds no number starts from the range's bottom), wrapping at the ends.
    // The field's text changes as if typed.
    void Step(int step);

    void SetInteger(int value);
    // The field's number, checked against `range` when given; false after
    // reporting the problem (the focus is back in the field).
    bool ReadInteger(int& value, std::optional<CIntRange> range = std::nullopt);

    bool Enable(bool enable = true) override;

private:
    void OnSpin(wxSpinEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnChar(wxKeyEvent& event);

    wxSpinButton* spin;
    int lower = 0;
    int upper = 100;
    bool digitsOnly = false;
};

}  // namespace tallyhawk
