// The history's SQLite connection and statements: a failed call becomes a
// CHistoryError whose sentence names the store and what went wrong (in use
// by another program, a full disk, no permission, damage), with SQLite's
// code kept for the callers that tell damage from the rest.
//
// None of these is thread-safe; the store guards its one connection with
// its own lock.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "history/HistorySqlite.h"
#include "history/HistoryStore.h"

namespace tallyhawk::historydb {

struct CCloseDatabase {
    void operator()(sqlite3* db) const { Sqlite().close_v2(db); }
};

// The sentence for a failed SQLite call on the store at `path`.
inline std::string Describe(int code, const std::string& path, const char* detail) {
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "The history " + path +
               " is in use by another program; no versions are kept until it lets go of it.";
    case SQLITE_FULL:
        return "The disk of the history " + path + " is full; no versions are kept until there is room.";
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        return "The history " + path + " cannot be written (" + detail + ").";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return "The history " + path + " is damaged (" + detail + "); it is set aside when next opened.";
    default:
        return "The history " + path + " failed: " + detail + ".";
    }
}

class CSqliteError : public CHistoryError {
public:
    CSqliteError(int code, std::string message) : CHistoryError(std::move(message)), code(code) {}
    const int code;
};

struct CConnection {
    std::unique_ptr<sqlite3, CCloseDatabase> db;
    std::string path;

    [[noreturn]] void Raise(int code) const {
        throw CSqliteError(code, Describe(code, path, Sqlite().errmsg(db.get())));
    }
    void Exec(const char* sql) const {
        const int rc = Sqlite().exec(db.get(), sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) Raise(rc);
    }
};

// One prepared statement, kept for the store's life.
class CStatement {
public:
    CStatement(const CConnection& connection, const char* sql) : connection(connection) {
        const int rc =
            Sqlite().prepare_v3(connection.db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (rc != SQLITE_OK) connection.Raise(rc);
    }
    ~CStatement() { Sqlite().finalize(statement); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    sqlite3_stmt* get() const { return statement; }
    const CConnection& connection;

private:
    sqlite3_stmt* statement = nullptr;
};

// One run of a statement: binds, steps, reads columns; resets it at the end.
class CQuery {
public:
    explicit CQuery(CStatement& statement) : statement(statement), s(statement.get()) {}
    ~CQuery() {
        Sqlite().reset(s);
        Sqlite().clear_bindings(s);
    }
    CQuery(const CQuery&) = delete;
    CQuery& operator=(const CQuery&) = delete;

    CQuery& Bind(int index, std::int64_t value) {
        return Check(Sqlite().bind_int64(s, index, value));
    }
    CQuery& BindText(int index, std::string_view text) {
        return Check(Sqlite().bind_text64(s, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8));
    }
    CQuery& BindBlob(int index, std::string_view bytes) {
        // A zero-length blob, not NULL, for empty bytes.
        return Check(
            Sqlite().bind_blob64(s, index, bytes.data() ? bytes.data() : "", bytes.size(), SQLITE_STATIC));
    }
    CQuery& BindNull(int index) { return Check(Sqlite().bind_null(s, index)); }
    // True for a row, false when done.
    bool Step() {
        const int rc = Sqlite().step(s);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        statement.connection.Raise(rc);
    }
    void Run() {
        while (Step()) {
        }
    }
    std::int64_t Int(int column) const { return Sqlite().column_int64(s, column); }
    bool IsNull(int column) const { return Sqlite().column_type(s, column) == SQLITE_NULL; }
    std::string_view Blob(int column) const {
        const void* data = Sqlite().column_blob(s, column);
        const int size = Sqlite().column_bytes(s, column);
        return data ? std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size))
                    : std::string_view();
    }

private:
    CQuery& Check(int rc) {
        if (rc != SQLITE_OK) statement.connection.Raise(rc);
        return *this;
    }
    CStatement& statement;
    sqlite3_stmt* s;
};

// BEGIN IMMEDIATE, rolled back unless committed.
class CTransaction {
public:
    explicit CTransaction(const CConnection& connection) : connection(connection) {
        connection.Exec("BEGIN IMMEDIATE");
    }
    ~CTransaction() {
        if (open) Sqlite().exec(connection.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;
    void Commit() {
        connection.Exec("COMMIT");
        open = false;
    }

private:
    const CConnection& connection;
    bool open = true;
};

}  // namespace tallyhawk::historydb
