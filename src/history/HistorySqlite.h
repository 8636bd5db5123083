// The SQLite functions the history calls, reached through one table: the
// library is opened when the first store is, not linked, so that a run of
// the programs that keeps no history (a comparison, most of tallyhawk-cli)
// does not load and relocate it at start; see base/SharedLibrary.h. Built
// without TALLYHAWK_LOAD_LIBRARIES_LAZILY, the table holds the linked
// functions.
//
// Every sqlite3_ function the history calls goes through the table,
// including any that <sqlite3.h> hides behind a macro; its constants
// (SQLITE_OK, SQLITE_STATIC, ...) are used as they are.
#pragma once

#include <sqlite3.h>

#include <string>

namespace tallyhawk::historydb {

struct CSqlite {
    decltype(&::sqlite3_open_v2) open_v2;
    decltype(&::sqlite3_close_v2) close_v2;
    decltype(&::sqlite3_extended_result_codes) extended_result_codes;
    decltype(&::sqlite3_busy_timeout) busy_timeout;
    decltype(&::sqlite3_db_config) db_config;
    decltype(&::sqlite3_limit) limit;
    decltype(&::sqlite3_errmsg) errmsg;
    decltype(&::sqlite3_exec) exec;
    decltype(&::sqlite3_changes) changes;
    decltype(&::sqlite3_last_insert_rowid) last_insert_rowid;
    decltype(&::sqlite3_prepare_v3) prepare_v3;
    decltype(&::sqlite3_finalize) finalize;
    decltype(&::sqlite3_reset) reset;
    decltype(&::sqlite3_clear_bindings) clear_bindings;
    decltype(&::sqlite3_bind_int64) bind_int64;
    decltype(&::sqlite3_bind_text64) bind_text64;
    decltype(&::sqlite3_bind_blob64) bind_blob64;
    decltype(&::sqlite3_bind_null) bind_null;
    decltype(&::sqlite3_step) step;
    decltype(&::sqlite3_column_int64) column_int64;
    decltype(&::sqlite3_column_type) column_type;
    decltype(&::sqlite3_column_blob) column_blob;
    decltype(&::sqlite3_column_bytes) column_bytes;
};

// Fills `functions` from the library `soname`; false, with `error` saying
// what is missing, when it or one of the functions cannot be found.
bool OpenSqlite(const char* soname, CSqlite& functions, std::string& error);

// The functions, loading SQLite on the first call; nullptr, with `error` set
// when given, when it cannot be loaded. The first call's answer stands.
// Thread-safe; the table never changes once filled.
const CSqlite* LoadSqlite(std::string* error = nullptr);

// The table once LoadSqlite() has succeeded, as it has for every store
// opened (CHistoryStore::Open loads it first).
const CSqlite& Sqlite();

}  // namespace tallyhawk::historydb
