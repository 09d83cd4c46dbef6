// Mevrant's window offscreen: the launcher buttons, the Installation
// buttons, the progress dialog during a copy, launching a program.
#include <gtest/gtest.h>

#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <set>

#include "mevrant/views/MevrantDialog.h"
#include "platform/Rapi.h"
#include "platform/Registry.h"
#include "tests/core/support/DeviceRoot.h"
#include "tests/desktop/deskcommon/ScriptedMessages.h"
#include "tests/desktop/deskcommon/ScriptedUi.h"

namespace {

using deskcommontest::ScriptedMessages;
using mevrant::CMevrantDlg;

class MevrantDialogTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        deskcommontest::TestApp();
        product_ = root_.parent_path() / (root_.filename().string() + "-Yard");
        std::filesystem::create_directories(product_);
        plat::rapi::AttachDevice(root_.string());
    }
    void TearDown() override {
        dlg_.reset();
        model_.reset();
        plat::rapi::AttachDevice("");
        std::filesystem::remove_all(product_);
        DeviceRootTest::TearDown();
    }
    void Product(const std::string& name, const std::string& bytes, bool program = false) const {
        std::ofstream(product_ / name, std::ios::binary) << bytes;
        if (program)
            std::filesystem::permissions(product_ / name, std::filesystem::perms::owner_all);
    }
    CMevrantDlg& Dialog() {
        model_ = std::make_unique<mevrant::CMevrant>(product_.string());
        dlg_ = std::make_unique<CMevrantDlg>(*model_);
        return *dlg_;
    }

    std::filesystem::path product_;
    ScriptedMessages box_;
    std::unique_ptr<mevrant::CMevrant> model_;
    std::unique_ptr<CMevrantDlg> dlg_;
};

TEST_F(MevrantDialogTest, ShowsThreeLaunchersAndTheButtonsTheFolderAllows) {
    Product("OrvadeConfig.cfg",
            "title=\"Hosts, ports\",app=zendril.sh\n"
            "title=Settings,app=missing.exe\n"
            "title=Third,app=zendril.sh\n"
            "title=Fourth,app=zendril.sh\n");
    Product("zendril.sh", "#!/bin/sh\ntrue\n", true);
    Product("hosts.cfg", "[OID=1]\r\n");
    CMevrantDlg& d = Dialog();
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(d.windowTitle().toStdString(), "Quillmar Product Configuration - " + product_.filename().string());
    EXPECT_EQ(d.LaunchLabel(0)->text(), "Hosts, ports");
    EXPECT_TRUE(d.LaunchButton(0)->isEnabled());
    EXPECT_EQ(d.LaunchLabel(1)->text(), "Settings");
    EXPECT_FALSE(d.LaunchButton(1)->isEnabled());   // its program is not there
    EXPECT_FALSE(d.LaunchLabel(1)->isEnabled());
    EXPECT_TRUE(d.LaunchButton(2)->isVisible());
    EXPECT_EQ(d.findChildren<QPushButton*>().size(), 6);   // the fourth is not shown
    // No "*.ini": Application Only is disabled; the hosts file allows the rest.
    EXPECT_TRUE(d.ApplicationAndConfig()->isEnabled());
    EXPECT_FALSE(d.ApplicationOnly()->isEnabled());
    EXPECT_TRUE(d.ConfigOnly()->isEnabled());
    EXPECT_EQ(d.ApplicationAndConfig()->text(), "Application && Config");

    const QImage shot = d.grab().toImage();
    shot.save(QString::fromStdString((root_.parent_path() / "mevrant.png").string()));
    std::set<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 3)
        for (int x = 0; x < shot.width(); x += 3)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 3u);

    // Keyboard: Tab goes from the first launcher over the disabled one.
    d.LaunchButton(0)->setFocus();
    QTest::keyClick(d.LaunchButton(0), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.LaunchButton(2));
}

TEST_F(MevrantDialogTest, AProductFolderWithoutAFileShowsNoLaunchers) {
    CMevrantDlg& d = Dialog();
    // Without release notes the Help menu has only the about box.
    ASSERT_EQ(d.HelpMenu()->actions().size(), 1);
    EXPECT_EQ(d.HelpMenu()->actions()[0]->text(), "&About Mevrant...");
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_FALSE(d.LaunchButton(0)->isVisible());
    EXPECT_FALSE(d.ApplicationAndConfig()->isEnabled());
    EXPECT_FALSE(d.ApplicationOnly()->isEnabled());
    EXPECT_FALSE(d.ConfigOnly()->isEnabled());
    EXPECT_TRUE(box_.Take().empty());
}

