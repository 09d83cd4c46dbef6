#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <set>

#include "tests/desktop/deskcommon/ScriptedMessages.h"
#include "tests/desktop/deskcommon/ScriptedUi.h"
#include "tests/desktop/deskcommon/TempDir.h"
#include "zendril/views/HostsDialog.h"

namespace {

using deskcommontest::ScriptedMessages;
using zendril::CZendrilDlg;

const char kHosts[] =
    "; yard\r\n[OID=3]\r\nHost=alpha\r\nDescription=Alpha\r\nPort=1000\r\n"
    "[OID=7]\r\nHost=beta\r\nDescription=Beta\r\nPort=2000\r\n";

class HostsDialogTest : public deskcommontest::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        deskcommontest::TestApp();
    }
    CZendrilDlg& Dialog(const std::string& bytes = kHosts) {
        Put("hosts.cfg", bytes);
        EXPECT_TRUE(doc.Load(Path("hosts.cfg")));
        dlg = std::make_unique<CZendrilDlg>(doc);
        return *dlg;
    }
    void Select(int row) { dlg->List()->setCurrentRow(row); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        for (int i = 0; i < dlg->List()->count(); ++i)
            out.push_back(dlg->List()->item(i)->text().toStdString());
        return out;
    }
    ScriptedMessages box;
    zendril::CHostsDocument doc;
    std::unique_ptr<CZendrilDlg> dlg;
};

TEST_F(HostsDialogTest, TypingANameRenamesTheEntryAndOkWritesTheEdits) {
    CZendrilDlg& d = Dialog();
    EXPECT_FALSE(d.ShowsHost());
    Select(1);
    ASSERT_TRUE(d.ShowsHost());
    EXPECT_EQ(d.AddressEdit()->text(), "beta");
    EXPECT_TRUE(d.NameEdit()->hasSelectedText());  // ready to be typed over
    QTest::keyClicks(d.NameEdit(), "Dock");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"Alpha", "Dock"}));
    QTest::keyClicks(d.NameEdit(), " 2");
    EXPECT_EQ(Entries()[1], "Dock 2");
    d.PortEdit()->selectAll();
    QTest::keyClicks(d.PortEdit(), "4x5");  // only digits are taken
    EXPECT_EQ(d.PortEdit()->text(), "45");
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(box.Take().empty());
    EXPECT_EQ(Get("hosts.cfg"), "; yard\r\n[OID=3]\r\nHost=alpha\r\nDescription=Alpha\r\nPort=1000\r\n"
                                "[OID=7]\r\nHost=beta\r\nDescription=Dock 2\r\nPort=45\r\n");
}

TEST_F(HostsDialogTest, OkWithAnEmptyAddressShowsThatHostAndWritesNothing) {
    CZendrilDlg& d = Dialog();
    d.OnNew();
    EXPECT_EQ(Entries().back(), "New Host");
    EXPECT_EQ(d.List()->currentRow(), 2);
    Select(0);
    d.accept();
    EXPECT_EQ(box.titles, std::vector<std::string>{"Invalid Host"});
    EXPECT_EQ(box.Take(), std::vector<std::string>{"Please enter a host address."});
    EXPECT_EQ(d.List()->currentRow(), 2);
    EXPECT_EQ(d.NameEdit()->text(), "New Host");
    EXPECT_EQ(d.result(), 0);
    EXPECT_EQ(Get("hosts.cfg"), kHosts);
    // An address and an empty name: the name becomes the address.
    d.AddressEdit()->setText("gamma");
    d.NameEdit()->clear();
    d.accept();
    EXPECT_TRUE(box.Take().empty());
    EXPECT_NE(Get("hosts.cfg").find("[OID=8]\r\nHost=gamma\r\nDescription=gamma\r\n"), std::string::npos);
}

TEST_F(HostsDialogTest, NewSaysWhenNoNumberIsLeft) {
    CZendrilDlg& d = Dialog("[OID=4294967295]\r\nHost=h\r\nDescription=Last\r\n");
    d.OnNew();
    EXPECT_EQ(box.Take(), std::vector<std::string>{"No host number is left for a new host."});
    EXPECT_EQ(d.List()->count(), 1);
}

