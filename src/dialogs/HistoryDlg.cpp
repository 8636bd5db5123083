#include "dialogs/HistoryDlg.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/listctrl.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <exception>

#include "base/Exception.h"
#include "base/StringTable.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Prompter.h"
#include "dialogs/SheetRules.h"
#include "engine/WatchSite.h"
#include "history/HistoryStore.h"

namespace tallyhawk {

// The versions: a virtual report list reading its cells from the rows as
// they are drawn. Several rows may be selected; headers do not sort.
class CHistoryListCtrl : public wxListCtrl {
public:
    explicit CHistoryListCtrl(wxWindow* parent)
        : wxListCtrl(parent, CHistoryDlg::ID_LIST, wxDefaultPosition, wxDefaultSize,
                     wxLC_REPORT | wxLC_VIRTUAL | wxBORDER_SUNKEN) {}

    void ShowRows(const CHistoryRows& shown) {
        rows = &shown;
        SetItemCount(shown.Count());
        Refresh();
    }

protected:
    wxString OnGetItemText(long item, long column) const override {
        if (!rows) return {};
        return TextFromBytes(rows->Text(item, static_cast<CHistoryRows::Column>(column)));
    }

private:
    const CHistoryRows* rows = nullptr;
};

namespace {

constexpr const char* kTitle = "History of ";
// Rows measured from the top for the columns' widths: what shows first.
constexpr long kMeasuredRows = 20;

std::string Summary(long count) {
    if (count == 0) return "No versions of this page are kept yet.";
    if (count == 1) return "1 version kept.";
    return GroupedNumber(static_cast<std::uint64_t>(count)) + " versions kept, the newest first.";
}

}  // namespace

CHistoryDlg::CHistoryDlg(wxWindow* parent, CHistoryStore& store, CHistoryPage page,
                         CHistoryActions actions)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8(kTitle) + TextFromBytes(page.name),
               wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      store(store),
      page(std::move(page)),
      actions(std::move(actions)),
      rows(std::make_unique<CHistoryRows>(std::vector<CHistoryVersion>{}, 0)) {
    list = new CHistoryListCtrl(this);
    for (int column = 0; column < CHistoryRows::ColumnCount; ++column) {
        const auto which = static_cast<CHistoryRows::Column>(column);
        const bool numeric = which == CHistoryRows::Number || which == CHistoryRows::Size ||
                             which == CHistoryRows::Change;
        list->AppendColumn(CHistoryRows::Heading(which),
                           numeric ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT);
    }
    summary = new wxStaticText(this, ID_SUMMARY, wxString());
    const int border = FromDIP(10);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(list, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
    sizer->Add(summary, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxTOP, border));
    sizer->Add(MakeButtons(), wxSizerFlags().Expand().Border(wxALL, border));

    Reload();
    list->SetFocus();
    SizeColumns();
    SetSizerAndFit(sizer);
    CentreOnParent();

    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ViewSelected(); }, ID_VIEW);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { CompareSelected(); }, ID_COMPARE);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { AcceptSelected(); }, ID_ACCEPT);
    auto enableFor = [this](int count) {
        return [this, count](wxUpdateUIEvent& event) {
            event.Enable(list->GetSelectedItemCount() == count);
        };
    };
    Bind(wxEVT_UPDATE_UI, enableFor(1), ID_VIEW);
    Bind(wxEVT_UPDATE_UI, enableFor(2), ID_COMPARE);
    Bind(wxEVT_UPDATE_UI, enableFor(1), ID_ACCEPT);
    list->Bind(wxEVT_LIST_ITEM_ACTIVATED, &CHistoryDlg::OnActivated, this);
}

CHistoryDlg::~CHistoryDlg() = default;

wxSizer* CHistoryDlg::MakeButtons() {
    auto* view = new wxButton(this, ID_VIEW, "&View");
    auto* compare = new wxButton(this, ID_COMPARE, "&Compare");
    auto* modeLabel = new wxStaticText(this, wxID_ANY, "&Output:");
    mode = new wxChoice(this, ID_MODE);
    for (const char* name : kOutputModeNames) mode->Append(name);
    mode->SetSelection(OutputButtonFor(this->page.outputMode).value_or(HighlightedHtml));
    auto* accept = new wxButton(this, ID_ACCEPT, "Make &Accepted");
    // "Close" without a mnemonic: Alt+C is Compare's. Escape closes.
    auto* close = new wxButton(this, wxID_CLOSE, "Close");
    SetEscapeId(wxID_CLOSE);

    const int gap = FromDIP(5);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(view, wxSizerFlags().CenterVertical());
    buttons->AddSpacer(gap);
    buttons->Add(compare, wxSizerFlags().CenterVertical());
    buttons->AddSpacer(gap);
    buttons->Add(modeLabel, wxSizerFlags().CenterVertical());
    buttons->AddSpacer(gap);
    buttons->Add(mode, wxSizerFlags().CenterVertical());
    buttons->AddSpacer(2 * gap);
    buttons->Add(accept, wxSizerFlags().CenterVertical());
    buttons->AddStretchSpacer();
    buttons->Add(close, wxSizerFlags().CenterVertical());
    return buttons;
}

