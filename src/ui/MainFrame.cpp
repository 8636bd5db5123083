#include "ui/MainFrame.h"

#include <wx/accel.h>
#include <wx/dialog.h>
#include <wx/dnd.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/notifmsg.h>
#include <wx/sizer.h>
#include <wx/toolbar.h>

#include "app/PageCheck.h"
#include "app/SettingsStore.h"
#include "app/TallyhawkDoc.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "dialogs/Art.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Help.h"
#include "dialogs/Prompter.h"
#include "dialogs/SheetRules.h"
#include "ui/CommandIds.h"
#include "ui/DialogCommands.h"
#include "ui/MessageLogBar.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"

namespace tallyhawk {

namespace {

constexpr int kLastRecentId = ID_FILE_MRU_FILE1 + kRecentFileCount - 1;

bool IsRecentId(int id) { return id >= ID_FILE_MRU_FILE1 && id <= kLastRecentId; }

// The File menu's recent-file item while the list is empty (always greyed).
constexpr const char* kNoRecentFile = "Recent File";

wxString Text(unsigned id) { return wxString::FromUTF8(LoadString(id)); }

bool HasWatExtension(const std::string& path) {
    return wxFileName(wxString::FromUTF8(path)).GetExt().Lower() == "wat";
}

// A file name chosen to save to, with `extension` added when it has none.
// The file chooser asked before replacing the name as it was typed; a file
// that is there only under the completed name is asked about here. Empty
// when the user keeps that file, or chose none.
std::string CompletedSavePath(wxWindow* parent, const std::string& chosen,
                              const char* extension) {
    if (chosen.empty()) return {};
    const std::string path = WithDefaultExtension(chosen, extension);
    if (path != chosen && wxFileName::Exists(wxString::FromUTF8(path)) &&
        GetPrompter().Ask(parent, FormatString(IDS_REPLACE_FILE, {path}), PromptButtons::YesNo) !=
            PromptAnswer::Yes)
        return {};
    return path;
}

// The desktop's notification service, where there is one.
class CDesktopNotifier : public IChangeNotifier {
public:
    void Notify(const std::string& text, std::function<void()> activate) override {
        auto message =
            std::make_unique<wxNotificationMessage>(Text(IDS_APP_TITLE), TextFromBytes(text));
        message->Bind(wxEVT_NOTIFICATION_MESSAGE_CLICK,
                      [activate](wxCommandEvent&) { activate(); });
        if (!message->Show()) return;
        live.push_back(std::move(message));
        // The oldest ones have long been dismissed.
        if (live.size() > 16) live.erase(live.begin());
    }

private:
    std::vector<std::unique_ptr<wxNotificationMessage>> live;
};

// Opens a dropped document, after the drop has ended.
class CDocumentDropTarget : public wxFileDropTarget {
public:
    explicit CDocumentDropTarget(CMainFrame& frame) : frame(frame) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override {
        if (files.empty()) return false;
        const std::string path = files[0].utf8_string();
        CMainFrame* target = &frame;
        target->CallAfter([target, path] {
            if (HasWatExtension(path)) {
                target->OpenDocument(path);
            } else {
                GetPrompter().Tell(target, FormatString(IDS_NOT_A_DOCUMENT, {path}), true);
            }
        });
        return true;
    }

private:
    CMainFrame& frame;
};

}  // namespace

// Counts the modal dialogs and message boxes open now, of every kind.
class CModalDialogCount : public wxModalDialogHook {
public:
    CModalDialogCount() { Register(); }
    ~CModalDialogCount() override { Unregister(); }
    bool Any() const { return open > 0; }

protected:
    int Enter(wxDialog*) override {
        ++open;
        return wxID_NONE;  // shown as usual
    }
    void Exit(wxDialog*) override { --open; }

private:
    int open = 0;
};

// The first size is at least 1000 pixels wide, and wide enough for the last
// column, a fifth of the list, to hold any date and time in bold (a changed
// page's row).
CMainFrame::CMainFrame(CTallyhawkDoc& doc, CFrontEnd& front)
    : wxFrame(nullptr, wxID_ANY, Text(IDS_APP_TITLE), wxDefaultPosition, wxSize(1000, 600)),
      doc(doc),
      front(front),
      timer(this),
      batchTimer(this),
      notifier(nullptr),
      modalDialogs(std::make_unique<CModalDialogCount>()) {
    // Update-UI rounds run after every event the window handles; while the
    // activity indicator is redrawn many times a second, ten rounds a second
    // are plenty for the menus and the toolbar.
    wxUpdateUIEvent::SetUpdateInterval(kUpdateUiMilliseconds);
    SetIcons(GetProgramIcons());
    try {
        if (auto bytes = front.store.Read(CRecentFiles::kValueName)) recent.FromBytes(*bytes);
    } catch (const CException&) {
        // An unreadable list is an empty one.
    }
    view = new CTallyhawkView(this, doc, *this);
    bar = new CMessageLogBar(this);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(view, 1, wxEXPAND);
    sizer->Add(bar, 0, wxEXPAND);
    SetSizer(sizer);
    const int dateWidth = view->WidestMarkedDate() + FromDIP(CTallyhawkView::kCellMargin);
    if (dateWidth * 5 > GetSize().x) SetSize(wxSize(dateWidth * 5, GetSize().y));

    BuildMenus();
    BuildToolbar();
    BuildAccelerators();
    BindCommands();
    SetDropTarget(new CDocumentDropTarget(*this));

    tray = std::make_unique<CTrayIcon>(*this);
    tray->ShowIcon(false);
    desktopNotifier = std::make_unique<CDesktopNotifier>();
    notifier = desktopNotifier.get();

    bar->Attach(&doc.GetMessageLog());
    doc.GetPageList().Subscribe(this, &CMainFrame::OnPageListEvent);
    doc.GetPageList().GetDownloader().Subscribe(this, &CMainFrame::OnDownloadProgress);

    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
    Bind(wxEVT_ICONIZE, &CMainFrame::OnIconize, this);
    Bind(wxEVT_TIMER, &CMainFrame::OnTimer, this, timer.GetId());
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        OnPagesChanged();
        OnStatusTexts();
    }, batchTimer.GetId());
    Bind(wxEVT_MENU_CLOSE, &CMainFrame::OnMenuClose, this);
    timer.Start(kTimerMilliseconds);
    AfterDocumentChanged();
}

