#include "ui/TallyhawkApp.h"

wxIMPLEMENT_APP(tallyhawk::CTallyhawkApp);
