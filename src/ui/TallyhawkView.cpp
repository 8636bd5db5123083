#include "ui/TallyhawkView.h"

#include <algorithm>

#include <wx/menu.h>

#include "app/ImportLinks.h"
#include "app/TallyhawkDoc.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "dialogs/Art.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Prompter.h"
#include "ui/CommandIds.h"
#include "ui/CommandTable.h"
#include "ui/PageClipboard.h"
#include "ui/PageRows.h"
#include "ui/DialogCommands.h"

namespace tallyhawk {

namespace {

// How long the answer "the clipboard holds a page" is kept: asking the
// desktop's clipboard is a round trip, and update-UI asks on every idle.
constexpr auto kPasteCheckInterval = std::chrono::milliseconds(500);

}  // namespace

CTallyhawkView::CTallyhawkView(wxWindow* parent, CTallyhawkDoc& doc, ICommandHost& host)
    : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL | wxBORDER_SUNKEN),
      doc(doc),
      host(host),
      batchTimer(this) {
    const unsigned headings[] = {IDS_COLUMN_NAME, IDS_COLUMN_URL, IDS_COLUMN_STATUS,
                                 IDS_COLUMN_UPDATED};
    for (int column = 0; column < kColumnCount; ++column)
        AppendColumn(wxString::FromUTF8(LoadString(headings[column])), wxLIST_FORMAT_LEFT);
    // A row's height follows the font: the mark takes the height of a line.
    const int line = GetCharHeight();
    wxVector<wxBitmapBundle> images;
    images.push_back(GetArt(ArtId::Changed, wxSize(line, line)));
    SetSmallImages(images);
    markedRow.SetFont(GetFont().Bold());
    Bind(wxEVT_SIZE, &CTallyhawkView::OnSize, this);
    Bind(wxEVT_LIST_ITEM_ACTIVATED, &CTallyhawkView::OnActivated, this);
    Bind(wxEVT_LIST_KEY_DOWN, &CTallyhawkView::OnKeyDown, this);
    Bind(wxEVT_CONTEXT_MENU, &CTallyhawkView::OnContextMenu, this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnPagesChanged(); }, batchTimer.GetId());
    doc.GetPageList().Subscribe(this, &CTallyhawkView::OnPageListEvent);
}

CTallyhawkView::~CTallyhawkView() {
    UnsubscribeAll();
    batchTimer.Stop();
}

bool CTallyhawkView::OnPageListEvent(SiteListEvent* event) {
    // The announcing thread (often the watch thread): post and return.
    if (event->code == PageChanged) {
        if (changed.Add(event->index)) CallAfter(&CTallyhawkView::OnPagesChanged);
    } else if (event->code == PageAdded || event->code == PageRemoved ||
               event->code == AllPagesRemoved) {
        CallAfter(&CTallyhawkView::OnListChanged);
    }
    return true;
}

void CTallyhawkView::OnPagesChanged() {
    std::vector<std::int32_t> indexes;
    if (!changed.Take(indexes)) return;
    const long count = doc.GetPageList().GetCount();
    if (GetItemCount() != count) SetItemCount(count);
    for (std::int32_t index : indexes) {
        if (index >= 0 && index < count) RefreshItem(index);
    }
    batchTimer.StartOnce(static_cast<int>(kBatchPause.count()));
}

void CTallyhawkView::OnListChanged() {
    const long count = doc.GetPageList().GetCount();
    if (GetItemCount() != count) SetItemCount(count);
    Refresh();
}

void CTallyhawkView::Fill() {
    SetItemCount(doc.GetPageList().GetCount());
    Refresh();
    SelectRow(0);
}

wxString CTallyhawkView::OnGetItemText(long item, long column) const {
    CWatchSite* page = doc.GetPageList().GetAt(static_cast<std::int32_t>(item));
    if (!page) return wxString();
    return TextFromBytes(RowText(*page, static_cast<int>(column)));
}

bool CTallyhawkView::IsRowMarked(long row) const {
    CWatchSite* page = doc.GetPageList().GetAt(static_cast<std::int32_t>(row));
    return page && page->IsModified();
}

