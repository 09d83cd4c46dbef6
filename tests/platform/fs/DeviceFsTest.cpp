#include <gtest/gtest.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <ftw.h>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/DeviceFs.h"
#include "platform/Text.h"

using namespace plat::fs;

namespace {

// The folders this program synced, each with the names it held then.
struct SyncedFolder {
    ino_t inode;
    std::set<std::string> names;
};
std::mutex g_syncedMutex;
std::vector<SyncedFolder> g_synced;

}  // namespace

// Every fsync of the program passes here first.
extern "C" int fsync(int fd) {
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        SyncedFolder synced{st.st_ino, {}};
        if (DIR* d = opendir(("/proc/self/fd/" + std::to_string(fd)).c_str())) {
            while (const dirent* e = readdir(d)) synced.names.insert(e->d_name);
            closedir(d);
        }
        std::lock_guard<std::mutex> lock(g_syncedMutex);
        g_synced.push_back(std::move(synced));
    }
    return real(fd);
}

namespace {

std::string MakeTempDir() {
    char tmpl[] = "/tmp/orvade-fs-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    return dir ? dir : "";
}

void RemoveAll(const std::string& dir) {
    nftw(dir.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
}

void WriteHost(const std::string& path, const std::string& text = "x") { std::ofstream(path) << text; }

bool HostExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::u16string> Names(const std::vector<FindData>& found) {
    std::vector<std::u16string> names;
    for (const auto& f : found) names.push_back(f.name);
    return names;
}

class DeviceFsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = MakeTempDir();
        outside = MakeTempDir();
        ASSERT_FALSE(root.empty());
        ASSERT_FALSE(outside.empty());
        SetDeviceRoot(root);
        SetProgramFolder(u"");
    }
    void TearDown() override {
        SetDeviceRoot("");
        SetProgramFolder(u"");
        RemoveAll(root);
        RemoveAll(outside);
    }
    std::string root, outside;
};

