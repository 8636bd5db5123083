// Help: the program's manual is a folder of HTML pages opened in the
// browser. An installed program finds it in ../share/doc/tallyhawk/manual/
// beside its executable's folder; a program run from the build folder finds
// it in the source tree's res/manual/.
#pragma once

#include <string>

class wxWindow;

namespace tallyhawk {

// Where the manual lies relative to the installed executable's folder.
inline constexpr const char* kInstalledManual = "../share/doc/tallyhawk/manual";

// The path of the manual page `page` (a relative name such as "index.html"
// or "images/about.png"): first beside `executable` (a path to the program
// file), then in `sourceManual`. Empty when neither holds the file, or when
// `page` is empty, absolute or climbs out of the manual with "..".
std::string FindManualPage(const std::string& page, const std::string& executable,
                           const std::string& sourceManual);
// The same for this program: its own executable and the source tree it was
// built from.
std::string FindManualPage(const std::string& page);

// Opens `target` (an address or a file) in the default browser; a browser
// that cannot be started is reported through the prompter. User-interface
// thread only.
void OpenInBrowser(wxWindow* parent, const std::string& target);

// Opens `page` of the manual in the default browser. A page that cannot be
// found, or a browser that cannot be started, is reported through the
// prompter. User-interface thread only.
void ShowHelp(wxWindow* parent, const std::string& page = "index.html");

}  // namespace tallyhawk