wxItemAttr* CTallyhawkView::OnGetItemAttr(long item) const {
    return IsRowMarked(item) ? &markedRow : nullptr;
}

int CTallyhawkView::OnGetItemColumnImage(long item, long column) const {
    return column == 0 && IsRowMarked(item) ? 0 : -1;
}

int CTallyhawkView::WidestMarkedDate() const {
    const wxFont font = markedRow.GetFont();
    int widest = 0;
    // Every weekday in every month of 2026, late in the day.
    constexpr std::int64_t kFirstDay = 1767225599;  // 2026-01-01 23:59:59 UTC
    for (int day = 0; day < 365; ++day) {
        int width = 0;
        GetTextExtent(wxString::FromUTF8(LastUpdatedText(kFirstDay + day * 86400LL)), &width,
                      nullptr, nullptr, nullptr, &font);
        widest = std::max(widest, width);
    }
    return widest;
}

std::string CTallyhawkView::GetCellText(long row, int column) const {
    return OnGetItemText(row, column).utf8_string();
}

void CTallyhawkView::OnSize(wxSizeEvent& event) {
    event.Skip();
    const auto widths = ColumnWidths(GetClientSize().GetWidth());
    for (int column = 0; column < kColumnCount; ++column) SetColumnWidth(column, widths[column]);
}

std::int32_t CTallyhawkView::GetSelectedPage() const {
    const long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (row < 0 || row >= doc.GetPageList().GetCount()) return -1;
    return static_cast<std::int32_t>(row);
}

void CTallyhawkView::SelectRow(long row) {
    const long selected = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (selected >= 0 && selected != row) SetItemState(selected, 0, wxLIST_STATE_SELECTED);
    if (row < 0 || row >= GetItemCount()) return;
    SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                 wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    EnsureVisible(row);
}

bool CTallyhawkView::CanActOnSelection() const { return GetSelectedPage() >= 0; }

bool CTallyhawkView::CanViewChanges() const {
    CWatchSite* page = doc.GetPageList().GetAt(GetSelectedPage());
    return page && page->IsModified();
}

bool CTallyhawkView::CanPaste() {
    const auto now = std::chrono::steady_clock::now();
    if (now - pasteCheckedAt >= kPasteCheckInterval) {
        pasteAvailable = ClipboardHasPage();
        pasteCheckedAt = now;
    }
    return pasteAvailable;
}

void CTallyhawkView::Report(const std::string& message) {
    GetPrompter().Tell(wxGetTopLevelParent(this), message, true);
}

void CTallyhawkView::AddPage(const CWatchSite& defaultPage) {
    CWatchSite page(defaultPage);
    if (EditPageSettings(wxGetTopLevelParent(this), IDS_SHEET_ADD_PAGE, page,
                         doc.GetDownloader().GetTimeLimits()).accepted)
        AppendPage(page);
}

void CTallyhawkView::Properties() {
    const std::int32_t index = GetSelectedPage();
    CWatchSite* page = doc.GetPageList().GetAt(index);
    if (!page) return;
    // The viewer question at closing may change the page even after Cancel:
    // such a change is the document's too, or it would be lost unsaved.
    if (EditPageSettings(wxGetTopLevelParent(this), IDS_SHEET_PROPERTIES, *page,
                         doc.GetDownloader().GetTimeLimits()).pageChanged)
        doc.SetModifiedFlag(true);
    RefreshItem(index);
}

void CTallyhawkView::Remove() {
    const std::int32_t index = GetSelectedPage();
    if (index < 0) return;
    if (GetPrompter().Ask(wxGetTopLevelParent(this), LoadString(IDS_CONFIRM_REMOVE),
                          PromptButtons::OkCancel) != PromptAnswer::Ok)
        return;
    RemovePage(index);
}

void CTallyhawkView::RemovePage(std::int32_t index) {
    const long selected = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    doc.GetPageList().RemoveAt(index);
    doc.SetModifiedFlag(true);
    SetItemCount(doc.GetPageList().GetCount());
    Refresh();
    SelectRow(selected < GetItemCount() ? selected : selected - 1);
}

