// CWatcherSettingsDlg: the property sheet that edits one watched page ("Add
// Page", "Properties") or the default settings that new pages start from
// ("Default Settings for all Pages", the defaults sheet). Its tabs:
//
//   page sheet:     Page, Notifications, Update, Output, What to Watch,
//                   Secure Connection
//   defaults sheet: Notifications, Update, Output, What to Watch, Secure
//                   Connection, Logging
//
// The sheet assembles the pages, keeps its caption ("TITLE for NAME" on a
// page sheet once the page has a name), remembers whether a page has
// applied, runs the Preview of the What to Watch page with the values of
// all its pages as they stand, and asks the viewer question when it closes. OK applies every
// page shown so far and closes; Apply applies them and stays; Cancel closes
// without applying. A page that refuses keeps the sheet open on it.
//
// The edited page is used only through its own accessors, which take its
// lock. User-interface thread only.
#pragma once

#include <wx/dialog.h>

#include <string>
#include <vector>

#include "net/Downloader.h"

class wxBookCtrlEvent;
class wxNotebook;

namespace tallyhawk {

class CAppSettings;
class CMessageLog;
class CSettingsPage;
class CWatchSite;

// What the Logging page of the defaults sheet edits.
struct CLogSettingsTarget {
    CAppSettings& settings;  // the running program's
    CMessageLog* log;        // the open document's (null: none)
};

class CWatcherSettingsDlg : public wxDialog {
public:
    // `site` (and `logging`, needed on the defaults sheet) must outlive the
    // sheet. The first tab is shown and initialised.
    CWatcherSettingsDlg(wxWindow* parent, const std::string& title, CWatchSite& site,
                        bool defaultsMode, const CLogSettingsTarget* logging = nullptr);

    // Runs the sheet, then the viewer check. wxID_OK when closed with OK or
    // when any page applied meanwhile (Apply, then Cancel, counts as OK).
    int ShowModal() override;

    // The time limits of the Preview's download (the defaults before).
    void SetPreviewTimeLimits(const CTimeLimits& limits) { previewLimits = limits; }

    bool IsDefaultsMode() const { return defaultsMode; }
    bool IsApplied() const { return applied; }
    // The viewer question at the last closing changed the page.
    bool IsChangedOnClose() const { return changedOnClose; }
    wxNotebook& GetNotebook() { return *notebook; }
    // The page on tab `index`, in tab order.
    CSettingsPage& GetPage(std::size_t index) { return *pages.at(index); }
    std::size_t GetPageCount() const { return pages.size(); }
    // The page of type T, or null when this sheet has none.
    template <class T>
    T* FindPage() {
        for (CSettingsPage* page : pages)
            if (auto* found = dynamic_cast<T*>(page)) return found;
        return nullptr;
    }

    // Shows tab `index` as clicking it would: the page being left checks
    // its fields first and may refuse. Returns whether the tab is shown.
    bool SelectPage(std::size_t index);
    // Applies every page shown so far, in tab order; false when one refused
    // (its tab is then shown).
    bool ApplyPages();
    // The caption rule, for the page's current name.
    void UpdateCaption();
    // The viewer check on the values the page holds now: at most one
    // question; an OK answer writes the change back to the page.
    void CheckViewer();

private:
    // A tab's width beyond its text, in pixels at the normal resolution.
    static constexpr int kTabPadding = 36;

    void AddPage(CSettingsPage* page);
    void OnPageChanging(wxBookCtrlEvent& event);
    void OnPageChanged(wxBookCtrlEvent& event);
    void OnOk(wxCommandEvent& event);
    void OnApply(wxCommandEvent& event);
    void OnHelp(wxCommandEvent& event);
    // The What to Watch page's Preview: the address as the Page page holds
    // it, the credentials as the Secure page holds them.
    void OnPreview(wxCommandEvent& event);
    void OnPageApplied(wxCommandEvent& event);
    void OnUpdateApply(wxUpdateUIEvent& event);

    std::string title;
    CWatchSite& site;
    bool defaultsMode;
    bool applied = false;
    bool changedOnClose = false;
    CTimeLimits previewLimits;
    wxNotebook* notebook;
    std::vector<CSettingsPage*> pages;  // owned by the notebook; tab order
};

}  // namespace tallyhawk
