// CTallyhawkApp: the desktop program's application object.
#pragma once

#include <wx/app.h>

namespace tallyhawk {

class CTallyhawkApp : public wxApp {
public:
    bool OnInit() override;
};

}  // namespace tallyhawk
