#include <gtest/gtest.h>

#include <functional>

#include "ShellFixture.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinConst.h"
#include "shell/ExternalHosts.h"
#include "shell/HostDlg.h"
#include "shell/SettingsStore.h"

namespace {

using shelltest::ShellTest;

// Runs a script once the dialog has filled its controls, as a user would act.
class ScriptedHostDlg : public CHostDlg {
public:
    std::function<void(HWND)> script;
    std::u16string shownHost, shownDescription, shownPort;
    INT_PTR OnMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) override {
        const INT_PTR result = CHostDlg::OnMessage(dialog, msg, wParam, lParam);
        if (msg == WM_APP && script) {
            shownHost = plat::window::GetWindowString(GetDlgItem(dialog, kHost));
            shownDescription = plat::window::GetWindowString(GetDlgItem(dialog, kDescription));
            shownPort = plat::window::GetWindowString(GetDlgItem(dialog, kPort));
            auto run = std::move(script);
            script = nullptr;
            run(dialog);
        }
        return result;
    }
};

void Press(HWND dialog, int id) { PostMessage(dialog, WM_COMMAND, WPARAM(id), 0); }

class HostDlgTest : public ShellTest {
protected:
    std::vector<CHostEntry> Records() {
        std::vector<CHostEntry> records;
        CHostListFile().ReadAll(records);
        return records;
    }
};

TEST_F(HostDlgTest, AddNewThenCancelKeepsTheNewDefaultHost) {
    ScriptedHostDlg dlg;
    dlg.CreateNewHost();
    dlg.script = [](HWND d) { Press(d, IDCANCEL); };
    EXPECT_EQ(dlg.Run(0), 0);
    EXPECT_EQ(dlg.shownDescription, u"New Host");
    EXPECT_EQ(dlg.shownPort, u"1000");
    auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::u16string(records[0].GetDescription()), u"New Host");
}

TEST_F(HostDlgTest, OkStoresTheEditsOfTheFirstRecordWithThatDescription) {
    CHostListFile hosts;
    hosts.Add(u"a", u"Depot", 1);
    hosts.Add(u"b", u"Depot", 2);
    ScriptedHostDlg dlg;
    dlg.SetDescription(u"Depot");
    dlg.script = [](HWND d) {
        SetDlgItemText(d, CHostDlg::kHost, std::u16string(150, u'h').c_str());
        SetDlgItemText(d, CHostDlg::kPort, u"port");
        Press(d, IDOK);
    };
    EXPECT_EQ(dlg.Run(0), 1);
    EXPECT_EQ(dlg.shownHost, u"a");
    auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::u16string(records[0].GetHost()), std::u16string(99, u'h'));
    EXPECT_EQ(records[0].GetPort(), 0);  // not a number
    EXPECT_EQ(std::u16string(records[1].GetHost()), u"b");
    // "Add New" while a "New Host" exists edits the older record.
    hosts.Add(u"old", u"New Host", 5);
    ScriptedHostDlg add;
    add.CreateNewHost();
    add.script = [](HWND d) {
        SetDlgItemText(d, CHostDlg::kPort, u"6");
        Press(d, CHostDlg::kAddNew);
    };
    EXPECT_EQ(add.Run(0), 1);
    records = Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2].GetPort(), 6);
    EXPECT_EQ(records[3].GetPort(), 1000);
}

TEST_F(HostDlgTest, DeleteAsksAndClosesOnlyOnYes) {
    CHostListFile hosts;
    hosts.Add(u"a", u"Depot", 1);
    Answer({IDNO, IDYES});
    ScriptedHostDlg dlg;
    dlg.SetDescription(u"Depot");
    dlg.script = [](HWND d) {
        // No: the dialog stays; then Yes: removed and closed without storing.
        Press(d, CHostDlg::kDelete);
        Press(d, CHostDlg::kDelete);
    };
    EXPECT_EQ(dlg.Run(0), 1);
    EXPECT_TRUE(Records().empty());
    EXPECT_EQ(dlg.GetOID(), -1);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, u"Do you want to delete this host?");
    EXPECT_EQ(boxes[0].style, UINT(MB_YESNO | MB_ICONQUESTION));
}

