// CStoredText: stored bytes (a page's name and address, a path, a user
// name) in a text field. Documents from the Windows build hold such text in
// the Windows code page, which is not UTF-8: the field shows it readably
// (TextFromBytes), and as long as the user leaves the field as it was shown,
// reading it back gives the original bytes, so that OK never rewrites what
// nobody edited. A field the user has changed reads back as its text in
// UTF-8.
//
// User-interface thread only.
#pragma once

#include <wx/string.h>

#include <string>
#include <utility>

class wxTextCtrl;

namespace tallyhawk {

class CStoredText {
public:
    CStoredText() = default;
    explicit CStoredText(std::string bytes) : bytes(std::move(bytes)) {}

    // Puts the bytes into `field` (without a change event). `field` must
    // outlive this object's use.
    void Show(wxTextCtrl& field);
    // The bytes to store: the original ones while the field shows what Show
    // put there (or before Show), else the field's text as UTF-8.
    std::string Read() const;

private:
    std::string bytes;
    wxTextCtrl* field = nullptr;
    // The field's text right after Show: a control may alter what it is
    // given (a line break in a one-line field), and that is no edit.
    wxString shown;
};

}  // namespace tallyhawk