TEST_F(HostsDialogTest, ATextBeyondItsLimitKeepsThePageAndTheSelection) {
    CZendrilDlg& d = Dialog();
    Select(0);
    d.AddressEdit()->setText(QString(51, 'a'));
    Select(1);
    EXPECT_EQ(box.Take(), std::vector<std::string>{"Please enter no more than 50 characters."});
    EXPECT_EQ(d.List()->currentRow(), 0);
    EXPECT_EQ(d.AddressEdit()->text().size(), 51);
    d.NameEdit()->setText(QString(21, 'n'));
    d.OnNew();
    EXPECT_EQ(box.Take(), std::vector<std::string>{"Please enter no more than 20 characters."});
    EXPECT_EQ(d.List()->count(), 2);
    d.NameEdit()->setText("Alpha");
    d.AddressEdit()->setText("alpha");
    d.PortEdit()->setText("123456");
    d.accept();
    EXPECT_EQ(box.Take(), std::vector<std::string>{"Please enter no more than 5 characters."});
    EXPECT_EQ(Get("hosts.cfg"), kHosts);
}

TEST_F(HostsDialogTest, DeletingSelectsTheNextOrLastEntryThenTheInformationPage) {
    CZendrilDlg& d = Dialog();
    Select(1);
    d.NameEdit()->setText("never stored");
    d.OnDelete();
    EXPECT_EQ(Entries(), std::vector<std::string>{"Alpha"});
    EXPECT_EQ(d.List()->currentRow(), 0);
    EXPECT_EQ(d.NameEdit()->text(), "Alpha");
    d.OnDelete();
    EXPECT_EQ(d.List()->count(), 0);
    EXPECT_FALSE(d.ShowsHost());
    EXPECT_FALSE(d.DeleteButton()->isEnabled());
    d.accept();
    EXPECT_EQ(Get("hosts.cfg"), "; yard\r\n");
}

