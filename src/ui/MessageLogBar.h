// CMessageLogBar: the bottom of the main window and its status bar: the
// status line, the activity indicator and the message-log list.
//
// The list mirrors the message log's entries. The log announces on the
// thread that adds an entry; the bar's subscription only posts the event to
// the window, which then reads the entry under the log's lock (an index that
// is no longer valid is skipped). User-interface thread only, except the
// subscription callback.
#pragma once

#include <wx/panel.h>

#include <string>

#include "base/EventSource.h"

class wxListBox;
class wxStaticText;
class wxGauge;
class wxTimer;
class wxTimerEvent;

namespace tallyhawk {

class CMessageLog;
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

private:
    bool OnLogEvent(CLogEvent* event);
    void OnLogNotify(int code, int index);
    void OnPulse(wxTimerEvent& event);
    void Fill();

    CMessageLog* log = nullptr;
    wxStaticText* status;
    wxGauge* indicator;
    wxTimer* pulse;
    bool active = false;
    wxListBox* list;
};

}  // namespace tallyhawk