CMainFrame::~CMainFrame() {
    timer.Stop();
    batchTimer.Stop();
    // No watch-thread callback may reach the frame while its members go.
    UnsubscribeAll();
    bar->Attach(nullptr);
    tray.reset();
}

void CMainFrame::SetNotifier(IChangeNotifier* value) {
    notifier = value ? value : desktopNotifier.get();
}

// ---- building the window from the command table ----

void CMainFrame::BuildMenus() {
    auto* menuBar = new wxMenuBar;
    for (const CMenuLayout& popup : MenuLayout()) {
        auto* menu = new wxMenu;
        for (int id : popup.items) {
            if (id == ID_FILE_MRU_FILE1) {
                fileMenu = menu;  // the recent files go here
                menu->Append(ToolkitId(id), kNoRecentFile);
            } else {
                AppendCommand(*menu, id);
            }
        }
        menuBar->Append(menu, wxString::FromUTF8(popup.title));
    }
    SetMenuBar(menuBar);
    RebuildRecentMenu();
}

void CMainFrame::RebuildRecentMenu() {
    if (!fileMenu) return;
    size_t position = 0;
    fileMenu->FindChildItem(ToolkitId(ID_FILE_MRU_FILE1), &position);
    for (int id = ID_FILE_MRU_FILE1; id <= kLastRecentId; ++id) {
        if (fileMenu->FindChildItem(ToolkitId(id))) fileMenu->Destroy(ToolkitId(id));
    }
    const auto& items = recent.Items();
    if (items.empty()) {
        fileMenu->Insert(position, ToolkitId(ID_FILE_MRU_FILE1), kNoRecentFile);
        return;
    }
    for (size_t i = 0; i < items.size(); ++i) {
        wxString label = wxString::FromUTF8(items[i]);
        label.Replace("&", "&&");
        fileMenu->Insert(position + i, ToolkitId(ID_FILE_MRU_FILE1 + static_cast<int>(i)),
                         wxString::Format("&%zu %s", i + 1, label),
                         wxString::FromUTF8(CommandPrompt(ID_FILE_MRU_FILE1)));
    }
}

