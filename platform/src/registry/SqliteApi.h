// The SQLite functions the registry uses, handed over by the helper library
// that holds SQLite (src/sqlite/): the base loads it with the first use of
// the registry, not with every program that links the platform.
#pragma once

#include <sqlite3.h>

#define ORVADE_SQLITE_FUNCTIONS(X) \
    X(bind_blob) X(bind_int64) X(bind_text) X(busy_timeout) X(changes) X(clear_bindings) X(close) \
    X(column_blob) X(column_bytes) X(column_int64) X(column_text) X(db_config) X(exec) X(file_control) \
    X(finalize) X(last_insert_rowid) X(open_v2) X(prepare_v2) X(reset) X(step)

namespace plat::registry {

struct SqliteApi {
#define ORVADE_SQLITE_POINTER(name) decltype(&sqlite3_##name) name;
    ORVADE_SQLITE_FUNCTIONS(ORVADE_SQLITE_POINTER)
#undef ORVADE_SQLITE_POINTER
};

}  // namespace plat::registry

extern "C" const plat::registry::SqliteApi* orvade_sqlite_api();
