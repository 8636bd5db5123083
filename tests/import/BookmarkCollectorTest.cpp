// Collecting links from a home folder the test builds: where each kind of
// file is looked for, the order of the search, the files that count as
// sources, and trees that must not hang or break the search.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "import/BookmarkCollector.h"
#include "import/BookmarkParsers.h"
#include "import/FileSearch.h"
#include "import/FirefoxPlaces.h"
#include "import/BrowserFiles.h"

namespace tallyhawk {
namespace {

using testing::CBrowserHome;

std::vector<std::string> Names(const std::vector<CBookmarkItem>& items, int kind) {
    std::vector<std::string> names;
    for (const CBookmarkItem& item : items) {
        if (item.kind == kind) names.push_back(item.name);
    }
    return names;
}

class BookmarkCollectorTest : public ::testing::Test {
protected:
    CBrowserHome home;
};

TEST_F(BookmarkCollectorTest, FavoritesComeFromSubfoldersFirstAndNeedAnAddress) {
    home.Shortcut("Favorites/Top.url", "http://top.example/");
    home.Shortcut("Favorites/Links/Inner.url", "http://inner.example/");
    home.Shortcut("Favorites/Links/Deeper/Deepest.URL", "http://deepest.example/");
    home.Write("Favorites/No address.url", "[InternetShortcut]\r\nIconIndex=0\r\n");
    home.Write("Favorites/Other section.url", "[DEFAULT]\r\nURL=http://default.example/\r\n");
    home.Write("Favorites/readme.txt", "[InternetShortcut]\r\nURL=http://text.example/\r\n");

    CBookmarkCollector collector(home.Places());
    EXPECT_TRUE(collector.CollectFavorites());
    EXPECT_EQ(collector.GetItems(),
              (std::vector<CBookmarkItem>{{"Deepest", "http://deepest.example/", 2},
                                          {"Inner", "http://inner.example/", 2},
                                          {"Top", "http://top.example/", 2}}));
    EXPECT_EQ(collector.GetSourceFiles(),
              (std::vector<std::string>{home / "Favorites/Links/Deeper/Deepest.URL",
                                        home / "Favorites/Links/Inner.url", home / "Favorites/Top.url"}));
}

TEST_F(BookmarkCollectorTest, FavoritesOfWinePrefixesAreFoundOnce) {
    home.Shortcut(".wine/drive_c/users/alice/Favorites/Alice.url", "http://alice.example/");
    home.Shortcut("prefix/drive_c/users/bob/Favorites/Sub/Bob.url", "http://bob.example/");
    home.Shortcut("prefix/drive_c/users/bob/Documents/Stray.url", "http://stray.example/");

    CBookmarkPlaces places = home.Places();
    places.winePrefix = home / "prefix";
    CBookmarkCollector collector(places);
    collector.CollectFavorites();
    EXPECT_EQ(Names(collector.GetItems(), 2), (std::vector<std::string>{"Alice", "Bob"}));

    // $WINEPREFIX naming ~/.wine, as it often does, adds nothing twice.
    places.winePrefix = home / ".wine/";
    CBookmarkCollector same(places);
    same.CollectFavorites();
    EXPECT_EQ(Names(same.GetItems(), 2), std::vector<std::string>{"Alice"});
}

TEST_F(BookmarkCollectorTest, NetscapeFilesUnderBothFoldersAreBookmarks) {
    home.NetscapeFile(".netscape/bookmark.htm", {{"Old", "http://old.example/"}});
    home.NetscapeFile(".mozilla/default/abc.slt/bookmarks.html", {{"Newer", "http://newer.example/"}});
    home.NetscapeFile(".mozilla/default/bookmarks.html.bak", {{"Backup", "http://backup.example/"}});
    home.Write(".mozilla/empty/bookmarks.html", "<DL><p></DL>");

    CBookmarkCollector collector(home.Places());
    EXPECT_TRUE(collector.CollectBookmarks());
    EXPECT_EQ(collector.GetItems(),
              (std::vector<CBookmarkItem>{{"Old", "http://old.example/", 1},
                                          {"Newer", "http://newer.example/", 1}}));
    // A file that gave no link is no source.
    EXPECT_EQ(collector.GetSourceFiles(),
              (std::vector<std::string>{home / ".netscape/bookmark.htm",
                                        home / ".mozilla/default/abc.slt/bookmarks.html"}));
}

TEST_F(BookmarkCollectorTest, CollectAllIsTrueOnlyWhenBookmarksWereFound) {
    home.Shortcut("Favorites/Fav.url", "http://fav.example/");
    CBookmarkCollector favoritesOnly(home.Places());
    EXPECT_FALSE(favoritesOnly.CollectAll());
    EXPECT_EQ(favoritesOnly.GetItems().size(), 1u);

    home.NetscapeFile(".mozilla/bookmarks.html", {{"Mark", "http://mark.example/"}});
    CBookmarkCollector both(home.Places());
    EXPECT_TRUE(both.CollectAll());
    // Favourites first.
    EXPECT_EQ(both.GetItems().front().kind, 2);
    EXPECT_EQ(both.GetItems().back().kind, 1);

    EXPECT_FALSE(CBookmarkCollector(CBookmarkPlaces{}).CollectAll());
}

TEST_F(BookmarkCollectorTest, FirefoxProfilesInEveryPackaging) {
    home.FirefoxPlaces(".mozilla/firefox/abcd.default-release/places.sqlite",
                       {{"Firefox", "https://firefox.example/"}, {"", "https://untitled.example/"}});
    home.FirefoxPlaces("snap/firefox/common/.mozilla/firefox/snap.default/places.sqlite",
                       {{"Snap", "https://snap.example/"}});
    home.FirefoxPlaces(".var/app/org.mozilla.firefox/.mozilla/firefox/flat.default/places.sqlite",
                       {{"Flatpak", "https://flatpak.example/"}});
    home.Write(".mozilla/firefox/broken.default/places.sqlite", "SQLite format 3\0 and then nothing");

    CBookmarkCollector collector(home.Places());
    EXPECT_TRUE(collector.CollectBookmarks());
    EXPECT_EQ(collector.GetItems(),
              (std::vector<CBookmarkItem>{{"Firefox", "https://firefox.example/", 1},
                                          {"https://untitled.example/", "https://untitled.example/", 1},
                                          {"Snap", "https://snap.example/", 1},
                                          {"Flatpak", "https://flatpak.example/", 1}}));
    EXPECT_EQ(collector.GetSourceFiles().size(), 3u);
}

TEST_F(BookmarkCollectorTest, ChromiumFamilyProfiles) {
    home.ChromiumFile(".config/chromium/Default/Bookmarks", {{"Chromium", "https://chromium.example/"}});
    home.ChromiumFile(".config/BraveSoftware/Brave-Browser/Profile 1/Bookmarks",
                      {{"Brave", "https://brave.example/"}, {"Brave 2", "https://brave2.example/"}});
    home.ChromiumFile(".config/microsoft-edge/Default/Bookmarks", {{"Edge", "https://edge.example/"}});
    home.ChromiumFile(".var/app/com.google.Chrome/config/google-chrome/Default/Bookmarks",
                      {{"Chrome flatpak", "https://chrome.example/"}});
    home.ChromiumFile(".config/vivaldi/Default/Bookmarks.bak", {{"Backup", "https://backup.example/"}});

    CBookmarkCollector collector(home.Places());
    EXPECT_TRUE(collector.CollectBookmarks());
    EXPECT_EQ(Names(collector.GetItems(), 1),
              (std::vector<std::string>{"Chromium", "Brave", "Brave 2", "Edge", "Chrome flatpak"}));

    // $XDG_CONFIG_HOME moves the configuration folder; a relative one does not count.
    home.ChromiumFile("elsewhere/vivaldi/Default/Bookmarks", {{"Vivaldi", "https://vivaldi.example/"}});
    CBookmarkPlaces moved = home.Places();
    moved.xdgConfigHome = home / "elsewhere";
    CBookmarkCollector elsewhere(moved);
    elsewhere.CollectBookmarks();
    EXPECT_EQ(Names(elsewhere.GetItems(), 1), (std::vector<std::string>{"Vivaldi", "Chrome flatpak"}));
    moved.xdgConfigHome = "elsewhere";
    CBookmarkCollector relative(moved);
    relative.CollectBookmarks();
    EXPECT_EQ(Names(relative.GetItems(), 1).size(), 5u);
}

TEST_F(BookmarkCollectorTest, LoopsPipesAndUnreadableFilesCostNothing) {
    home.Shortcut("Favorites/Loop/Real.url", "http://real.example/");
    std::filesystem::create_directory_symlink(home / "Favorites", home / "Favorites/Loop/Back");
    std::filesystem::create_directory_symlink(home / "Favorites/Loop", home / "Favorites/Again");
    ASSERT_EQ(::mkfifo((home / "Favorites/Pipe.url").c_str(), 0600), 0);
    std::filesystem::create_directories(home / ".mozilla");
    ASSERT_EQ(::mkfifo((home / ".mozilla/bookmarks.html").c_str(), 0600), 0);
    const std::string locked = home.Shortcut("Favorites/Locked.url", "http://locked.example/");
    ::chmod(locked.c_str(), 0);
    const bool root = ::geteuid() == 0;

    CBookmarkCollector collector(home.Places());
    EXPECT_FALSE(collector.CollectAll());
    std::vector<std::string> names = Names(collector.GetItems(), 2);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Real"), 1) << "each folder is entered once";
    EXPECT_EQ(std::count(names.begin(), names.end(), "Locked"), root ? 1 : 0);
}

TEST_F(BookmarkCollectorTest, ACancelStopsTheWalkAndEveryReader) {
    for (int i = 0; i < 20; ++i) home.Shortcut("Favorites/F" + std::to_string(i) + "/A.url", "http://a.example/");
    // Canceled as the walk meets its first favourite: no further folder is entered.
    CCollectProgress progress;
    std::vector<std::string> files;
    const auto cancel = [&](std::string_view) { progress.Cancel(); return true; };
    FindFiles(home / "Favorites", cancel, files, {}, &progress);
    EXPECT_EQ(files.size(), 1u);
    EXPECT_EQ(progress.Entries(), 21u) << "the twenty folders, and the first one's file";

    // Each reader stops before its first link.
    CBookmarkList list;
    list.ReportTo(&progress);
    EXPECT_EQ(ParseBookmarkFile(R"(<DT><A HREF="http://a.example/">A</A>)", list), 0u);
    EXPECT_EQ(ParseChromiumBookmarks(
                  R"({"roots": {"bar": {"type": "url", "name": "A", "url": "http://a.example/"}}})", list),
              0u);
    EXPECT_EQ(ReadFirefoxPlaces(home.FirefoxPlaces("places.sqlite", {{"A", "http://a.example/"}}), list), 0u);
}

TEST(FileSearchTest, ReadsOnlyTheStartOfRegularFiles) {
    testing::CScratchFolder folder;
    const std::string path = folder / "file";
    std::ofstream(path) << "0123456789";
    std::string bytes;
    EXPECT_TRUE(ReadFileStart(path, 4, bytes));
    EXPECT_EQ(bytes, "0123");
    EXPECT_TRUE(ReadFileStart(path, 100, bytes));
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_FALSE(ReadFileStart(folder.path, 100, bytes));
    EXPECT_FALSE(ReadFileStart("/dev/zero", 100, bytes));
    EXPECT_FALSE(ReadFileStart(folder / "missing", 100, bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST(FileSearchTest, StopsAtItsLimits) {
    testing::CScratchFolder folder;
    std::string deep = folder.path;
    for (int i = 0; i < 6; ++i) {
        deep += "/d";
        std::filesystem::create_directory(deep);
        std::ofstream(deep + "/f.url") << "x";
    }
    auto all = [](std::string_view) { return true; };
    std::vector<std::string> files;
    FindFiles(folder.path, all, files, CSearchLimits{2, 1000, 1000});
    EXPECT_EQ(files.size(), 2u) << "two levels below the first folder";
    files.clear();
    FindFiles(folder.path, all, files, CSearchLimits{32, 1000, 4});
    EXPECT_EQ(files.size(), 4u);
    EXPECT_EQ(files.front(), folder.path + "/d/d/d/d/d/d/f.url");
    files.clear();
    FindFiles(folder.path, all, files, CSearchLimits{32, 3, 1000});
    EXPECT_LE(files.size(), 3u);
}

class FirefoxPlacesTest : public ::testing::Test {
protected:
    CBrowserHome home;
};

TEST_F(FirefoxPlacesTest, ReadsWhileFirefoxHoldsTheDatabaseLocked) {
    const std::string path = home.FirefoxPlaces("profile/places.sqlite", {{"Locked", "https://l.example/"}});
    // Firefox keeps its database locked exclusively while it runs.
    CBrowserHome::Database firefox(path);
    firefox.Exec("PRAGMA journal_mode=DELETE; PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"
                 "INSERT INTO moz_places (id, url) VALUES (99, 'https://uncommitted.example/');"
                 "INSERT INTO moz_bookmarks (id, type, fk) VALUES (99, 1, 99);");
    CBookmarkList list;
    EXPECT_EQ(ReadFirefoxPlaces(path, list), 1u);
    EXPECT_EQ(list.Items().front(), (CBookmarkItem{"Locked", "https://l.example/", 1}));
    firefox.Exec("COMMIT;");
}

TEST_F(FirefoxPlacesTest, HostileOrDamagedDatabasesYieldNothingQuickly) {
    const auto read = [](const std::string& path) {
        CBookmarkList list;
        ReadFirefoxPlaces(path, list);
        return list.Count();
    };
    EXPECT_EQ(read(home.Write("garbage.sqlite", std::string(4096, '\x5A'))), 0u);
    EXPECT_EQ(read(home / "missing.sqlite"), 0u);
    EXPECT_EQ(read("relative.sqlite"), 0u);

    // A bookmark table that is a view, and a title that would be a gigabyte.
    const std::string viewPath = home / "view.sqlite";
    {
        CBrowserHome::Database db(viewPath);
        db.Exec("CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url TEXT);"
                "INSERT INTO moz_places VALUES (1, 'https://v.example/');"
                "CREATE VIEW moz_bookmarks AS SELECT 1 AS id, 1 AS type, 1 AS fk, 'View' AS title;");
    }
    EXPECT_EQ(read(viewPath), 0u);
    const std::string hugePath = home / "huge.sqlite";
    {
        CBrowserHome::Database db(hugePath);
        db.Exec("CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url TEXT);"
                "INSERT INTO moz_places VALUES (1, 'https://h.example/');"
                "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER, "
                "title TEXT GENERATED ALWAYS AS (zeroblob(1000000000)) VIRTUAL);"
                "INSERT INTO moz_bookmarks (id, type, fk) VALUES (1, 1, 1);");
    }
    EXPECT_EQ(read(hugePath), 0u);
}

TEST_F(FirefoxPlacesTest, PathsWithUriCharactersOpen) {
    const std::string path = home.FirefoxPlaces("a?b#c%41 d/places.sqlite", {{"Odd", "https://odd.example/"}});
    CBookmarkList list;
    EXPECT_EQ(ReadFirefoxPlaces(path, list), 1u);
    EXPECT_EQ(ImmutableUri("/a?b#c%"), "file:///a%3Fb%23c%25?immutable=1");
}

}  // namespace
}  // namespace tallyhawk