TEST(Wildcard, WindowsRules) {
    struct Case { const char16_t* pattern; const char16_t* name; bool match; };
    const Case cases[] = {
        {u"*", u"abc", true},
        {u"*", u"a.b.c", true},
        {u"*.*", u"readme", true},
        {u"*.*", u"a.txt", true},
        {u"*.*", u".profile", true},
        {u"*.txt", u"A.TXT", true},
        {u"*.txt", u"a.txt.bak", false},
        {u"*.txt", u"txt", false},
        {u"a?c", u"abc", true},
        {u"a?c", u"ac", false},
        {u"a?c", u"abbc", false},
        {u"?", u"\u00E9", true},
        {u"\u00C9T\u00C9.*", u"\u00E9t\u00E9.doc", true},
        {u"a*b*c", u"aXXbYYbZc", true},
        {u"a*b*c", u"aXXbYYbZ", false},
        {u"*a", u"banana", true},
        {u"a.*", u"a", true},
        {u"a.*", u"ab", false},
        {u"*.", u"readme", true},
        {u"*.", u"a.txt", false},
        {u"a.b.", u"a.b", true},
        {u"log.txt", u"LOG.TXT", true},
        {u"log.txt", u"log.txt2", false},
        {u"", u"a", false},
        {u"*", u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match)
            << plat::text::WideToUtf8(c.pattern) << " vs " << plat::text::WideToUtf8(c.name);
}

TEST(SafePaths, DotComponentsSlashAndNulAreRefused) {
    struct Case { std::u16string path; bool safe; };
    const Case cases[] = {
        {u"\\Temp\\a.txt", true},
        {u"\\Temp\\...", true},
        {u"\\Temp\\.hidden", true},
        {u"\\a\\..\\..\\etc", false},
        {u"\\Temp\\.", false},
        {u"..\\x", false},
        {u"\\..", false},
        {u"\\Temp\\a/b", false},
        {std::u16string(u"\\Temp\\a\0b", 9), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSafePath(c.path), c.safe) << plat::text::WideToUtf8(c.path);
        if (!c.safe) {
            EXPECT_FALSE(ToHostPath(c.path)) << plat::text::WideToUtf8(c.path);
        }
    }
    EXPECT_TRUE(IsSafeName(u"a.txt"));
    EXPECT_FALSE(IsSafeName(u""));
    EXPECT_FALSE(IsSafeName(u"a\\b"));
    EXPECT_FALSE(IsSafeName(u".."));
    EXPECT_FALSE(IsSafeName(u"."));
}

TEST_F(DeviceFsTest, PathsMapUnderTheRootAndRelativePathsAreRefused) {
    EXPECT_EQ(ToHostPath(u"\\"), root);
    EXPECT_EQ(ToHostPath(u"\\New\\\\File.TXT\\"), root + "/New/File.TXT");
    EXPECT_EQ(ToHostPath(u"\\Caf\u00E9"), root + "/Caf\xC3\xA9");
    EXPECT_FALSE(ToHostPath(u"Temp\\a.txt"));
    EXPECT_FALSE(ToHostPath(u""));
    EXPECT_FALSE(OpenFile(u"a.txt", "wb"));
    std::u16string lone = u"\\a";
    lone.push_back(char16_t(0xD800));
    EXPECT_FALSE(ToHostPath(lone));
}

TEST_F(DeviceFsTest, DeviceRootIsCreatedWhenFirstNeeded) {
    std::string nested = root + "/deep/er";
    SetDeviceRoot(nested + "/");
    EXPECT_EQ(DeviceRoot(), nested);
    EXPECT_FALSE(HostExists(nested));
    EXPECT_EQ(TempFolder(), u"\\Temp");
    EXPECT_TRUE(HostExists(nested + "/Temp"));
}

TEST_F(DeviceFsTest, ExistingNamesAreFoundWithoutRegardToCaseNewOnesCreatedAsGiven) {
    mkdir((root + "/Data").c_str(), 0777);
    WriteHost(root + "/Data/Report.TXT", "hello");

    EXPECT_EQ(ToHostPath(u"\\DATA\\report.txt"), root + "/Data/Report.TXT");
    FILE* f = OpenFile(u"\\data\\REPORT.txt", "rb");
    ASSERT_TRUE(f);
    char buf[8] = {};
    EXPECT_EQ(fread(buf, 1, sizeof buf, f), 5u);
    fclose(f);
    EXPECT_STREQ(buf, "hello");

    f = OpenFile(u"\\dAtA\\New File.Txt", "wb");
    ASSERT_TRUE(f);
    fclose(f);
    EXPECT_TRUE(HostExists(root + "/Data/New File.Txt"));
    EXPECT_TRUE(CreateDirectory(u"\\data\\Sub"));
    EXPECT_TRUE(HostExists(root + "/Data/Sub"));
    EXPECT_FALSE(CreateDirectory(u"\\DATA\\sub"));  // already there
    EXPECT_FALSE(CreateDirectory(u"\\Missing\\Sub"));

    auto data = GetFileData(u"\\DATA\\REPORT.TXT");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->name, u"Report.TXT");
    EXPECT_EQ(data->size, 5u);
    EXPECT_FALSE(data->isDirectory);

    // Several names differ only by case: the exact one first, else a fixed choice.
    WriteHost(root + "/Data/ab");
    WriteHost(root + "/Data/aB");
    WriteHost(root + "/Data/Ab");
    EXPECT_EQ(ToHostPath(u"\\Data\\aB"), root + "/Data/aB");
    EXPECT_EQ(ToHostPath(u"\\Data\\AB"), root + "/Data/Ab");
    mkdir((root + "/\xC3\x89t\xC3\xA9").c_str(), 0777);  // non-ASCII case folding
    EXPECT_EQ(ToHostPath(u"\\\u00E9T\u00C9\\x"), root + "/\xC3\x89t\xC3\xA9/x");
}

TEST_F(DeviceFsTest, EnumerationIsSortedFilteredAndNeverListsDotEntries) {
    mkdir((root + "/Dir").c_str(), 0777);
    for (const char* n : {"b.txt", "A.txt", "c", "a.TXT", "B2.log", ".hidden"}) WriteHost(root + "/Dir/" + n);
    mkdir((root + "/Dir/Sub").c_str(), 0777);
    WriteHost(root + "/Dir/bad\xFFname");

    auto all = FindFiles(u"\\dir\\*.*");
    EXPECT_EQ(Names(all), (std::vector<std::u16string>{u".hidden", u"A.txt", u"a.TXT", u"b.txt", u"B2.log", u"c",
                                                       u"Sub"}));
    EXPECT_EQ(Names(FindFiles(u"\\Dir\\*.txt")), (std::vector<std::u16string>{u"A.txt", u"a.TXT", u"b.txt"}));
    EXPECT_EQ(Names(FindFiles(u"\\Dir\\*.")), (std::vector<std::u16string>{u"c", u"Sub"}));
    EXPECT_EQ(Names(FindFiles(u"\\Dir\\B2.LOG")), (std::vector<std::u16string>{u"B2.log"}));
    auto sub = FindFiles(u"\\Dir\\sub");
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_TRUE(sub[0].isDirectory);
    EXPECT_EQ(sub[0].size, 0u);
    EXPECT_EQ(Names(FindFiles(u"\\*")), (std::vector<std::u16string>{u"Dir"}));

    EXPECT_TRUE(FindFiles(u"\\Dir\\..").empty());
    EXPECT_TRUE(FindFiles(u"\\Dir\\.").empty());
    EXPECT_TRUE(FindFiles(u"\\Dir\\").empty());
    EXPECT_TRUE(FindFiles(u"\\Missing\\*").empty());
    EXPECT_TRUE(FindFiles(u"*").empty());
}

