#include <gtest/gtest.h>

#include <QLabel>
#include <QMenuBar>
#include <set>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "tests/desktop/settingseditor/CatalogFixture.h"
#include "tests/desktop/deskcommon/ScriptedUi.h"
#include "settingseditor/views/MainFrame.h"

using namespace settingseditor;
using namespace deskcommontest;
using namespace settingseditortest;

namespace {

class ViewsTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        TestApp();
        WriteCatalog({
            {"Main", "Alpha", "Alpha name", kString, "abc", 0, 0, 0, "", 10, "General\\Basic"},
            {"Main", "Multi", "Many", kString, "", 1, 0, 0, "", 10, "General"},
            {"Main", "Count", "Count", kDword, "", 0, 0, 0, "", 10, "General"},
            {"Main", "Fixed", "Fixed", kNoEdit, "", 0, 0, 0, "", 10, "General"},
            {"Radio", "Essid", "ESSID", kQuotedStr, "", 0, 0, 1, "", 20, "Radio"},
            {"Radio", "Band", "Band", kString, "", 0, 0, 0, "WIFI", 30, "Radio"},
        });
    }
    void TearDown() override {
        frame.reset();
        CatalogFixture::TearDown();
    }
    CMainFrame& Frame(const std::string& file = "") {
        info.fileName = file;
        info.Finish();
        frame = std::make_unique<CMainFrame>(info, m_dir.string());
        EXPECT_TRUE(frame->Start());
        return *frame;
    }
    // Every node as indented "text#image".
    std::string Tree() {
        std::string out;
        std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
            for (int i = 0; i < item->childCount(); ++i) {
                QTreeWidgetItem* c = item->child(i);
                out += std::string(depth * 2, ' ') + c->text(0).toStdString() + "#" +
                       std::to_string(c->data(0, COptariumView::kImageRole).toInt()) + "\n";
                walk(c, depth + 1);
            }
        };
        walk(frame->Tree()->invisibleRootItem(), 0);
        return out;
    }
    void Select(const CItemType* option) {
        frame->Tree()->setCurrentItem(frame->Tree()->FindOptionNode(option));
    }
    CItemType* Option(const char* key) {
        for (auto& o : frame->Doc().Options()) {
            if (o->key == key)
                return o.get();
        }
        return nullptr;
    }
    // A script step typing text into a value dialog and pressing OK.
    static ScriptedUi::Step Type(const QString& text) {
        return [text](QDialog& d) {
            if (auto* edit = d.findChild<QLineEdit*>("edit1067"))
                edit->setText(text);
            else
                d.findChild<QComboBox*>("combo1061")->setCurrentText(text);
            d.accept();
        };
    }
    std::vector<std::string> EditMenu() {
        std::vector<std::string> out;
        for (QAction* a : frame->EditMenu()->actions())
            out.push_back(a->isSeparator() ? "-" : a->text().toStdString());
        return out;
    }

    ScriptedUi ui;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(ViewsTest, TreeShowsFoldersValuesAndPlaceholders) {
    Put("a.cfg", "[Main]\nMulti=one\nMulti=two\n[Radio]\nEssid=\"x\"\n");
    Frame(Path("a.cfg"));
    EXPECT_EQ(Tree(),
              "General#1\n"
              "  Basic#0\n"
              "    Alpha name#2\n"
              "      abc#4\n"
              "  Count#2\n"
              "    <Default>#4\n"
              "  Fixed#2\n"
              "  Many#3\n"
              "    one#5\n"
              "    two#5\n"
              "Radio#0\n"
              "  Band#2\n"
              "    <Default>#4\n");
    EXPECT_EQ(frame->windowTitle().toStdString(), "a.cfg[*] - Settings");
    frame->Command("TreeMode")->trigger();
    EXPECT_EQ(Tree(), "Alpha name#2\n  abc#4\nBand#2\n  <Default>#4\nCount#2\n  <Default>#4\nFixed#2\nMany#3\n"
                      "  one#5\n  two#5\n");
    frame->Command("TreeMode")->trigger();
    EXPECT_EQ(Tree().substr(0, 10), "General#1\n");
}

