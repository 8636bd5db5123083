#include "import/BookmarkCollector.h"

#include <sys/stat.h>

#include <cstdlib>
#include <set>

#include "import/BookmarkParsers.h"
#include "import/FileSearch.h"
#include "import/FirefoxPlaces.h"
#include "platform/Paths.h"

namespace tallyhawk {

namespace {

constexpr std::string_view kShortcutSuffix = ".url";

// Where each browser keeps its profiles, below the configuration folder.
constexpr const char* kChromiumConfigFolders[] = {
    "chromium",      "google-chrome",  "google-chrome-beta",  "google-chrome-unstable",
    "BraveSoftware/Brave-Browser",     "vivaldi",             "microsoft-edge",
    "microsoft-edge-beta",             "microsoft-edge-dev",
};
// And below the home folder, for the sandboxed packages.
constexpr const char* kChromiumSandboxFolders[] = {
    ".var/app/org.chromium.Chromium/config/chromium",
    ".var/app/com.google.Chrome/config/google-chrome",
    ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
    ".var/app/com.vivaldi.Vivaldi/config/vivaldi",
    ".var/app/com.microsoft.Edge/config/microsoft-edge",
    "snap/chromium/common/chromium",
};
constexpr const char* kFirefoxFolders[] = {
    ".mozilla/firefox",
    "snap/firefox/common/.mozilla/firefox",
    ".var/app/org.mozilla.firefox/.mozilla/firefox",
};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return {};
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The identity of the file or folder at `path`, or (0, 0).
std::pair<dev_t, ino_t> Identity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {0, 0};
    return {info.st_dev, info.st_ino};
}

bool IsBookmarkFileName(std::string_view name) {
    return EqualsNoCase(name, "bookmark.htm") || EqualsNoCase(name, "bookmarks.html");
}

}  // namespace

CBookmarkPlaces CBookmarkPlaces::FromEnvironment() {
    return {HomeDirectory(), Env("WINEPREFIX"), Env("XDG_CONFIG_HOME")};
}

CBookmarkCollector::CBookmarkCollector(CBookmarkPlaces places, CCollectProgress* progress)
    : places(std::move(places)), progress(progress) {
    links.ReportTo(progress);
}

bool CBookmarkCollector::CollectAll() {
    CollectFavorites();
    return CollectBookmarks();
}

std::vector<std::string> CBookmarkCollector::FavoriteFolders() const {
    std::vector<std::string> candidates = {Join(places.home, "Favorites")};
    for (const std::string& prefix : {Join(places.home, ".wine"), places.winePrefix}) {
        if (prefix.empty()) continue;
        const std::string users = Join(prefix, "drive_c/users");
        for (const std::string& user : ListFolders(users, kMaxListedFolders, progress))
            candidates.push_back(Join(Join(users, user), "Favorites"));
    }
    // $WINEPREFIX is often ~/.wine itself: each folder once.
    std::vector<std::string> folders;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const std::string& folder : candidates) {
        if (!folder.empty() && IsFolder(folder) && seen.insert(Identity(folder)).second)
            folders.push_back(folder);
    }
    return folders;
}

std::vector<std::string> CBookmarkCollector::NetscapeFolders() const {
    std::vector<std::string> folders;
    for (const char* name : {".netscape", ".mozilla"}) {
        const std::string folder = Join(places.home, name);
        if (!folder.empty() && IsFolder(folder)) folders.push_back(folder);
    }
    return folders;
}

bool CBookmarkCollector::CollectFavorites() {
    const std::size_t before = links.Count();
    for (const std::string& folder : FavoriteFolders()) {
        std::vector<std::string> files;
        FindFiles(folder, [](std::string_view name) { return EndsWithNoCase(name, kShortcutSuffix); },
                  files, {}, progress);
        for (const std::string& path : files) {
            if (links.ShouldStop()) return links.Count() > before;
            std::string text;
            if (!ReadFileStart(path, kMaxShortcutFileSize, text)) continue;
            const std::string url = ReadProfileString(text, "InternetShortcut", "URL");
            if (url.empty()) continue;
            std::string_view name = path;
            name = name.substr(name.rfind('/') + 1);
            name.remove_suffix(kShortcutSuffix.size());
            const std::size_t count = links.Count();
            links.Add(name, url, kBookmarkKindFavorite);
            if (links.Count() > count) sourceFiles.push_back(path);
        }
    }
    return links.Count() > before;
}

template <typename Parse>
void CBookmarkCollector::ReadWith(const std::string& path, std::size_t limit, Parse parse) {
    if (links.ShouldStop()) return;
    std::string text;
    if (!ReadFileStart(path, limit, text)) return;
    if (parse(text) > 0) sourceFiles.push_back(path);
}

bool CBookmarkCollector::CollectBookmarks() {
    const std::size_t before = links.Count();
    CollectNetscapeFiles();
    CollectFirefoxProfiles();
    CollectChromiumProfiles();
    return links.Count() > before;
}

void CBookmarkCollector::CollectNetscapeFiles() {
    for (const std::string& folder : NetscapeFolders()) {
        std::vector<std::string> files;
        FindFiles(folder, IsBookmarkFileName, files, {}, progress);
        for (const std::string& path : files) {
            ReadWith(path, kMaxBookmarkFileSize,
                     [this](const std::string& text) { return ParseBookmarkFile(text, links); });
        }
    }
}

void CBookmarkCollector::CollectFirefoxProfiles() {
    for (const char* root : kFirefoxFolders) {
        const std::string folder = Join(places.home, root);
        for (const std::string& profile : ListFolders(folder, kMaxListedFolders, progress)) {
            const std::string path = Join(Join(folder, profile), "places.sqlite");
            if (links.ShouldStop()) return;
            if (IsRegularFile(path) && ReadFirefoxPlaces(path, links) > 0) sourceFiles.push_back(path);
        }
    }
}

void CBookmarkCollector::CollectChromiumProfiles() {
    // A relative $XDG_CONFIG_HOME is to be ignored, as an unset one.
    const std::string& xdg = places.xdgConfigHome;
    const std::string config = !xdg.empty() && xdg.front() == '/' ? xdg : Join(places.home, ".config");
    std::vector<std::string> browsers;
    for (const char* name : kChromiumConfigFolders) browsers.push_back(Join(config, name));
    for (const char* name : kChromiumSandboxFolders) browsers.push_back(Join(places.home, name));
    for (const std::string& browser : browsers) {
        for (const std::string& profile : ListFolders(browser, kMaxListedFolders, progress)) {
            ReadWith(Join(Join(browser, profile), "Bookmarks"), kMaxBookmarkFileSize,
                     [this](const std::string& text) { return ParseChromiumBookmarks(text, links); });
        }
    }
}

}  // namespace tallyhawk
