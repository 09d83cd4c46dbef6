#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>

#include "tests/core/support/DeviceRoot.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace {

// Syncs of the registry's log by this program.
std::atomic<int> g_logSyncs{0};

void CountLogSync(int fd) {
    char path[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    if (n > 4 && std::string_view(path, size_t(n)).ends_with("-wal")) ++g_logSyncs;
}

}  // namespace

// Every sync of the program passes here first, SQLite's included.
extern "C" int fsync(int fd) {
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    CountLogSync(fd);
    return real(fd);
}
extern "C" int fdatasync(int fd) {
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
    CountLogSync(fd);
    return real(fd);
}

namespace {

class RegistryTest : public DeviceRootTest {
protected:
    HKEY Create(const char16_t* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
        return key;
    }
    // Names by index until the enumeration ends.
    template <typename Enum>
    static std::vector<std::u16string> Names(Enum enumerate) {
        std::vector<std::u16string> names;
        char16_t name[64];
        DWORD length = 64;
        for (DWORD i = 0; enumerate(i, name, &length) == ERROR_SUCCESS; ++i, length = 64) names.emplace_back(name, length);
        return names;
    }
    static std::vector<std::u16string> SubKeys(HKEY key) {
        return Names([key](DWORD i, char16_t* name, DWORD* length) {
            return RegEnumKeyEx(key, i, name, length, nullptr, nullptr, nullptr, nullptr);
        });
    }
    static std::vector<std::u16string> ValueNames(HKEY key) {
        return Names([key](DWORD i, char16_t* name, DWORD* length) {
            return RegEnumValue(key, i, name, length, nullptr, nullptr, nullptr, nullptr);
        });
    }
};

TEST_F(RegistryTest, TypesRoundTripWithWindowsSizeRules) {
    HKEY key = Create(u"Software\\Test");
    const std::u16string text = u"Orvade \u00e9t\u00e9";
    ASSERT_TRUE(plat::registry::SetString(key, nullptr, u"Text", text));
    ASSERT_TRUE(plat::registry::SetDword(key, nullptr, u"Number", 0xDEADBEEF));
    const uint8_t binary[] = {0, 1, 2, 0xFF, 0};
    ASSERT_EQ(RegSetValueEx(key, u"Bytes", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    const std::vector<uint8_t> multi = plat::registry::MultiString({u"one", u"two"});
    ASSERT_EQ(RegSetValueEx(key, u"List", 0, REG_MULTI_SZ, multi.data(), DWORD(multi.size())), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"d"), 4), ERROR_SUCCESS);
    // A DWORD is four bytes.
    EXPECT_EQ(RegSetValueEx(key, u"Bad", 0, REG_DWORD, binary, 3), ERROR_INVALID_PARAMETER);

    std::u16string readText;
    EXPECT_TRUE(plat::registry::GetString(HKEY_LOCAL_MACHINE, u"software\\TEST", u"text", &readText));
    EXPECT_EQ(readText, text);
    DWORD number = 0;
    EXPECT_TRUE(plat::registry::GetDword(key, nullptr, u"NUMBER", &number));
    EXPECT_EQ(number, 0xDEADBEEFu);
    EXPECT_FALSE(plat::registry::GetDword(key, nullptr, u"Text", &number));  // wrong type
    EXPECT_TRUE(plat::registry::GetString(key, u"", u"", &readText));
    EXPECT_EQ(readText, u"d");

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueEx(key, u"Bytes", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, sizeof binary);
    uint8_t small[2];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueEx(key, u"Bytes", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof binary);
    uint8_t back[8] = {};
    size = sizeof back;
    EXPECT_EQ(RegQueryValueEx(key, u"Bytes", nullptr, &type, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(back, binary, sizeof binary), 0);

    uint8_t listBytes[64];
    size = sizeof listBytes;
    EXPECT_EQ(RegQueryValueEx(key, u"List", nullptr, &type, listBytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(plat::registry::SplitMultiString(listBytes, size), (std::vector<std::u16string>{u"one", u"two"}));

    EXPECT_EQ(RegQueryValueEx(key, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValue(key, u"bytes"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(key, u"Bytes"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, NamesKeepTheirCaseAndEnumerateInStableOrder) {
    HKEY key = Create(u"Software\\Order");
    for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"Delta"}) {
        HKEY sub = nullptr;
        ASSERT_EQ(RegCreateKeyEx(key, name, 0, nullptr, 0, 0, nullptr, &sub, nullptr), ERROR_SUCCESS);
        RegCloseKey(sub);
    }
    DWORD disposition = 0;
    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyEx(key, u"ALPHA", 0, nullptr, 0, 0, nullptr, &again, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(again);
    // Keys by name, whatever their case; values in the order first set.
    EXPECT_EQ(SubKeys(key), (std::vector<std::u16string>{u"Alpha", u"beta", u"Delta", u"gamma"}));
    for (const char16_t* name : {u"z", u"A", u"m"}) plat::registry::SetDword(key, nullptr, name, 1);
    plat::registry::SetDword(key, nullptr, u"Z", 2);  // set again: keeps its place and its case
    EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"z", u"A", u"m"}));
    // Read at once: the same order, names and read.
    std::vector<plat::registry::Value> read;
    ASSERT_EQ(plat::registry::ReadValues(HKEY_LOCAL_MACHINE, u"software\\order", &read), ERROR_SUCCESS);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].name, u"z");
    EXPECT_EQ(read[0].type, REG_DWORD);
    EXPECT_EQ(read[0].data, (std::vector<uint8_t>{2, 0, 0, 0}));
    EXPECT_EQ(read[2].name, u"m");
    EXPECT_EQ(plat::registry::ReadValues(key, u"NoSuchKey", &read), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(read.empty());

    DWORD subKeys = 0, values = 0, longest = 0;
    EXPECT_EQ(RegQueryInfoKey(key, &subKeys, &longest, &values, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 4u);
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(longest, 5u);
    char16_t tiny[3];
    DWORD length = 3;
    EXPECT_EQ(RegEnumKeyEx(key, 0, tiny, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    length = 3;
    EXPECT_EQ(RegEnumKeyEx(key, 4, tiny, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeletingAKeyDeletesItsTree) {
    HKEY top = Create(u"Software\\Tree");
    plat::registry::SetDword(top, u"A\\B\\C", u"Deep", 1);
    plat::registry::SetDword(top, u"A", u"Shallow", 1);
    plat::registry::SetDword(top, u"Keep", u"Value", 7);
    HKEY deep = nullptr;
    ASSERT_EQ(RegOpenKeyEx(top, u"a\\b\\c", 0, 0, &deep), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKey(top, u"A"), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(top), (std::vector<std::u16string>{u"Keep"}));
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyEx(top, u"A\\B", 0, 0, &gone), ERROR_FILE_NOT_FOUND);
    // A handle still open on a deleted key reports it.
    DWORD value = 0, size = 4;
    EXPECT_EQ(RegQueryValueEx(deep, u"Deep", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_KEY_DELETED);
    // Creating the path again starts empty.
    EXPECT_FALSE(plat::registry::GetDword(top, u"A\\B\\C", u"Deep", &value));
    EXPECT_TRUE(plat::registry::GetDword(top, u"Keep", u"Value", &value));
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(RegDeleteKey(top, u"A"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(top, u""), ERROR_ACCESS_DENIED);
    RegCloseKey(deep);
    RegCloseKey(top);
    EXPECT_EQ(RegCloseKey(top), ERROR_INVALID_HANDLE);
}

// Registrations set again at every start what the last one set: what is
// there already is not written again, and anything that differs is.
TEST_F(RegistryTest, SettingWhatIsThereWritesNothingAndEveryDifferenceIsWritten) {
    HKEY key = Create(u"Software\\Same");
    ASSERT_TRUE(plat::registry::SetString(key, nullptr, u"Path", u"a.dll"));
    const uint8_t one[] = {1, 0};
    ASSERT_EQ(RegSetValueEx(key, u"Bytes", 0, REG_BINARY, one, 2), ERROR_SUCCESS);
    // The log grows with every commit (nothing here is enough for a checkpoint).
    const auto logged = [&] { return std::filesystem::file_size(Host("\\Windows\\Registry.db-wal")); };
    const uintmax_t before = logged();
    EXPECT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, u"software\\SAME", u"PATH", u"a.dll"));
    EXPECT_EQ(RegSetValueEx(key, u"bytes", 0, REG_BINARY, one, 2), ERROR_SUCCESS);
    HKEY again = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Same", 0, nullptr, 0, 0, nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(again);
    EXPECT_EQ(logged(), before);
    EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"Path", u"Bytes"}));

    const std::vector<uint8_t> path(reinterpret_cast<const uint8_t*>(u"a.dll"),
                                    reinterpret_cast<const uint8_t*>(u"a.dll") + 12);
    const struct {
        const char16_t* name;
        DWORD type;
        std::vector<uint8_t> data;
    } changes[] = {
        {u"Path", REG_SZ, {'b', 0, 0, 0}},       // other bytes
        {u"Path", REG_EXPAND_SZ, {'b', 0, 0, 0}},  // the same bytes of another type
        {u"Bytes", REG_BINARY, {1}},             // the same bytes but the last
        {u"Bytes", REG_BINARY, {}},              // none
        {u"New", REG_SZ, path},                  // a value that was not there
    };
    for (const auto& change : changes) {
        const uintmax_t was = logged();
        ASSERT_EQ(RegSetValueEx(key, change.name, 0, change.type, change.data.data(), DWORD(change.data.size())),
                  ERROR_SUCCESS);
        DWORD type = 0;
        uint8_t back[16];
        DWORD size = sizeof back;
        ASSERT_EQ(RegQueryValueEx(key, change.name, nullptr, &type, back, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, change.type);
        EXPECT_EQ(std::vector<uint8_t>(back, back + size), change.data);
        EXPECT_GT(logged(), was);
    }
    RegCloseKey(key);
}

// A registration is written whole wherever any of it differs, and checked
// before anything of it is written.
// A change the call reported done survives a power cut: the log is synced
// before the call returns, not at the next checkpoint.
TEST_F(RegistryTest, EveryAcknowledgedChangeIsOnDiskWhenTheCallReturns) {
    HKEY key = Create(u"Software\\Durable");
    ASSERT_TRUE(plat::registry::SetDword(key, nullptr, u"Kept", 1));
    struct Case {
        const char* what;
        std::function<bool()> change;
    };
    const Case cases[] = {
        {"a value set", [&] { return plat::registry::SetDword(key, nullptr, u"Kept", 2); }},
        {"a new value", [&] { return plat::registry::SetString(key, nullptr, u"Name", u"x"); }},
        {"a value deleted", [&] { return RegDeleteValue(key, u"Name") == ERROR_SUCCESS; }},
        {"a registration",
         [] {
             return plat::registry::SetValues(HKEY_LOCAL_MACHINE,
                                              {plat::registry::StringSetting(u"Software\\Durable\\Sub", u"v")}) ==
                    ERROR_SUCCESS;
         }},
        {"a key deleted", [] { return RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\Durable\\Sub") == ERROR_SUCCESS; }},
    };
    for (const Case& c : cases) {
        const int before = g_logSyncs;
        ASSERT_TRUE(c.change()) << c.what;
        EXPECT_GT(g_logSyncs, before) << c.what;
    }
    // Nothing changed, nothing written.
    const int before = g_logSyncs;
    ASSERT_TRUE(plat::registry::SetDword(key, nullptr, u"Kept", 2));
    EXPECT_EQ(g_logSyncs, before);
    RegCloseKey(key);
}

TEST_F(RegistryTest, ARegistrationIsMadeWholeAgainWhereAnyOfItDiffers) {
    using plat::registry::Setting;
    const std::vector<Setting> registration = {
        plat::registry::StringSetting(u"CLSID\\{X}", u"Class"),
        plat::registry::StringSetting(u"CLSID\\{X}\\InprocServer32", u"a.dll"),
        Setting{u"CLSID\\{X}\\Control", u"", REG_NONE, {}, true},
        Setting{u"CLSID\\{X}", u"Flags", REG_DWORD, {1, 0, 0, 0}, false},
    };
    const auto whole = [] {
        std::u16string text;
        DWORD flags = 0;
        HKEY control = nullptr;
        bool ok = plat::registry::GetString(HKEY_CLASSES_ROOT, u"CLSID\\{X}", nullptr, &text) && text == u"Class";
        ok = ok && plat::registry::GetString(HKEY_CLASSES_ROOT, u"clsid\\{x}\\InprocServer32", u"", &text) &&
             text == u"a.dll";
        ok = ok && plat::registry::GetDword(HKEY_CLASSES_ROOT, u"CLSID\\{X}", u"Flags", &flags) && flags == 1;
        ok = ok && RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\Control", 0, 0, &control) == ERROR_SUCCESS;
        RegCloseKey(control);
        return ok;
    };
    ASSERT_EQ(plat::registry::SetValues(HKEY_CLASSES_ROOT, registration), ERROR_SUCCESS);
    EXPECT_TRUE(whole());
    ASSERT_TRUE(plat::registry::SetString(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32", nullptr, u"b.dll"));
    ASSERT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\Control"), ERROR_SUCCESS);
    ASSERT_EQ(plat::registry::SetValues(HKEY_CLASSES_ROOT, registration), ERROR_SUCCESS);
    EXPECT_TRUE(whole());
    // A number of other than four bytes: nothing of the registration is written.
    std::vector<Setting> bad = {plat::registry::StringSetting(u"CLSID\\{Y}", u"Other")};
    bad.push_back(Setting{u"CLSID\\{Y}", u"Flags", REG_DWORD, {1}, false});
    EXPECT_EQ(plat::registry::SetValues(HKEY_CLASSES_ROOT, bad), ERROR_INVALID_PARAMETER);
    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{Y}", 0, 0, &other), ERROR_FILE_NOT_FOUND);
}

// The look that finds nothing to write sees what another process committed.
TEST_F(RegistryTest, WhatAnotherProcessChangedIsReadAndSetBack) {
    const auto setPath = [](const char16_t* text) {
        return plat::registry::SetString(HKEY_LOCAL_MACHINE, u"Software\\Class\\Server", u"Path", text);
    };
    ASSERT_TRUE(setPath(u"ours.dll"));
    const auto inChild = [](auto work) {
        const pid_t child = fork();
        if (child == 0) _exit(work() ? 0 : 1);
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    ASSERT_TRUE(inChild([&] {
        return setPath(u"theirs.dll") &&
               RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\Class\\Server") == ERROR_SUCCESS && setPath(u"theirs.dll");
    }));
    std::u16string text;
    EXPECT_TRUE(plat::registry::GetString(HKEY_LOCAL_MACHINE, u"Software\\Class\\Server", u"Path", &text));
    EXPECT_EQ(text, u"theirs.dll");
    ASSERT_TRUE(setPath(u"ours.dll"));
    EXPECT_TRUE(inChild([] {
        std::u16string seen;
        return plat::registry::GetString(HKEY_LOCAL_MACHINE, u"Software\\Class\\Server", u"Path", &seen) &&
               seen == u"ours.dll";
    }));
    // A key another process deleted is made again.
    ASSERT_TRUE(inChild([] { return RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\Class") == ERROR_SUCCESS; }));
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Class\\Server", 0, nullptr, 0, 0, nullptr, &key,
                             &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_TRUE(inChild([] {
        HKEY made = nullptr;
        return RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Class\\Server", 0, 0, &made) == ERROR_SUCCESS;
    }));
    RegCloseKey(key);
}

std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs SQL on a database file through the system's shared SQLite.
bool RunSql(const std::string& path, const std::string& sql) {
    void* library = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    auto open = reinterpret_cast<decltype(&sqlite3_open)>(dlsym(library, "sqlite3_open"));
    auto exec = reinterpret_cast<decltype(&sqlite3_exec)>(dlsym(library, "sqlite3_exec"));
    auto close = reinterpret_cast<decltype(&sqlite3_close)>(dlsym(library, "sqlite3_close"));
    sqlite3* db = nullptr;
    const bool ok = open(path.c_str(), &db) == SQLITE_OK && exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    close(db);
    return ok;
}

// A database a host stored in the registry's place is refused, unchanged,
// whatever its schema adds to ours.
TEST_F(RegistryTest, ADatabaseWhoseSchemaIsNotOursIsRefused) {
    const std::string ours =
        "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
        " UNIQUE(parent, name));"
        "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL,"
        " data BLOB NOT NULL, PRIMARY KEY(key, name));";
    const char* foreign[] = {
        "CREATE TRIGGER t AFTER INSERT ON keys BEGIN INSERT INTO vals VALUES(new.id, 'x', 4, x'01000000'); END;",
        "CREATE VIEW v AS SELECT * FROM keys;",
        "CREATE TABLE extra(a);",
        "CREATE INDEX i ON vals(type);",
    };
    for (const char* extra : foreign) {
        SCOPED_TRACE(extra);
        Put("\\Windows\\Registry.db", "");
        std::filesystem::remove(Host("\\Windows\\Registry.db"));
        ASSERT_TRUE(RunSql(plat::registry::DatabasePath(), ours + extra));
        const std::string before = Read(Host("\\Windows\\Registry.db"));
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\X", 0, nullptr, 0, 0, nullptr, &key, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &key), ERROR_BADDB);
        EXPECT_EQ(Read(Host("\\Windows\\Registry.db")), before);
    }
    // Not a database at all.
    Put("\\Windows\\Registry.db", "plain text, not a database");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &key), ERROR_BADDB);
    // A database of ours is used.
    std::filesystem::remove(Host("\\Windows\\Registry.db"));
    ASSERT_TRUE(RunSql(plat::registry::DatabasePath(), ours));
    key = Create(u"Software\\Ours");
    EXPECT_NE(key, nullptr);
    RegCloseKey(key);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 150;
    HKEY key = Create(u"Software\\Shared");
    RegCloseKey(key);
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            bool ok = true;
            for (int i = 0; i < kWrites; ++i) {
                const std::u16string name = plat::text::Utf8ToWide("p" + std::to_string(child) + "_" + std::to_string(i));
                ok = plat::registry::SetDword(HKEY_LOCAL_MACHINE, u"Software\\Shared", name.c_str(), DWORD(i)) && ok;
                // Both also update one shared counter key's value.
                ok = plat::registry::SetDword(HKEY_LOCAL_MACHINE, u"Software\\Shared\\Last", u"Writer", DWORD(child)) &&
                     ok;
            }
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Shared", 0, 0, &key), ERROR_SUCCESS);
    DWORD values = 0;
    EXPECT_EQ(RegQueryInfoKey(key, nullptr, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(values, DWORD(2 * kWrites));
    for (int child = 0; child < 2; ++child) {
        DWORD value = 0;
        const std::u16string name = plat::text::Utf8ToWide("p" + std::to_string(child) + "_" + std::to_string(kWrites - 1));
        EXPECT_TRUE(plat::registry::GetDword(key, nullptr, name.c_str(), &value));
        EXPECT_EQ(value, DWORD(kWrites - 1));
    }
    RegCloseKey(key);
}

}  // namespace