// A change another program makes in the clock tick of the folder's last
// change is seen once that tick is over (a file system may stamp changes
// with a clock of a few milliseconds).
void NextTick() { usleep(20000); }

std::u16string Upper(std::u16string s) {
    for (char16_t& c : s) c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    return s;
}

std::u16string Number(int i) {
    std::string n = std::to_string(i);
    return std::u16string(n.begin(), n.end());
}

// The names in the host folder, as the listing gives them.
std::vector<std::u16string> HostNames(const std::string& dir) {
    std::vector<std::u16string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(plat::text::Utf8ToWide(e->d_name));
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(DeviceFsTest, NamesInAnotherCaseFollowChangesFromOutside) {
    mkdir((root + "/D").c_str(), 0777);
    NextTick();
    EXPECT_FALSE(Exists(u"\\D\\A.TXT"));  // the folder's names are read here
    WriteHost(root + "/D/a.txt");
    EXPECT_EQ(ToHostPath(u"\\d\\A.TXT"), root + "/D/a.txt");
    NextTick();
    ASSERT_EQ(rename((root + "/D/a.txt").c_str(), (root + "/D/B.txt").c_str()), 0);
    EXPECT_FALSE(Exists(u"\\D\\A.TXT"));
    NextTick();
    EXPECT_TRUE(Exists(u"\\D\\b.TXT"));
    ASSERT_EQ(unlink((root + "/D/B.txt").c_str()), 0);
    EXPECT_FALSE(Exists(u"\\D\\b.txt"));
    // A folder replaced by another of the same name has names of its own.
    mkdir((root + "/D/Sub").c_str(), 0777);
    WriteHost(root + "/D/Sub/old.txt");
    EXPECT_TRUE(Exists(u"\\D\\SUB\\OLD.TXT"));
    ASSERT_EQ(rename((root + "/D/Sub").c_str(), (root + "/Gone").c_str()), 0);
    mkdir((root + "/D/Sub").c_str(), 0777);
    WriteHost(root + "/D/Sub/new.txt");
    NextTick();
    EXPECT_FALSE(Exists(u"\\D\\SUB\\OLD.TXT"));
    EXPECT_TRUE(Exists(u"\\D\\SUB\\NEW.TXT"));
}

TEST_F(DeviceFsTest, NamesInAnotherCaseFollowChangesMadeHereAtOnce) {
    ASSERT_TRUE(CreateDirectory(u"\\D"));
    for (int i = 0; i < 20; ++i) {
        const std::u16string name = u"\\D\\file" + Number(i) + u".dat";
        ASSERT_TRUE(WriteFile(name, "x", 1));
        EXPECT_TRUE(Exists(Upper(name))) << i;
    }
    EXPECT_TRUE(DeleteFile(u"\\D\\FILE0.DAT"));
    EXPECT_FALSE(Exists(u"\\D\\FILE0.DAT"));
    EXPECT_TRUE(MoveFile(u"\\D\\FILE1.DAT", u"\\D\\Moved.dat"));
    EXPECT_FALSE(Exists(u"\\D\\FILE1.DAT"));
    EXPECT_TRUE(Exists(u"\\D\\MOVED.DAT"));
    EXPECT_TRUE(CopyFile(u"\\D\\MOVED.DAT", u"\\D\\Copy.dat", true));
    EXPECT_TRUE(Exists(u"\\D\\COPY.DAT"));
    EXPECT_TRUE(CreateDirectory(u"\\D\\Sub"));
    EXPECT_TRUE(IsDirectory(u"\\D\\SUB"));
    EXPECT_TRUE(MoveFile(u"\\D\\COPY.DAT", u"\\D\\SUB\\Copy.dat"));
    EXPECT_TRUE(Exists(u"\\D\\SUB\\COPY.DAT"));
    EXPECT_FALSE(Exists(u"\\D\\COPY.DAT"));
    EXPECT_TRUE(RemoveTree(u"\\D\\SUB"));
    EXPECT_FALSE(Exists(u"\\D\\SUB"));
    auto temp = CreateTempFile(u"\\D");
    ASSERT_TRUE(temp);
    EXPECT_TRUE(Exists(Upper(*temp)));
    EXPECT_TRUE(ReplaceFile(Upper(*temp), u"\\D\\Replaced.dat"));
    EXPECT_FALSE(Exists(Upper(*temp)));
    EXPECT_TRUE(Exists(u"\\D\\REPLACED.DAT"));
    FILE* f = OpenFile(u"\\D\\Opened.dat", "wb");
    ASSERT_TRUE(f);
    fclose(f);
    EXPECT_TRUE(Exists(u"\\D\\OPENED.DAT"));
    // A rename onto another link of the same file leaves both names.
    ASSERT_EQ(link((root + "/D/Opened.dat").c_str(), (root + "/D/Linked.dat").c_str()), 0);
    NextTick();
    EXPECT_TRUE(Exists(u"\\D\\LINKED.DAT"));
    EXPECT_TRUE(ReplaceFile(u"\\D\\opened.dat", u"\\D\\linked.dat"));
    EXPECT_TRUE(Exists(u"\\D\\OPENED.DAT"));
    EXPECT_TRUE(Exists(u"\\D\\LINKED.DAT"));
    // The listing agrees with the folder.
    std::vector<std::u16string> listed = Names(FindFiles(u"\\D\\*"));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, HostNames(root + "/D"));
}