int CHistoryDlg::ShowModal() {
    if (!loadError.empty()) {
        GetPrompter().Tell(GetParent(), loadError, true);
        return wxID_CANCEL;
    }
    return wxDialog::ShowModal();
}

void CHistoryDlg::Reload() {
    std::vector<std::int64_t> selected;
    for (long row : SelectedRows()) selected.push_back(rows->At(row).id);
    const long focused = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    const std::int64_t focusedId = focused >= 0 ? rows->At(focused).id : -1;

    try {
        rows = std::make_unique<CHistoryRows>(store.List(page.key), page.lastUpdated);
        loadError.clear();
    } catch (const CException& error) {
        loadError = error.Message();
    }
    list->ShowRows(*rows);
    summary->SetLabel(Summary(rows->Count()));

    for (long row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
         row = list->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        list->SetItemState(row, 0, wxLIST_STATE_SELECTED);
    for (std::int64_t id : selected) {
        const long row = rows->RowOf(id);
        if (row >= 0) list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    // At first, or when the focused version is gone: the newest.
    long focus = focusedId >= 0 ? rows->RowOf(focusedId) : -1;
    if (focus < 0 && rows->Count() > 0) {
        focus = 0;
        if (selected.empty()) list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    if (focus >= 0) {
        list->SetItemState(focus, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
        list->EnsureVisible(focus);
    }
}

void CHistoryDlg::SizeColumns() {
    const long measured = std::min(rows->Count(), kMeasuredRows);
    const int margin = FromDIP(16);
    int total = 0;
    for (int column = 0; column < CHistoryRows::ColumnCount; ++column) {
        const auto which = static_cast<CHistoryRows::Column>(column);
        // Accepted times may all lie further down: they are times as wide
        // as the Time column's.
        const auto sample = which == CHistoryRows::Accepted ? CHistoryRows::Time : which;
        int widest = list->GetTextExtent(CHistoryRows::Heading(which)).x;
        for (long row = 0; row < measured; ++row)
            widest = std::max(widest, list->GetTextExtent(TextFromBytes(rows->Text(row, sample))).x);
        list->SetColumnWidth(column, widest + margin);
        total += widest + margin;
    }
    // Every column in view, as far as the screen allows.
    const int scrollBar = wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, list);
    const int screen = wxSystemSettings::GetMetric(wxSYS_SCREEN_X, list);
    const int width = std::min(total + scrollBar + FromDIP(8), screen * 9 / 10);
    list->SetMinSize(wxSize(std::max(width, FromDIP(480)), FromDIP(360)));
}

std::vector<long> CHistoryDlg::SelectedRows() const {
    std::vector<long> selected;
    for (long row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
         row = list->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        selected.push_back(row);
    return selected;
}

void CHistoryDlg::Guarded(const std::function<void()>& action) {
    std::string failure;
    try {
        action();
        return;
    } catch (const CException& error) {
        failure = error.Message();
    } catch (const std::exception& error) {
        // Above all bad_alloc: a version too large to hold twice.
        failure = error.what();
    }
    GetPrompter().Tell(this, failure, true);
}

void CHistoryDlg::ViewSelected() {
    const std::vector<long> selected = SelectedRows();
    if (selected.size() != 1 || !actions.view) return;
    const std::int64_t id = rows->At(selected[0]).id;
    Guarded([&] { actions.view(store.Read(id)); });
}

void CHistoryDlg::CompareSelected() {
    const std::vector<long> selected = SelectedRows();
    if (selected.size() != 2 || !actions.compare) return;
    const auto [older, newer] = rows->Ordered(selected[0], selected[1]);
    const std::int32_t chosen = std::max(mode->GetSelection(), 0);
    Guarded([&] {
        if (!actions.compare(store.Read(older->id), store.Read(newer->id), chosen))
            GetPrompter().Tell(this, LoadString(IDS_HISTORY_NO_CHANGES), false);
    });
}

void CHistoryDlg::AcceptSelected() {
    const std::vector<long> selected = SelectedRows();
    if (selected.size() != 1 || !actions.makeAccepted) return;
    const CHistoryVersion version = rows->At(selected[0]);
    const std::string question =
        FormatString(IDS_HISTORY_CONFIRM_ACCEPT, {LastUpdatedText(version.time)});
    if (GetPrompter().Ask(this, question, PromptButtons::YesNo) != PromptAnswer::Yes) return;
    Guarded([&] { actions.makeAccepted(version.id); });
    // The accepted time has changed, and newer versions may have come.
    Reload();
    if (!loadError.empty()) GetPrompter().Tell(this, loadError, true);
}

void CHistoryDlg::OnActivated(wxListEvent& event) {
    // A double click or Enter views the row it was on, whatever else is selected.
    const long row = event.GetIndex();
    if (row < 0 || row >= rows->Count() || !actions.view) return;
    const std::int64_t id = rows->At(row).id;
    Guarded([&] { actions.view(store.Read(id)); });
}

}  // namespace tallyhawk
