// The shared desktop layer: documents tell their views and their frame what
// changed, texts keep their Windows-1252 bytes, files are found whatever the
// case of their names and replaced only once complete.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstring>
#include <filesystem>

#include "deskcommon/DocView.h"
#include "deskcommon/FileLookup.h"
#include "deskcommon/Messages.h"
#include "deskcommon/SaveFile.h"
#include "platform/Text.h"
#include "tests/desktop/deskcommon/ScriptedMessages.h"
#include "tests/desktop/deskcommon/TempDir.h"

using namespace deskcommon;
using namespace deskcommontest;

namespace {

class Doc : public CDocument {
protected:
    const char* DefaultTitle() const override { return "untitled"; }
};

class HintLog : public CView {
public:
    void OnUpdate(int hint) override { hints.push_back(hint); }
    std::vector<int> hints;
};

class FilesTest : public TempDirTest {};

}  // namespace

TEST(DocViewTest, ViewsGetHintsAndTheFrameHearsOfPathAndModifiedChanges) {
    Doc doc;
    HintLog a, b;
    int changes = 0;
    doc.onChanged = [&] { ++changes; };
    doc.AddView(&a);
    doc.AddView(&b);
    doc.UpdateAllViews(1);
    doc.RemoveView(&a);
    doc.UpdateAllViews(2);
    EXPECT_EQ(a.hints, (std::vector<int>{1}));
    EXPECT_EQ(b.hints, (std::vector<int>{1, 2}));

    EXPECT_EQ(doc.GetTitle(), "untitled");
    doc.SetPathName("/home/admin/site/ravelcore.cfg");
    EXPECT_EQ(doc.GetTitle(), "ravelcore.cfg");
    EXPECT_FALSE(doc.IsModified());
    doc.SetModifiedFlag();
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(changes, 2);
}

TEST(MessagesTest, TextsAreWindows1252AndFormatted) {
    EXPECT_EQ(FromAnsi("caf\xE9 \x80"), u"caf\u00e9 \u20ac");
    EXPECT_EQ(ToAnsi(u"caf\u00e9 \u20ac"), "caf\xE9 \x80");
    EXPECT_EQ(Format("Unable to open file: %s", FromPath("/tmp/\xC3\xA9.cfg")), u"Unable to open file: /tmp/\u00e9.cfg");
    EXPECT_EQ(FormatRange("between %d and %d.", -1, 10), u"between -1 and 10.");

    ScriptedMessages box;
    box.answers = {IDNO};
    EXPECT_EQ(Messages().Show(u"Question?", MB_YESNO), IDNO);
    EXPECT_EQ(Messages().Show(u"Next?", MB_YESNOCANCEL), IDYES);
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Question?", "Next?"}));
}

TEST_F(FilesTest, NamesAreFoundWithoutRegardToCase) {
    std::filesystem::create_directory(Path("Sub"));
    Put("Sub/Hosts.CFG", "x");
    EXPECT_EQ(FindFileNoCase(Path("sub/hosts.cfg")), Path("Sub/Hosts.CFG"));
    EXPECT_EQ(FindFileNoCase(Path("sub/missing.cfg")), Path("sub/missing.cfg"));
}

