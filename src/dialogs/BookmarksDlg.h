// CBookmarksDlg: the Bookmarks & Favorites dialog. It collects the links
// found on this machine (CBookmarkCollector), lists one kind at a time
// ("&Bookmarks" or "&Favorites") sorted by name, and returns the rows the
// user selected when OK is pressed with at least one selected; a double
// click on a row acts as OK. Names and addresses that are not UTF-8 are
// shown byte for byte; the links returned keep their bytes as found.
//
// The collection (a walk of large folders, databases, files of up to 32
// MiB) runs on the dialog's worker thread from the moment the dialog is
// made. Meanwhile the list is empty, OK is disabled, and a moving bar and a
// count of links found and entries looked at show that it is under way;
// the list is filled when the worker posts its end. Cancel (Escape, the
// close button) cancels the collection, which then ends within moments,
// and closes the dialog at once. The worker never touches a window: its one
// post reaches the dialog through a weak reference. It has ended before the
// dialog is destroyed.
//
// User-interface thread only, except Run.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <memory>
#include <vector>

#include "base/WorkerThread.h"
#include "dialogs/BookmarkRules.h"
#include "import/BookmarkCollector.h"
#include "import/CollectProgress.h"

class wxGauge;
class wxListEvent;
class wxRadioButton;
class wxStaticText;

namespace tallyhawk {

class CBookmarkListCtrl;

class CBookmarksDlg : public wxDialog, private CWorkerThread {
public:
    static constexpr int ID_LIST = 1000;
    static constexpr int ID_BOOKMARKS = 1004;
    static constexpr int ID_FAVORITES = 1005;
    static constexpr int ID_STATUS = 1044;
    static constexpr int ID_PROGRESS = 1048;
    // How often the progress is shown while collecting, in milliseconds.
    static constexpr int kProgressMilliseconds = 100;

    // Starts collecting the links under `places`; the bookmarks are shown
    // once they are all in.
    explicit CBookmarksDlg(wxWindow* parent,
                           const CBookmarkPlaces& places = CBookmarkPlaces::FromEnvironment());
    // Cancels a collection still under way and waits for its short end.
    ~CBookmarksDlg() override;

    // The links are still being collected.
    bool IsCollecting() const { return collecting; }
    const CCollectProgress& GetProgress() const { return progress; }
    // After wxID_OK: a copy of the link of every selected row, in list order.
    const std::vector<CBookmarkItem>& GetSelection() const { return selection; }
    // Once the collection has ended.
    const CBookmarkCollector& GetCollector() const { return collector; }
    // The rows as listed.
    const CBookmarkRows& GetRows() const { return rows; }

private:
    // The worker: collects, then posts OnCollected.
    std::uint32_t Run() override;
    void Collect();
    void OnCollected();
    void ShowProgress();
    void FillList();
    void SizeColumns();
    void OnOk(wxCommandEvent& event);
    void OnCancel(wxCommandEvent& event);
    void OnActivated(wxListEvent& event);

    // The worker's: the collector writes, the user-interface thread reads
    // the collector only once `collecting` is false.
    CCollectProgress progress;
    CBookmarkCollector collector;

    CBookmarkRows rows;
    std::vector<CBookmarkItem> selection;
    bool collecting = false;
    CBookmarkListCtrl* list;
    wxRadioButton* bookmarks;
    wxRadioButton* favorites;
    wxGauge* gauge;
    wxStaticText* status;
    wxTimer progressTimer;
    // Made before the worker starts and never changed; the worker only
    // copies the pointer into its post.
    const std::shared_ptr<wxWeakRef<CBookmarksDlg>> self;
};

}  // namespace tallyhawk