TEST_F(HostsDialogTest, CancelEndsWithoutWritingAndClosingTheWindowAsks) {
    const std::string question = "Save the changes to hosts.cfg?";
    using End = std::function<void(CZendrilDlg&)>;
    const End cancel = [](CZendrilDlg& d) {
        QTest::mouseClick(d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    };
    const End escape = [](CZendrilDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); };
    const End close = [](CZendrilDlg& d) { d.close(); };
    // Close answered Cancel keeps the window; its Cancel button then ends it.
    const End closeThenCancel = [&cancel](CZendrilDlg& d) {
        d.close();
        EXPECT_TRUE(d.isVisible());
        cancel(d);
    };
    struct Case {
        const char* name;
        bool edit;
        End end;
        std::deque<int> answers;
        bool asked;
        int result;
        bool written;
    } const cases[] = {
        {"Cancel", true, cancel, {}, false, QDialog::Rejected, false},
        {"Escape", true, escape, {}, false, QDialog::Rejected, false},
        {"close, nothing changed", false, close, {}, false, QDialog::Rejected, false},
        {"close, No", true, close, {IDNO}, true, QDialog::Rejected, false},
        {"close, Cancel", true, closeThenCancel, {IDCANCEL}, true, QDialog::Rejected, false},
        {"close, Yes", true, close, {IDYES}, true, QDialog::Accepted, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CZendrilDlg& d = Dialog();
        box.answers = c.answers;
        QTimer::singleShot(0, &d, [this, &d, &c] {
            if (c.edit) {
                Select(0);
                d.AddressEdit()->selectAll();
                QTest::keyClicks(d.AddressEdit(), "changed");   // not yet committed, still a change
            }
            c.end(d);
        });
        EXPECT_EQ(deskcommon::UiHooks().RunDialog(d), c.result);
        EXPECT_EQ(box.Take(), c.asked ? std::vector<std::string>{question} : std::vector<std::string>{});
        EXPECT_EQ(Get("hosts.cfg").find("Host=changed\r\n") != std::string::npos, c.written);
    }
}

TEST_F(HostsDialogTest, AFailedWriteAtOkIsShownAndTheEditsStay) {
    CZendrilDlg& d = Dialog();
    d.OnNew();
    d.AddressEdit()->setText("delta");
    std::filesystem::remove(Path("hosts.cfg"));
    std::filesystem::create_directory(Path("hosts.cfg"));
    d.setResult(-1);
    d.accept();
    const std::vector<std::string> shown = box.Take();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Cannot save " + Path("hosts.cfg") + ": ", 0), 0u) << shown[0];
    EXPECT_EQ(d.result(), -1);
    std::filesystem::remove(Path("hosts.cfg"));
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_NE(Get("hosts.cfg").find("Host=delta\r\n"), std::string::npos);
}

TEST_F(HostsDialogTest, ScreenshotOffscreen) {
    CZendrilDlg& d = Dialog();
    Select(1);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    const QImage shot = d.grab().toImage();
    shot.save(QString::fromStdString(Path("zendril.png")));
    EXPECT_EQ(shot.size(), d.size());
    // The selected entry is drawn highlighted: more than one colour in the list.
    const QRect list(d.List()->mapTo(&d, QPoint(0, 0)), d.List()->size());
    const QImage area = shot.copy(QRect(list.topLeft() * shot.devicePixelRatio(), list.size() * shot.devicePixelRatio()));
    std::set<QRgb> colours;
    for (int y = 0; y < area.height(); y += 2)
        for (int x = 0; x < area.width(); x += 2)
            colours.insert(area.pixel(x, y));
    EXPECT_GT(colours.size(), 2u);
    EXPECT_EQ(d.windowTitle(), "Orvade Host Profiles");
    // The about box from the Help menu.
    deskcommontest::ScriptedUi ui;
    ui.steps.push_back([](QDialog& about) { about.accept(); });
    ASSERT_EQ(d.HelpMenu()->actions().size(), 1);
    EXPECT_EQ(d.HelpMenu()->actions()[0]->text(), "&About Zendril...");
    d.HelpMenu()->actions()[0]->trigger();
    EXPECT_EQ(ui.dialogs, QStringList{QStringLiteral("100")});
    // Keyboard: Tab from the list reaches the Name field.
    d.List()->setFocus();
    QTest::keyClick(d.List(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.NameEdit());
}

}  // namespace

namespace {

class ProgramTest : public HostsDialogTest {};

TEST_F(ProgramTest, StartsOnTheNamedFileOrSaysItCannotOpenIt) {
    // The current folder has no "hosts.cfg".
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(m_dir);
    EXPECT_EQ(zendril::RunZendril({"CFG", "/S:\\Temp"}), 1);
    EXPECT_EQ(box.titles, std::vector<std::string>{"Error"});
    EXPECT_EQ(box.Take(), std::vector<std::string>{"Cannot open HOSTS.CFG.\nhosts.cfg: No such file or directory"});
    std::filesystem::create_directory(m_dir / "hosts.cfg");
    EXPECT_EQ(zendril::RunZendril({}), 1);
    EXPECT_EQ(box.Take(), std::vector<std::string>{"Cannot open HOSTS.CFG.\nhosts.cfg: Is a directory"});
    std::filesystem::current_path(old);

    Put("mine.cfg", kHosts);
    deskcommontest::ScriptedUi ui;
    ui.steps.push_back([](QDialog& dialog) {
        auto& d = static_cast<CZendrilDlg&>(dialog);
        d.List()->setCurrentRow(0);
        d.PortEdit()->setText("9");
        d.accept();
    });
    EXPECT_EQ(zendril::RunZendril({Path("mine.cfg")}), 0);
    EXPECT_TRUE(box.Take().empty());
    EXPECT_NE(Get("mine.cfg").find("Port=9\r\n"), std::string::npos);
}

}  // namespace
