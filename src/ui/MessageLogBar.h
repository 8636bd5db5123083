// CMessageLogBar: the bottom of the main window and its status bar: the
// status line, the activity indicator and the message-log list.
//
// The list mirrors the message log's entries. The log announces on the
// thread that adds an entry; the bar's subscription only posts to the
// window, one call for any number of announcements, which then brings the
// list in line with the log as it is by then: the new entries appended, the
// ones the log trimmed dropped from the top. (Reading "the entry at the
// announced index" later would show the same entry several times once the
// log trims between the announcement and the read.) User-interface thread
// only, except the subscription callback.
#pragma once

#include <wx/panel.h>

#include <atomic>
#include <string>
#include <vector>

#include <wx/timer.h>

#include "base/EventSource.h"
#include "ui/PostedIndexes.h"

class wxListBox;

namespace tallyhawk {

class CActivityIndicator;
class CMessageLog;
class CStatusText;
struct CLogEvent;

class CMessageLogBar : public wxPanel, public CEventSink {
public:
    explicit CMessageLogBar(wxWindow* parent);
    ~CMessageLogBar() override;

    // Shows `log` (null: none); the list is filled with its entries. The log
    // must outlive the bar or be detached first.
    void Attach(CMessageLog* log);

    void SetStatusText(const std::string& text);
    std::string GetStatusText() const;

    // The activity indicator runs while watching.
    void SetActive(bool active);
    bool IsActive() const;

    // The list's lines, oldest first (for tests and the window's own use).
    wxListBox* GetList() const { return list; }
    CActivityIndicator* GetIndicator() const { return indicator; }

private:
    bool OnLogEvent(CLogEvent* event);
    void Sync();

    void OnLogPosted();

    CMessageLog* log = nullptr;
    CPostedBatch<char> announced;  // one mark per announcement
    wxTimer batchTimer;
    CStatusText* status;
    CActivityIndicator* indicator;
    wxListBox* list;
};

}  // namespace tallyhawk