TEST_F(ViewsTest, ScopeWordsHideOptionsOutsideThem) {
    info.scopes = {"LAN"};
    info.noScopeOption = false;
    Frame();
    EXPECT_EQ(frame->Tree()->FindOptionNode(Option("Band")), nullptr);
    EXPECT_NE(frame->Tree()->FindOptionNode(Option("Alpha")), nullptr);
}

TEST_F(ViewsTest, ValueDialogsCheckTheirInputAndTheDefaultRule) {
    Frame();
    CMainFrame& f = *frame;
    Select(Option("Count"));
    EXPECT_FALSE(f.Command("Add")->isEnabled());
    EXPECT_TRUE(f.Command("Edit")->isEnabled());
    EXPECT_EQ(f.statusBar()->currentMessage().toStdString(), "Count");
    Option("Count")->max = 10;
    Option("Count")->min = 1;
    // A refused number keeps the dialog open with its text selected.
    ui.steps.push_back([](QDialog& d) {
        auto* edit = d.findChild<QLineEdit*>("edit1067");
        QTest::keyClicks(edit, "1x2");   // the filter drops the letter
        EXPECT_EQ(edit->text().toStdString(), "12");
        d.accept();
        EXPECT_EQ(d.result(), QDialog::Rejected);
        EXPECT_EQ(edit->selectedText().toStdString(), "12");
        edit->setText("7");
        d.accept();
    });
    f.Command("Edit")->trigger();
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"The number must be between 1 and 10."}));
    ASSERT_EQ(Option("Count")->values.size(), 1u);
    EXPECT_EQ(Option("Count")->values[0]->value, "7");
    EXPECT_TRUE(f.isWindowModified());
    EXPECT_TRUE(f.Command("Reset")->isEnabled());

    // A value equal to the default is not kept.
    Select(Option("Alpha"));
    ui.steps.push_back(Type("abc"));
    f.Command("Edit")->trigger();
    EXPECT_TRUE(Option("Alpha")->values.empty());

    // Multiple entries: Add appends and selects the new value; Reset with no
    // value selected removes them all.
    Select(Option("Multi"));
    ui.steps.push_back(Type("v1"));
    ui.steps.push_back(Type("v2"));
    f.Command("Add")->trigger();
    f.Command("Add")->trigger();
    EXPECT_EQ(f.Tree()->currentItem()->text(0).toStdString(), "v2");
    EXPECT_EQ(f.Doc().CurrentValue(), Option("Multi")->values[1].get());
    Select(Option("Multi"));
    f.Command("Reset")->trigger();
    EXPECT_TRUE(Option("Multi")->values.empty());

    // "No Edit" opens no dialog; a pick list opens "Select".
    Select(Option("Fixed"));
    f.Command("Edit")->trigger();
    Option("Alpha")->valueList = {"On=1", "Off=0"};
    Select(Option("Alpha"));
    ui.steps.push_back(Type("Off"));
    f.Command("Edit")->trigger();
    EXPECT_EQ(Option("Alpha")->values.at(0)->value, "0");
    EXPECT_EQ(ui.dialogs, (QStringList{"String", "String", "String", "String", "Select"}));
}

