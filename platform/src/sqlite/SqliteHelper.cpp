// The helper library holding SQLite for the registry (see
// registry/SqliteApi.h). SQLite is linked into it with its symbols kept
// inside: the shared SQLite binds each of its own calls through the dynamic
// linker, so loading it costs a lookup per call site across every library of
// the process, a millisecond of a program's start.
#include "../registry/SqliteApi.h"

namespace {

constexpr plat::registry::SqliteApi kApi{
#define ORVADE_SQLITE_ENTRY(name) &sqlite3_##name,
    ORVADE_SQLITE_FUNCTIONS(ORVADE_SQLITE_ENTRY)
#undef ORVADE_SQLITE_ENTRY
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const plat::registry::SqliteApi* orvade_sqlite_api() {
    // Before SQLite starts: no page cache allocated in bulk. By default each
    // connection's first read sets up 20 cache lines at once, writing into
    // every page of them, while a registry read touches a handful; on a
    // program's start each page written is a page fault.
    static const bool configured = sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0) == SQLITE_OK;
    (void)configured;
    return &kApi;
}
