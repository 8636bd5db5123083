#include "import/FirefoxPlaces.h"

#include <memory>
#include <string_view>

#include "import/SqliteLibrary.h"

namespace tallyhawk {

namespace {

// Only once SqliteLibrary() has answered with its table.
const CSqliteFunctions& Sqlite() {
    return *SqliteLibrary();
}

struct CCloseDatabase {
    void operator()(sqlite3* db) const { Sqlite().close_v2(db); }
};
struct CFinalize {
    void operator()(sqlite3_stmt* statement) const { Sqlite().finalize(statement); }
};

// Bookmarks (type 1) joined with their places; moz_bookmarks.id grows as
// bookmarks are made.
constexpr const char* kQuery =
    "SELECT b.title, p.url FROM moz_bookmarks AS b JOIN moz_places AS p ON p.id = b.fk "
    "WHERE b.type = 1 ORDER BY b.id";

constexpr int kStepsPerCall = 1000;

struct CStepBudget {
    long left;
    const CBookmarkList& list;  // whose collection may be canceled
};

int CountSteps(void* budget) {
    auto& steps = *static_cast<CStepBudget*>(budget);
    return --steps.left <= 0 || steps.list.IsCanceled() ? 1 : 0;  // non-zero interrupts
}

std::string_view Column(sqlite3_stmt* statement, int column) {
    const unsigned char* text = Sqlite().column_text(statement, column);
    if (!text) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(Sqlite().column_bytes(statement, column))};
}

// A database that only reads, trusts nothing in its schema and cannot be
// made to hold huge values.
void Harden(sqlite3* db) {
    Sqlite().db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    Sqlite().db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    Sqlite().db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    Sqlite().db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    Sqlite().db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    Sqlite().limit(db, SQLITE_LIMIT_LENGTH, static_cast<int>(kMaxBookmarkUrlLength) * 2);
    Sqlite().limit(db, SQLITE_LIMIT_ATTACHED, 0);
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
    if (!SqliteLibrary()) return 0;  // without SQLite no database can be read
    sqlite3* raw = nullptr;
    const int opened = Sqlite().open_v2(ImmutableUri(path).c_str(), &raw,
                                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    std::unique_ptr<sqlite3, CCloseDatabase> db(raw);
    if (opened != SQLITE_OK) return 0;
    Harden(db.get());
    CStepBudget steps{kMaxPlacesSteps, list};
    Sqlite().progress_handler(db.get(), kStepsPerCall, &CountSteps, &steps);

    sqlite3_stmt* prepared = nullptr;
    if (Sqlite().prepare_v2(db.get(), kQuery, -1, &prepared, nullptr) != SQLITE_OK) {
        Sqlite().finalize(prepared);
        return 0;
    }
    std::unique_ptr<sqlite3_stmt, CFinalize> statement(prepared);
    const std::size_t before = list.Count();
    while (!list.ShouldStop() && Sqlite().step(statement.get()) == SQLITE_ROW) {
        const std::string_view title = Column(statement.get(), 0);
        const std::string_view url = Column(statement.get(), 1);
        if (url.substr(0, 6) == "place:") continue;
        if (!list.Add(title.empty() ? url : title, url, kBookmarkKindBookmark)) break;
    }
    return list.Count() - before;
}

}  // namespace tallyhawk