void CMainFrame::BuildToolbar() {
    wxToolBar* toolbar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
    for (int id : ToolbarLayout()) {
        if (id == 0) {
            toolbar->AddSeparator();
            continue;
        }
        const CCommandInfo* command = FindCommand(id);
        const wxString tooltip = wxString::FromUTF8(CommandTooltip(id));
        toolbar->AddTool(ToolkitId(id), tooltip, ToolbarArt(command->image), tooltip);
        toolbar->SetToolLongHelp(ToolkitId(id), wxString::FromUTF8(CommandPrompt(id)));
    }
    toolbar->Realize();
}

void CMainFrame::BuildAccelerators() {
    std::vector<wxAcceleratorEntry> entries;
    for (const CCommandInfo& command : Commands()) {
        for (const CAccelerator& accelerator : command.accelerators) {
            if (accelerator.key != 0)
                entries.emplace_back(accelerator.flags, accelerator.key, ToolkitId(command.id));
        }
    }
    SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(entries.size()), entries.data()));
}

void CMainFrame::BindCommands() {
    for (const CCommandInfo& command : Commands()) {
        Bind(wxEVT_MENU, &CMainFrame::OnCommand, this, ToolkitId(command.id));
        Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateCommand, this, ToolkitId(command.id));
    }
    Bind(wxEVT_MENU, &CMainFrame::OnCommand, this, ToolkitId(ID_FILE_MRU_FILE1),
         ToolkitId(kLastRecentId));
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateCommand, this, ToolkitId(ID_FILE_MRU_FILE1),
         ToolkitId(kLastRecentId));
}

// ---- the filter and the commands ----

bool CMainFrame::TryBefore(wxEvent& event) {
    const wxEventType type = event.GetEventType();
    const int id = CommandId(event.GetId());
    if ((type == wxEVT_MENU || type == wxEVT_UPDATE_UI) && (FindCommand(id) || IsRecentId(id)) &&
        !filter.IsAllowed(id, watching)) {
        // Not routed: the item greys out and the command is ignored.
        if (type == wxEVT_UPDATE_UI) static_cast<wxUpdateUIEvent&>(event).Enable(false);
        return true;
    }
    return wxFrame::TryBefore(event);
}

bool CMainFrame::IsCommandEnabled(int id) {
    if (!filter.IsAllowed(id, watching)) return false;
    bool checked = false;
    return UpdateRule(id, checked);
}

void CMainFrame::RunCommand(int id) {
    wxCommandEvent event(wxEVT_MENU, ToolkitId(id));
    event.SetEventObject(this);
    ProcessWindowEvent(event);
}

bool CMainFrame::UpdateRule(int id, bool& checked) const {
    switch (id) {
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
    case ID_APP_EXIT:
    case ID_PAGE_IMPORT:
    case ID_VIEW_TRAY_MINIMIZE:
    case ID_VIEW_ERRORS:
    case ID_HELP_CONTENTS:
    case ID_APP_ABOUT:
    case ID_TOOLS_UPGRADE:
    case ID_PAGE_ADD:
    case ID_TOOLS_OPTIONS:
        return true;
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_PAGE_REMOVE:
    case ID_PAGE_UPDATE:
    case ID_PAGE_BROWSE:
    case ID_PAGE_PROPERTIES:
        return view->CanActOnSelection();
    case ID_EDIT_PASTE: return view->CanPaste();
    case ID_PAGE_VIEW_CHANGES: return view->CanViewChanges();
    // The history lies beside the document's file.
    case ID_PAGE_HISTORY: return view->CanActOnSelection() && !doc.GetPathName().empty();
    case ID_WATCH_START: return doc.CanStartWatching();
    case ID_WATCH_STOP: return doc.GetPageList().IsWatching();
    case ID_LOG_SAVE:
    case ID_LOG_CLEAR:
        return doc.GetMessageLog().GetCount() > 0;
    case ID_VIEW_TOOLBAR:
        checked = GetToolBar() && GetToolBar()->IsShown();
        return true;
    case ID_VIEW_STATUS_BAR:
        checked = bar->IsShown();
        return true;
    default:
        if (IsRecentId(id)) return static_cast<size_t>(id - ID_FILE_MRU_FILE1) < recent.Items().size();
        // Print, Undo and the pane commands have no handler.
        return false;
    }
}

