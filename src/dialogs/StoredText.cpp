#include "dialogs/StoredText.h"

#include <wx/textctrl.h>

#include "dialogs/DialogStrings.h"

namespace tallyhawk {

void CStoredText::Show(wxTextCtrl& target) {
    field = &target;
    field->ChangeValue(TextFromBytes(bytes));
    shown = field->GetValue();
}

std::string CStoredText::Read() const {
    if (!field) return bytes;
    const wxString text = field->GetValue();
    return text == shown ? bytes : text.utf8_string();
}

}  // namespace tallyhawk
