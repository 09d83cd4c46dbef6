#include "platform/Registry.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "../loader/HelperLibrary.h"
#include "SqliteApi.h"
#include "platform/DeviceFs.h"
#include "platform/Text.h"

namespace {

constexpr char16_t kFolder[] = u"\\Windows";
constexpr char16_t kDatabase[] = u"\\Windows\\Registry.db";
constexpr uintptr_t kFirstRoot = 0x80000000;
constexpr const char* kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, name));";

// What the schema table of our database holds, as SQLite keeps it: the two
// tables and the indexes of their keys; anything else (a trigger, a view,
// another table or index) means the file is not ours.
constexpr const char* kSchemaRows[][3] = {
    {"table", "keys",
     "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
     " UNIQUE(parent, name))"},
    {"table", "vals",
     "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL,"
     " data BLOB NOT NULL, PRIMARY KEY(key, name))"},
    {"index", "sqlite_autoindex_keys_1", ""},
    {"index", "sqlite_autoindex_vals_1", ""},
};

// SQLite comes from its helper library with the first use of the registry;
// null when the helper cannot be loaded (the registry then cannot be opened,
// as when its file cannot).
const plat::registry::SqliteApi* LoadSqlite() {
    static const plat::registry::SqliteApi* api = []() -> const plat::registry::SqliteApi* {
        auto* get = reinterpret_cast<decltype(&orvade_sqlite_api)>(
            plat::loader::LoadBaseHelper("liborvade_sqlite.so", "orvade_sqlite_api", "the registry cannot be opened"));
        return get ? get() : nullptr;
    }();
    return api;
}

// Only reached once a connection is open, so the library is there.
const plat::registry::SqliteApi& Sql() { return *LoadSqlite(); }

// One connection per process (a child after fork opens its own), used under
// one lock; open handles map to key ids.
struct Registry {
    std::mutex lock;
    sqlite3* db = nullptr;
    LONG failure = ERROR_REGISTRY_IO_FAILED;  // why the last open failed
    std::string refused;                       // the database last refused, told once
    std::string path;
    pid_t pid = 0;
    std::string root;  // the device root the connection is of
    std::unordered_map<uintptr_t, int64_t> handles;
    uintptr_t nextHandle = 0x1000;
    // The open connection's statements, prepared once and kept: parsing one
    // costs more than running it. Keyed by their text, a literal of this file.
    struct Statement {
        const char* sql;
        sqlite3_stmt* stmt;
        bool busy;
    };
    std::vector<Statement> statements;
    int64_t rootIds[std::size(kRootNames)] = {};  // 0: not looked up yet; roots never go
};

Registry& Reg() {
    static Registry registry;
    return registry;
}

// Before the connection closes or is let go.
void ForgetStatements(Registry& r, bool finalize) {
    for (const Registry::Statement& s : r.statements)
        if (finalize) Sql().finalize(s.stmt);
    r.statements.clear();
    std::fill(std::begin(r.rootIds), std::end(r.rootIds), 0);
}

