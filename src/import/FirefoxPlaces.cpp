#include "import/FirefoxPlaces.h"

#include <sqlite3.h>

#include <memory>
#include <string_view>

namespace tallyhawk {

namespace {

struct CCloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct CFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// Bookmarks (type 1) joined with their places; moz_bookmarks.id grows as
// bookmarks are made.
constexpr const char* kQuery =
    "SELECT b.title, p.url FROM moz_bookmarks AS b JOIN moz_places AS p ON p.id = b.fk "
    "WHERE b.type = 1 ORDER BY b.id";

constexpr int kStepsPerCall = 1000;

int CountSteps(void* steps) {
    long& left = *static_cast<long*>(steps);
    return --left <= 0 ? 1 : 0;  // non-zero interrupts the statement
}

std::string_view Column(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (!text) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

// A database that only reads, trusts nothing in its schema and cannot be
// made to hold huge values.
void Harden(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, static_cast<int>(kMaxBookmarkUrlLength) * 2);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
}

}  // namespace

std::string ImmutableUri(const std::string& path) {
    // '%', '?' and '#' mean something in a URI; everything else may stand.
    std::string uri = "file://";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char kHex[] = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[static_cast<unsigned char>(c) >> 4];
            uri += kHex[static_cast<unsigned char>(c) & 0x0F];
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

std::size_t ReadFirefoxPlaces(const std::string& path, CBookmarkList& list) {
    if (path.empty() || path.front() != '/') return 0;
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(ImmutableUri(path).c_str(), &raw,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    std::unique_ptr<sqlite3, CCloseDatabase> db(raw);
    if (opened != SQLITE_OK) return 0;
    Harden(db.get());
    long steps = kMaxPlacesSteps;
    sqlite3_progress_handler(db.get(), kStepsPerCall, &CountSteps, &steps);

    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db.get(), kQuery, -1, &prepared, nullptr) != SQLITE_OK) {
        sqlite3_finalize(prepared);
        return 0;
    }
    std::unique_ptr<sqlite3_stmt, CFinalize> statement(prepared);
    const std::size_t before = list.Count();
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        const std::string_view title = Column(statement.get(), 0);
        const std::string_view url = Column(statement.get(), 1);
        if (url.substr(0, 6) == "place:") continue;
        if (!list.Add(title.empty() ? url : title, url, kBookmarkKindBookmark)) break;
    }
    return list.Count() - before;
}

}  // namespace tallyhawk