void CMainFrame::OnUpdateCommand(wxUpdateUIEvent& event) {
    const int id = CommandId(event.GetId());
    bool checked = false;
    event.Enable(UpdateRule(id, checked));
    if (IsCheckCommand(id)) event.Check(checked);
}

void CMainFrame::OnCommand(wxCommandEvent& event) {
    const int id = CommandId(event.GetId());
    bool checked = false;
    if (!UpdateRule(id, checked)) return;  // e.g. an accelerator of a greyed command
    switch (id) {
    case ID_FILE_NEW: NewDocument(); break;
    case ID_FILE_OPEN: {
        const std::string path =
            GetPrompter().ChooseFileToOpen(this, "Open", LoadString(IDS_FILE_FILTER));
        if (!path.empty()) OpenDocument(path);
        break;
    }
    case ID_FILE_SAVE: SaveDocument(); break;
    case ID_FILE_SAVE_AS: SaveDocumentAs(); break;
    case ID_APP_EXIT: Exit(); break;
    case ID_APP_ABOUT: ShowAbout(this); break;
    case ID_HELP_CONTENTS: ShowHelp(this); break;
    case ID_EDIT_CUT: view->Cut(); break;
    case ID_EDIT_COPY: view->Copy(); break;
    case ID_EDIT_PASTE: view->Paste(); break;
    case ID_PAGE_IMPORT: view->Import(front.defaultPage); break;
    case ID_PAGE_ADD: view->AddPage(front.defaultPage); break;
    case ID_PAGE_PROPERTIES: view->Properties(); break;
    case ID_TOOLS_OPTIONS: EditDefaults(); break;
    case ID_PAGE_REMOVE: view->Remove(); break;
    case ID_PAGE_UPDATE: UpdatePageInFront(); break;
    case ID_PAGE_VIEW_CHANGES: ViewPageChanges(view->GetSelectedPage()); break;
    case ID_PAGE_HISTORY: {
        const std::int32_t index = view->GetSelectedPage();
        ShowPageHistory(this, doc, index);
        if (index >= 0 && index < view->GetItemCount()) view->RefreshItem(index);
        break;
    }
    case ID_PAGE_BROWSE: view->Browse(); break;
    case ID_WATCH_START:
        if (doc.StartWatching()) SetWatching(true);
        break;
    case ID_WATCH_STOP: doc.StopWatching(); break;
    case ID_LOG_SAVE: SaveLogMessages(); break;
    case ID_LOG_CLEAR: doc.ClearLogMessages(); break;
    case ID_VIEW_TOOLBAR: ToggleToolbar(); break;
    case ID_VIEW_STATUS_BAR: ToggleBar(); break;
    case ID_VIEW_TRAY_MINIMIZE: TrayMinimize(); break;
    case ID_VIEW_ERRORS: ViewErrors(); break;
    case ID_TOOLS_UPGRADE: UpgradeWizard(); break;
    default:
        if (IsRecentId(id)) {
            const std::string path = recent.Items()[static_cast<size_t>(id - ID_FILE_MRU_FILE1)];
            OpenDocument(path);
        }
        break;
    }
}

void CMainFrame::DoGiveHelp(const wxString& text, bool show) {
    bar->SetStatusText(show && !text.empty() ? text.utf8_string() : RestingStatus());
}

void CMainFrame::OnMenuClose(wxMenuEvent& event) {
    event.Skip();
    bar->SetStatusText(RestingStatus());
}

std::string CMainFrame::RestingStatus() {
    if (!watching) return LoadString(IDS_READY);
    std::lock_guard guard(statusLock);
    return lastStatus.empty() ? LoadString(IDS_MONITORING) : lastStatus;
}

void CMainFrame::UpdatePageInFront() {
    const std::shared_ptr<CWatchSite> page = doc.GetPageList().GetShared(view->GetSelectedPage());
    checkedInFront = page;
    view->UpdatePage();
    checkedInFront.reset();
    // A change the user saw found in the dialog and left unviewed is not
    // announced again when its post arrives.
    if (page && page->IsModified()) notified.insert(page);
}

void CMainFrame::Report(const std::string& message) { GetPrompter().Tell(this, message, true); }

// ---- documents ----

