// CTallyhawkView: the page list, one row per page in the document's order
// (row i shows page i), and the commands that act on the selected page.
//
// A virtual list: rows are not stored, each text is read when it is drawn
// through the page's getters (name, address, status, last-updated time),
// so no page's contents are ever copied for the list. PageChanged arrives on
// the watch thread and is only posted to the window, which then redraws the
// row. User-interface thread only, except the subscription callback.
#pragma once

#include <wx/listctrl.h>
#include <wx/timer.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "base/EventSource.h"
#include "ui/PostedIndexes.h"

namespace tallyhawk {

class CTallyhawkDoc;
struct SiteListEvent;

// What the view asks of the window that holds its commands.
class ICommandHost {
public:
    virtual ~ICommandHost() = default;
    // The command is enabled now (the watching filter and its own rule).
    virtual bool IsCommandEnabled(int id) = 0;
    // Runs the command as its menu item would.
    virtual void RunCommand(int id) = 0;
};

class CTallyhawkView : public wxListCtrl, public CEventSink {
public:
    // Pixels (at 96 dots per inch) a cell keeps beside its text.
    static constexpr int kCellMargin = 12;

    // `doc` must outlive the view; `host` is the owner's command table.
    CTallyhawkView(wxWindow* parent, CTallyhawkDoc& doc, ICommandHost& host);
    ~CTallyhawkView() override;

    // After New and Open: takes the page count and selects row 0.
    void Fill();
    // The selected page's index, or -1.
    std::int32_t GetSelectedPage() const;
    void SelectRow(long row);
    // The text of a cell as shown.
    std::string GetCellText(long row, int column) const;

    // The page commands. "Can" answers their update-UI rule.
    bool CanActOnSelection() const;
    bool CanViewChanges() const;
    bool CanPaste();
    // Adds a page made from `defaultPage` for every link chosen in the
    // Bookmarks & Favorites dialog, and selects the last.
    void Import(const class CWatchSite& defaultPage);
    // Add: the property sheet on a copy of `defaultPage`; on OK the page
    // joins the end of the list and is selected.
    void AddPage(const class CWatchSite& defaultPage);
    // Properties: the property sheet on the selected page itself.
    void Properties();
    void Remove();  // asks first
    // Update...: checks the selected page now. (Not named Update: that
    // would override the toolkit's repaint, which it calls on its own.)
    void UpdatePage();
    void Browse();
    void Copy();
    void Cut();
    void Paste();

    // Whether row `row` stands out as a change that waits to be seen (a
    // Modified page: bold, with the change mark before its name).
    bool IsRowMarked(long row) const;
    // The font of a marked row.
    wxFont GetMarkedFont() const { return markedRow.GetFont(); }
    // The width in pixels of the widest last-updated time in that font, over
    // a year's days (the weekday and month names of the locale).
    int WidestMarkedDate() const;

protected:
    wxString OnGetItemText(long item, long column) const override;
    wxItemAttr* OnGetItemAttr(long item) const override;
    int OnGetItemColumnImage(long item, long column) const override;

private:
    bool OnPageListEvent(SiteListEvent* event);
    void OnPagesChanged();
    void OnListChanged();
    void OnSize(wxSizeEvent& event);
    void OnActivated(wxListEvent& event);
    void OnKeyDown(wxListEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void RemovePage(std::int32_t index);
    void AppendPage(const class CWatchSite& page);
    // After page `index` was added at the end: the document is modified,
    // the list has its row and selects it.
    void ShowAddedPage(std::int32_t index);
    void Report(const std::string& message);

    CTallyhawkDoc& doc;
    ICommandHost& host;
    CPostedBatch<std::int32_t> changed;
    wxTimer batchTimer;
    mutable wxItemAttr markedRow;
    bool pasteAvailable = false;
    std::chrono::steady_clock::time_point pasteCheckedAt{};
};

}  // namespace tallyhawk
