// CBookmarkCollector: gathers the links a user keeps in the browsers on this
// machine, for the Bookmarks & Favorites dialog and tallyhawk-cli import.
//
// Favourites (kind 2) are internet shortcut files, "*.url" with the key
// "URL" in section "InternetShortcut", under ~/Favorites and under the user
// folders of Wine prefixes (~/.wine and $WINEPREFIX):
// drive_c/users/NAME/Favorites. The name shown is the file's name without
// ".url".
//
// Bookmarks (kind 1) are, in this order: the Netscape bookmark files
// ("bookmark.htm", "bookmarks.html") under ~/.netscape and ~/.mozilla;
// Firefox's places databases in the profiles under ~/.mozilla/firefox and
// its snap and flatpak homes; and the "Bookmarks" files of the profiles of
// Chromium, Google Chrome, Brave, Vivaldi and Microsoft Edge under
// $XDG_CONFIG_HOME (~/.config) and their flatpak and snap homes.
//
// Every failure (a missing folder, an unreadable or damaged file) only means
// fewer links; nothing is thrown and nothing is shown. One thread at a time;
// a collection may be watched and canceled from another through its
// CCollectProgress.
#pragma once

#include <string>
#include <vector>

#include "import/BookmarkList.h"

namespace tallyhawk {

// Where the browsers' files are looked for: the user's home folder and the
// environment that moves them. Tests build their own.
struct CBookmarkPlaces {
    std::string home;           // the home folder; empty: nothing is found
    std::string winePrefix;     // $WINEPREFIX; empty when unset
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME; empty: home + "/.config"

    // This user's, from the environment ($HOME or the password database).
    static CBookmarkPlaces FromEnvironment();
};

// The largest file read: longer bookmark files are read up to here.
inline constexpr std::size_t kMaxBookmarkFileSize = 32u << 20;
// The largest part of an internet shortcut file read.
inline constexpr std::size_t kMaxShortcutFileSize = 64u << 10;

class CBookmarkCollector {
public:
    // With a `progress` (which must outlive the collector), the collection
    // counts there what it has done, and ends soon after it is canceled.
    explicit CBookmarkCollector(CBookmarkPlaces places = CBookmarkPlaces::FromEnvironment(),
                                CCollectProgress* progress = nullptr);
    CBookmarkCollector(const CBookmarkCollector&) = delete;
    CBookmarkCollector& operator=(const CBookmarkCollector&) = delete;

    // Favourites, then bookmarks. True when the bookmarks added at least one
    // link.
    bool CollectAll();
    // Each true when it added at least one link.
    bool CollectFavorites();
    bool CollectBookmarks();

    // The links in the order found.
    const std::vector<CBookmarkItem>& GetItems() const { return links.Items(); }
    // The files that gave links: each favourite with an address, each
    // bookmark file, database or "Bookmarks" file that gave at least one.
    const std::vector<std::string>& GetSourceFiles() const { return sourceFiles; }

    // The folders searched for favourites, in order (those that exist).
    std::vector<std::string> FavoriteFolders() const;
    // The folders searched for Netscape bookmark files, in order.
    std::vector<std::string> NetscapeFolders() const;

private:
    void CollectNetscapeFiles();
    void CollectFirefoxProfiles();
    void CollectChromiumProfiles();
    // Parses the file at `path` with `parse` if it is readable.
    template <typename Parse>
    void ReadWith(const std::string& path, std::size_t limit, Parse parse);

    CBookmarkPlaces places;
    CCollectProgress* progress;
    CBookmarkList links;
    std::vector<std::string> sourceFiles;
};

}  // namespace tallyhawk
