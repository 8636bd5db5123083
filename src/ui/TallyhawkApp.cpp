#include "ui/TallyhawkApp.h"

#include <wx/frame.h>

namespace tallyhawk {

bool CTallyhawkApp::OnInit() {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Tallyhawk");
    frame->Show();
    return true;
}

}  // namespace tallyhawk
