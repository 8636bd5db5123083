// CHistoryDlg: the History window of one page: every version the history
// keeps of it, newest at the top (see CHistoryRows for the columns), and
// what can be done with them:
//   View           one selected version, as the page was (also a double
//                  click or Enter on a row);
//   Compare        two selected versions, the older against the newer, in
//                  the output chosen beside the button (at first the page's
//                  own);
//   Make Accepted  one selected version, after a question: the page's
//                  changes are then shown against it.
// Buttons are enabled by the number of rows selected.
//
// Opening reads the versions' list only (CHistoryStore::List), never their
// bytes: the list is virtual, so a page with thousands of versions opens
// at once. Bytes are read when a version is viewed or compared. Failures
// (the store's CHistoryError, the actions' CException) are reported through
// the prompter and leave the window open.
//
// The dialog knows nothing of the document: the store, the page and the
// actions come in as CHistoryPage and CHistoryActions.
//
// User-interface thread only.
#pragma once

#include <wx/dialog.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/HistoryRows.h"

class wxButton;
class wxChoice;
class wxListEvent;
class wxSizer;
class wxStaticText;

namespace tallyhawk {

class CHistoryStore;
class CHistoryListCtrl;

// The page whose history is shown.
struct CHistoryPage {
    std::string key;               // its key in the store
    std::string name;              // for the title
    std::int32_t outputMode = 4;   // its own output mode (an OutputModeValue)
    std::int64_t lastUpdated = 0;  // its last-updated time in the document, seconds since 1970
};

// What the buttons do with the versions' bytes; each may throw CException.
struct CHistoryActions {
    // Shows `version` as the page was.
    std::function<void(const std::string& version)> view;
    // Shows the output `mode` (an OutputModeValue) of the changes from
    // `older` to `newer`; false when that output has no changes to show
    // (the dialog then says so).
    std::function<bool(const std::string& older, const std::string& newer, std::int32_t mode)>
        compare;
    // Makes kept version `versionId` the page's accepted one.
    std::function<void(std::int64_t versionId)> makeAccepted;
};

class CHistoryDlg : public wxDialog {
public:
    static constexpr int ID_LIST = 1100;
    static constexpr int ID_VIEW = 1101;
    static constexpr int ID_COMPARE = 1102;
    static constexpr int ID_MODE = 1103;
    static constexpr int ID_ACCEPT = 1104;
    static constexpr int ID_SUMMARY = 1105;

    // Lists the page's versions. `store` must outlive the dialog.
    CHistoryDlg(wxWindow* parent, CHistoryStore& store, CHistoryPage page,
                CHistoryActions actions);
    ~CHistoryDlg() override;

    // A store whose list cannot be read: the failure is reported and the
    // window not shown (wxID_CANCEL).
    int ShowModal() override;

    // The listed rows and the list's selected rows, top first.
    const CHistoryRows& GetRows() const { return *rows; }
    std::vector<long> SelectedRows() const;
    // The buttons' actions on the selection; each does nothing when the
    // selection does not fit it (as its disabled button would).
    void ViewSelected();
    void CompareSelected();
    void AcceptSelected();

private:
    // Reads the list again, keeping the selection and focus on the same
    // versions where they are still kept.
    void Reload();
    // The row of buttons with the output choice.
    wxSizer* MakeButtons();
    void SizeColumns();
    void OnActivated(wxListEvent& event);
    // Runs `action`, reporting its failure.
    void Guarded(const std::function<void()>& action);

    CHistoryStore& store;
    const CHistoryPage page;
    const CHistoryActions actions;
    std::unique_ptr<CHistoryRows> rows;
    std::string loadError;  // the last List failure, reported when shown
    CHistoryListCtrl* list;
    wxChoice* mode;
    wxStaticText* summary;
};

}  // namespace tallyhawk
