// CMainFrame: the program's only top-level window: menus, toolbar, the page
// list, the message-log bar, the tray icon and the document's file commands.
//
// It mirrors the watch thread: while watching runs only the allowed set of
// commands is routed (one filter, ahead of every command and update-UI
// request), the activity indicator runs, the tray icon flashes while a page
// waits to be seen or pages were disabled, and the names of disabled pages
// are collected for View Errors. Closing only hides the window where the
// desktop has a tray; the program ends through Exit, which asks first.
//
// Page-list and download events arrive on the watch thread: the frame's
// callbacks only post to the window, or append to the errors list under its
// lock. Everything else runs on the user-interface thread.
#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/EventSource.h"
#include "engine/WatchSiteList.h"
#include "ui/CommandLine.h"
#include "ui/CommandTable.h"
#include "ui/PostedIndexes.h"
#include "ui/TallyhawkView.h"
#include "ui/TrayMenu.h"

class wxNotificationMessage;

namespace tallyhawk {

class CAppSettings;
class CMessageLogBar;
class CTallyhawkDoc;
class CTrayIcon;
class CWatchSite;
class ISettingsStore;
struct CDownloadProgress;

// Tells the user that a page has changed; `activate` views its changes.
class IChangeNotifier {
public:
    virtual ~IChangeNotifier() = default;
    virtual void Notify(const std::string& text, std::function<void()> activate) = 0;
};

// What the window uses of the application: all outlive the window.
struct CFrontEnd {
    ISettingsStore& store;
    CWatchSite& defaultPage;
    CAppSettings& appSettings;  // the Options command's Logging page edits them
};

class CMainFrame : public wxFrame, public CEventSink, public ICommandHost {
public:
    static constexpr int kTimerMilliseconds = 500;
    static constexpr int kUpdateUiMilliseconds = 100;

    CMainFrame(CTallyhawkDoc& doc, CFrontEnd& front);
    ~CMainFrame() override;

    CTallyhawkView& GetView() { return *view; }
    CMessageLogBar& GetBar() { return *bar; }
    CTrayIcon& GetTrayIcon() { return *tray; }
    CTallyhawkDoc& GetDocument() { return doc; }
    const CRecentFiles& GetRecentFiles() const { return recent; }

    // ICommandHost: the filter and the command's update-UI rule.
    bool IsCommandEnabled(int id) override;
    void RunCommand(int id) override;

    // Document files. Each asks whether to save changes first (false: the
    // user canceled). A document that cannot be opened is reported and the
    // window shows a new, untitled one: the failed file is never written.
    bool NewDocument();
    bool OpenDocument(const std::string& path);
    bool SaveDocument();
    bool SaveDocumentAs();
    // Asks whether to save a modified document; false: canceled.
    bool SaveModified();
    // "NAME - Tallyhawk".
    void UpdateTitle();

    // The frame's copy of whether the watch thread runs.
    bool IsWatching() const { return watching; }
    void SetWatching(bool value);
    // Show (restore, raise) or hide the window.
    void ShowWindow(bool show);
    // The first showing. Started minimized, only the tray icon shows; where
    // the desktop has no tray, the window starts minimized instead.
    void ShowAtStart(bool minimized);
    // Whether the desktop has a notification area for the tray icon.
    bool HasTray() const;
    bool IsExitConfirmed() const { return exitConfirmed; }

    // Tray menu support.
    std::vector<CModifiedPage> ModifiedPages() const;
    bool HasErrors() const { return ErrorCount() != 0; }
    // How many names of disabled pages wait for View Errors.
    std::size_t ErrorCount() const;
    // A tray menu's choice. While a modal dialog is open, every choice but
    // Restore waits until it closes, like a click on a notification.
    void OnTrayCommand(int id, std::int32_t page);

    // A modal dialog or message box is open (the window is not to change
    // under it). Counted through the toolkit's modal-dialog hook.
    bool IsUnderModalDialog() const;
    // Runs `command` now, or once no modal dialog is open any more (the
    // timer's tick looks), after those that wait already.
    void RunWhenFree(std::function<void()> command);
    // The status line's text when no menu prompt shows: "Ready", or while
    // watching the last status the watch thread gave ("Monitoring").
    std::string RestingStatus();