TEST_F(ViewsTest, ValueDialogsTakeOnlyWhatFitsTheLine) {
    Frame();
    CMainFrame& f = *frame;
    // "Multi=" and the newline leave 248 bytes; a Quoted Str's quotes take two.
    struct Case {
        const char* key;
        size_t fits;
    } cases[] = {{"Multi", 248}, {"Essid", 246}};
    f.Doc().GrantAccess("GMPACKGK");   // ESSID is hidden
    f.Doc().UpdateAllViews(kHintRebuild);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Select(Option(c.key));
        ui.steps.push_back([&](QDialog& d) {
            auto* edit = d.findChild<QLineEdit*>("edit1067");
            edit->setText(QString(static_cast<int>(c.fits) + 1, QLatin1Char('v')));
            d.accept();
            EXPECT_EQ(d.result(), QDialog::Rejected);
            edit->setText(QString(static_cast<int>(c.fits), QLatin1Char('v')));
            d.accept();
        });
        f.Command("Edit")->trigger();
        EXPECT_EQ(box.Take(), (std::vector<std::string>{"The value can be at most " + std::to_string(c.fits) +
                                                        " character(s) long."}));
        ASSERT_EQ(Option(c.key)->values.size(), 1u);
    }
    EXPECT_TRUE(f.Doc().OnSaveDocument(Path("long.cfg")));
    EXPECT_TRUE(box.Take().empty());
}

TEST_F(ViewsTest, FindSelectsWrapsAndTellsAMiss) {
    Frame();
    CMainFrame& f = *frame;
    f.Command("Find")->trigger();
    CFindDlg* find = f.FindDialog();
    ASSERT_TRUE(find);
    find->findChild<QLineEdit*>("edit1070")->setText("a");
    find->findChild<QPushButton*>("button1071")->click();
    EXPECT_EQ(f.Doc().CurrentOption(), Option("Alpha"));
    EXPECT_EQ(f.Tree()->currentItem()->text(0).toStdString(), "Alpha name");
    EXPECT_EQ(f.statusBar()->currentMessage().toStdString(), "Alpha name");   // as a click would
    find->findChild<QPushButton*>("button1071")->click();
    EXPECT_EQ(f.Doc().CurrentOption(), Option("Multi"));   // "Many"; ESSID is hidden
    f.Command("FindNext")->trigger();
    EXPECT_EQ(f.Doc().CurrentOption(), Option("Band"));
    EXPECT_EQ(f.statusBar()->currentMessage().toStdString(), "Band");
    f.Command("FindNext")->trigger();
    EXPECT_EQ(f.Doc().CurrentOption(), Option("Alpha"));   // wrapped
    find->findChild<QLineEdit*>("edit1070")->setText("zz Top");
    f.Command("FindNext")->trigger();
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Cannot find 'zz Top'."}));
    find->findChild<QPushButton*>("button2")->click();
    EXPECT_FALSE(find->isVisible());
}

TEST_F(ViewsTest, PasswordGrantsAdvancedAccessAndItsEntriesOncePerGrant) {
    Frame();
    CMainFrame& f = *frame;
    const size_t plain = EditMenu().size();
    auto password = [](const char* typed) {
        return [typed](QDialog& d) {
            d.findChild<QLineEdit*>("edit1050")->setText(typed);
            d.accept();
        };
    };
    ui.steps.push_back(password("guess"));
    f.Command("EnableAccess")->trigger();
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Incorrect Password."}));
    EXPECT_EQ(EditMenu().size(), plain);
    ui.steps.push_back([](QDialog& d) { d.reject(); });
    f.Command("EnableAccess")->trigger();
    EXPECT_TRUE(box.Take().empty());

    EXPECT_EQ(f.Tree()->FindOptionNode(Option("Essid")), nullptr);
    ui.steps.push_back(password("GMPACKGK"));
    f.Command("EnableAccess")->trigger();
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Advanced access granted."}));
    std::vector<std::string> menu = EditMenu();
    std::vector<std::string> added(menu.begin() + static_cast<std::ptrdiff_t>(plain), menu.end());
    EXPECT_EQ(added, (std::vector<std::string>{"-", "&Add Option", "&Edit Option", "&Delete Option",
                                               "D&efault Value", "-", "&Save CSV"}));
    EXPECT_NE(f.Tree()->FindOptionNode(Option("Essid")), nullptr);   // hidden options appear
    ui.steps.push_back(password("GMPACKGK"));
    f.Command("EnableAccess")->trigger();
    box.Take();
    EXPECT_EQ(EditMenu().size(), plain + 14);

    // Add Option through "Item Setup", placed by its order.
    ui.steps.push_back([](QDialog& d) {
        d.findChild<QLineEdit*>("edit1074")->setText("New");
        d.findChild<QLineEdit*>("edit1075")->setText("Key");
        d.findChild<QLineEdit*>("edit1011")->setText("Brand new");
        d.findChild<QLineEdit*>("edit1046")->setText("15");
        d.findChild<QComboBox*>("combo1007")->setCurrentIndex(kInteger);
        d.findChild<QCheckBox*>("check1049")->setChecked(true);
        d.accept();
    });
    f.Command("AddOption")->trigger();
    ASSERT_EQ(f.Doc().Options().size(), 7u);
    const CItemType& added1 = *f.Doc().Options()[4];
    EXPECT_EQ(added1.name, "Brand new");
    EXPECT_EQ(added1.type, kInteger);
    EXPECT_EQ(added1.treePath, "Unknown");
    EXPECT_TRUE(added1.multiple);
    EXPECT_TRUE(f.isWindowModified());

    // Delete Option asks first.
    Select(Option("Band"));
    box.answers = {IDCANCEL, IDOK};
    f.Command("DeleteOption")->trigger();
    EXPECT_NE(Option("Band"), nullptr);
    f.Command("DeleteOption")->trigger();
    EXPECT_EQ(Option("Band"), nullptr);
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Delete 'Band'?", "Delete 'Band'?"}));
}

