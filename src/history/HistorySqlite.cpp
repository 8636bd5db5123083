#include "history/HistorySqlite.h"

#include <cstdlib>

#include "base/SharedLibrary.h"

namespace tallyhawk::historydb {

bool OpenSqlite(const char* soname, CSqlite& f, std::string& error) {
    CSharedLibrary library;
    const bool found =
        library.Open(soname) && library.Find("sqlite3_open_v2", f.open_v2) &&
        library.Find("sqlite3_close_v2", f.close_v2) &&
        library.Find("sqlite3_extended_result_codes", f.extended_result_codes) &&
        library.Find("sqlite3_busy_timeout", f.busy_timeout) && library.Find("sqlite3_db_config", f.db_config) &&
        library.Find("sqlite3_limit", f.limit) && library.Find("sqlite3_errmsg", f.errmsg) &&
        library.Find("sqlite3_exec", f.exec) && library.Find("sqlite3_changes", f.changes) &&
        library.Find("sqlite3_last_insert_rowid", f.last_insert_rowid) &&
        library.Find("sqlite3_prepare_v3", f.prepare_v3) && library.Find("sqlite3_finalize", f.finalize) &&
        library.Find("sqlite3_reset", f.reset) && library.Find("sqlite3_clear_bindings", f.clear_bindings) &&
        library.Find("sqlite3_bind_int64", f.bind_int64) && library.Find("sqlite3_bind_text64", f.bind_text64) &&
        library.Find("sqlite3_bind_blob64", f.bind_blob64) && library.Find("sqlite3_bind_null", f.bind_null) &&
        library.Find("sqlite3_step", f.step) && library.Find("sqlite3_column_int64", f.column_int64) &&
        library.Find("sqlite3_column_type", f.column_type) && library.Find("sqlite3_column_blob", f.column_blob) &&
        library.Find("sqlite3_column_bytes", f.column_bytes);
    if (!found) error = library.Error();
    return found;
}

namespace {

struct CLoaded {
    CSqlite functions{};
    std::string error;
    bool ok = false;
};

CLoaded Load() {
    CLoaded loaded;
#ifndef TALLYHAWK_HISTORY_SQLITE_SONAME
    loaded.functions = {&::sqlite3_open_v2,
                        &::sqlite3_close_v2,
                        &::sqlite3_extended_result_codes,
                        &::sqlite3_busy_timeout,
                        &::sqlite3_db_config,
                        &::sqlite3_limit,
                        &::sqlite3_errmsg,
                        &::sqlite3_exec,
                        &::sqlite3_changes,
                        &::sqlite3_last_insert_rowid,
                        &::sqlite3_prepare_v3,
                        &::sqlite3_finalize,
                        &::sqlite3_reset,
                        &::sqlite3_clear_bindings,
                        &::sqlite3_bind_int64,
                        &::sqlite3_bind_text64,
                        &::sqlite3_bind_blob64,
                        &::sqlite3_bind_null,
                        &::sqlite3_step,
                        &::sqlite3_column_int64,
                        &::sqlite3_column_type,
                        &::sqlite3_column_blob,
                        &::sqlite3_column_bytes};
    loaded.ok = true;
#else
    loaded.ok = OpenSqlite(TALLYHAWK_HISTORY_SQLITE_SONAME, loaded.functions, loaded.error);
#endif
    return loaded;
}

const CLoaded& Loaded() {
    static const CLoaded loaded = Load();
    return loaded;
}

}  // namespace

const CSqlite* LoadSqlite(std::string* error) {
    const CLoaded& loaded = Loaded();
    if (!loaded.ok && error) *error = loaded.error;
    return loaded.ok ? &loaded.functions : nullptr;
}

const CSqlite& Sqlite() {
    const CSqlite* functions = LoadSqlite();
    // Only reached through a store, which exists only once SQLite is loaded.
    if (!functions) std::abort();
    return *functions;
}

}  // namespace tallyhawk::historydb