// What the user types once the dialog is up, each key as the keyboard gives it.
class TypedHostDlg : public CHostDlg {
public:
    std::u16string keys;
    INT_PTR OnMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) override {
        const INT_PTR result = CHostDlg::OnMessage(dialog, msg, wParam, lParam);
        if (msg == WM_APP) SetTimer(dialog, 1, 1);
        if (msg == WM_TIMER && IsWindowVisible(dialog)) {
            KillTimer(dialog, 1);
            for (char16_t c : keys) {
                const UINT vk = c == u'\t' ? VK_TAB : c == u'\r' ? VK_RETURN : 0;
                plat::input::InjectKey(vk, true, 1, std::u16string(1, c));
                plat::input::InjectKey(vk, false, 1, u"");
            }
        }
        return result;
    }
};

TEST_F(HostDlgTest, TypingOverAFieldTheDialogFocusedReplacesItsText) {
    // The first field has the focus as the dialog opens, the others by Tab.
    TypedHostDlg dlg;
    dlg.CreateNewHost();
    dlg.keys = u"Dev Host\tdock.example\t4107\r";
    EXPECT_EQ(dlg.Run(0), 1);
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::u16string(records[0].GetDescription()), u"Dev Host");
    EXPECT_EQ(std::u16string(records[0].GetHost()), u"dock.example");
    EXPECT_EQ(records[0].GetPort(), 4107);
}

class ExternalHostsTest : public ShellTest {};

TEST_F(ExternalHostsTest, EntriesComeFromTheTemplateWithOrWithoutThePrefix) {
    Put("\\Dir\\depot.cfg", "HOST=10.1.1.1\nport=2001\ndescription=Depot far away\nOther=x\n");
    CSettingsStore store(u"");
    CExternalHosts directory;
    CHostEntry record;
    directory.SetUrls(store);
    EXPECT_EQ(directory.GetHost(u"depot", record), 0);  // no template
    store.SetString(SETTING_HOST_ENTRY_URL, u"\\Dir\\%s.cfg");
    directory.SetUrls(store);
    for (const char16_t* name : {u"depot", u"[E] depot"}) {
        record.Reset();
        ASSERT_EQ(directory.GetHost(name, record), 1);
        EXPECT_EQ(std::u16string(record.GetHost()), u"10.1.1.1");
        EXPECT_EQ(record.GetPort(), 2001);
        EXPECT_EQ(std::u16string(record.GetDescription()), u"Depot far away");
    }
    // The prefix alone, a missing entry, a name with format items.
    EXPECT_EQ(directory.GetHost(u"[E]", record), 0);
    EXPECT_EQ(record.GetPort(), 1000);
    EXPECT_EQ(directory.GetHost(u"missing", record), 0);
    EXPECT_EQ(directory.GetHost(u"%s%n%x", record), 0);
    EXPECT_EQ(directory.GetHost(std::u16string(2000, u'a').c_str(), record), 0);
}

TEST_F(ExternalHostsTest, ListEntriesGoToAListBoxWithThePrefix) {
    Put("\\Dir\\list.cfg", "1=Depot\n2=Store\n");
    CSettingsStore store(u"");
    store.SetString(SETTING_HOST_DIRECTORY_URL, u"\\Dir\\list.cfg");
    CExternalHosts directory;
    directory.SetUrls(store);
    HWND owner = CreateWindow(u"STATIC", u"", WS_POPUP, 0, 0, 100, 100, 0, 0, nullptr, nullptr);
    HWND list = CreateWindow(u"LISTBOX", u"", WS_CHILD, 0, 0, 100, 100, owner, 0, nullptr, nullptr);
    SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"old"));
    EXPECT_EQ(directory.FillListBox(list, true), 2);
    EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 2);
    char16_t text[64] = {};
    SendMessage(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::u16string(text), u"[E] Depot");
    EXPECT_EQ(SendMessage(list, LB_GETITEMDATA, 1, 0), -1);
    DestroyWindow(owner);
}

}  // namespace