TEST_F(MevrantDialogTest, TheAboutBoxShowsTheReleaseNotes) {
    Product("Release.txt", "Orvade 5.4\r\n\r\nBuild 101\r\n");
    CMevrantDlg& d = Dialog();
    ASSERT_EQ(d.HelpMenu()->actions().size(), 2);
    EXPECT_EQ(d.HelpMenu()->actions()[0]->text(), "&View Release Notes");
    deskcommontest::ScriptedUi ui;
    QString shown;
    ui.steps.push_back([&shown](QDialog& about) {
        shown = about.findChild<QLabel*>(QStringLiteral("1013"))->text();
        about.accept();
    });
    d.HelpMenu()->actions()[1]->trigger();
    EXPECT_EQ(ui.dialogs, QStringList{QStringLiteral("100")});
    EXPECT_EQ(shown, "Orvade 5.4\nBuild 101\n");
}

TEST_F(MevrantDialogTest, LaunchingWaitsForTheProgramAndUpdatesTheButtons) {
    ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir",
                                          u"\\Orvade"));
    // The program makes a configuration file, as a settings editor would.
    Product("OrvadeConfig.cfg", "title=Hosts,app=make-hosts.sh\n");
    Product("make-hosts.sh", "#!/bin/sh\nprintf '[OID=1]\\r\\n' > hosts.cfg\n", true);
    CMevrantDlg& d = Dialog();
    // Run modally as the program runs it: edit, then deploy in one session.
    bool back = false;
    QTimer::singleShot(0, &d, [this, &d, &back] {
        EXPECT_FALSE(d.ConfigOnly()->isEnabled());
        QTest::mouseClick(d.LaunchButton(0), Qt::LeftButton);
        EXPECT_TRUE(std::filesystem::exists(product_ / "hosts.cfg"));
        QTimer::singleShot(100, &d, [&d, &back] {
            back = true;
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(QApplication::activeModalWidget(), &d);
            EXPECT_TRUE(d.ConfigOnly()->isEnabled());
            QTest::mouseClick(d.ConfigOnly(), Qt::LeftButton);
            QTest::keyClick(&d, Qt::Key_Escape);
        });
    });
    EXPECT_EQ(deskcommon::UiHooks().RunDialog(d), QDialog::Rejected);
    EXPECT_TRUE(back) << "the dialog's run ended with the launched program";
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(box_.Take(), std::vector<std::string>{"Updates successfully installed."});
    EXPECT_EQ(Get("\\Orvade\\hosts.cfg"), "[OID=1]\r\n");
}

TEST_F(MevrantDialogTest, ConfigOnlyShowsProgressThenTheResult) {
    ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir",
                                          u"\\Program Files\\Orvade Client"));
    Product("OrvadeConfig.cfg", "");
    Product("Ravelcore.cfg", std::string(70000, 'x'));
    CMevrantDlg& d = Dialog();
    d.show();
    std::vector<int> seen;
    QImage midway;
    QObject::connect(d.Progress().Bar(), &QProgressBar::valueChanged, [&seen, &d, &midway](int v) {
        seen.push_back(v);
        EXPECT_TRUE(d.Progress().isVisible());
        EXPECT_FALSE(d.ConfigOnly()->isEnabled());   // no second click while it runs
        EXPECT_TRUE(d.Progress().isEnabled());
        if (v == 45)
            midway = d.Progress().grab().toImage();
    });
    // From the keyboard: the focused button takes Enter.
    d.ConfigOnly()->setFocus();
    QTest::keyClick(d.ConfigOnly(), Qt::Key_Return);
    EXPECT_EQ(box_.Take(), std::vector<std::string>{"Updates successfully installed."});
    EXPECT_EQ(seen, (std::vector<int>{0, 45, 91, 100}));
    ASSERT_FALSE(midway.isNull());
    midway.save(QString::fromStdString((root_.parent_path() / "mevrant-progress.png").string()));
    EXPECT_FALSE(d.Progress().isVisible());
    EXPECT_EQ(d.Progress().Status()->text(), "Client Configuration");
    EXPECT_TRUE(d.ConfigOnly()->isEnabled());
    EXPECT_EQ(Get("\\Program Files\\Orvade Client\\Ravelcore.cfg").size(), 70000u);
    // The progress dialog cannot be closed by the user.
    d.Progress().show();
    QTest::keyClick(&d.Progress(), Qt::Key_Escape);
    QTest::keyClick(&d.Progress(), Qt::Key_Return);
    EXPECT_TRUE(d.Progress().isVisible());
    EXPECT_FALSE(d.Progress().close());
    EXPECT_EQ(d.Progress().windowTitle(), "Product Install");
}

