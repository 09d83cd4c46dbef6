#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "HostListView.h"
#include "ShellFixture.h"
#include "platform/Controls.h"
#include "platform/Message.h"
#include "platform/WinConst.h"
#include "shell/HostList.h"

namespace {

using shelltest::ShellTest;

class HostListTest : public ShellTest {
protected:
    // Built after the program folder is set, as the shell builds it.
    void SetUp() override {
        ShellTest::SetUp();
        hosts_ = std::make_unique<CHostListFile>();
    }
    std::string HostsFile() const { return ProgramFile("Hosts.cfg"); }
    std::vector<CHostEntry> Records() {
        std::vector<CHostEntry> records;
        EXPECT_TRUE(hosts_->ReadAll(records));
        return records;
    }
    std::unique_ptr<CHostListFile> hosts_;
};

TEST_F(HostListTest, EntryTextsStayWithinTheirFields) {
    CHostEntry entry;
    EXPECT_EQ(entry.GetOID(), -1);
    EXPECT_EQ(entry.GetPort(), 1000);
    entry.SetHost(std::u16string(300, u'h'));
    entry.SetDescription(std::u16string(100, u'd'));
    EXPECT_EQ(std::u16string(entry.GetHost()), std::u16string(99, u'h'));
    EXPECT_EQ(std::u16string(entry.GetDescription()), std::u16string(99, u'd'));
    entry.SetDiscoveryKey(5);
    entry.Reset();
    EXPECT_EQ(entry.GetDiscoveryKey(), 5u);  // reset leaves the discovery flags
    EXPECT_EQ(entry.GetHost()[0], 0);
}

TEST_F(HostListTest, FirstAddCreatesTheFileInTheShellsFormat) {
    EXPECT_EQ(hosts_->Add(u"10.0.0.1", u"Main", 2000), 1);
    EXPECT_EQ(Get(HostsFile()), "[OID=1]\r\nHost=10.0.0.1\r\nDescription=Main\r\nPort=2000\r\n");
    EXPECT_EQ(hosts_->Add(u"b", u"Second", 1), 2);
    EXPECT_EQ(Get(HostsFile()), "[OID=1]\r\nHost=10.0.0.1\r\nDescription=Main\r\nPort=2000\r\n"
                                "[OID=2]\r\nHost=b\r\nDescription=Second\r\nPort=1\r\n");
    CHostEntry found;
    ASSERT_EQ(hosts_->FindByDescription(u"Second", found), 1);
    EXPECT_EQ(found.GetOID(), 2);
    EXPECT_EQ(hosts_->FindByDescription(u"second", found), 0);  // case-sensitive
    EXPECT_EQ(hosts_->FindByDescription(nullptr, found), 0);
    std::u16string description, host;
    int32_t port = 0;
    ASSERT_EQ(hosts_->GetByOID(1, &description, &host, &port), 1);
    EXPECT_EQ(description, u"Main");
    EXPECT_EQ(port, 2000);
    EXPECT_EQ(hosts_->GetByOID(7, found), 0);
    EXPECT_EQ(found.GetOID(), -1);
}

TEST_F(HostListTest, DesktopEditorFilesReadAndLoseOnlyForeignKeysOnRewrite) {
    Put(HostsFile(),
        "Prologue text\r\n[OID=3]\r\nType=1\r\nDescription=Depot  \r\nHost = depot.local\r\nTerm=vt\r\n"
        "KeyMap=std\r\nport=9\r\n\r\n[OID=5]\r\nHost=h5\r\nPort  =  77\r\n"
        "[ID=12]\r\nHost=odd\r\n[]\r\nHost=short\r\n");
    auto records = Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].GetOID(), 3);
    EXPECT_EQ(std::u16string(records[0].GetDescription()), u"Depot  ");  // trailing blanks stay in a value
    EXPECT_EQ(std::u16string(records[0].GetHost()), u"depot.local");
    EXPECT_EQ(records[0].GetPort(), 1000);  // "port" in lower case is another key
    EXPECT_EQ(records[1].GetPort(), 77);
    EXPECT_EQ(records[1].GetDescription()[0], 0);
    EXPECT_EQ(records[2].GetOID(), 2);  // only the position of the number counts
    EXPECT_EQ(records[3].GetOID(), 0);  // a section line too short for a number
    ASSERT_EQ(hosts_->Update(5, u"h5b", u"Five", 78), 5);
    EXPECT_EQ(Get(HostsFile()),
              "[OID=3]\r\nHost=depot.local\r\nDescription=Depot  \r\nPort=1000\r\n"
              "[OID=5]\r\nHost=h5b\r\nDescription=Five\r\nPort=78\r\n"
              "[OID=2]\r\nHost=odd\r\nDescription=\r\nPort=1000\r\n"
              "[OID=0]\r\nHost=short\r\nDescription=\r\nPort=1000\r\n");
}