std::string CMainFrame::DocumentName() const {
    if (doc.GetPathName().empty()) return LoadString(IDS_UNTITLED);
    return wxFileName(wxString::FromUTF8(doc.GetPathName())).GetFullName().utf8_string();
}

void CMainFrame::UpdateTitle() {
    SetTitle(wxString::FromUTF8(DocumentName() + " - " + LoadString(IDS_APP_TITLE)));
}

void CMainFrame::AfterDocumentChanged() {
    UpdateTitle();
    notified.clear();
    {
        // Disabled pages belong to the document they were in: the tray no
        // longer flashes for them.
        std::lock_guard guard(errorsLock);
        errors.clear();
    }
    autoSaveFailure.clear();
    lastAutoSave = {};
    view->Fill();
}

void CMainFrame::StoreRecentFiles() {
    try {
        front.store.Write(CRecentFiles::kValueName, recent.ToBytes());
    } catch (const CException&) {
        // The list is a convenience; the document itself is safe.
    }
    RebuildRecentMenu();
}

bool CMainFrame::SaveModified() {
    if (!doc.IsModified()) return true;
    // A named document being watched is kept saved without questions; what
    // watching changed since the last save is saved the same way.
    if (doc.GetPageList().IsWatching() && !doc.GetPathName().empty()) {
        doc.GetPageList().StopWatching(true);
        if (AutoSave()) return true;
    }
    switch (GetPrompter().Ask(this, FormatString(IDS_ASK_TO_SAVE, {DocumentName()}),
                              PromptButtons::YesNoCancel)) {
    case PromptAnswer::Yes: return SaveDocument();
    case PromptAnswer::No: return true;
    default: return false;
    }
}

bool CMainFrame::NewDocument() {
    if (!SaveModified()) return false;
    doc.OnNewDocument();
    AfterDocumentChanged();
    return true;
}

