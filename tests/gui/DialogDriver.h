// Driving dialogs in tests as a user would: clicks on buttons, check boxes
// and radio buttons, and a script run inside a dialog's modal loop.
#pragma once

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/radiobut.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

#include <chrono>
#include <functional>
#include <string>

#include "dialogs/Prompter.h"
#include "dialogs/WatcherSettingsDlg.h"
#include "gui/FrameFixture.h"

namespace tallyhawk::test {

// Sends the click of a button, or ticks a check box (toggling it) or a
// radio button, with the event the toolkit sends for a mouse click.
inline void Click(wxWindow* control) {
    ASSERT_NE(control, nullptr);
    wxCommandEvent event(wxEVT_BUTTON, control->GetId());
    if (auto* check = dynamic_cast<wxCheckBox*>(control)) {
        check->SetValue(!check->GetValue());
        event.SetEventType(wxEVT_CHECKBOX);
        event.SetInt(check->GetValue());
    } else if (auto* radio = dynamic_cast<wxRadioButton*>(control)) {
        radio->SetValue(true);
        event.SetEventType(wxEVT_RADIOBUTTON);
        event.SetInt(1);
    }
    event.SetEventObject(control);
    control->GetEventHandler()->ProcessEvent(event);
}

// Sends `field` the event of the focus moving on from it to `next`.
inline void Leave(wxWindow* field, wxWindow* next) {
    wxFocusEvent left(wxEVT_KILL_FOCUS, field->GetId());
    left.SetEventObject(field);
    left.SetWindow(next);
    field->GetEventHandler()->ProcessEvent(left);
}

// The control `id` inside `parent`, as a T (null, and a failure, when there
// is none of that type).
template <class T>
T* Find(wxWindow* parent, int id) {
    T* found = dynamic_cast<T*>(parent->FindWindow(id));
    EXPECT_NE(found, nullptr) << "no control " << id;
    return found;
}

// The newest modal dialog, or null.
inline wxDialog* ModalDialog() {
    wxDialog* modal = nullptr;
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog && dialog->IsModal()) modal = dialog;
    }
    return modal;
}

// Runs `start`, which shows a dialog modally, and `script` once on that
// dialog when it is up. A script may open a further dialog with WithModal
// in turn. A dialog the script leaves open, or one still open after 20 s,
// is ended with wxID_CANCEL, so that a fault cannot hang the run.
inline void WithModal(const std::function<void()>& start,
                      const std::function<void(wxDialog&)>& script) {
    wxTimer timer;
    wxDialog* below = ModalDialog();
    bool ran = false;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        wxDialog* dialog = ModalDialog();
        if (!dialog || dialog == below) return;
        if (!ran) {
            ran = true;
            script(*dialog);
            if (dialog->IsModal()) {
                ADD_FAILURE() << "the script left the dialog open";
                dialog->EndModal(wxID_CANCEL);
            }
        } else if (std::chrono::steady_clock::now() > limit) {
            dialog->EndModal(wxID_CANCEL);
        }
    });
    timer.Start(10);
    start();
    timer.Stop();
    EXPECT_TRUE(ran) << "no dialog came up";
}

// Shows the sheet's page of type T as a click on its tab would.
template <class T>
T& ShowTab(CWatcherSettingsDlg& sheet) {
    for (std::size_t i = 0; i < sheet.GetPageCount(); ++i) {
        if (dynamic_cast<T*>(&sheet.GetPage(i))) {
            EXPECT_TRUE(sheet.SelectPage(i));
        }
    }
    T* page = sheet.FindPage<T>();
    EXPECT_NE(page, nullptr);
    return *page;
}

// The fake prompter with the sheet's choosers: folders and file names the
// Open chooser started with, and a colour chooser answering `color`.
class CSheetPrompter : public CFakePrompter {
public:
    std::string ChooseFileToOpenIn(wxWindow*, const std::string&, const std::string& filter,
                                   const std::string& folder,
                                   const std::string& fileName) override {
        filters.push_back(filter);
        starts.push_back(folder + "|" + fileName);
        return NextPath();
    }
    std::optional<std::uint32_t> ChooseColor(wxWindow*, std::uint32_t initial) override {
        shownColors.push_back(initial);
        return color;
    }
    std::vector<std::string> starts;
    std::vector<std::uint32_t> shownColors;
    std::optional<std::uint32_t> color;
};

}  // namespace tallyhawk::test
