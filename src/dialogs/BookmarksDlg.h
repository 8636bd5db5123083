// CBookmarksDlg: the Bookmarks & Favorites dialog. It collects the links
// found on this machine as it opens (CBookmarkCollector), lists one kind at
// a time ("&Bookmarks" or "&Favorites") sorted by name, and returns the
// rows the user selected when OK is pressed with at least one selected; a
// double click on a row acts as OK.
//
// User-interface thread only.
#pragma once

#include <wx/dialog.h>

#include <vector>

#include "dialogs/BookmarkRules.h"
#include "import/BookmarkCollector.h"

class wxListEvent;
class wxRadioButton;

namespace tallyhawk {

class CBookmarkListCtrl;

class CBookmarksDlg : public wxDialog {
public:
    static constexpr int ID_LIST = 1000;
    static constexpr int ID_BOOKMARKS = 1004;
    static constexpr int ID_FAVORITES = 1005;

    // Collects the links under `places` and shows the bookmarks.
    explicit CBookmarksDlg(wxWindow* parent,
                           const CBookmarkPlaces& places = CBookmarkPlaces::FromEnvironment());

    // After wxID_OK: a copy of the link of every selected row, in list order.
    const std::vector<CBookmarkItem>& GetSelection() const { return selection; }
    const CBookmarkCollector& GetCollector() const { return collector; }
    // The rows as listed.
    const CBookmarkRows& GetRows() const { return rows; }

private:
    void FillList();
    void SizeColumns();
    void OnOk(wxCommandEvent& event);
    void OnActivated(wxListEvent& event);

    CBookmarkCollector collector;
    CBookmarkRows rows;
    std::vector<CBookmarkItem> selection;
    CBookmarkListCtrl* list;
    wxRadioButton* bookmarks;
    wxRadioButton* favorites;
};

}  // namespace tallyhawk