TEST_F(DeviceFsTest, OneNameWithoutWildcardsFindsItInEveryCase) {
    mkdir((root + "/D").c_str(), 0777);
    for (const char* n : {"a.txt", "A.TXT", "a.txtx", "b.txt"}) WriteHost(root + "/D/" + n);
    mkdir((root + "/D/A.Txt").c_str(), 0777);
    auto found = FindFiles(u"\\D\\a.TXT");
    EXPECT_EQ(Names(found), (std::vector<std::u16string>{u"A.TXT", u"A.Txt", u"a.txt"}));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_TRUE(found[1].isDirectory);
    EXPECT_EQ(found[0].size, 1u);
    EXPECT_TRUE(FindFiles(u"\\D\\c.txt").empty());
    EXPECT_EQ(Names(FindFiles(u"\\D\\A.TXTX")), std::vector<std::u16string>{u"a.txtx"});
}

TEST_F(DeviceFsTest, NamesAndKindsAloneAgreeWithTheFullListing) {
    mkdir((root + "/D").c_str(), 0777);
    mkdir((root + "/D/Sub").c_str(), 0777);
    WriteHost(root + "/D/b.txt", "12345");
    WriteHost(root + "/D/A.txt");
    ASSERT_EQ(symlink((root + "/D/Sub").c_str(), (root + "/D/toDir").c_str()), 0);
    ASSERT_EQ(symlink("missing", (root + "/D/dangling").c_str()), 0);
    for (const char16_t* pattern : {u"\\D\\*", u"\\D\\*.txt", u"\\d\\SUB", u"\\D\\todir", u"\\D\\none"}) {
        const auto full = FindFiles(pattern), kinds = FindNames(pattern);
        ASSERT_EQ(Names(kinds), Names(full)) << plat::text::WideToUtf8(pattern);
        for (size_t i = 0; i < full.size(); ++i) {
            EXPECT_EQ(kinds[i].isDirectory, full[i].isDirectory) << plat::text::WideToUtf8(full[i].name);
            EXPECT_EQ(kinds[i].size, 0u);
        }
    }
    EXPECT_EQ(Names(FindNames(u"\\D\\*")), (std::vector<std::u16string>{u"A.txt", u"b.txt", u"dangling", u"Sub", u"toDir"}));
    EXPECT_TRUE(FindNames(u"\\D\\SUB")[0].isDirectory);
    EXPECT_FALSE(FindNames(u"\\D\\TODIR")[0].isDirectory);  // a link is a file
}

