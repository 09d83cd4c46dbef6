#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/core/support/DeviceRoot.h"
#include "platform/Library.h"
#include "platform/Text.h"
#include "platform/exports/ExportSet.h"

namespace fsys = std::filesystem;

// The program exports a function of the same name as the fixtures' own: a
// library must still call its own.
ORVADE_EXPORT int Helper() { return 2; }

namespace {

class LoaderTest : public DeviceRootTest {
protected:
    void TearDown() override {
        plat::fs::SetProgramFolder(u"");
        DeviceRootTest::TearDown();
    }
    // Copies a fixture library into a device folder under a name of our own.
    void PutFixture(const std::string& fixture, const std::string& devicePath) {
        fsys::create_directories(Host(devicePath).parent_path());
        fsys::copy_file(fsys::path(FIXTURE_DIR) / (fixture + ".dll"), Host(devicePath));
    }
};

using IntFn = int (*)();

TEST_F(LoaderTest, LibraryCallsItsOwnExportsAndExportsOnlyItsSet) {
    PutFixture("SelfBound", "\\Ext\\SelfBound.dll");
    PutFixture("OtherHelper", "\\Ext\\OtherHelper.dll");
    HMODULE self = LoadLibrary(u"\\Ext\\SelfBound.dll");
    HMODULE other = LoadLibrary(u"\\ext\\OTHERHELPER.DLL");  // found without regard to case
    ASSERT_NE(self, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(GetProc<IntFn>(self, "CallsOwnHelper")(), 1);
    EXPECT_EQ(GetProc<IntFn>(other, "Helper")(), 3);
    EXPECT_EQ(Helper(), 2);
    // Exports of its dependencies and hidden functions are not the library's.
    EXPECT_EQ(GetProcAddress(self, "malloc"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(other, "CallsOwnHelper"), nullptr);
    EXPECT_TRUE(FreeLibrary(self));
    EXPECT_TRUE(FreeLibrary(other));
}

TEST_F(LoaderTest, LinksAreNeverLoadedAndALibraryCanBeLoadedAgain) {
    // A link in the device root to a library outside it is not a library.
    fsys::create_directories(Host("\\Ext"));
    fsys::create_symlink(fsys::path(FIXTURE_DIR) / "OtherHelper.dll", Host("\\Ext\\Link.dll"));
    fsys::create_directories(Host("\\Program Files\\Orvade Client"));
    fsys::create_symlink(fsys::path(FIXTURE_DIR) / "OtherHelper.dll", Host("\\Program Files\\Orvade Client\\Linked.dll"));
    EXPECT_EQ(LoadLibrary(u"\\Ext\\Link.dll"), nullptr);
    EXPECT_EQ(LoadLibrary(u"Linked.dll"), nullptr);
    // Two libraries loaded, freed and loaded again each stay themselves.
    PutFixture("SelfBound", "\\Ext\\SelfBound.dll");
    PutFixture("OtherHelper", "\\Ext\\OtherHelper.dll");
    for (int round = 0; round < 3; ++round) {
        HMODULE self = LoadLibrary(u"\\Ext\\SelfBound.dll");
        HMODULE again = LoadLibrary(u"\\Ext\\SelfBound.dll");
        HMODULE other = LoadLibrary(u"\\Ext\\OtherHelper.dll");
        ASSERT_NE(self, nullptr);
        EXPECT_EQ(again, self);
        ASSERT_NE(other, nullptr);
        EXPECT_NE(other, self);
        EXPECT_EQ(GetProc<IntFn>(other, "Helper")(), 3);
        EXPECT_TRUE(FreeLibrary(again));
        EXPECT_TRUE(FreeLibrary(self));
        EXPECT_TRUE(FreeLibrary(other));
    }
}

// The open descriptors of this process.
size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(fsys::directory_iterator("/proc/self/fd"), fsys::directory_iterator()));
}

TEST_F(LoaderTest, LoadingALoadedLibraryAgainKeepsNoDescriptor) {
    PutFixture("SelfBound", "\\Ext\\SelfBound.dll");
    HMODULE held = LoadLibrary(u"\\Ext\\SelfBound.dll");
    ASSERT_NE(held, nullptr);
    const size_t before = OpenDescriptors();
    for (int i = 0; i < 50; ++i) {
        HMODULE again = LoadLibrary(u"\\Ext\\SelfBound.dll");
        ASSERT_EQ(again, held);
        EXPECT_TRUE(FreeLibrary(again));
    }
    EXPECT_EQ(OpenDescriptors(), before);
    // Held twice, freed in either order: the library stays callable until the last free.
    HMODULE second = LoadLibrary(u"\\Ext\\SelfBound.dll");
    EXPECT_TRUE(FreeLibrary(held));
    EXPECT_EQ(GetProc<IntFn>(second, "CallsOwnHelper")(), 1);
    EXPECT_EQ(LoadLibrary(u"\\Ext\\SelfBound.dll"), second);
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_LT(OpenDescriptors(), before);
}

// The loader unloads a library freed from another's destructors only after
// that other's unload ends: its descriptor closes then all the same.
TEST_F(LoaderTest, ALibraryFreedWhileAnotherUnloadsKeepsNoDescriptor) {
    PutFixture("SelfBound", "\\Ext\\SelfBound.dll");
    PutFixture("Caller", "\\Ext\\Caller.dll");
    const size_t before = OpenDescriptors();
    for (int i = 0; i < 3; ++i) {
        HMODULE caller = LoadLibrary(u"\\Ext\\Caller.dll");
        ASSERT_NE(caller, nullptr);
        using HoldFn = BOOL (*)(const char16_t*);
        ASSERT_TRUE(GetProc<HoldFn>(caller, "HoldUntilUnloaded")(u"\\Ext\\SelfBound.dll"));
        EXPECT_TRUE(FreeLibrary(caller));
        EXPECT_EQ(OpenDescriptors(), before);
    }
    // Loaded afresh under whatever descriptor it gets, it is itself.
    HMODULE self = LoadLibrary(u"\\Ext\\SelfBound.dll");
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(GetProc<IntFn>(self, "CallsOwnHelper")(), 1);
    EXPECT_TRUE(FreeLibrary(self));
}

TEST_F(LoaderTest, FailedLoadsSetTheLastError) {
    Put("\\Ext\\Text.dll", "not a library");
    Put("\\Ext\\Empty.dll", "");
    struct Case {
        const char16_t* name;
        DWORD error;
    } cases[] = {
        {u"\\Ext\\Missing.dll", ERROR_MOD_NOT_FOUND},
        {u"Missing.dll", ERROR_MOD_NOT_FOUND},
        {u"\\Ext", ERROR_MOD_NOT_FOUND},  // a folder
        {u"", ERROR_MOD_NOT_FOUND},
        {u"..\\Ext\\Text.dll", ERROR_MOD_NOT_FOUND},
        {u"../etc/x.dll", ERROR_MOD_NOT_FOUND},
        {u"\\Ext\\Text.dll", ERROR_BAD_EXE_FORMAT},
        {u"\\Ext\\Empty.dll", ERROR_BAD_EXE_FORMAT},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(LoadLibrary(c.name), nullptr);
        EXPECT_EQ(GetLastError(), c.error) << plat::text::WideToUtf8(c.name);
    }
}

TEST_F(LoaderTest, BareNameIsFoundInTheProgramFolderThenBesideTheCaller) {
    const fsys::path program = root_ / "Program Files" / "Orvade Client";
    const fsys::path libs = root_ / "machine-libs";
    fsys::create_directories(program);
    fsys::create_directories(libs);
    fsys::copy_file(fsys::path(FIXTURE_DIR) / "OtherHelper.dll", program / "Shared.DLL");
    fsys::copy_file(fsys::path(FIXTURE_DIR) / "SelfBound.dll", libs / "Beside.dll");
    fsys::copy_file(fsys::path(FIXTURE_DIR) / "Caller.dll", libs / "Caller.dll");

    HMODULE shared = LoadLibrary(u"shared.dll");
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(GetProc<IntFn>(shared, "Helper")(), 3);
    // The program itself has nothing beside it by that name.
    EXPECT_EQ(LoadLibrary(u"Beside.dll"), nullptr);

    HMODULE caller = dlopen((libs / "Caller.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(caller, nullptr);
    using LoadFn = HMODULE (*)(const char16_t*);
    HMODULE beside = GetProc<LoadFn>(caller, "LoadByName")(u"BESIDE.dll");
    ASSERT_NE(beside, nullptr);
    EXPECT_EQ(GetProc<IntFn>(beside, "CallsOwnHelper")(), 1);
    FreeLibrary(beside);
    FreeLibrary(caller);
    FreeLibrary(shared);
}

TEST_F(LoaderTest, FolderScanMatchesDllWithoutRegardToCaseSortedByName) {
    Put("\\Ext\\b.DLL", "");
    Put("\\Ext\\A.dll", "");
    Put("\\Ext\\c.Dll", "");
    Put("\\Ext\\notes.txt", "");
    Put("\\Ext\\x.dllx", "");
    fsys::create_directories(Host("\\Ext\\folder.dll"));
    EXPECT_EQ(FindLibraries(u"\\Ext"), (std::vector<std::u16string>{u"A.dll", u"b.DLL", u"c.Dll"}));
    EXPECT_EQ(FindLibraries(u"\\ext\\"), FindLibraries(u"\\Ext"));
    EXPECT_TRUE(FindLibraries(u"\\Nowhere").empty());
}

}  // namespace
