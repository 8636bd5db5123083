// The dialogs' texts in the program's string table.
#pragma once

#include <wx/string.h>

#include <string>

namespace tallyhawk {

// String 145: the maker's home page, behind the About box's link.
inline constexpr unsigned IDS_HOME_PAGE = 145;

// The home page the program was built with, or the bundled manual's index
// page when it was built without one (empty when that cannot be found).
std::string BuiltInHomePage();

// Bytes from a file or the network as a control shows them: as UTF-8, or
// byte for byte when they are not UTF-8.
wxString TextFromBytes(const std::string& bytes);

// Registers the dialogs' texts; the program calls it once at start-up.
void RegisterDialogStrings();

}  // namespace tallyhawk