TEST_F(DeviceFsTest, ThreadsShareTheNamesOfAFolder) {
    ASSERT_TRUE(CreateDirectory(u"\\T"));
    constexpr int kThreads = 4, kFiles = 150;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kFiles; ++i) {
                const std::u16string name = u"\\T\\t" + Number(t) + u"_" + Number(i);
                if (!WriteFile(name, "x", 1) || !Exists(Upper(name))) ++failures;
                if (i % 3 == 0 && (!DeleteFile(Upper(name)) || Exists(name))) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(FindFiles(u"\\T\\*").size(), size_t(kThreads * (kFiles - kFiles / 3)));
}

TEST_F(DeviceFsTest, SymbolicLinksAreFilesNeverEntered) {
    mkdir((outside + "/victim").c_str(), 0777);
    WriteHost(outside + "/victim/keep.txt");
    mkdir((root + "/Dir").c_str(), 0777);
    mkdir((root + "/Dir/Inner").c_str(), 0777);
    WriteHost(root + "/Dir/Inner/f.txt");
    ASSERT_EQ(symlink((outside + "/victim").c_str(), (root + "/Dir/out").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/victim").c_str(), (root + "/Dir/Inner/out2").c_str()), 0);

    auto found = FindFiles(u"\\Dir\\*");
    ASSERT_EQ(Names(found), (std::vector<std::u16string>{u"Inner", u"out"}));
    EXPECT_TRUE(found[0].isDirectory);
    EXPECT_FALSE(found[1].isDirectory);
    EXPECT_FALSE(IsDirectory(u"\\Dir\\out"));
    EXPECT_TRUE(Exists(u"\\Dir\\out"));
    EXPECT_TRUE(FindFiles(u"\\Dir\\out\\*").empty());
    EXPECT_FALSE(ToHostPath(u"\\Dir\\OUT\\keep.txt"));
    EXPECT_FALSE(OpenFile(u"\\Dir\\out\\keep.txt", "rb"));
    EXPECT_FALSE(RemoveDirectory(u"\\Dir\\out"));
    EXPECT_FALSE(RemoveTree(u"\\Dir\\out"));

    EXPECT_TRUE(RemoveTree(u"\\DIR"));
    EXPECT_FALSE(HostExists(root + "/Dir"));
    EXPECT_TRUE(HostExists(outside + "/victim/keep.txt"));

    ASSERT_EQ(symlink((outside + "/victim").c_str(), (root + "/link").c_str()), 0);
    EXPECT_TRUE(DeleteFile(u"\\LINK"));
    EXPECT_FALSE(HostExists(root + "/link"));
    EXPECT_TRUE(HostExists(outside + "/victim/keep.txt"));
}

TEST_F(DeviceFsTest, LinksAsTheLastNameAreNeverOpenedThrough) {
    WriteHost(outside + "/secret.txt", "secret");
    ASSERT_EQ(symlink((outside + "/secret.txt").c_str(), (root + "/planted.txt").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/created.txt").c_str(), (root + "/dangling.txt").c_str()), 0);
    for (const char* mode : {"rb", "wb", "ab", "r+b", "wbx"}) {
        EXPECT_FALSE(OpenFile(u"\\planted.txt", mode)) << mode;
        EXPECT_FALSE(OpenFile(u"\\DANGLING.txt", mode)) << mode;
    }
    EXPECT_FALSE(CopyFile(u"\\planted.txt", u"\\copy.txt", true));
    EXPECT_FALSE(Exists(u"\\copy.txt"));
    // Writing in one step replaces the link itself, never its target.
    EXPECT_TRUE(WriteFile(u"\\planted.txt", "new", 3));
    EXPECT_TRUE(WriteFile(u"\\dangling.txt", "new", 3));
    EXPECT_EQ(GetFileData(u"\\planted.txt")->size, 3u);
    std::ifstream in(outside + "/secret.txt");
    std::string kept((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(kept, "secret");
    EXPECT_FALSE(HostExists(outside + "/created.txt"));
}

TEST_F(DeviceFsTest, OnlyRegularFilesAreOpened) {
    ASSERT_EQ(mkfifo((root + "/pipe").c_str(), 0666), 0);
    mkdir((root + "/dir").c_str(), 0777);
    for (const char* mode : {"rb", "wb", "r+b", "ab"}) {
        EXPECT_FALSE(OpenFile(u"\\pipe", mode)) << mode;  // returns at once, never waits for a writer
        EXPECT_FALSE(OpenFile(u"\\dir", mode)) << mode;
    }
    EXPECT_FALSE(CopyFile(u"\\pipe", u"\\copy", true));
    EXPECT_FALSE(WriteFile(u"\\dir", "x", 1));
    EXPECT_FALSE(WriteFile(u"\\", "x", 1));
    EXPECT_FALSE(OpenFile(u"\\", "rb"));
}

TEST_F(DeviceFsTest, WriteFileReplacesInOneStepAndLeavesNoTemporary) {
    WriteHost(root + "/a.txt", "old");
    ASSERT_TRUE(WriteFile(u"\\A.TXT", "newer", 5));
    EXPECT_EQ(Names(FindFiles(u"\\*")), (std::vector<std::u16string>{u"a.txt"}));
    EXPECT_EQ(GetFileData(u"\\a.txt")->size, 5u);
    EXPECT_FALSE(WriteFile(u"\\missing\\a.txt", "x", 1));
    EXPECT_FALSE(IsValidFilePath(u"\\"));
    EXPECT_FALSE(IsValidFilePath(u"\\a\\"));
    EXPECT_FALSE(IsValidFilePath(u"a"));
    EXPECT_FALSE(IsValidFilePath(u"\\a/b"));
    EXPECT_TRUE(IsValidFilePath(u"\\a\\b"));

    auto temp = CreateTempFile(u"\\");
    ASSERT_TRUE(temp);
    EXPECT_TRUE(Exists(*temp));
    EXPECT_TRUE(ReplaceFile(*temp, u"\\a.txt"));
    EXPECT_EQ(GetFileData(u"\\a.txt")->size, 0u);
    EXPECT_FALSE(CreateTempFile(u"\\missing"));
}

// After a power cut a renamed file is only there when its folder was synced
// after the rename: the folder that gains the name and the one that loses it.
TEST_F(DeviceFsTest, ReplacingWritesSyncTheFoldersAfterTheRename) {
    ASSERT_TRUE(CreateDirectory(u"\\sub"));
    WriteHost(root + "/sub/new", "new");
    WriteHost(root + "/c.txt", "c");
    struct stat rootDir, subDir;
    ASSERT_EQ(stat(root.c_str(), &rootDir), 0);
    ASSERT_EQ(stat((root + "/sub").c_str(), &subDir), 0);
    const auto syncedWith = [](ino_t folder, const std::string& name, bool present) {
        std::lock_guard<std::mutex> lock(g_syncedMutex);
        return std::any_of(g_synced.begin(), g_synced.end(), [&](const SyncedFolder& s) {
            return s.inode == folder && s.names.count(name) == (present ? 1u : 0u);
        });
    };
    struct Case {
        const char* what;
        std::function<bool()> replace;
        ino_t folder;
        std::string name;
        bool present;
    };
    const Case cases[] = {
        {"WriteFile", [] { return WriteFile(u"\\a.txt", "a", 1); }, rootDir.st_ino, "a.txt", true},
        {"CopyFile", [] { return CopyFile(u"\\c.txt", u"\\sub\\c.txt", false); }, subDir.st_ino, "c.txt", true},
        {"ReplaceFile", [] { return ReplaceFile(u"\\sub\\new", u"\\b.txt"); }, rootDir.st_ino, "b.txt", true},
        {"ReplaceFile's source folder", [] { return true; }, subDir.st_ino, "new", false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.replace()) << c.what;
        EXPECT_TRUE(syncedWith(c.folder, c.name, c.present)) << c.what;
    }
    {
        std::lock_guard<std::mutex> lock(g_syncedMutex);
        g_synced.clear();
    }
    EXPECT_TRUE(SyncHostFolder(root + "/sub"));
    EXPECT_TRUE(syncedWith(subDir.st_ino, "c.txt", true));
    EXPECT_FALSE(SyncHostFolder(root + "/missing"));
}

// What a killed write leaves: never listed, swept at a start when no other
// writer runs, and nothing else of the same look is touched.
TEST_F(DeviceFsTest, TemporaryFilesOfCutWritesAreNeverListedAndAreSweptWhenNoWriterRuns) {
    ASSERT_TRUE(CreateDirectories(u"\\a\\b"));
    const std::vector<std::string> ours{"/.~0123456789ab.tmp", "/a/b/.~ffffffffffff.tmp"};
    const std::vector<std::string> others{"/.~0123456789AB.tmp", "/.~0123456789a.tmp", "/.~0123456789abc.tmp",
                                          "/~0123456789ab.tmp", "/a/.~0123456789ab.txt"};
    for (const std::string& f : ours) WriteHost(root + f);
    for (const std::string& f : others) WriteHost(root + f);
    ASSERT_EQ(mkdir((root + "/a/.~aaaaaaaaaaaa.tmp").c_str(), 0777), 0);  // a folder: not ours
    WriteHost(outside + "/kept");
    ASSERT_EQ(symlink((outside + "/kept").c_str(), (root + "/a/.~bbbbbbbbbbbb.tmp").c_str()), 0);
    const auto temp = CreateTempFile(u"\\a");  // a write under way here
    ASSERT_TRUE(temp);

    EXPECT_EQ(Names(FindFiles(u"\\*")), (std::vector<std::u16string>{u".~0123456789a.tmp", u".~0123456789AB.tmp",
                                                                     u".~0123456789abc.tmp", u"a", u"~0123456789ab.tmp"}));
    EXPECT_TRUE(FindNames(u"\\a\\b\\*").empty());
    EXPECT_TRUE(FindFiles(u"\\a\\b\\.~FFFFFFFFFFFF.tmp").empty());
    EXPECT_EQ(FindNames(u"\\a\\*").size(), 2u);  // the folder and the link

    // Another process that writes here holds the root: nothing goes.
    const int other = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_SH), 0);
    EXPECT_EQ(SweepTempFiles(), -1);
    EXPECT_TRUE(HostExists(root + ours[0]));
    close(other);

    EXPECT_EQ(SweepTempFiles(), 3);  // with this process's own
    for (const std::string& f : ours) EXPECT_FALSE(HostExists(root + f)) << f;
    for (const std::string& f : others) EXPECT_TRUE(HostExists(root + f)) << f;
    EXPECT_FALSE(Exists(*temp));
    EXPECT_TRUE(IsDirectory(u"\\a\\.~aaaaaaaaaaaa.tmp"));
    EXPECT_TRUE(HostExists(root + "/a/.~bbbbbbbbbbbb.tmp"));
    EXPECT_TRUE(HostExists(outside + "/kept"));
    // The sweeper writes on as before.
    EXPECT_TRUE(WriteFile(u"\\a\\new", "x", 1));
    EXPECT_EQ(SweepTempFiles(), 0);
}

TEST_F(DeviceFsTest, ProgramFolderIsAFolderOfTheDeviceRoot) {
    EXPECT_EQ(ProgramFolder(), u"\\Program Files\\Orvade Client");
    EXPECT_EQ(ToHostPath(u"\\program files\\ORVADE CLIENT"), root + "/program files/ORVADE CLIENT");
    ASSERT_TRUE(CreateDirectory(u"\\Program Files"));
    ASSERT_TRUE(CreateDirectory(ProgramFolder()));
    WriteHost(root + "/Program Files/Orvade Client/Lib.dll");
    EXPECT_EQ(ToHostPath(u"\\Program Files\\Orvade Client\\lib.DLL"), root + "/Program Files/Orvade Client/Lib.dll");
    EXPECT_EQ(Names(FindFiles(u"\\Program Files\\Orvade Client\\*.dll")), (std::vector<std::u16string>{u"Lib.dll"}));
    // The folder itself cannot be removed, nor a folder above it; its files can.
    EXPECT_FALSE(RemoveTree(u"\\Program Files\\Orvade Client"));
    EXPECT_FALSE(RemoveTree(u"\\program files"));
    EXPECT_TRUE(IsDirectory(ProgramFolder()));
    EXPECT_FALSE(RemoveTree(u"\\"));
    EXPECT_TRUE(DeleteFile(u"\\Program Files\\Orvade Client\\Lib.dll"));
    SetProgramFolder(u"\\Apps\\Client");
    EXPECT_EQ(ProgramFolder(), u"\\Apps\\Client");
    EXPECT_TRUE(RemoveTree(u"\\Program Files\\Orvade Client"));
}

TEST_F(DeviceFsTest, FileTimesRoundTripAndCreationTimeIsReported) {
    FILE* f = OpenFile(u"\\t.bin", "wb");
    ASSERT_TRUE(f);
    fclose(f);
    const FILETIME access = plat::clock::UnixToFileTime(1000000000, 123456700);
    const FILETIME write = plat::clock::UnixToFileTime(1200000000, 7654300);
    ASSERT_TRUE(SetFileTimes(u"\\T.BIN", &access, &write));
    auto data = GetFileData(u"\\t.bin");
    ASSERT_TRUE(data);
    auto same = [](FILETIME a, FILETIME b) {
        return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
    };
    EXPECT_TRUE(same(data->lastAccessTime, access));
    EXPECT_TRUE(same(data->lastWriteTime, write));
    EXPECT_NE(data->creationTime.dwHighDateTime, 0u);

    const FILETIME later = plat::clock::UnixToFileTime(1300000000, 0);
    ASSERT_TRUE(SetFileTimes(u"\\t.bin", nullptr, &later));  // access time stays
    data = GetFileData(u"\\t.bin");
    EXPECT_TRUE(same(data->lastAccessTime, access));
    EXPECT_TRUE(same(data->lastWriteTime, later));
    EXPECT_FALSE(SetFileTimes(u"\\missing", &access, &write));
}

TEST_F(DeviceFsTest, MoveCopyDeleteAndFolders) {
    WriteHost(root + "/a.txt", "abc");
    EXPECT_FALSE(CopyFile(u"\\A.TXT", u"\\a.txt", false));  // never onto itself
    EXPECT_EQ(GetFileData(u"\\a.txt")->size, 3u);
    EXPECT_TRUE(CopyFile(u"\\A.TXT", u"\\b.txt", true));
    EXPECT_FALSE(CopyFile(u"\\a.txt", u"\\B.TXT", true));
    EXPECT_TRUE(CopyFile(u"\\a.txt", u"\\B.TXT", false));
    EXPECT_EQ(GetFileData(u"\\b.txt")->lastWriteTime.dwLowDateTime,
              GetFileData(u"\\a.txt")->lastWriteTime.dwLowDateTime);

    EXPECT_FALSE(MoveFile(u"\\a.txt", u"\\B.txt"));  // destination exists
    EXPECT_TRUE(MoveFile(u"\\a.txt", u"\\A.Txt"));   // a change of case only
    EXPECT_TRUE(HostExists(root + "/A.Txt"));
    EXPECT_FALSE(HostExists(root + "/a.txt"));
    EXPECT_TRUE(MoveFile(u"\\a.txt", u"\\c.txt"));
    EXPECT_FALSE(MoveFile(u"\\missing", u"\\d.txt"));

    WriteHost(root + "/new.tmp", "newer");
    EXPECT_TRUE(ReplaceFile(u"\\NEW.tmp", u"\\b.TXT"));
    EXPECT_FALSE(Exists(u"\\new.tmp"));
    EXPECT_EQ(GetFileData(u"\\b.txt")->size, 5u);
    EXPECT_TRUE(HostExists(root + "/b.txt"));
    EXPECT_FALSE(HostExists(root + "/b.TXT"));
    EXPECT_FALSE(ReplaceFile(u"\\missing", u"\\b.txt"));

    EXPECT_TRUE(CreateDirectory(u"\\E"));
    EXPECT_TRUE(MoveFile(u"\\c.txt", u"\\e\\c.txt"));
    EXPECT_TRUE(HostExists(root + "/E/c.txt"));

    EXPECT_TRUE(CreateDirectory(u"\\D"));
    EXPECT_TRUE(IsDirectory(u"\\d"));
    EXPECT_FALSE(DeleteFile(u"\\d"));
    EXPECT_TRUE(CopyFile(u"\\b.txt", u"\\d\\b.txt", true));
    EXPECT_FALSE(RemoveDirectory(u"\\d"));  // not empty
    EXPECT_TRUE(DeleteFile(u"\\D\\B.TXT"));
    EXPECT_TRUE(RemoveDirectory(u"\\d"));
    EXPECT_FALSE(Exists(u"\\d"));
    EXPECT_FALSE(DeleteFile(u"\\missing"));
}

TEST_F(DeviceFsTest, TempFolderAndDiskSpace) {
    EXPECT_EQ(TempFolder(), u"\\Temp");
    EXPECT_TRUE(IsDirectory(u"\\temp"));
    uint64_t freeBytes = 0, totalBytes = 0;
    ASSERT_TRUE(GetDiskFreeSpace(u"\\Temp", &freeBytes, &totalBytes));
    EXPECT_GT(totalBytes, 0u);
    EXPECT_LE(freeBytes, totalBytes);
    uint64_t allFree = 0;
    ASSERT_TRUE(GetDiskFreeSpace(u"\\", nullptr, nullptr, &allFree));
    EXPECT_GE(allFree, freeBytes);
    EXPECT_LE(allFree, totalBytes);
    EXPECT_TRUE(GetDiskFreeSpace(u"\\", nullptr, nullptr));
    EXPECT_FALSE(GetDiskFreeSpace(u"\\missing", &freeBytes, &totalBytes));
}

}  // namespace
