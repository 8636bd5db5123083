#include "import/SqliteLibrary.h"

#include "base/SharedLibrary.h"

namespace tallyhawk {

namespace {

bool Load(CSqliteFunctions& f) {
#ifndef TALLYHAWK_SQLITE_SONAME
    f = {
        &::sqlite3_open_v2,          &::sqlite3_close_v2,    &::sqlite3_db_config, &::sqlite3_limit,
        &::sqlite3_progress_handler, &::sqlite3_prepare_v2,  &::sqlite3_finalize,  &::sqlite3_step,
        &::sqlite3_column_text,      &::sqlite3_column_bytes};
    return true;
#else
    CSharedLibrary library;
    return library.Open(TALLYHAWK_SQLITE_SONAME) && library.Find("sqlite3_open_v2", f.open_v2) &&
           library.Find("sqlite3_close_v2", f.close_v2) &&
           library.Find("sqlite3_db_config", f.db_config) &&
           library.Find("sqlite3_limit", f.limit) &&
           library.Find("sqlite3_progress_handler", f.progress_handler) &&
           library.Find("sqlite3_prepare_v2", f.prepare_v2) &&
           library.Find("sqlite3_finalize", f.finalize) && library.Find("sqlite3_step", f.step) &&
           library.Find("sqlite3_column_text", f.column_text) &&
           library.Find("sqlite3_column_bytes", f.column_bytes);
#endif
}

}  // namespace

const CSqliteFunctions* SqliteLibrary() {
    static CSqliteFunctions functions{};
    static const bool loaded = Load(functions);
    return loaded ? &functions : nullptr;
}

}  // namespace tallyhawk