    // One tick of the 500 ms timer. Tests stop the timer and step it.
    // While watching it also keeps a named document saved.
    void Tick();

    // While watching runs, a document that has a file is kept saved: after a
    // change of page state, at most once every kAutoSavePause, atomically,
    // without a question. An untitled document is never saved unasked.
    static constexpr std::chrono::milliseconds kAutoSavePause{2000};
    // Saves a named, modified document now, without a question; a failure
    // goes to the message log. True when the document is saved.
    bool AutoSave();
    // The end of the desktop session or a stop signal: watching stops, a
    // named document is saved without a question and the program ends.
    void EndSession();
    void StopTimer() { timer.Stop(); }

    // Replaces the desktop notification (null: the desktop's own).
    void SetNotifier(IChangeNotifier* notifier);

protected:
    bool TryBefore(wxEvent& event) override;
    void DoGiveHelp(const wxString& text, bool show) override;

private:
    void BuildMenus();
    void BuildToolbar();
    void BuildAccelerators();
    void RebuildRecentMenu();
    void BindCommands();
    void OnCommand(wxCommandEvent& event);
    void OnUpdateCommand(wxUpdateUIEvent& event);
    bool UpdateRule(int id, bool& checked) const;
    void OnClose(wxCloseEvent& event);
    void OnIconize(wxIconizeEvent& event);
    void OnTimer(wxTimerEvent& event);
    void OnMenuClose(wxMenuEvent& event);
    // Asks the Exit question; true (and remembered) when the user agrees.
    bool ConfirmExit();
    void Exit();
    void ViewErrors();
    // Upgrade Wizard: asks to save first; a setup program handed to the
    // desktop ends the program.
    void UpgradeWizard();
    void EndAfterUpgrade();
    // Options: the defaults sheet; on OK the default page ("SiteSettings")
    // and the log settings ("AppSettings") are stored.
    void EditDefaults();
    void SaveLogMessages();
    void TrayMinimize();
    void ToggleBar();
    void ToggleToolbar();
    void AfterDocumentChanged();
    bool SaveTo(const std::string& path);
    std::string DocumentName() const;
    void StoreRecentFiles();
    void Report(const std::string& message);
    void ViewPageChanges(std::int32_t index);

    // Watch-thread callbacks: post only.
    bool OnPageListEvent(SiteListEvent* event);
    bool OnDownloadProgress(CDownloadProgress* progress);
    void OnPagesChanged();
    void OnStatusTexts();
    void PostStatus(std::string text);
    void NotifyIfChanged(std::int32_t index);
    void UpdatePageInFront();
    void RunWaitingCommands();

    CTallyhawkDoc& doc;
    CFrontEnd& front;
    CCommandFilter filter;
    CTallyhawkView* view;
    CMessageLogBar* bar;
    std::unique_ptr<CTrayIcon> tray;
    wxTimer timer;
    wxMenu* fileMenu = nullptr;
    CRecentFiles recent;
    bool watching = false;
    bool exitConfirmed = false;

    mutable std::mutex errorsLock;
    std::vector<CDisabledPage> errors;  // guarded by errorsLock

    // Saving as watching goes: when the last save was made, and the last
    // failure logged (each new reason is logged once).
    std::chrono::steady_clock::time_point lastAutoSave;
    std::string autoSaveFailure;

    // What the watch thread has for the window, taken in batches.
    CPostedBatch<std::int32_t> changedPages;
    CPostedBatch<std::string> statusTexts;
    wxTimer batchTimer;
    std::mutex statusLock;
    std::string lastStatus;  // guarded by statusLock: the newest text given to the window

    IChangeNotifier* notifier;
    std::unique_ptr<IChangeNotifier> desktopNotifier;
    // Commands that wait for a modal dialog to close, in their order.
    std::deque<std::function<void()>> waitingCommands;
    std::unique_ptr<class CModalDialogCount> modalDialogs;
    // The page the Update Page dialog checks in front of the user: its
    // change is not announced on the desktop.
    std::weak_ptr<CWatchSite> checkedInFront;

    // Modified pages already announced, held weakly: a removed page is
    // never mistaken for one made later at the same address.
    std::set<std::weak_ptr<CWatchSite>, std::owner_less<>> notified;
};

}  // namespace tallyhawk
