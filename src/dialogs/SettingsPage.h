// CSettingsPage: what every page of the page property sheet
// (CWatcherSettingsDlg) shares. A page is built with its controls when the
// sheet is made, but it is initialised (its controls filled from what it
// edits) only when it is first shown; a page never shown never applies.
//
// Apply reads and checks the controls, then writes the page's own fields
// only, into a fresh copy of what it edits (read, modify, write), so the
// pages never undo each other's changes. After applying it sends
// EVT_PAGE_APPLIED, a command event that rises to the sheet. Any edit marks
// the page modified, which enables the sheet's Apply button.
//
// User-interface thread only.
#pragma once

#include <wx/event.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include <string>

class wxStaticText;

namespace tallyhawk {

// A page has applied its values (no data).
wxDECLARE_EVENT(EVT_PAGE_APPLIED, wxCommandEvent);

class CSettingsPage : public wxPanel {
public:
    // `caption` is the tab's text; `helpPage` the manual page about it.
    CSettingsPage(wxWindow* parent, const char* caption, const char* helpPage);

    const char* GetCaption() const { return caption; }
    const char* GetHelpPage() const { return helpPage; }

    // The first call fills the controls (the page's initialisation); later
    // calls do nothing.
    void Initialise();
    bool IsInitialised() const { return initialised; }

    bool IsModified() const { return modified; }
    void SetModified(bool value = true) { modified = value; }

    // Reads and checks the controls, as leaving the page does; false after
    // the problem was reported (the focus is in the field).
    virtual bool ReadControls() { return true; }
    // Checks, writes the page's fields and sends EVT_PAGE_APPLIED; false
    // keeps the sheet open on this page.
    virtual bool Apply() = 0;

protected:
    // Fills the controls from what the page edits.
    virtual void OnInitPage() = 0;
    void SendApplied();

    // Layout shared by the pages: one column inside the page's margin, on
    // whose left edge everything lines up; `indent` sets an item under the
    // check box or radio button above it, `expand` stretches it across.
    int Gap() const { return FromDIP(6); }
    int Indent() const { return FromDIP(22); }
    void AddToColumn(wxWindow* item, bool indent = false, bool expand = false);
    void AddToColumn(wxSizer* item, bool indent = false, bool expand = false);
    // Space above the next item, beyond the usual gap.
    void AddColumnSpace() { column->AddSpacer(Gap()); }
    wxStaticText* Label(const char* text, wxWindowID id = wxID_ANY);
    // A handler that marks the page modified, for Bind.
    void MarkModified(wxEvent&) { SetModified(); }

private:
    const char* caption;
    const char* helpPage;
    void AddToColumn(wxSizerItem* item, bool indent, bool expand);

    wxBoxSizer* column;
    bool initialised = false;
    bool modified = false;
};

}  // namespace tallyhawk