bool CMainFrame::OpenDocument(const std::string& path) {
    if (!SaveModified()) return false;
    const std::string oldPath = doc.GetPathName();
    try {
        doc.LockFile(path);
    } catch (const CException& error) {
        // The document shown stays as it was, and keeps its file. A file
        // that is gone leaves the recent files; one in use stays there.
        if (!wxFileName::FileExists(wxString::FromUTF8(path))) {
            recent.Remove(path);
            StoreRecentFiles();
        }
        Report(FormatString(IDS_OPEN_FAILED, {path, error.Message()}));
        if (!oldPath.empty()) {
            try {
                doc.LockFile(oldPath);
            } catch (const CException&) {
            }
        }
        return false;
    }
    std::string failure;
    try {
        doc.OnOpenDocument(path);
    } catch (const CException& error) {
        failure = error.Message();
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (!failure.empty()) {
        // The old contents are gone: show an untitled document, so that no
        // Save can write the emptied pages over either file.
        doc.OnNewDocument();
        recent.Remove(path);
        StoreRecentFiles();
        AfterDocumentChanged();
        Report(FormatString(IDS_OPEN_FAILED, {path, failure}));
        return false;
    }
    recent.Add(path);
    StoreRecentFiles();
    AfterDocumentChanged();
    return true;
}

bool CMainFrame::SaveTo(const std::string& path) {
    try {
        doc.OnSaveDocument(path);
    } catch (const CException& error) {
        Report(FormatString(IDS_SAVE_FAILED, {path, error.Message()}));
        return false;
    }
    return true;
}

bool CMainFrame::SaveDocument() {
    if (doc.GetPathName().empty()) return SaveDocumentAs();
    return SaveTo(doc.GetPathName());
}

bool CMainFrame::SaveDocumentAs() {
    const std::string chosen = GetPrompter().ChooseFileToSave(
        this, "Save As", doc.GetPathName().empty() ? DocumentName() + ".wat" : DocumentName(),
        LoadString(IDS_FILE_FILTER));
    if (chosen.empty()) return false;
    const std::string path = CompletedSavePath(this, chosen, ".wat");
    if (path.empty()) return false;
    const std::string oldPath = doc.GetPathName();
    if (!SaveTo(path)) return false;
    if (path != oldPath || !doc.HoldsLock()) {
        try {
            doc.LockFile(path);
        } catch (const CException& error) {
            Report(error.Message());
        }
    }
    recent.Add(path);
    StoreRecentFiles();
    UpdateTitle();
    return true;
}

// ---- frame commands ----

bool CMainFrame::ConfirmExit() {
    if (GetPrompter().Ask(this, LoadString(IDS_CONFIRM_EXIT), PromptButtons::OkCancel) !=
        PromptAnswer::Ok)
        return false;
    exitConfirmed = true;
    return true;
}

void CMainFrame::Exit() {
    if (ConfirmExit()) Close();
}

void CMainFrame::UpgradeWizard() {
    if (!SaveModified()) return;
    if (RunUpgradeWizard(this)) EndAfterUpgrade();
}

void CMainFrame::EndAfterUpgrade() {
    // The desktop is installing the new version: the program ends at once,
    // asking nothing more (the document was saved or let go just before).
    exitConfirmed = true;
    doc.SetModifiedFlag(false);
    timer.Stop();
    tray.reset();
    Close(true);
}

void CMainFrame::OnClose(wxCloseEvent& event) {
    // What a modal dialog works on must outlive it: the window closes once
    // the dialog has closed, if it is asked again then.
    if (event.CanVeto() && IsUnderModalDialog()) {
        event.Veto();
        return;
    }
    if (!exitConfirmed && event.CanVeto()) {
        if (HasTray()) {
            ShowWindow(false);
            event.Veto();
            return;
        }
        // Hidden with no tray, the program could not be reached again.
        if (!ConfirmExit()) {
            event.Veto();
            return;
        }
    }
    if (event.CanVeto() && !SaveModified()) {
        event.Veto();
        return;
    }
    timer.Stop();
    UnsubscribeAll();
    bar->Attach(nullptr);
    doc.GetPageList().StopWatching(true);
    tray.reset();
    Destroy();
}

void CMainFrame::OnIconize(wxIconizeEvent& event) {
    event.Skip();
    // Minimizing sends the window to the tray, where there is one.
    if (event.IsIconized() && HasTray()) CallAfter([this] {
            if (IsIconized() && HasTray()) ShowWindow(false);
        });
}

bool CMainFrame::HasTray() const { return wxTaskBarIcon::IsAvailable(); }

void CMainFrame::ShowWindow(bool show) {
    if (!show) {
        Hide();
        return;
    }
    if (!IsShown()) Show();
    if (IsIconized()) Iconize(false);
    Raise();
}

void CMainFrame::ShowAtStart(bool minimized) {
    if (minimized && HasTray()) return;  // the tray icon is there from the start
    if (minimized) Iconize(true);
    Show();
}

void CMainFrame::TrayMinimize() {
    if (HasTray()) {
        ShowWindow(false);
    } else {
        Iconize(true);
    }
}

void CMainFrame::ToggleToolbar() {
    if (wxToolBar* toolbar = GetToolBar()) {
        toolbar->Show(!toolbar->IsShown());
        SendSizeEvent();
    }
}

void CMainFrame::ToggleBar() {
    bar->Show(!bar->IsShown());
    Layout();
}

void CMainFrame::SaveLogMessages() {
    const std::string path = CompletedSavePath(
        this,
        GetPrompter().ChooseFileToSave(this, "Save Log Messages", "Log.txt",
                                       LoadString(IDS_LOG_FILTER)),
        ".txt");
    if (path.empty()) return;
    try {
        doc.SaveLogMessages(path);
    } catch (const CException& error) {
        Report(error.Message());
    }
}

void CMainFrame::EditDefaults() {
    if (!EditDefaultSettings(this, front.defaultPage, front.appSettings, &doc.GetMessageLog()))
        return;
    doc.ApplyTimeLimits();
    try {
        SaveDefaultPage(front.store, front.defaultPage);
        SaveAppSettings(front.store, front.appSettings);
    } catch (const CException& error) {
        // The changes stay in memory for this run.
        Report(error.Message());
    }
}

void CMainFrame::ViewErrors() {
    std::vector<CDisabledPage> pages;
    {
        std::lock_guard guard(errorsLock);
        pages.swap(errors);
    }
    // Asked without the lock: the watch thread may disable another page
    // while the box is open.
    if (pages.empty()) return;
    if (GetPrompter().Ask(this, ErrorsQuestion(pages), PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    for (const CDisabledPage& disabled : pages) {
        const std::shared_ptr<CWatchSite> page = disabled.page.lock();
        if (!page || page->IsEnabled()) continue;
        page->Enable(true);
        const std::int32_t index = doc.GetPageList().IndexOf(page.get());
        if (index >= 0 && index < view->GetItemCount()) view->RefreshItem(index);
    }
}

std::vector<CModifiedPage> CMainFrame::ModifiedPages() const {
    std::vector<CModifiedPage> pages;
    doc.GetPageList().ListModified(pages);
    return pages;
}

std::size_t CMainFrame::ErrorCount() const {
    std::lock_guard guard(errorsLock);
    return errors.size();
}

void CMainFrame::ViewPageChanges(std::int32_t index) {
    if (auto page = doc.GetPageList().GetShared(index)) notified.erase(page);
    try {
        doc.ViewChanges(index);
    } catch (const CException& error) {
        Report(error.Message());
    }
    if (index >= 0 && index < view->GetItemCount()) view->RefreshItem(index);
}

void CMainFrame::OnTrayCommand(int id, std::int32_t page) {
    if (id == ID_TRAY_RESTORE) {
        ShowWindow(true);
        return;
    }
    // A page item stands for the page it named when the menu opened, even
    // when its choice has to wait.
    std::weak_ptr<CWatchSite> chosen = doc.GetPageList().GetShared(page);
    RunWhenFree([this, id, page, chosen] {
        if (id == ID_TRAY_MINIMIZE) {
            TrayMinimize();
        } else if (page >= 0) {
            const std::shared_ptr<CWatchSite> alive = chosen.lock();
            const std::int32_t index = alive ? doc.GetPageList().IndexOf(alive.get()) : -1;
            if (index >= 0) ViewPageChanges(index);
        } else {
            RunCommand(id);
        }
    });
}

bool CMainFrame::IsUnderModalDialog() const { return modalDialogs->Any(); }

void CMainFrame::RunWhenFree(std::function<void()> command) {
    waitingCommands.push_back(std::move(command));
    RunWaitingCommands();
}

void CMainFrame::RunWaitingCommands() {
    // One at a time: a command may open a dialog of its own, or close the window.
    while (!waitingCommands.empty() && !IsUnderModalDialog()) {
        std::function<void()> command = std::move(waitingCommands.front());
        waitingCommands.pop_front();
        command();
    }
}

// ---- watching ----

void CMainFrame::SetWatching(bool value) {
    bar->SetActive(value);
    if (value == watching) return;
    watching = value;
    if (!watching) {
        // What the last checks changed is saved as everything before it was.
        AutoSave();
        {
            std::lock_guard guard(statusLock);
            lastStatus.clear();
        }
        bar->SetStatusText(LoadString(IDS_READY));
        // A stop posted just before the window closed comes after the tray
        // icon has gone.
        if (tray) tray->ShowIcon(false);
    }
}

void CMainFrame::OnTimer(wxTimerEvent&) { Tick(); }

void CMainFrame::Tick() {
    if (IsShown() && IsIconized() && HasTray()) ShowWindow(false);
    const std::size_t changed = static_cast<std::size_t>(doc.GetPageList().CountModified());
    if (watching) {
        bool waiting = HasErrors() || changed != 0;
        tray->ShowIcon(waiting && !tray->IsAlertShown(), changed);
        if (std::chrono::steady_clock::now() - lastAutoSave >= kAutoSavePause) AutoSave();
    } else if (tray) {
        tray->ShowIcon(tray->IsAlertShown(), changed);
    }
    SetWatching(doc.GetPageList().IsWatching());
    RunWaitingCommands();
}

bool CMainFrame::AutoSave() {
    if (doc.GetPathName().empty()) return false;
    if (!doc.IsModified()) return true;
    lastAutoSave = std::chrono::steady_clock::now();
    const std::string path = doc.GetPathName();
    try {
        doc.OnSaveDocument(path);
    } catch (const CException& error) {
        // Logged, not asked: nobody may be at the desktop. A reason already
        // logged is not logged again at every tick.
        if (error.Message() != autoSaveFailure) {
            autoSaveFailure = error.Message();
            doc.GetMessageLog().Add(FormatString(IDS_AUTOSAVE_FAILED, {path, autoSaveFailure}), "");
        }
        return false;
    }
    autoSaveFailure.clear();
    return true;
}

void CMainFrame::EndSession() {
    doc.GetPageList().StopWatching(true);
    AutoSave();
    // Whatever could not be saved is not asked about: there is nobody to ask.
    exitConfirmed = true;
    doc.SetModifiedFlag(false);
    if (IsUnderModalDialog()) {
        // The open dialogs end as canceled first; the window goes once
        // their loops have returned.
        for (wxWindow* window : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<wxDialog*>(window);
            if (dialog && dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
        }
        RunWhenFree([this] { Close(true); });
        return;
    }
    Close(true);
}

bool CMainFrame::OnPageListEvent(SiteListEvent* event) {
    switch (event->code) {
    case PageChanged:
        if (changedPages.Add(event->index)) CallAfter(&CMainFrame::OnPagesChanged);
        break;
    case PageDisabled:
        if (std::shared_ptr<CWatchSite> page = event->list->GetShared(event->index)) {
            CDisabledPage disabled{page, page->GetName(), page->GetLastError()};
            std::lock_guard guard(errorsLock);
            errors.push_back(std::move(disabled));
        }
        break;
    case WatchingStarted: CallAfter(&CMainFrame::SetWatching, true); break;
    case WatchingStopped: CallAfter(&CMainFrame::SetWatching, false); break;
    case NothingDue: PostStatus(LoadString(IDS_MONITORING)); break;
    default: break;
    }
    return true;
}

bool CMainFrame::OnDownloadProgress(CDownloadProgress* progress) {
    const std::string text = CPageCheck::StatusText(*progress);
    if (!text.empty()) PostStatus("[" + progress->url + "] " + text);
    return true;
}

void CMainFrame::PostStatus(std::string text) {
    {
        // "Monitoring" comes after every pass: only a change is worth a post.
        std::lock_guard guard(statusLock);
        if (text == lastStatus) return;
        lastStatus = text;
    }
    if (statusTexts.Add(std::move(text))) CallAfter(&CMainFrame::OnStatusTexts);
}

void CMainFrame::OnStatusTexts() {
    std::vector<std::string> texts;
    if (!statusTexts.Take(texts)) return;
    if (watching) bar->SetStatusText(texts.back());
    batchTimer.StartOnce(static_cast<int>(kBatchPause.count()));
}

void CMainFrame::OnPagesChanged() {
    std::vector<std::int32_t> indexes;
    if (!changedPages.Take(indexes)) return;
    for (std::int32_t index : indexes) NotifyIfChanged(index);
    batchTimer.StartOnce(static_cast<int>(kBatchPause.count()));
}

void CMainFrame::NotifyIfChanged(std::int32_t index) {
    // Pages removed since: a page made later may take their place in memory.
    std::erase_if(notified, [](const auto& announced) { return announced.expired(); });
    const std::shared_ptr<CWatchSite> page = doc.GetPageList().GetShared(index);
    if (!page) return;
    const std::int32_t status = page->GetStatus();
    if (status == Current || status == SiteStatus::New) {
        // Viewed, or nothing changed: the next change is a new one.
        notified.erase(page);
        return;
    }
    // Updating, Outdated and Disabled keep a change that was not viewed.
    if (status != Modified) return;
    // The Update Page dialog shows its own result.
    if (checkedInFront.lock() == page) return;
    if (!notified.insert(page).second) return;  // this change was announced
    if (IsShown() && IsActive()) return;        // the user is looking at it
    // The page's "Flash Tray Icon" notification covers the desktop's too.
    if ((page->GetSettings().GetNotifyFlags() & NotifyFlashTrayIcon) == 0) return;
    const std::string text = FormatString(IDS_PAGE_HAS_CHANGED, {page->GetName()});
    notifier->Notify(text, [this, announced = std::weak_ptr<CWatchSite>(page)] {
        RunWhenFree([this, announced] {
            // A page removed since is gone, not one that took its place;
            // a change viewed since has nothing more to show.
            const std::shared_ptr<CWatchSite> alive = announced.lock();
            const std::int32_t current = alive ? doc.GetPageList().IndexOf(alive.get()) : -1;
            if (current >= 0 && alive->IsModified()) ViewPageChanges(current);
        });
    });
}

}  // namespace tallyhawk