TEST_F(ViewsTest, UnsavedChangesAreAskedForBeforeClosingOrOpening) {
    Put("a.cfg", "[Main]\nCount=5\n");
    Frame(Path("a.cfg"));
    CMainFrame& f = *frame;
    Select(Option("Count"));
    f.Command("Reset")->trigger();
    EXPECT_TRUE(f.isWindowModified());
    box.answers = {IDCANCEL};
    EXPECT_FALSE(f.close());
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Save changes to a.cfg?"}));
    box.answers = {IDCANCEL};
    ui.files = {QString::fromStdString(Path("a.cfg"))};
    f.Command("Open")->trigger();
    EXPECT_TRUE(f.isWindowModified());
    box.answers = {IDYES};
    EXPECT_TRUE(f.close());
    EXPECT_EQ(Get("a.cfg"), "");   // saved: the value was reset
    box.Take();

    // Save As of a new document goes through the file chooser.
    ASSERT_TRUE(f.NewDocument());
    EXPECT_EQ(f.windowTitle().toStdString(), "ravelcore[*] - Settings");
    Select(Option("Multi"));
    ui.steps.push_back(Type("x"));
    f.Command("Add")->trigger();
    ui.files = {QString::fromStdString(Path("new.cfg"))};
    f.Command("Save")->trigger();
    EXPECT_EQ(Get("new.cfg"), "[Main]\r\nMulti=x\r\n");
    EXPECT_EQ(f.windowTitle().toStdString(), "new.cfg[*] - Settings");
    EXPECT_FALSE(f.isWindowModified());
}

TEST_F(ViewsTest, MenusPromptsAndTitlesReadRight) {
    Frame();
    CMainFrame& f = *frame;
    // Each menu has an Alt key of its own.
    std::set<QChar> keys;
    for (QAction* menu : f.menuBar()->actions()) {
        QString text = menu->text();
        int amp = text.indexOf(QLatin1Char('&'));
        ASSERT_GE(amp, 0) << text.toStdString();
        EXPECT_TRUE(keys.insert(text.at(amp + 1).toLower()).second) << text.toStdString();
    }
    QStringList view;
    for (QAction* a : f.menuBar()->actions().at(2)->menu()->actions())
        view << a->text();
    EXPECT_EQ(view, (QStringList{"&Toolbar", "&Status Bar", "&Tree Mode"}));

    // An empty prompt shows nothing; a long name is the whole title.
    CItemType* option = Option("Band");
    option->prompt.clear();
    option->name = std::string(60, 'N') + " the end";
    for (bool pick : {false, true}) {
        option->valueList = pick ? std::vector<std::string>{"a", "b"} : std::vector<std::string>{};
        CRawType value = *option->MakeRawValue();
        CValueDlg dialog(*option, value, &f);
        EXPECT_EQ(dialog.findChild<QLabel*>("static1056")->text(), QString());
        EXPECT_EQ(dialog.windowTitle().toStdString(), option->name);
        EXPECT_GT(dialog.minimumWidth(), dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()));
    }
}

