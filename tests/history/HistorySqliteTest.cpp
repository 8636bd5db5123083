#include "history/HistorySqlite.h"

#include <gtest/gtest.h>

#include <string>

namespace tallyhawk::historydb {
namespace {

// Every function of the table, used on a database in memory: a name looked
// up wrong would crash or answer wrongly here.
void Exercise(const CSqlite& f) {
    sqlite3* db = nullptr;
    ASSERT_EQ(f.open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
    EXPECT_EQ(f.extended_result_codes(db, 1), SQLITE_OK);
    EXPECT_EQ(f.busy_timeout(db, 100), SQLITE_OK);
    EXPECT_EQ(f.db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr), SQLITE_OK);
    EXPECT_GE(f.limit(db, SQLITE_LIMIT_ATTACHED, 0), 0);
    EXPECT_EQ(f.limit(db, SQLITE_LIMIT_ATTACHED, -1), 0);
    ASSERT_EQ(f.exec(db, "CREATE TABLE t(a INTEGER, b TEXT, c BLOB)", nullptr, nullptr, nullptr), SQLITE_OK);

    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(f.prepare_v3(db, "INSERT INTO t VALUES (?1, ?2, ?3)", -1, 0, &insert, nullptr), SQLITE_OK);
    EXPECT_EQ(f.bind_int64(insert, 1, 1LL << 40), SQLITE_OK);
    EXPECT_EQ(f.bind_text64(insert, 2, "text", 4, SQLITE_STATIC, SQLITE_UTF8), SQLITE_OK);
    EXPECT_EQ(f.bind_blob64(insert, 3, "a\0b", 3, SQLITE_STATIC), SQLITE_OK);
    EXPECT_EQ(f.step(insert), SQLITE_DONE);
    EXPECT_EQ(f.last_insert_rowid(db), 1);
    EXPECT_EQ(f.reset(insert), SQLITE_OK);
    EXPECT_EQ(f.clear_bindings(insert), SQLITE_OK);
    EXPECT_EQ(f.bind_null(insert, 1), SQLITE_OK);
    EXPECT_EQ(f.step(insert), SQLITE_DONE);
    EXPECT_EQ(f.changes(db), 1);
    EXPECT_EQ(f.finalize(insert), SQLITE_OK);

    sqlite3_stmt* select = nullptr;
    ASSERT_EQ(f.prepare_v3(db, "SELECT a, c FROM t ORDER BY rowid", -1, 0, &select, nullptr), SQLITE_OK);
    ASSERT_EQ(f.step(select), SQLITE_ROW);
    EXPECT_EQ(f.column_int64(select, 0), 1LL << 40);
    ASSERT_EQ(f.column_bytes(select, 1), 3);
    EXPECT_EQ(std::string(static_cast<const char*>(f.column_blob(select, 1)), 3), std::string("a\0b", 3));
    ASSERT_EQ(f.step(select), SQLITE_ROW);
    EXPECT_EQ(f.column_type(select, 0), SQLITE_NULL);
    EXPECT_EQ(f.step(select), SQLITE_DONE);
    EXPECT_EQ(f.finalize(select), SQLITE_OK);

    EXPECT_NE(f.exec(db, "SELECT * FROM missing", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_NE(std::string(f.errmsg(db)).find("missing"), std::string::npos);
    EXPECT_EQ(f.close_v2(db), SQLITE_OK);
}

TEST(HistorySqliteTest, TheLoadedTableWorks) {
    std::string error;
    const CSqlite* functions = LoadSqlite(&error);
    ASSERT_NE(functions, nullptr) << error;
    EXPECT_EQ(&Sqlite(), functions);
    EXPECT_EQ(LoadSqlite(), functions);
    Exercise(*functions);
}

TEST(HistorySqliteTest, OpensTheLibraryBySoname) {
    CSqlite functions{};
    std::string error;
    ASSERT_TRUE(OpenSqlite("libsqlite3.so.0", functions, error)) << error;
    Exercise(functions);
}

TEST(HistorySqliteTest, AMissingLibraryIsNamedInTheError) {
    CSqlite functions{};
    std::string error;
    EXPECT_FALSE(OpenSqlite("libtallyhawk-no-such-library.so.7", functions, error));
    EXPECT_NE(error.find("libtallyhawk-no-such-library.so.7"), std::string::npos) << error;
}

TEST(HistorySqliteTest, ALibraryWithoutTheFunctionsIsRefused) {
    // libz is everywhere zstd's users are, and has no sqlite3_ functions.
    CSqlite functions{};
    std::string error;
    EXPECT_FALSE(OpenSqlite("libz.so.1", functions, error));
    EXPECT_NE(error.find("sqlite3_open_v2"), std::string::npos) << error;
}

}  // namespace
}  // namespace tallyhawk::historydb
