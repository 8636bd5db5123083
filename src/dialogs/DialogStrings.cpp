#include "dialogs/DialogStrings.h"

#include "base/StringTable.h"
#include "dialogs/Help.h"

namespace tallyhawk {

std::string BuiltInHomePage() {
    const std::string configured = TALLYHAWK_HOME_PAGE;
    return configured.empty() ? FindManualPage("index.html") : configured;
}

void RegisterDialogStrings() {
    const std::string home = BuiltInHomePage();
    RegisterStrings({{IDS_HOME_PAGE, home.c_str()}});
}

}  // namespace tallyhawk
