#include "dialogs/DialogStrings.h"

#include "base/StringTable.h"
#include "dialogs/Help.h"

namespace tallyhawk {

std::string BuiltInHomePage() {
    const std::string configured = TALLYHAWK_HOME_PAGE;
    return configured.empty() ? FindManualPage("index.html") : configured;
}

wxString TextFromBytes(const std::string& bytes) {
    wxString text = wxString::FromUTF8(bytes);
    if (text.empty() && !bytes.empty()) text = wxString::From8BitData(bytes.data(), bytes.size());
    return text;
}

void RegisterDialogStrings() {
    const std::string home = BuiltInHomePage();
    RegisterStrings({{IDS_HOME_PAGE, home.c_str()}});
}

}  // namespace tallyhawk
