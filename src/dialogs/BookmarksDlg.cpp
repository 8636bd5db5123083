#include "dialogs/BookmarksDlg.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/radiobut.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <exception>

#include "base/Exception.h"
#include "base/StringTable.h"
#include "dialogs/DialogStrings.h"

namespace tallyhawk {

// The list of links: a virtual report list whose texts are read from the
// rows as they are drawn, so that tens of thousands of links cost nothing
// to show. Several rows may be selected; headers do not sort.
class CBookmarkListCtrl : public wxListCtrl {
public:
    CBookmarkListCtrl(wxWindow* parent, const CBookmarkRows& rows)
        : wxListCtrl(parent, CBookmarksDlg::ID_LIST, wxDefaultPosition, wxDefaultSize,
                     wxLC_REPORT | wxLC_VIRTUAL | wxBORDER_SUNKEN),
          rows(rows) {}

    std::vector<long> SelectedRows() const {
        std::vector<long> selected;
        for (long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
             row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
            selected.push_back(row);
        return selected;
    }

protected:
    wxString OnGetItemText(long item, long column) const override {
        if (item < 0 || static_cast<std::size_t>(item) >= rows.Count()) return {};
        const CBookmarkItem& link = rows.At(static_cast<std::size_t>(item));
        return TextFromBytes(column == 0 ? link.name : link.url);
    }

private:
    const CBookmarkRows& rows;
};

CBookmarksDlg::CBookmarksDlg(wxWindow* parent, const CBookmarkPlaces& places)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8(LoadString(IDS_IMPORT_TITLE)),
               wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      collector(places, &progress),
      rows(collector.GetItems()),
      self(std::make_shared<wxWeakRef<CBookmarksDlg>>(this)) {
    list = new CBookmarkListCtrl(this, rows);
    list->SetMinSize(FromDIP(wxSize(560, 300)));
    list->AppendColumn(wxString::FromUTF8(LoadString(IDS_IMPORT_COLUMN_NAME)));
    list->AppendColumn(wxString::FromUTF8(LoadString(IDS_IMPORT_COLUMN_URL)));
    bookmarks = new wxRadioButton(this, ID_BOOKMARKS, wxString::FromUTF8(LoadString(IDS_IMPORT_BOOKMARKS)),
                                  wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    favorites = new wxRadioButton(this, ID_FAVORITES, wxString::FromUTF8(LoadString(IDS_IMPORT_FAVORITES)));
    auto* ok = new wxButton(this, wxID_OK);
    auto* cancel = new wxButton(this, wxID_CANCEL);
    ok->SetDefault();
    gauge = new wxGauge(this, ID_PROGRESS, 100, wxDefaultPosition, FromDIP(wxSize(120, -1)));
    status = new wxStaticText(this, ID_STATUS, wxString(), wxDefaultPosition, wxDefaultSize,
                              wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);

    const int border = FromDIP(10);
    auto* bottom = new wxBoxSizer(wxHORIZONTAL);
    bottom->Add(bookmarks, wxSizerFlags().CenterVertical());
    bottom->AddSpacer(border);
    bottom->Add(favorites, wxSizerFlags().CenterVertical());
    bottom->AddStretchSpacer();
    bottom->Add(ok, wxSizerFlags().CenterVertical());
    bottom->AddSpacer(border / 2);
    bottom->Add(cancel, wxSizerFlags().CenterVertical());
    // Shown while collecting, then gone: the list takes its place.
    auto* working = new wxBoxSizer(wxHORIZONTAL);
    working->Add(gauge, wxSizerFlags().CenterVertical());
    working->AddSpacer(border);
    working->Add(status, wxSizerFlags(1).CenterVertical());
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(list, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
    sizer->Add(working, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
    sizer->Add(bottom, wxSizerFlags().Expand().Border(wxALL, border));
    SetSizerAndFit(sizer);
    CentreOnParent();

    bookmarks->SetValue(true);
    SizeColumns();

    Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { FillList(); }, ID_BOOKMARKS);
    Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { FillList(); }, ID_FAVORITES);
    Bind(wxEVT_BUTTON, &CBookmarksDlg::OnOk, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CBookmarksDlg::OnCancel, this, wxID_CANCEL);
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& event) { event.Enable(!collecting); }, wxID_OK);
    progressTimer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { ShowProgress(); });
    list->Bind(wxEVT_LIST_ITEM_ACTIVATED, &CBookmarksDlg::OnActivated, this);
    list->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        SizeColumns();
    });

    collecting = Start();
    if (collecting) {
        ShowProgress();
        progressTimer.Start(kProgressMilliseconds);
    } else {
        // No thread to be had: collected here, as the window waits.
        Collect();
        OnCollected();
    }
}

CBookmarksDlg::~CBookmarksDlg() {
    progress.Cancel();
    Stop(0);
}

void CBookmarksDlg::Collect() {
    try {
        collector.CollectAll();
    } catch (const std::exception&) {
        // Out of memory part-way: the links found so far are listed.
    } catch (const CException&) {
    }
}

std::uint32_t CBookmarksDlg::Run() {
    Collect();
    std::shared_ptr<wxWeakRef<CBookmarksDlg>> target = self;
    wxTheApp->CallAfter([target] {
        if (CBookmarksDlg* dialog = target->get()) dialog->OnCollected();
    });
    return 0;
}

void CBookmarksDlg::OnCollected() {
    Wait(kInfinite);  // the worker has posted its end: it is returning
    collecting = false;
    progressTimer.Stop();
    gauge->Hide();
    status->Hide();
    Layout();
    FillList();
}

void CBookmarksDlg::ShowProgress() {
    gauge->Pulse();
    status->SetLabel(wxString::FromUTF8(
        FormatString(IDS_IMPORT_COLLECTING, {progress.Links(), progress.Entries()})));
}

void CBookmarksDlg::SizeColumns() {
    const auto [name, url] = BookmarkColumnWidths(list->GetClientSize().GetWidth(),
                                                  wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, list));
    list->SetColumnWidth(0, name);
    list->SetColumnWidth(1, url);
}

void CBookmarksDlg::FillList() {
    if (collecting) return;  // filled, with the kind then chosen, once all are in
    const std::vector<long> before = list->SelectedRows();
    const long remembered = before.empty() ? -1 : before.front();
    list->Freeze();
    for (long row : before) list->SetItemState(row, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    rows.Fill(bookmarks->GetValue() ? kBookmarkKindBookmark : kBookmarkKindFavorite);
    list->SetItemCount(static_cast<long>(rows.Count()));
    const long select = CBookmarkRows::RowToSelect(remembered, rows.Count());
    if (select >= 0) {
        list->SetItemState(select, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                           wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        list->EnsureVisible(select);
    }
    list->Refresh();
    list->Thaw();
}

void CBookmarksDlg::OnOk(wxCommandEvent&) {
    std::vector<CBookmarkItem> chosen = rows.Selection(list->SelectedRows());
    if (chosen.empty()) return;  // nothing selected: the dialog stays open
    selection = std::move(chosen);
    if (IsModal()) {
        EndModal(wxID_OK);
    } else {
        SetReturnCode(wxID_OK);
        Hide();
    }
}

void CBookmarksDlg::OnCancel(wxCommandEvent& event) {
    // The dialog closes now; the worker ends on its own within moments, and
    // the destructor waits for that.
    progress.Cancel();
    event.Skip();
}

void CBookmarksDlg::OnActivated(wxListEvent&) {
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    ok.SetEventObject(this);
    OnOk(ok);
}

}  // namespace tallyhawk
