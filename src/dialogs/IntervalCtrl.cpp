#include "dialogs/IntervalCtrl.h"

#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cctype>

#include "dialogs/Prompter.h"
#include "dialogs/SheetRules.h"

namespace tallyhawk {

wxDEFINE_EVENT(EVT_INTERVAL_CHANGED, wxCommandEvent);

namespace {

// As CSpinEdit's: the button's own position stays at 0, every press is
// turned back after it has stepped the field.
constexpr int kSpinReach = 1000;

constexpr IntervalField kFields[] = {IntervalField::Hours, IntervalField::Minutes,
                                     IntervalField::Seconds};

}  // namespace

CIntervalCtrl::CIntervalCtrl(wxWindow* parent, wxWindowID id) : wxPanel(parent, id) {
    // The fields and colons lie borderless on the window colour inside one
    // sunken frame, so that they read as one edit box.
    auto* box = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_SUNKEN);
    const wxColour window = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
    box->SetBackgroundColour(window);
    const int ids[] = {ID_HOURS, ID_MINUTES, ID_SECONDS};
    const int width = GetTextExtent("00").x + FromDIP(12);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    for (IntervalField field : kFields) {
        wxTextCtrl* edit = new wxTextCtrl(box, ids[Index(field)], "0", wxDefaultPosition,
                                          wxSize(width, -1), wxBORDER_NONE | wxTE_CENTRE);
        edit->SetMaxLength(2);
        edit->SetBackgroundColour(window);
        fields[Index(field)] = edit;
        if (field != IntervalField::Hours) {
            auto* colon = new wxStaticText(box, wxID_ANY, ":");
            colon->SetBackgroundColour(window);
            row->Add(colon, wxSizerFlags().CenterVertical());
        }
        row->Add(edit, wxSizerFlags().CenterVertical());
        edit->Bind(wxEVT_TEXT, &CIntervalCtrl::OnFieldChanged, this);
        edit->Bind(wxEVT_SET_FOCUS,
                   [this, field](wxFocusEvent& event) { OnFieldFocus(field, event); });
        edit->Bind(wxEVT_KILL_FOCUS, &CIntervalCtrl::OnFieldLeft, this);
        edit->Bind(wxEVT_CHAR, &CIntervalCtrl::OnChar, this);
        edit->Bind(wxEVT_KEY_DOWN, &CIntervalCtrl::OnKeyDown, this);
    }
    box->SetSizer(row);

    spin = new wxSpinButton(this, ID_SPIN, wxDefaultPosition, wxDefaultSize,
                            wxSP_VERTICAL | wxSP_ARROW_KEYS);
    spin->SetRange(-kSpinReach, kSpinReach);
    spin->SetValue(0);
    spin->Bind(wxEVT_SPIN_UP, &CIntervalCtrl::OnSpin, this);
    spin->Bind(wxEVT_SPIN_DOWN, &CIntervalCtrl::OnSpin, this);

    box->SetMinSize(wxSize(-1, std::max(box->GetBestSize().y, spin->GetBestSize().y)));
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(box, wxSizerFlags().Expand());
    sizer->Add(spin, wxSizerFlags().Expand());
    SetSizerAndFit(sizer);
}

void CIntervalCtrl::SetTime(const CHms& time) {
    value = time;
    const int parts[] = {time.hours, time.minutes, time.seconds};
    for (IntervalField field : kFields)
        fields[Index(field)]->ChangeValue(wxString::Format("%d", parts[Index(field)]));
}

bool CIntervalCtrl::ReadTime(CHms& time) {
    const auto problem =
        CheckInterval(fields[0]->GetValue().utf8_string(), fields[1]->GetValue().utf8_string(),
                      fields[2]->GetValue().utf8_string(), value);
    time = value;
    if (!problem) return true;
    if (!reporting) {
        reporting = true;
        ReportFieldProblem(GetField(problem->field), problem->message);
        reporting = false;
        told = true;
    }
    return false;
}

CHms CIntervalCtrl::GetTime() {
    CHms time;
    ReadTime(time);
    return time;
}

void CIntervalCtrl::Step(int step) {
    wxTextCtrl* edit = GetField(buddy);
    int number = 0;
    if (CheckInteger(edit->GetValue().utf8_string(), std::nullopt, number)) number = 0;
    edit->SetValue(
        wxString::Format("%d", SpinIntervalField(number, step, IntervalFieldMaximum(buddy))));
}

void CIntervalCtrl::OnFieldChanged(wxCommandEvent&) {
    // Not checked here: a field is empty, or holds a part of its number,
    // on the way to the next value. Leaving it and applying check it.
    told = false;
    wxCommandEvent changed(EVT_INTERVAL_CHANGED, GetId());
    changed.SetEventObject(this);
    ProcessWindowEvent(changed);
}

void CIntervalCtrl::OnFieldFocus(IntervalField field, wxFocusEvent& event) {
    event.Skip();
    buddy = field;
}

void CIntervalCtrl::OnFieldLeft(wxFocusEvent& event) {
    event.Skip();
    // Only a move to another control of the same window is a leaving to
    // check: not a switch to another program, nor the window closing, nor
    // a press on the arrows, which put a number into the field, nor on
    // Cancel, which drops what was typed anyway. A problem the user has
    // been told about and not touched since is not told again (OK and
    // Apply still refuse it).
    wxWindow* next = event.GetWindow();
    wxWindow* top = wxGetTopLevelParent(this);
    if (reporting || told || !next || !top || top->IsBeingDeleted() ||
        wxGetTopLevelParent(next) != top || next == spin || next->GetId() == wxID_CANCEL)
        return;
    CallAfter([this] {
        if (!reporting && !told) GetTime();
    });
}

void CIntervalCtrl::OnSpin(wxSpinEvent& event) {
    event.Veto();
    Step(event.GetEventType() == wxEVT_SPIN_UP ? 1 : -1);
    GetField(buddy)->SetFocus();
}

void CIntervalCtrl::OnChar(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key >= WXK_SPACE && key < WXK_DELETE && !std::isdigit(key) && !event.HasAnyModifiers()) {
        wxBell();
        return;
    }
    event.Skip();
}

void CIntervalCtrl::OnKeyDown(wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_UP || event.GetKeyCode() == WXK_DOWN) {
        Step(event.GetKeyCode() == WXK_UP ? 1 : -1);
        return;
    }
    event.Skip();
}

}  // namespace tallyhawk