TEST_F(MevrantDialogTest, TheWaitForADeviceShowsItIsBusyAndTheBoxSaysWhatWasMissing) {
    Product("OrvadeConfig.cfg", "title=Hosts,app=zendril.sh\n");
    Product("zendril.sh", "#!/bin/sh\ntrue\n", true);
    Product("hosts.cfg", "[OID=1]\r\n");
    const std::string absent = (root_ / "absent").string();
    plat::rapi::AttachDevice(absent);
    CMevrantDlg& d = Dialog();
    model_->SetInitWait(800);
    bool during = false;
    QTimer::singleShot(0, &d, [&] {
        // Fires inside the wait: the window is drawn and says it waits.
        QTimer::singleShot(300, &d, [&] {
            during = true;
            const QCursor* cursor = QApplication::overrideCursor();
            EXPECT_TRUE(cursor && cursor->shape() == Qt::WaitCursor);
            EXPECT_TRUE(d.Progress().isVisible());
            EXPECT_EQ(d.Progress().Status()->text().toStdString(),
                      "Connecting...\nWaiting for the device root " + absent);
            EXPECT_EQ(d.Progress().Bar()->maximum(), 0);   // running without an end
            for (QWidget* w : std::initializer_list<QWidget*>{d.ConfigOnly(), d.ApplicationAndConfig(),
                                                              d.LaunchButton(0)})
                EXPECT_FALSE(w->isEnabled());
            d.grab().save(QString::fromStdString((root_.parent_path() / "mevrant-wait.png").string()));
            d.Progress().grab().save(
                QString::fromStdString((root_.parent_path() / "mevrant-wait-progress.png").string()));
        });
        QTest::mouseClick(d.ConfigOnly(), Qt::LeftButton);
        EXPECT_TRUE(during);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(d.Progress().isVisible());
        EXPECT_TRUE(d.ConfigOnly()->isEnabled());
        d.reject();
    });
    deskcommon::UiHooks().RunDialog(d);
    EXPECT_EQ(box_.Take(), std::vector<std::string>{
                               "Update failed.  Rapi interface initialization timed out.  Please verify that the "
                               "device is attached to the desktop.\nNo device answered in 800 ms: the device root "
                               "folder " + absent + " does not exist."});
}

}  // namespace

namespace {

TEST(SingleInstanceTest, TheFullFolderPathNamesTheWindow) {
    deskcommontest::TestApp();
    const QString folder = QStringLiteral("/tmp/single-%1/a/Yard").arg(getpid());
    QStringList asked;
    mevrant::CSingleInstance first(folder);
    QString running;
    EXPECT_FALSE(first.AskRunning(QStringLiteral("/dev-a"), running));
    first.Listen(QStringLiteral("/dev-a"), [&asked](const QString& root) { asked << root; });
    EXPECT_TRUE(mevrant::CSingleInstance(folder).AskRunning(QStringLiteral("/dev b\n"), running));
    EXPECT_EQ(running, "/dev-a");
    EXPECT_TRUE(QTest::qWaitFor([&asked] { return asked.size() == 1; }, 10000));
    EXPECT_EQ(asked, QStringList{QStringLiteral("/dev b\n")});
    // A folder of the same name elsewhere is another product.
    EXPECT_FALSE(mevrant::CSingleInstance(QStringLiteral("/tmp/single-%1/b/Yard").arg(getpid()))
                     .AskRunning(QStringLiteral("/dev-a"), running));
    EXPECT_EQ(asked.size(), 1);
}

}  // namespace

namespace {

// The shared library's QMessageBox: a box's caption, else the program's.
TEST(QtMessageBoxTest, ACaptionNamesTheBoxElseTheProgramsTitleDoes) {
    deskcommontest::TestApp();
    deskcommon::InstallQtMessageBoxes(QString::fromLatin1(mevrant::kTitle));
    QStringList seen;
    auto answerNext = [&seen] {
        QTimer::singleShot(0, [&seen] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box && box->isVisible()) {
                    seen << box->windowTitle() + ": " + box->text();
                    box->button(QMessageBox::Ok)->click();
                }
            }
        });
    };
    answerNext();
    EXPECT_EQ(deskcommon::Messages().Show(u"Unable to copy CAB file to device.", MB_OK, u"Install Failed."), IDOK);
    answerNext();
    EXPECT_EQ(deskcommon::Messages().Show(u"Updates successfully installed.", MB_OK), IDOK);
    deskcommon::SetMessages(nullptr);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Install Failed.: Unable to copy CAB file to device."),
                                 QStringLiteral("Quillmar Product Configuration: Updates successfully installed.")}));
}

}  // namespace

