// SQLite's functions, reached through one table: the library is opened on
// the first call of SqliteLibrary() (the first Firefox profile read), not
// linked, so that no other run of the programs loads and relocates it at
// start; see base/SharedLibrary.h. Built without
// TALLYHAWK_LOAD_LIBRARIES_LAZILY, the table holds the linked functions.
//
// SqliteLibrary() is thread-safe; its table never changes once filled.
#pragma once

#include <sqlite3.h>

namespace tallyhawk {

struct CSqliteFunctions {
    decltype(&::sqlite3_open_v2) open_v2;
    decltype(&::sqlite3_close_v2) close_v2;
    decltype(&::sqlite3_db_config) db_config;
    decltype(&::sqlite3_limit) limit;
    decltype(&::sqlite3_progress_handler) progress_handler;
    decltype(&::sqlite3_prepare_v2) prepare_v2;
    decltype(&::sqlite3_finalize) finalize;
    decltype(&::sqlite3_step) step;
    decltype(&::sqlite3_column_text) column_text;
    decltype(&::sqlite3_column_bytes) column_bytes;
};

// The functions, loading SQLite on the first call; nullptr when the library
// or one of its functions cannot be found. The first call's answer stands.
const CSqliteFunctions* SqliteLibrary();

}  // namespace tallyhawk
