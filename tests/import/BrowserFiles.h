// A home folder of the test's own with the files browsers keep links in:
// internet shortcuts, Netscape bookmark files, a Firefox places database
// made with SQLite and Chromium "Bookmarks" files.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "import/BookmarkCollector.h"
#include "platform/PlatformTestUtil.h"

namespace tallyhawk::testing {

// (title, address) pairs.
using Links = std::vector<std::pair<std::string, std::string>>;

class CBrowserHome {
public:
    CBrowserHome() : home(scratch / "home") { std::filesystem::create_directories(home); }

    const std::string& Home() const { return home; }
    std::string operator/(const std::string& relative) const { return home + "/" + relative; }
    CBookmarkPlaces Places() const { return {home, "", ""}; }

    // Writes `bytes` to `relative` below the home folder, making its folders.
    std::string Write(const std::string& relative, const std::string& bytes) const {
        const std::string path = *this / relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, bytes);
        return path;
    }
    std::string Shortcut(const std::string& relative, const std::string& url) const {
        return Write(relative, "[DEFAULT]\r\nBASEURL=" + url + "\r\n[InternetShortcut]\r\nURL=" + url +
                                   "\r\nIconIndex=0\r\n");
    }
    std::string NetscapeFile(const std::string& relative, const Links& links) const {
        std::string html =
            "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n"
            "<DL><p>\n    <DT><H3 ADD_DATE=\"1600000000\">Folder</H3>\n    <DL><p>\n";
        for (const auto& [title, url] : links)
            html += "        <DT><A HREF=\"" + url + "\" ADD_DATE=\"1600000001\">" + title + "</A>\n";
        return Write(relative, html + "    </DL><p>\n</DL><p>\n");
    }
    // A "Bookmarks" file with the links on the bookmark bar, the first one
    // inside a folder.
    std::string ChromiumFile(const std::string& relative, const Links& links) const {
        std::string children;
        for (std::size_t i = 1; i < links.size(); ++i) children += "," + Node(links[i]);
        std::string folder = links.empty() ? std::string()
                                           : R"({"type": "folder", "name": "Folder", "children": [)" +
                                                 Node(links[0]) + "]}";
        return Write(relative, R"({"checksum": "0", "roots": {"bookmark_bar": {"children": [)" +
                                   folder + children +
                                   R"(], "name": "Bookmarks bar", "type": "folder"},
                                   "other": {"children": [], "type": "folder"}}, "version": 1})");
    }
    // A places database as Firefox lays it out, in write-ahead-log mode, with
    // a folder, a separator and a "place:" query besides the links. An empty
    // title is stored as NULL.
    std::string FirefoxPlaces(const std::string& relative, const Links& links) const {
        const std::string path = *this / relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        Database db(path);
        db.Exec("PRAGMA journal_mode=WAL;"
                "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, "
                "title LONGVARCHAR, url_hash INTEGER DEFAULT 0 NOT NULL);"
                "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER "
                "DEFAULT NULL, parent INTEGER, position INTEGER, title LONGVARCHAR);"
                "INSERT INTO moz_bookmarks VALUES (1, 2, NULL, 0, 0, '');"
                "INSERT INTO moz_bookmarks VALUES (2, 2, NULL, 1, 0, 'menu');"
                "INSERT INTO moz_bookmarks VALUES (3, 3, NULL, 2, 0, NULL);"
                "INSERT INTO moz_places VALUES (1, 'place:sort=8&maxResults=10', 'Most', 0);"
                "INSERT INTO moz_bookmarks VALUES (4, 1, 1, 2, 1, 'Most Visited');");
        int id = 10;
        for (const auto& [title, url] : links) {
            sqlite3_stmt* place = db.Prepare("INSERT INTO moz_places (id, url) VALUES (?, ?)");
            sqlite3_bind_int(place, 1, id);
            sqlite3_bind_text(place, 2, url.c_str(), -1, SQLITE_TRANSIENT);
            db.Run(place);
            sqlite3_stmt* mark = db.Prepare(
                "INSERT INTO moz_bookmarks (id, type, fk, parent, position, title) "
                "VALUES (?, 1, ?, 2, ?, ?)");
            sqlite3_bind_int(mark, 1, id);
            sqlite3_bind_int(mark, 2, id);
            sqlite3_bind_int(mark, 3, id);
            if (title.empty()) sqlite3_bind_null(mark, 4);
            else sqlite3_bind_text(mark, 4, title.c_str(), -1, SQLITE_TRANSIENT);
            db.Run(mark);
            ++id;
        }
        return path;
    }

    // An open database connection; throws on failure.
    class Database {
    public:
        explicit Database(const std::string& path) {
            if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("open " + path);
        }
        ~Database() { sqlite3_close(db); }
        Database(const Database&) = delete;
        Database& operator=(const Database&) = delete;
        void Exec(const std::string& sql) {
            char* error = nullptr;
            if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
                std::string text = error ? error : "?";
                sqlite3_free(error);
                throw std::runtime_error(text);
            }
        }
        sqlite3_stmt* Prepare(const char* sql) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
                throw std::runtime_error(sqlite3_errmsg(db));
            return statement;
        }
        // Steps `statement` to its end and finalizes it.
        void Run(sqlite3_stmt* statement) {
            const int result = sqlite3_step(statement);
            sqlite3_finalize(statement);
            if (result != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
        }

    private:
        sqlite3* db = nullptr;
    };

private:
    static std::string Quoted(const std::string& text) {
        std::string out = "\"";
        for (char c : text) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        return out + "\"";
    }
    static std::string Node(const std::pair<std::string, std::string>& link) {
        return R"({"date_added": "13300000000000000", "id": "5", "name": )" + Quoted(link.first) +
               R"(, "type": "url", "url": )" + Quoted(link.second) + "}";
    }

    CScratchFolder scratch;
    std::string home;
};

}  // namespace tallyhawk::testing
