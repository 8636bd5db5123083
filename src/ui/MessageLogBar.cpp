#include "ui/MessageLogBar.h"

#include <wx/listbox.h>
#include <wx/settings.h>
#include <wx/sizer.h>

#include "app/MessageLog.h"
#include "base/StringTable.h"
#include "dialogs/ActivityIndicator.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/StatusText.h"

namespace tallyhawk {

CMessageLogBar::CMessageLogBar(wxWindow* parent) : wxPanel(parent, wxID_ANY), batchTimer(this) {
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnLogPosted(); }, batchTimer.GetId());
    status = new CStatusText(this);
    status->SetText(LoadString(IDS_READY));
    indicator = new CActivityIndicator(this);
    list = new wxListBox(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(-1, 80)), 0,
                         nullptr, wxLB_SINGLE | wxLB_NEEDED_SB);
    list->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));

    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(status, 1, wxEXPAND | wxRIGHT, FromDIP(4));
    top->Add(indicator, 0, wxEXPAND);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(top, 0, wxEXPAND | wxALL, FromDIP(3));
    sizer->Add(list, 1, wxEXPAND);
    SetSizer(sizer);
}

CMessageLogBar::~CMessageLogBar() {
    // No announcement may reach the bar while its members go.
    UnsubscribeAll();
    batchTimer.Stop();
}

void CMessageLogBar::Attach(CMessageLog* newLog) {
    if (log) log->Unsubscribe(static_cast<CEventSink*>(this));
    log = newLog;
    if (log) log->Subscribe(this, &CMessageLogBar::OnLogEvent);
    list->Clear();
    Sync();
}

bool CMessageLogBar::OnLogEvent(CLogEvent*) {
    // The adding thread: post and return.
    if (announced.Add(0)) CallAfter(&CMessageLogBar::OnLogPosted);
    return true;
}

void CMessageLogBar::OnLogPosted() {
    std::vector<char> marks;
    if (!announced.Take(marks)) return;
    Sync();
    batchTimer.StartOnce(static_cast<int>(kBatchPause.count()));
}

void CMessageLogBar::Sync() {
    std::vector<wxString> lines;
    if (log) {
        const std::int32_t count = log->GetCount();
        lines.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) {
            if (auto entry = log->GetAt(i)) lines.push_back(TextFromBytes(entry->BarLine()));
        }
    }
    // The log only appends at the end and trims at the front: find where
    // the list's lines continue in the log, drop the lines before, append
    // the rest.
    const std::size_t shown = list->GetCount();
    std::size_t keep = std::min(shown, lines.size());
    for (; keep > 0; --keep) {
        bool same = true;
        for (std::size_t i = 0; i < keep && same; ++i)
            same = list->GetString(static_cast<unsigned>(shown - keep + i)) == lines[i];
        if (same) break;
    }
    if (keep == 0 && shown > 0) list->Clear();
    for (std::size_t i = keep; i < shown && list->GetCount() > keep; ++i) list->Delete(0);
    wxArrayString added;
    for (std::size_t i = keep; i < lines.size(); ++i) added.Add(lines[i]);
    if (!added.empty()) list->Append(added);
    if (list->GetCount() > 0) list->SetSelection(static_cast<int>(list->GetCount()) - 1);
}

void CMessageLogBar::SetStatusText(const std::string& text) { status->SetText(text); }

std::string CMessageLogBar::GetStatusText() const { return status->GetText(); }

void CMessageLogBar::SetActive(bool active) {
    if (indicator->IsActive() != active) indicator->SetActive(active);
}

bool CMessageLogBar::IsActive() const { return indicator->IsActive(); }

}  // namespace tallyhawk