namespace {

class ProgramTest : public MevrantDialogTest {};

// The program in its product folder, the device root from its setting.
TEST_F(ProgramTest, TheConnectedDeviceIsTheSettingsDeviceRoot) {
    ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir",
                                          u"\\Orvade"));
    Product("OrvadeConfig.cfg", "");
    Product("hosts.cfg", "[OID=1]\r\n");
    const std::filesystem::path config = root_.string() + "-config";
    std::filesystem::create_directories(config / "Quillmar");
    std::ofstream(config / "Quillmar" / "Mevrant.conf") << "[General]\nDeviceRoot=" << root_.string() << "\n";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmar"));
    QCoreApplication::setApplicationName(QStringLiteral("Mevrant"));
    plat::rapi::AttachDevice("");
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(product_);

    deskcommontest::ScriptedUi ui;
    ui.steps.push_back([](QDialog& dialog) {
        auto& d = static_cast<CMevrantDlg&>(dialog);
        d.ConfigOnly()->click();
        dialog.reject();
    });
    EXPECT_EQ(mevrant::RunMevrant({}), 0);
    std::filesystem::current_path(old);
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
    EXPECT_EQ(ui.dialogs, QStringList{QStringLiteral("102")});
    EXPECT_EQ(box_.Take(), std::vector<std::string>{"Updates successfully installed."});
    EXPECT_EQ(Get("\\Orvade\\hosts.cfg"), "[OID=1]\r\n");
}

}  // namespace

namespace {

class SecondStartTest : public MevrantDialogTest {};

// The first window runs modally in this process; each later start is the
// program as a process in the same product folder.
TEST_F(SecondStartTest, AnotherDeviceRootIsRefusedAloudTheSameOneBringsTheFirstForward) {
    Product("OrvadeConfig.cfg", "");
    const std::filesystem::path other = root_.string() + "-other";
    const std::filesystem::path link = root_.string() + "-link";
    std::filesystem::create_directories(other);
    std::filesystem::create_symlink(root_, link);
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(product_);

    struct Start {
        std::string root;
        int code;
        bool refused;
    };
    const std::vector<Start> starts{{root_.string(), 0, false},
                                    {link.string(), 0, false},   // the same folder through a link
                                    {other.string(), 1, true},
                                    {(root_ / "absent").string(), 1, true}};
    QTimer::singleShot(0, [&] {
        auto* d = dynamic_cast<CMevrantDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->DeviceRootLabel()->text().toStdString(), "Device root: " + root_.string());
        for (const Start& start : starts) {
            SCOPED_TRACE(start.root);
            QProcess second;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            second.setProcessEnvironment(env);
            second.setWorkingDirectory(QString::fromStdString(product_.string()));
            second.start(QStringLiteral(MEVRANT_PATH), {QStringLiteral("--device-root"),
                                                        QString::fromStdString(start.root)});
            ASSERT_TRUE(QTest::qWaitFor([&second] { return second.state() == QProcess::NotRunning; }, 30000));
            EXPECT_EQ(second.exitCode(), start.code);
            const std::string err = second.readAllStandardError().toStdString();
            // The first window hears of it once its loop turns.
            if (start.refused)
                EXPECT_TRUE(QTest::qWaitFor([this] { return !box_.shown.empty(); }, 10000));
            else
                QTest::qWait(200);
            const std::vector<std::string> boxes = box_.Take();
            // (Qt may add notes of its own on standard error.)
            if (!start.refused) {
                EXPECT_EQ(err.find("Mevrant:"), std::string::npos) << err;
                EXPECT_TRUE(boxes.empty());
                continue;
            }
            const std::string says = "Mevrant already runs for this product folder. It deploys to the device "
                                     "root\n    " + root_.string() + "\nnot to\n    " + start.root +
                                     "\nTo deploy there, close Mevrant and start it again.";
            EXPECT_NE(err.find("Mevrant: " + says + "\n"), std::string::npos) << err;
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0], says);
            EXPECT_TRUE(d->isVisible());
        }
        d->grab().save(QString::fromStdString((root_.parent_path() / "mevrant-device-root.png").string()));
        d->reject();
    });
    EXPECT_EQ(mevrant::RunMevrant({root_.string(), false}), 0);
    std::filesystem::current_path(old);
    std::filesystem::remove(link);
    std::filesystem::remove_all(other);
}

}  // namespace