TEST_F(FilesTest, ReplaceKeepsPermissionsAndLeavesNoTemporaryFile) {
    Put("a.cfg", "old");
    ASSERT_EQ(chmod(Path("a.cfg").c_str(), 0640), 0);
    ASSERT_TRUE(ReplaceFile(Path("a.cfg"), "new"));
    EXPECT_EQ(Get("a.cfg"), "new");
    struct stat st {};
    ASSERT_EQ(stat(Path("a.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FileCount(), 1u);

    // A folder that does not exist: nothing is written, nothing is left.
    EXPECT_FALSE(ReplaceFile(Path("none/a.cfg"), "new"));
    EXPECT_EQ(FileCount(), 1u);
}

// A save killed before it committed left its temporary file: the next save
// of the document removes it, but not another save's under way, another
// document's or a file that only looks alike.
TEST_F(FilesTest, TheNextSaveRemovesTheTemporaryFileOfAKilledOne) {
    Put("a.cfg", "old");
    Put(".a.cfg.Xy12Zq", "killed");
    Put(".a.cfg.XY12", "shorter");
    Put(".b.cfg.Xy12Zq", "another document");
    std::filesystem::create_directory(Path(".a.cfg.folder"));
    CSaveFile underWay;
    ASSERT_TRUE(underWay.Open(Path("a.cfg")));
    EXPECT_FALSE(std::filesystem::exists(Path(".a.cfg.Xy12Zq")));
    ASSERT_TRUE(ReplaceFile(Path("a.cfg"), "new"));
    EXPECT_EQ(Get("a.cfg"), "new");
    EXPECT_EQ(FileCount(), 5u);  // a.cfg, the look-alikes and the save under way
    ASSERT_TRUE(underWay.Write("late", 4));
    EXPECT_TRUE(underWay.Commit());
    EXPECT_EQ(Get("a.cfg"), "late");
    EXPECT_EQ(FileCount(), 4u);
}

TEST_F(FilesTest, ALinkIsFollowedAndItsTargetReplaced) {
    namespace fs = std::filesystem;
    fs::create_directory(Path("real"));
    Put("real/ravelcore.cfg", "old");
    fs::create_symlink("real/ravelcore.cfg", Path("relative.cfg"));
    fs::create_symlink(Path("relative.cfg"), Path("chain.cfg"));
    fs::create_symlink("real/new.cfg", Path("dangling.cfg"));

    ASSERT_TRUE(ReplaceFile(Path("chain.cfg"), "new"));
    EXPECT_TRUE(fs::is_symlink(Path("chain.cfg")));
    EXPECT_TRUE(fs::is_symlink(Path("relative.cfg")));
    EXPECT_EQ(Get("real/ravelcore.cfg"), "new");
    // A link to a file not made yet creates it where the link points.
    ASSERT_TRUE(ReplaceFile(Path("dangling.cfg"), "made"));
    EXPECT_TRUE(fs::is_symlink(Path("dangling.cfg")));
    EXPECT_EQ(Get("real/new.cfg"), "made");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("real")), fs::directory_iterator()), 2);
}

TEST_F(FilesTest, WhatCannotBeWrittenIsRefusedWithTheReasonAndStaysWhole) {
    namespace fs = std::filesystem;
    Put("locked.cfg", "; protected\n[Main]\n");
    ASSERT_EQ(chmod(Path("locked.cfg").c_str(), 0444), 0);
    fs::create_directory(Path("folder.cfg"));
    fs::create_symlink("loop-b.cfg", Path("loop-a.cfg"));
    fs::create_symlink("loop-a.cfg", Path("loop-b.cfg"));
    struct Case {
        const char* name;
        int error;
    } cases[] = {
        {"locked.cfg", EACCES},    // read-only to everyone, the administrator included
        {"folder.cfg", EISDIR},
        {"loop-a.cfg", ELOOP},
        {"none/a.cfg", ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSaveFile file;
        EXPECT_FALSE(file.Open(Path(c.name)));
        EXPECT_EQ(file.ErrorCode(), c.error);
        EXPECT_EQ(file.Error(), std::strerror(c.error));
        errno = 0;
        EXPECT_FALSE(ReplaceFile(Path(c.name), "new"));
        EXPECT_EQ(errno, c.error);
    }
    EXPECT_EQ(Get("locked.cfg"), "; protected\n[Main]\n");
    EXPECT_EQ(FileCount(), 4u);   // no temporary file left

    // A save not committed leaves the old file and no temporary one.
    Put("a.cfg", "old");
    {
        CSaveFile file;
        ASSERT_TRUE(file.Open(Path("a.cfg")));
        ASSERT_TRUE(file.Write("new", 3));
    }
    EXPECT_EQ(Get("a.cfg"), "old");
    EXPECT_EQ(FileCount(), 5u);
}

TEST_F(FilesTest, TheOwnerIsKeptWhereTheSystemAllowsIt) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only an administrator can give a file to another owner";
    Put("a.cfg", "old");
    ASSERT_EQ(chown(Path("a.cfg").c_str(), 4321, 4322), 0);
    ASSERT_TRUE(ReplaceFile(Path("a.cfg"), "new"));
    struct stat st {};
    ASSERT_EQ(stat(Path("a.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
}