void CTallyhawkView::UpdatePage() {
    const std::int32_t index = GetSelectedPage();
    CWatchSite* page = doc.GetPageList().GetAt(index);
    if (!page) return;
    try {
        if (!page->IsEnabled()) page->Enable(true);
        if (RunUpdatePage(wxGetTopLevelParent(this), doc, index)) doc.ViewChanges(index);
    } catch (const CException& error) {
        Report(error.Message());
    }
    RefreshItem(index);
}

void CTallyhawkView::Browse() {
    CWatchSite* page = doc.GetPageList().GetAt(GetSelectedPage());
    if (!page) return;
    try {
        page->OpenInBrowser();
    } catch (const CException& error) {
        Report(error.Message());
    }
}

void CTallyhawkView::Copy() {
    CWatchSite* page = doc.GetPageList().GetAt(GetSelectedPage());
    if (!page) return;
    try {
        CopyPageToClipboard(*page);
        pasteAvailable = true;
        pasteCheckedAt = std::chrono::steady_clock::now();
    } catch (const CException& error) {
        Report(error.Message());
    }
}

void CTallyhawkView::Cut() {
    const std::int32_t index = GetSelectedPage();
    CWatchSite* page = doc.GetPageList().GetAt(index);
    if (!page) return;
    try {
        CopyPageToClipboard(*page);
    } catch (const CException& error) {
        Report(error.Message());
        return;
    }
    RemovePage(index);
}

void CTallyhawkView::Paste() {
    std::string bytes;
    if (!ReadPageRecord(bytes)) return;
    try {
        AppendPage(*PageFromRecord(bytes));
    } catch (const CException& error) {
        Report(error.Message());
    }
}

void CTallyhawkView::Import(const CWatchSite& defaultPage) {
    for (const CBookmarkItem& link : ChooseLinks(wxGetTopLevelParent(this)))
        ShowAddedPage(AddLinkAsPage(doc.GetPageList(), defaultPage, link));
}

void CTallyhawkView::AppendPage(const CWatchSite& page) {
    ShowAddedPage(doc.GetPageList().Add(page));
}

void CTallyhawkView::ShowAddedPage(std::int32_t index) {
    doc.SetModifiedFlag(true);
    SetItemCount(doc.GetPageList().GetCount());
    Refresh();
    SelectRow(index);
}

void CTallyhawkView::OnActivated(wxListEvent&) {
    // A double-click on a row (Enter is taken in OnKeyDown).
    if (host.IsCommandEnabled(ID_PAGE_PROPERTIES)) {
        host.RunCommand(ID_PAGE_PROPERTIES);
    } else if (host.IsCommandEnabled(ID_PAGE_VIEW_CHANGES)) {
        host.RunCommand(ID_PAGE_VIEW_CHANGES);
    }
}

void CTallyhawkView::OnKeyDown(wxListEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_DELETE && !wxGetKeyState(WXK_SHIFT)) {
        if (host.IsCommandEnabled(ID_PAGE_REMOVE)) host.RunCommand(ID_PAGE_REMOVE);
        return;
    }
    if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
        // Enter is Properties' key alone; taken here, the list does not turn
        // it into an activation, which would view the changes instead while
        // Properties is not allowed.
        if (host.IsCommandEnabled(ID_PAGE_PROPERTIES)) host.RunCommand(ID_PAGE_PROPERTIES);
        return;
    }
    event.Skip();
}

void CTallyhawkView::OnContextMenu(wxContextMenuEvent& event) {
    // The menu bar's Page menu, its commands routed through the main window.
    wxMenu menu;
    for (int id : PageMenuItems()) AppendCommand(menu, id);
    wxPoint point = event.GetPosition();
    point = point == wxDefaultPosition ? wxPoint(0, 0) : ScreenToClient(point);
    PopupMenu(&menu, point);
}

}  // namespace tallyhawk
