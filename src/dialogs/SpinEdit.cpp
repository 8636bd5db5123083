#include "dialogs/SpinEdit.h"

#include <wx/sizer.h>
#include <wx/spinbutt.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "dialogs/Prompter.h"
#include "dialogs/TimeRules.h"

namespace tallyhawk {

namespace {

// The spin button's own position stays at 0 inside this range: every arrow
// press is turned back (vetoed) after it has stepped the field, so the
// button never reaches an end and the field alone decides the wrap.
constexpr int kSpinReach = 1000;

}  // namespace

CSpinEdit::CSpinEdit(wxWindow* parent, wxWindowID id, int digits) : wxTextCtrl(parent, id, "0") {
    spin = new wxSpinButton(parent, ID_SPIN, wxDefaultPosition, wxDefaultSize,
                            wxSP_VERTICAL | wxSP_ARROW_KEYS);
    spin->SetRange(-kSpinReach, kSpinReach);
    spin->SetValue(0);
    const int width = GetTextExtent(wxString('0', digits)).x + FromDIP(24);
    SetMinSize(wxSize(width, -1));
    spin->Bind(wxEVT_SPIN_UP, &CSpinEdit::OnSpin, this);
    spin->Bind(wxEVT_SPIN_DOWN, &CSpinEdit::OnSpin, this);
    Bind(wxEVT_KEY_DOWN, &CSpinEdit::OnKeyDown, this);
    Bind(wxEVT_CHAR, &CSpinEdit::OnChar, this);
}

wxSizer* CSpinEdit::MakeSizer() {
    const int height = std::max(GetBestSize().y, spin->GetBestSize().y);
    SetMinSize(wxSize(GetMinSize().x, height));
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(this, wxSizerFlags().Expand());
    sizer->Add(spin, wxSizerFlags().Expand());
    return sizer;
}

void CSpinEdit::SetRange(int low, int high) {
    lower = low;
    upper = high;
}

void CSpinEdit::Step(int step) {
    int value = lower;
    int read = 0;
    if (!CheckInteger(GetValue().utf8_string(), std::nullopt, read))
        value = SpinWrap(read, step, lower, upper);
    SetValue(wxString::Format("%d", value));
    SetInsertionPointEnd();
}

void CSpinEdit::SetInteger(int value) {
    SetValue(wxString::Format("%d", value));
}

bool CSpinEdit::ReadInteger(int& value, std::optional<CIntRange> range) {
    if (auto problem = CheckInteger(GetValue().utf8_string(), range, value)) {
        ReportFieldProblem(this, *problem);
        return false;
    }
    return true;
}

bool CSpinEdit::Enable(bool enable) {
    spin->Enable(enable);
    return wxTextCtrl::Enable(enable);
}

void CSpinEdit::OnSpin(wxSpinEvent& event) {
    Step(event.GetEventType() == wxEVT_SPIN_UP ? 1 : -1);
    event.Veto();
    // The arrows take the focus on some desktops; the number is typed here.
    if (FindFocus() != this) SetFocus();
}

void CSpinEdit::OnKeyDown(wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_UP || event.GetKeyCode() == WXK_DOWN) {
        Step(event.GetKeyCode() == WXK_UP ? 1 : -1);
        return;
    }
    event.Skip();
}

void CSpinEdit::OnChar(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (digitsOnly && key >= WXK_SPACE && key < WXK_DELETE && !std::isdigit(key) &&
        !event.HasAnyModifiers()) {
        wxBell();
        return;
    }
    event.Skip();
}

}  // namespace tallyhawk