TEST_F(HostListTest, MalformedLinesAreSkippedAndNoRecordIsLost) {
    Put(HostsFile(), "[OID=1]\nHost=a\ngarbage without equals\nPort=5\n[OID=2]\nHost=b\n");
    auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].GetPort(), 5);
    ASSERT_EQ(hosts_->Delete(1), 1);
    records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::u16string(records[0].GetHost()), u"b");
    // Long lines are cut to the record's fields, not read as further lines.
    Put(HostsFile(), "[OID=1]\nHost=" + std::string(2000, 'x') + "\nPort=6\n");
    records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::u16string(records[0].GetHost()).size(), 99u);
    EXPECT_EQ(records[0].GetPort(), 6);
}

TEST_F(HostListTest, DeleteAndUpdateTouchEveryRecordOfTheOid) {
    Put(HostsFile(), "[OID=4]\nHost=a\n[OID=4]\nHost=b\n[OID=6]\nHost=c\n");
    ASSERT_EQ(hosts_->Update(4, u"x", u"X", 1), 4);
    auto records = Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(std::u16string(records[1].GetHost()), u"x");
    ASSERT_EQ(hosts_->Update(99, u"y", u"Y", 2), 99);  // no such record: only rewritten
    EXPECT_EQ(Records().size(), 3u);
    ASSERT_EQ(hosts_->Delete(4), 1);
    records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].GetOID(), 6);
    EXPECT_EQ(hosts_->Update(0, u"n", u"New", 3), 7);  // OID 0 adds
}

TEST_F(HostListTest, NegativeOidMakesTheNextOneZeroAndAddWritesNothing) {
    Put(HostsFile(), "[OID=-1]\nHost=a\n");
    const std::string before = Get(HostsFile());
    EXPECT_EQ(hosts_->Add(u"b", u"B", 1), 0);
    EXPECT_EQ(Get(HostsFile()), before);
}

TEST_F(HostListTest, AddAfterALastLineWithoutItsEndStartsALineOfItsOwn) {
    Put(HostsFile(), "\n\n[OID=4]\nHost=old\nPort=9");
    EXPECT_EQ(hosts_->Add(u"n", u"New", 2), 5);
    EXPECT_EQ(Get(HostsFile()), "\n\n[OID=4]\nHost=old\nPort=9\r\n[OID=5]\r\nHost=n\r\nDescription=New\r\nPort=2\r\n");
    CHostEntry found;
    ASSERT_EQ(hosts_->GetByOID(4, found), 1);
    EXPECT_EQ(found.GetPort(), 9);
}

// A disk that fills while the record is written: the file keeps its old
// bytes, never a cut record the shell would list as a host.
TEST_F(HostListTest, AddOnAFullDiskKeepsTheFileAsItWas) {
    const std::string old = "[OID=1]\r\nHost=a\r\nDescription=A\r\nPort=1\r\n";
    Put(HostsFile(), old);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    // Room for the old bytes and part of the new record only.
    struct rlimit full = saved;
    full.rlim_cur = old.size() + 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    const int32_t added = hosts_->Add(u"10.0.0.2", u"A description long enough to be cut", 2000);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(added, 0);
    EXPECT_EQ(Get(HostsFile()), old);
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_EQ(hosts_->Add(u"10.0.0.2", u"B", 2000), 2);  // with room again
}

TEST_F(HostListTest, RewriteReplacesTheFileInOneStep) {
    Put(HostsFile(), "[OID=1]\nHost=a\n[OID=2]\nHost=b\n");
    // A reader that has the old file open keeps reading the old file whole:
    // the new one was written apart and took the name, nothing was cut.
    std::ifstream reader(Host(HostsFile()), std::ios::binary);
    ASSERT_EQ(hosts_->Delete(2), 1);
    std::ostringstream old;
    old << reader.rdbuf();
    EXPECT_EQ(old.str(), "[OID=1]\nHost=a\n[OID=2]\nHost=b\n");
    EXPECT_EQ(Get(HostsFile()), "[OID=1]\r\nHost=a\r\nDescription=\r\nPort=1000\r\n");
    Put(HostsFile(), "[OID=1]\nHost=a\n");
    // A folder where the temporary file would go cannot stop the rewrite,
    // and a failed write leaves the old file whole: a read-only folder.
    const auto folder = Host(plat::text::WideToUtf8(plat::fs::ProgramFolder()));
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool enforced = ::access(folder.c_str(), W_OK) != 0;  // root ignores the bits
    const int result = hosts_->Delete(1);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    if (enforced) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Get(HostsFile()), "[OID=1]\nHost=a\n");
    }
    EXPECT_FALSE(HostExists(ProgramFile("Hosts.cfg.temp")));
}

TEST_F(HostListTest, ListBoxGetsDescriptionsWithOids) {
    hosts_->Add(u"a", u"Alpha", 1);
    hosts_->Add(u"b", u"Beta", 1);
    HWND list = CreateWindow(u"LISTBOX", u"", WS_CHILD, 0, 0, 100, 100,
                             CreateWindow(u"STATIC", u"", WS_POPUP, 0, 0, 100, 100, 0, 0, nullptr, nullptr), 0,
                             nullptr, nullptr);
    ASSERT_NE(list, 0u);
    EXPECT_EQ(hosts_->FillListBox(list), 2);
    EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessage(list, LB_GETITEMDATA, 1, 0), 2);
    DestroyWindow(GetParent(list));
}