// As the README starts it: the settings file of a program folder that an
// installation made, where no settings file is yet.
TEST_F(ViewsTest, AMissingSettingsFileIsANewDocumentWrittenThereOnSave) {
    std::filesystem::create_directories(Path("Program Files/Orvade Client"));
    const std::string file = Path("Program Files/Orvade Client/Ravelcore.cfg");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(OPTARIUM_PATH), {QString::fromStdString(file)});
    ASSERT_TRUE(program.waitForStarted(10000));
    EXPECT_FALSE(program.waitForFinished(1500)) << "it ended with " << program.exitCode() << ": "
                                                << program.readAllStandardError().toStdString();
    program.kill();
    program.waitForFinished(10000);

    CMainFrame& f = Frame(file);
    EXPECT_EQ(f.windowTitle().toStdString(), "Ravelcore.cfg[*] - Settings");
    EXPECT_FALSE(f.isWindowModified());
    // Nothing is selected, so no option's help is shown.
    EXPECT_EQ(f.Tree()->currentItem(), nullptr);
    EXPECT_EQ(f.Help()->toPlainText(), QString());
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.grab().save(QString::fromStdString((std::filesystem::temp_directory_path() / "optarium-new.png").string()));
    Select(Option("Count"));
    ScriptedUi ui;
    ui.steps.push_back(Type("7"));
    f.Command("Edit")->trigger();
    f.Command("Save")->trigger();
    EXPECT_TRUE(box.Take().empty());
    EXPECT_EQ(Get("Program Files/Orvade Client/Ravelcore.cfg"), "[Main]\r\nCount=7\r\n");
    EXPECT_FALSE(f.isWindowModified());
    f.close();
}

TEST_F(ViewsTest, ScreenshotOfTheMainWindowOffscreen) {
    Frame();
    CMainFrame& f = *frame;
    Option("Alpha")->help.bytes = "{\\rtf1\\ansi{\\fonttbl{\\f0 Sans;}}\\f0\\fs20 Help \\b text\\b0\\par}";
    Select(Option("Multi"));   // the pane loads a help text when the option changes
    Select(Option("Alpha"));
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QImage shot = f.grab().toImage();
    shot.save(QString::fromStdString(Path("optarium.png")));
    EXPECT_EQ(shot.size(), f.size());
    EXPECT_EQ(f.Help()->toPlainText().toStdString(), "Help text");
    // The help pane's pale yellow background, away from its text.
    QPoint corner = f.Help()->viewport()->mapTo(&f, QPoint(f.Help()->viewport()->width() - 5,
                                                           f.Help()->viewport()->height() - 5));
    EXPECT_EQ(shot.pixelColor(corner * shot.devicePixelRatio()), QColor(255, 255, 224));
    // The tree drew something: more than one colour in its area.
    QRect treeArea(f.Tree()->mapTo(&f, QPoint(0, 0)), f.Tree()->size());
    QImage tree = shot.copy(treeArea);
    QColor first = tree.pixelColor(0, 0);
    bool varied = false;
    for (int y = 0; y < tree.height() && !varied; y += 2)
        for (int x = 0; x < tree.width() && !varied; x += 2)
            varied = tree.pixelColor(x, y) != first;
    EXPECT_TRUE(varied);
    f.close();
}

}  // namespace