// A prepared statement that finalises itself; made with the registry, one of
// the connection's kept statements, reset and given back when done.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { Sql().prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    // sql: a literal (the key of the kept statement).
    Stmt(Registry& r, const char* sql) {
        for (size_t i = 0; i < r.statements.size(); ++i) {
            Registry::Statement& kept = r.statements[i];
            if (kept.sql != sql || kept.busy) continue;
            kept.busy = true;
            m_stmt = kept.stmt;
            m_kept = &r;
            m_index = i;
            return;
        }
        if (Sql().prepare_v2(r.db, sql, -1, &m_stmt, nullptr) != SQLITE_OK || !m_stmt) return;
        try {
            r.statements.push_back({sql, m_stmt, true});
        } catch (...) {
            return;  // not kept: finalised with this one
        }
        m_kept = &r;
        m_index = r.statements.size() - 1;
    }
    ~Stmt() {
        if (!m_kept) {
            Sql().finalize(m_stmt);
            return;
        }
        Sql().reset(m_stmt);
        Sql().clear_bindings(m_stmt);
        m_kept->statements[m_index].busy = false;
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    Stmt& Bind(int i, int64_t v) { Sql().bind_int64(m_stmt, i, v); return *this; }
    Stmt& Bind(int i, const std::string& v) {
        Sql().bind_text(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& BindBlob(int i, const void* p, int n) {
        Sql().bind_blob(m_stmt, i, n ? p : "", n, SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return m_stmt ? Sql().step(m_stmt) : SQLITE_ERROR; }
    int64_t Int(int c) { return Sql().column_int64(m_stmt, c); }
    std::string Text(int c) {
        const auto* p = reinterpret_cast<const char*>(Sql().column_text(m_stmt, c));
        return p ? std::string(p, static_cast<size_t>(Sql().column_bytes(m_stmt, c))) : std::string();
    }
    std::vector<uint8_t> Blob(int c) {
        const auto* p = static_cast<const uint8_t*>(Sql().column_blob(m_stmt, c));
        return p ? std::vector<uint8_t>(p, p + Sql().column_bytes(m_stmt, c)) : std::vector<uint8_t>();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    Registry* m_kept = nullptr;
    size_t m_index = 0;
};

bool Exec(sqlite3* db, const char* sql) { return Sql().exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// At exit the process's connection is closed: the last one to close folds
// the write-ahead log into the database and empties it, so the next program
// to open the registry reads the database alone instead of replaying every
// write made since (a registration writes hundreds of pages).
void CloseAtExit() {
    Registry& r = Reg();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.db && r.pid == getpid()) {
        ForgetStatements(r, true);
        Sql().close(r.db);
    }
    r.db = nullptr;
    r.handles.clear();
}

void Remember(Registry& r, sqlite3* db, const std::string& path) {
    static const bool closes = std::atexit(&CloseAtExit) == 0;
    (void)closes;
    r.db = db;
    r.path = path;
    r.root = plat::fs::DeviceRoot();
    r.pid = getpid();
}

// The schema of our database: ours whole, ours but not made yet (a new
// file), or not ours.
enum class Schema { Whole, Empty, Foreign };

Schema SchemaOf(sqlite3* db) {
    Stmt rows(db, "SELECT type, name, coalesce(sql, '') FROM sqlite_master ORDER BY type, name");
    size_t count = 0;
    int step;
    while ((step = rows.Step()) == SQLITE_ROW) {
        bool known = false;
        for (const auto& row : kSchemaRows)
            known = known || (rows.Text(0) == row[0] && rows.Text(1) == row[1] && rows.Text(2) == row[2]);
        if (!known) return Schema::Foreign;
        ++count;
    }
    if (step != SQLITE_DONE) return Schema::Foreign;
    if (count == 0) return Schema::Empty;  // a new file holds nothing yet
    return count == std::size(kSchemaRows) ? Schema::Whole : Schema::Foreign;
}

// Every root key is there.
bool RootsPresent(sqlite3* db) {
    Stmt roots(db, "SELECT count(*) FROM keys WHERE parent = 0");
    return roots.Step() == SQLITE_ROW && roots.Int(0) == int64_t(std::size(kRootNames));
}

// The connection for the current device root; null when it cannot be opened.
sqlite3* Connection(Registry& r) {
    // The open connection while the device root is the same: its path is not
    // looked up again with every call.
    if (r.db && r.pid == getpid() && r.root == plat::fs::DeviceRoot()) return r.db;
    const std::string path = plat::registry::DatabasePath();
    if (r.db && r.path == path && r.pid == getpid()) {
        r.root = plat::fs::DeviceRoot();
        return r.db;
    }
    // An inherited connection is left alone (closing it would disturb the parent).
    if (r.db && r.pid == getpid()) {
        ForgetStatements(r, true);
        Sql().close(r.db);
    }
    ForgetStatements(r, false);
    r.db = nullptr;
    r.handles.clear();
    r.failure = ERROR_REGISTRY_IO_FAILED;
    if (path.empty() || !LoadSqlite()) return nullptr;
    sqlite3* db = nullptr;
    if (Sql().open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        Sql().close(db);
        return nullptr;
    }
    Sql().busy_timeout(db, 30000);
    // A database file is data: its schema never runs functions of ours, nor
    // may statements change the schema behind SQLite's back.
    if (Sql().db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK ||
        Sql().db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) != SQLITE_OK) {
        Sql().close(db);
        return nullptr;
    }
    // A file whose schema is not ours is refused before anything is written
    // to it, so no trigger or view of a foreign file ever runs.
    const Schema schema = SchemaOf(db);
    if (schema == Schema::Foreign) {
        Sql().close(db);
        if (r.refused != path)
            std::fprintf(stderr, "registry: %s is not a registry database of this system (unknown schema); not used\n",
                         path.c_str());
        r.refused = path;
        r.failure = ERROR_BADDB;
        return nullptr;
    }
    // The log stays as an empty file when the last connection closes, so the
    // next opening neither replays it nor creates its files again.
    int persist = 1;
    Sql().file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // Every commit syncs the log: a change the caller was told is written
    // survives a power cut (the registry is written rarely; a start that
    // changes nothing writes nothing).
    if (!Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA journal_size_limit=0;")) {
        Sql().close(db);
        return nullptr;
    }
    // A registry made before needs no write to be opened: a program that
    // only reads it starts without waiting for the write lock.
    if (schema == Schema::Whole && RootsPresent(db)) {
        Remember(r, db, path);
        return db;
    }
    if (!Exec(db, "BEGIN IMMEDIATE;")) {
        Sql().close(db);
        return nullptr;
    }
    bool ok = Exec(db, kSchema);
    for (const char* root : kRootNames) {
        Stmt insert(db, "INSERT OR IGNORE INTO keys(parent, name) VALUES(0, ?1)");
        ok = ok && insert.Bind(1, std::string(root)).Step() == SQLITE_DONE;
    }
    if (!ok || !Exec(db, "COMMIT;")) {
        Exec(db, "ROLLBACK;");
        Sql().close(db);
        return nullptr;
    }
    Remember(r, db, path);
    return db;
}

// A write transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : m_db(db), m_open(Exec(db, "BEGIN IMMEDIATE;")) {}
    ~Transaction() {
        if (m_open) Exec(m_db, "ROLLBACK;");
    }
    bool open() const { return m_open; }
    bool Commit() {
        if (!m_open) return false;
        m_open = false;
        if (Exec(m_db, "COMMIT;")) return true;
        Exec(m_db, "ROLLBACK;");
        return false;
    }

private:
    sqlite3* m_db;
    bool m_open;
};

// A read transaction: the statements under it see one state of the
// database, whatever other processes commit meanwhile. Reads need no lock
// of the log's writer, so a look that finds nothing to change never waits
// for one nor writes.
class Snapshot {
public:
    explicit Snapshot(Registry& r) : m_registry(r) { Stmt(r, "BEGIN").Step(); }
    ~Snapshot() { Stmt(m_registry, "COMMIT").Step(); }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    Registry& m_registry;
};

bool KeyExists(Registry& r, int64_t id) {
    Stmt s(r, "SELECT 1 FROM keys WHERE id = ?1");
    return s.Bind(1, id).Step() == SQLITE_ROW;
}

std::optional<int64_t> RootId(Registry& r, uintptr_t handle) {
    if (handle < kFirstRoot || handle >= kFirstRoot + std::size(kRootNames)) return std::nullopt;
    int64_t& known = r.rootIds[handle - kFirstRoot];
    if (known != 0) return known;
    Stmt s(r, "SELECT id FROM keys WHERE parent = 0 AND name = ?1");
    if (s.Bind(1, std::string(kRootNames[handle - kFirstRoot])).Step() != SQLITE_ROW) return std::nullopt;
    known = s.Int(0);
    return known;
}

// The key id of a handle: ERROR_INVALID_HANDLE for an unknown handle,
// ERROR_KEY_DELETED when its key is gone.
LONG Resolve(Registry& r, HKEY key, int64_t* id) {
    const auto handle = reinterpret_cast<uintptr_t>(key);
    if (std::optional<int64_t> root = RootId(r, handle)) {
        *id = *root;
        return ERROR_SUCCESS;
    }
    const auto it = r.handles.find(handle);
    if (it == r.handles.end()) return ERROR_INVALID_HANDLE;
    if (!KeyExists(r, it->second)) return ERROR_KEY_DELETED;
    *id = it->second;
    return ERROR_SUCCESS;
}

std::vector<std::string> SplitPath(const char16_t* subKey) {
    std::vector<std::string> parts;
    if (!subKey) return parts;
    std::u16string_view rest(subKey);
    while (!rest.empty()) {
        const size_t cut = rest.find(u'\\');
        const std::u16string_view part = rest.substr(0, cut);
        if (!part.empty()) parts.push_back(plat::text::WideToUtf8(part));
        if (cut == std::u16string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return parts;
}

std::optional<int64_t> Child(Registry& r, int64_t parent, const std::string& name) {
    Stmt s(r, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
    if (s.Bind(1, parent).Bind(2, name).Step() != SQLITE_ROW) return std::nullopt;
    return s.Int(0);
}

HKEY NewHandle(Registry& r, int64_t id) {
    const uintptr_t handle = r.nextHandle++;
    r.handles[handle] = id;
    return reinterpret_cast<HKEY>(handle);
}

std::string ValueName(const char16_t* name) { return name ? plat::text::WideToUtf8(name) : std::string(); }

// Copies bytes into a Windows-style sized buffer.
LONG CopyOut(const std::vector<uint8_t>& bytes, BYTE* data, DWORD* size) {
    const auto needed = static_cast<DWORD>(bytes.size());
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data && needed) std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

// Copies a name into a buffer of *length characters (terminator included).
LONG CopyName(const std::string& utf8, char16_t* name, DWORD* length) {
    const std::u16string wide = plat::text::Utf8ToWide(utf8);
    if (!name || !length) return ERROR_INVALID_PARAMETER;
    if (*length <= wide.size()) {
        *length = static_cast<DWORD>(wide.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    *length = static_cast<DWORD>(wide.size());
    return ERROR_SUCCESS;
}

// The key at the path below *id, when every key of it is there.
bool FindBelow(Registry& r, const std::vector<std::string>& parts, int64_t* id) {
    for (const std::string& part : parts) {
        const std::optional<int64_t> child = Child(r, *id, part);
        if (!child) return false;
        *id = *child;
    }
    return true;
}

// The key at subKey under key, when every key of the path is there.
LONG FindKey(Registry& r, HKEY key, const std::vector<std::string>& parts, int64_t* id) {
    if (const LONG error = Resolve(r, key, id)) return error;
    return FindBelow(r, parts, id) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Under a write transaction: the key at the path below *id, with the keys
// that are missing made; *created tells whether the last one was new.
bool CreateBelow(Registry& r, const std::vector<std::string>& parts, int64_t* id, bool* created) {
    *created = false;
    for (const std::string& part : parts) {
        *created = false;
        if (const std::optional<int64_t> child = Child(r, *id, part)) {
            *id = *child;
            continue;
        }
        Stmt insert(r, "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
        if (insert.Bind(1, *id).Bind(2, part).Step() != SQLITE_DONE) return false;
        *id = Sql().last_insert_rowid(r.db);
        *created = true;
    }
    return true;
}

// Under a write transaction. A value set again keeps its row, so its place
// in the enumeration.
bool Put(Registry& r, int64_t id, const char16_t* name, DWORD type, const void* data, DWORD size) {
    Stmt upsert(r,
                "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4)"
                " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.Bind(1, id).Bind(2, ValueName(name)).Bind(3, type).BindBlob(4, data, static_cast<int>(size));
    return upsert.Step() == SQLITE_DONE;
}

// The key's value of that name holds these bytes, of that type.
bool Holds(Registry& r, int64_t id, const char16_t* name, DWORD type, const void* data, DWORD size) {
    Stmt s(r, "SELECT 1 FROM vals WHERE key = ?1 AND name = ?2 AND type = ?3 AND data = ?4");
    s.Bind(1, id).Bind(2, ValueName(name)).Bind(3, type).BindBlob(4, data, static_cast<int>(size));
    return s.Step() == SQLITE_ROW;
}

#define REGISTRY_LOCKED(db)                                 \
    Registry& r = Reg();                                    \
    std::lock_guard<std::mutex> guard(r.lock);              \
    sqlite3* db = Connection(r);                            \
    if (!db) return r.failure

}  // namespace

LONG RegOpenKeyEx(HKEY key, const char16_t* subKey, DWORD, DWORD, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    REGISTRY_LOCKED(db);
    int64_t id = 0;
    if (const LONG error = FindKey(r, key, SplitPath(subKey), &id)) return error;
    *result = NewHandle(r, id);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, const char16_t* subKey, DWORD, const char16_t*, DWORD, DWORD, const void*,
                    HKEY* result, DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const std::vector<std::string> parts = SplitPath(subKey);
    REGISTRY_LOCKED(db);
    int64_t id = 0;
    // A key that is there is opened without a write: the registrations of
    // every start create keys that their last start made.
    LONG found;
    {
        Snapshot look(r);
        found = FindKey(r, key, parts, &id);
    }
    if (found == ERROR_SUCCESS) {
        *result = NewHandle(r, id);
        if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }
    if (found != ERROR_FILE_NOT_FOUND) return found;
    Transaction tx(db);
    if (!tx.open()) return ERROR_REGISTRY_IO_FAILED;
    if (const LONG error = Resolve(r, key, &id)) return error;
    bool created = false;
    if (!CreateBelow(r, parts, &id, &created) || !tx.Commit()) return ERROR_REGISTRY_IO_FAILED;
    *result = NewHandle(r, id);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    Registry& r = Reg();
    std::lock_guard<std::mutex> guard(r.lock);
    const auto handle = reinterpret_cast<uintptr_t>(key);
    if (handle >= kFirstRoot && handle < kFirstRoot + std::size(kRootNames)) return ERROR_SUCCESS;
    return r.handles.erase(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace {

// A value of the key at subKey under key (none: key itself), read under one
// lock with no handle opened for it.
LONG ReadValue(HKEY key, const char16_t* subKey, const char16_t* name, DWORD* type, std::vector<uint8_t>* bytes) {
    REGISTRY_LOCKED(db);
    int64_t id = 0;
    if (const LONG error = FindKey(r, key, SplitPath(subKey), &id)) return error;
    Stmt s(r, "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2");
    if (s.Bind(1, id).Bind(2, ValueName(name)).Step() != SQLITE_ROW) return ERROR_FILE_NOT_FOUND;
    *type = static_cast<DWORD>(s.Int(0));
    *bytes = s.Blob(1);
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegQueryValueEx(HKEY key, const char16_t* name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
    DWORD found = 0;
    std::vector<uint8_t> bytes;
    if (const LONG error = ReadValue(key, nullptr, name, &found, &bytes)) return error;
    if (type) *type = found;
    return CopyOut(bytes, data, size);
}

LONG RegSetValueEx(HKEY key, const char16_t* name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    if (!data && size) return ERROR_INVALID_PARAMETER;
    if (type == REG_DWORD && size != 4) return ERROR_INVALID_PARAMETER;
    REGISTRY_LOCKED(db);
    int64_t id = 0;
    // A value that holds these bytes already is left as it is: registrations
    // set again at every start what their last start set.
    {
        Snapshot look(r);
        if (const LONG error = Resolve(r, key, &id)) return error;
        if (Holds(r, id, name, type, data, size)) return ERROR_SUCCESS;
    }
    Transaction tx(db);
    if (!tx.open()) return ERROR_REGISTRY_IO_FAILED;
    if (const LONG error = Resolve(r, key, &id)) return error;
    if (!Put(r, id, name, type, data, size) || !tx.Commit()) return ERROR_REGISTRY_IO_FAILED;
    return ERROR_SUCCESS;
}

LONG RegDeleteValue(HKEY key, const char16_t* name) {
    REGISTRY_LOCKED(db);
    Transaction tx(db);
    if (!tx.open()) return ERROR_REGISTRY_IO_FAILED;
    int64_t id = 0;
    if (const LONG error = Resolve(r, key, &id)) return error;
    Stmt s(r, "DELETE FROM vals WHERE key = ?1 AND name = ?2");
    if (s.Bind(1, id).Bind(2, ValueName(name)).Step() != SQLITE_DONE) return ERROR_REGISTRY_IO_FAILED;
    if (Sql().changes(db) == 0) return ERROR_FILE_NOT_FOUND;
    return tx.Commit() ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

LONG RegDeleteKey(HKEY key, const char16_t* subKey) {
    const std::vector<std::string> parts = SplitPath(subKey);
    // A key never deletes itself through an empty path, and roots stay.
    if (parts.empty()) return ERROR_ACCESS_DENIED;
    REGISTRY_LOCKED(db);
    Transaction tx(db);
    if (!tx.open()) return ERROR_REGISTRY_IO_FAILED;
    int64_t id = 0;
    if (const LONG error = FindKey(r, key, parts, &id)) return error;
    static constexpr const char* kTree =
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
    Stmt values(db, (std::string(kTree) + "DELETE FROM vals WHERE key IN tree").c_str());
    Stmt keys(db, (std::string(kTree) + "DELETE FROM keys WHERE id IN tree").c_str());
    if (values.Bind(1, id).Step() != SQLITE_DONE || keys.Bind(1, id).Step() != SQLITE_DONE || !tx.Commit())
        return ERROR_REGISTRY_IO_FAILED;
    return ERROR_SUCCESS;
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD*, char16_t* className,
                  DWORD* classLength, FILETIME* lastWrite) {
    REGISTRY_LOCKED(db);
    int64_t id = 0;
    if (const LONG error = Resolve(r, key, &id)) return error;
    Stmt s(r, "SELECT name FROM keys WHERE parent = ?1 ORDER BY name COLLATE NOCASE, name LIMIT 1 OFFSET ?2");
    if (s.Bind(1, id).Bind(2, index).Step() != SQLITE_ROW) return ERROR_NO_MORE_ITEMS;
    if (className && classLength && *classLength) className[0] = 0;
    if (classLength) *classLength = 0;
    if (lastWrite) *lastWrite = FILETIME{};
    return CopyName(s.Text(0), name, nameLength);
}

LONG RegEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD*, DWORD* type, BYTE* data,
                  DWORD* size) {
    REGISTRY_LOCKED(db);
    int64_t id = 0;
    if (const LONG error = Resolve(r, key, &id)) return error;
    Stmt s(r, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid LIMIT 1 OFFSET ?2");
    if (s.Bind(1, id).Bind(2, index).Step() != SQLITE_ROW) return ERROR_NO_MORE_ITEMS;
    if (const LONG error = CopyName(s.Text(0), name, nameLength)) return error;
    if (type) *type = static_cast<DWORD>(s.Int(1));
    return CopyOut(s.Blob(2), data, size);
}

LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* longestSubKey, DWORD* values, DWORD* longestValueName,
                     DWORD* longestValueData) {
    REGISTRY_LOCKED(db);
    int64_t id = 0;
    if (const LONG error = Resolve(r, key, &id)) return error;
    DWORD keyCount = 0, keyLongest = 0, valueCount = 0, nameLongest = 0, dataLongest = 0;
    Stmt k(r, "SELECT name FROM keys WHERE parent = ?1");
    for (k.Bind(1, id); k.Step() == SQLITE_ROW; ++keyCount)
        keyLongest = std::max(keyLongest, static_cast<DWORD>(plat::text::Utf8ToWide(k.Text(0)).size()));
    Stmt v(r, "SELECT name, length(data) FROM vals WHERE key = ?1");
    for (v.Bind(1, id); v.Step() == SQLITE_ROW; ++valueCount) {
        nameLongest = std::max(nameLongest, static_cast<DWORD>(plat::text::Utf8ToWide(v.Text(0)).size()));
        dataLongest = std::max(dataLongest, static_cast<DWORD>(v.Int(1)));
    }
    if (subKeys) *subKeys = keyCount;
    if (longestSubKey) *longestSubKey = keyLongest;
    if (values) *values = valueCount;
    if (longestValueName) *longestValueName = nameLongest;
    if (longestValueData) *longestValueData = dataLongest;
    return ERROR_SUCCESS;
}

namespace plat::registry {

std::string DatabasePath() {
    if (!fs::IsDirectory(kFolder)) fs::CreateDirectory(kFolder);
    const std::optional<std::string> path = fs::ToHostPath(kDatabase);
    return path ? *path : std::string();
}

bool GetString(HKEY key, const char16_t* subKey, const char16_t* name, std::u16string* text) {
    DWORD type = 0;
    std::vector<uint8_t> bytes;
    if (ReadValue(key, subKey, name, &type, &bytes) != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::u16string value(bytes.size() / 2, u'\0');
    std::memcpy(value.data(), bytes.data(), value.size() * 2);
    if (const size_t end = value.find(u'\0'); end != std::u16string::npos) value.resize(end);
    if (text) *text = std::move(value);
    return true;
}

bool GetDword(HKEY key, const char16_t* subKey, const char16_t* name, DWORD* value) {
    DWORD type = 0, number = 0;
    std::vector<uint8_t> bytes;
    if (ReadValue(key, subKey, name, &type, &bytes) != ERROR_SUCCESS || type != REG_DWORD ||
        bytes.size() != sizeof number)
        return false;
    std::memcpy(&number, bytes.data(), sizeof number);
    if (value) *value = number;
    return true;
}

LONG SetValues(HKEY key, const std::vector<Setting>& settings) {
    for (const Setting& setting : settings)
        if (!setting.keyOnly && setting.type == REG_DWORD && setting.data.size() != 4) return ERROR_INVALID_PARAMETER;
    REGISTRY_LOCKED(db);
    std::vector<std::vector<std::string>> paths;
    for (const Setting& setting : settings) paths.push_back(SplitPath(setting.subKey.c_str()));
    const auto size = [](const Setting& setting) { return static_cast<DWORD>(setting.data.size()); };
    int64_t top = 0;
    {
        Snapshot look(r);
        if (const LONG error = Resolve(r, key, &top)) return error;
        bool there = true;
        for (size_t i = 0; there && i < settings.size(); ++i) {
            const Setting& setting = settings[i];
            int64_t id = top;
            there = FindBelow(r, paths[i], &id) &&
                    (setting.keyOnly ||
                     Holds(r, id, setting.name.c_str(), setting.type, setting.data.data(), size(setting)));
        }
        if (there) return ERROR_SUCCESS;
    }
    Transaction tx(db);
    if (!tx.open()) return ERROR_REGISTRY_IO_FAILED;
    if (const LONG error = Resolve(r, key, &top)) return error;
    for (size_t i = 0; i < settings.size(); ++i) {
        const Setting& setting = settings[i];
        int64_t id = top;
        bool created = false;
        if (!CreateBelow(r, paths[i], &id, &created) ||
            (!setting.keyOnly && !Put(r, id, setting.name.c_str(), setting.type, setting.data.data(), size(setting))))
            return ERROR_REGISTRY_IO_FAILED;
    }
    return tx.Commit() ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

Setting StringSetting(std::u16string subKey, std::u16string_view text) {
    const std::u16string terminated(text);
    const auto* bytes = reinterpret_cast<const uint8_t*>(terminated.c_str());
    return Setting{std::move(subKey), u"", REG_SZ, std::vector<uint8_t>(bytes, bytes + (text.size() + 1) * 2), false};
}

LONG ReadValues(HKEY key, const char16_t* subKey, std::vector<Value>* values) {
    if (!values) return ERROR_INVALID_PARAMETER;
    values->clear();
    REGISTRY_LOCKED(db);
    Snapshot look(r);
    int64_t id = 0;
    if (const LONG error = FindKey(r, key, SplitPath(subKey), &id)) return error;
    Stmt s(r, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid");
    s.Bind(1, id);
    int step;
    while ((step = s.Step()) == SQLITE_ROW)
        values->push_back(Value{text::Utf8ToWide(s.Text(0)), static_cast<DWORD>(s.Int(1)), s.Blob(2)});
    if (step == SQLITE_DONE) return ERROR_SUCCESS;
    values->clear();
    return ERROR_REGISTRY_IO_FAILED;
}

namespace {
bool SetValue(HKEY key, const char16_t* subKey, const char16_t* name, DWORD type, const void* data, DWORD size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    return SetValues(key, {Setting{subKey ? subKey : u"", name ? name : u"", type,
                                   std::vector<uint8_t>(bytes, bytes + size), false}}) == ERROR_SUCCESS;
}
}  // namespace

bool SetString(HKEY key, const char16_t* subKey, const char16_t* name, std::u16string_view text) {
    const std::u16string terminated(text);
    return SetValue(key, subKey, name, REG_SZ, terminated.c_str(),
                    static_cast<DWORD>((terminated.size() + 1) * sizeof(char16_t)));
}

bool SetDword(HKEY key, const char16_t* subKey, const char16_t* name, DWORD value) {
    return SetValue(key, subKey, name, REG_DWORD, &value, sizeof value);
}

std::vector<uint8_t> MultiString(const std::vector<std::u16string>& texts) {
    std::u16string joined;
    for (const std::u16string& text : texts) joined.append(text).push_back(u'\0');
    joined.push_back(u'\0');
    std::vector<uint8_t> bytes(joined.size() * sizeof(char16_t));
    std::memcpy(bytes.data(), joined.data(), bytes.size());
    return bytes;
}

std::vector<std::u16string> SplitMultiString(const uint8_t* data, size_t bytes) {
    std::vector<std::u16string> texts;
    std::u16string current;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        char16_t c;
        std::memcpy(&c, data + i, sizeof c);
        if (c != u'\0') {
            current.push_back(c);
            continue;
        }
        if (current.empty()) break;
        texts.push_back(std::move(current));
        current.clear();
    }
    if (!current.empty()) texts.push_back(std::move(current));
    return texts;
}

}  // namespace plat::registry