TEST_F(HostListTest, ListViewGetsOneItemEachRecordWithItsOwnCopy) {
    hosts_->Add(u"10.0.0.1", u"Alpha", 2000);
    hosts_->Add(u"depot.example", u"Beta", -5);
    {
        shelltest::HostListView view(LVS_REPORT, 240, 120);
        view.AddNew();
        EXPECT_EQ(hosts_->FillListView(view.list, shelltest::HostListView::Template()), 2);
        ASSERT_EQ(view.Count(), 3);
        EXPECT_EQ(view.Text(0, 0), u"Add New");
        EXPECT_EQ(view.Item(0).lParam, 0);
        const std::vector<std::vector<std::u16string>> rows{{u"Alpha", u"10.0.0.1", u"2000"},
                                                            {u"Beta", u"depot.example", u"-5"}};
        for (int i = 0; i < 2; ++i) {
            for (int column = 0; column < 3; ++column) EXPECT_EQ(view.Text(i + 1, column), rows[i][column]);
            const LVITEM item = view.Item(i + 1);
            EXPECT_EQ(item.iImage, 2);  // a host of the hosts file
            EXPECT_EQ(item.state, 0u);  // the template selects nothing
            const auto* record = reinterpret_cast<const CHostEntry*>(item.lParam);
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(record->GetOID(), i + 1);
            EXPECT_EQ(std::u16string(record->GetHost()), rows[i][1]);
            EXPECT_EQ(std::u16string(record->GetDescription()), rows[i][0]);
        }
        EXPECT_NE(view.Item(1).lParam, view.Item(2).lParam);
        EXPECT_EQ(SendMessage(view.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED), -1);

        // A second fill appends behind what is there.
        EXPECT_EQ(hosts_->FillListView(view.list, shelltest::HostListView::Template()), 2);
        EXPECT_EQ(view.Count(), 5);
        EXPECT_EQ(view.Text(4, 0), u"Beta");
        SendMessage(view.list, LVM_DELETEALLITEMS, 0, 0);
        EXPECT_EQ(view.freed, 4);  // every record's copy reached its owner
    }

    // The template's state goes to every item: selected, the last one filled keeps it.
    shelltest::HostListView view(LVS_ICON | LVS_AUTOARRANGE, 240, 120);
    LVITEM selected = shelltest::HostListView::Template();
    selected.state = selected.stateMask = LVIS_SELECTED;
    EXPECT_EQ(hosts_->FillListView(view.list, selected), 2);
    EXPECT_EQ(SendMessage(view.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED), 1);
}

TEST_F(HostListTest, ListViewFillWithoutDataOrWindowMakesNoCopies) {
    shelltest::HostListView view(LVS_REPORT, 240, 120);
    EXPECT_EQ(hosts_->FillListView(view.list, shelltest::HostListView::Template()), 0);  // no file yet
    EXPECT_EQ(view.Count(), 0);
    hosts_->Add(u"a", u"Alpha", 1);
    // Without LVIF_PARAM no record is made (nobody would free it).
    LVITEM textOnly{LVIF_TEXT | LVIF_IMAGE, 0, 0, 0, 0, nullptr, 0, 0, 0};
    EXPECT_EQ(hosts_->FillListView(view.list, textOnly), 1);
    EXPECT_EQ(view.Item(0).lParam, 0);
    EXPECT_EQ(view.Item(0).iImage, 2);
    EXPECT_EQ(view.Text(0, 2), u"1");
    // No window: the records are read, nothing is made (the sanitizers see no leak).
    EXPECT_EQ(hosts_->FillListView(0, shelltest::HostListView::Template()), 1);
    // A record behind a line without "=" still shows.
    Put(HostsFile(), "[OID=3]\nHost=x\nbroken line\nDescription=Kept\n[OID=4]\nHost=y\nDescription=After\n");
    SendMessage(view.list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(hosts_->FillListView(view.list, shelltest::HostListView::Template()), 2);
    EXPECT_EQ(view.Text(0, 0), u"Kept");
    EXPECT_EQ(view.Text(1, 0), u"After");
    EXPECT_EQ(view.Text(1, 2), u"1000");
}

TEST(IndexMapTest, NewestFirstAndRemoveUnlinks) {
    CIndexMap map;
    uintptr_t value = 0;
    EXPECT_EQ(map.Lookup(1, &value), 0);
    EXPECT_EQ(map.Add(1, 10), 1);
    EXPECT_EQ(map.Add(2, 20), 1);
    EXPECT_EQ(map.Add(1, 11), 1);  // no check for an existing key
    ASSERT_EQ(map.Lookup(1, &value), 1);
    EXPECT_EQ(value, 11u);
    ASSERT_EQ(map.Remove(1, &value), 1);
    EXPECT_EQ(value, 11u);
    ASSERT_EQ(map.Lookup(1, &value), 1);
    EXPECT_EQ(value, 10u);
    EXPECT_EQ(map.Remove(2), 1);
    EXPECT_EQ(map.Remove(2), 0);
}

}  // namespace
