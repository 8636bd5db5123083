#include "dialogs/Prompter.h"

#include <wx/colordlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>

#include "base/StringTable.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/SheetRules.h"

namespace tallyhawk {

namespace {

CWxPrompter defaultPrompter;
IPrompter* currentPrompter = &defaultPrompter;

// The application title, the caption of every message box.
wxString Caption() {
    return wxString::FromUTF8(LoadString(IDS_APP_TITLE));
}

}  // namespace

PromptAnswer CWxPrompter::Ask(wxWindow* parent, const std::string& text, PromptButtons buttons) {
    long style = wxICON_QUESTION;
    switch (buttons) {
    case PromptButtons::OkCancel: style |= wxOK | wxCANCEL; break;
    case PromptButtons::YesNoCancel: style |= wxYES_NO | wxCANCEL; break;
    case PromptButtons::YesNo: style |= wxYES_NO; break;
    }
    wxMessageDialog dialog(parent, TextFromBytes(text), Caption(), style);
    switch (dialog.ShowModal()) {
    case wxID_OK: return PromptAnswer::Ok;
    case wxID_YES: return PromptAnswer::Yes;
    case wxID_NO: return PromptAnswer::No;
    default: return PromptAnswer::Cancel;
    }
}

void CWxPrompter::Tell(wxWindow* parent, const std::string& text, bool isError) {
    wxMessageDialog dialog(parent, TextFromBytes(text), Caption(),
                           wxOK | (isError ? wxICON_ERROR : wxICON_INFORMATION));
    dialog.ShowModal();
}

std::string CWxPrompter::ChooseFileToSave(wxWindow* parent, const std::string& title,
                                          const std::string& defaultName,
                                          const std::string& filter) {
    wxFileDialog dialog(parent, wxString::FromUTF8(title), wxEmptyString,
                        wxString::FromUTF8(defaultName), wxString::FromUTF8(filter),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return {};
    return dialog.GetPath().utf8_string();
}

std::string CWxPrompter::ChooseFileToOpen(wxWindow* parent, const std::string& title,
                                          const std::string& filter) {
    return ChooseFileToOpenIn(parent, title, filter, {}, {});
}

std::string CWxPrompter::ChooseFileToOpenIn(wxWindow* parent, const std::string& title,
                                            const std::string& filter, const std::string& folder,
                                            const std::string& fileName) {
    wxFileDialog dialog(parent, wxString::FromUTF8(title), wxString::FromUTF8(folder),
                        wxString::FromUTF8(fileName), wxString::FromUTF8(filter),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return {};
    return dialog.GetPath().utf8_string();
}

std::optional<std::uint32_t> CWxPrompter::ChooseColor(wxWindow* parent, std::uint32_t initial) {
    const auto rgb = ColorToRgb(initial);
    wxColourData data;
    data.SetColour(wxColour(rgb[0], rgb[1], rgb[2]));
    wxColourDialog dialog(parent, &data);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    const wxColour chosen = dialog.GetColourData().GetColour();
    return ColorFromRgb(chosen.Red(), chosen.Green(), chosen.Blue());
}

void ReportFieldProblem(wxWindow* field, const std::string& message) {
    GetPrompter().Tell(wxGetTopLevelParent(field), message, true);
    field->SetFocus();
    if (auto* text = dynamic_cast<wxTextCtrl*>(field)) text->SelectAll();
}

IPrompter& GetPrompter() { return *currentPrompter; }

void SetPrompter(IPrompter* prompter) { currentPrompter = prompter ? prompter : &defaultPrompter; }

}  // namespace tallyhawk
