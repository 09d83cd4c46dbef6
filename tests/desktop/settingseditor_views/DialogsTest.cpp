#include <gtest/gtest.h>

#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "tests/desktop/deskcommon/ScriptedMessages.h"
#include "tests/desktop/deskcommon/ScriptedUi.h"
#include "settingseditor/views/Dialogs.h"
#include "settingseditor/views/Rtf.h"

using namespace deskcommon;
using namespace settingseditor;
using namespace deskcommontest;

namespace {

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override { TestApp(); }
    static QStringList Entries(QListWidget* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->item(i)->text();
        return out;
    }
    ScriptedMessages box;
};

TEST_F(DialogsTest, RtfReaderTakesWhatHelpTextsUse) {
    QTextDocument doc;
    RtfToDocument("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Courier New;}}"
                  "{\\colortbl ;\\red255\\green0\\blue0;}{\\*\\generator Riched20;}"
                  "\\viewkind4\\uc1\\pard\\f0\\fs20 Plain \\b bold\\b0  \\i it\\i0\\par\n"
                  "\\qc\\cf1\\f1 Caf\\'e9 \\u8364? \\{x\\}\\tab y\\line z\\par\n}",
                  doc);
    ASSERT_EQ(doc.blockCount(), 2);
    QTextBlock first = doc.firstBlock(), second = first.next();
    EXPECT_EQ(first.text().toStdString(), "Plain bold it");
    EXPECT_EQ(second.text(), QString::fromUtf8("Café € {x}\ty\u2028z"));
    EXPECT_TRUE(second.blockFormat().alignment() & Qt::AlignHCenter);
    QTextCursor c(&doc);
    c.setPosition(first.position() + 8);   // inside "bold"
    EXPECT_EQ(c.charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(c.charFormat().fontPointSize(), 10.0);
    c.setPosition(second.position() + 2);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(c.charFormat().fontFamilies().toStringList().value(0), "Courier New");
}

TEST_F(DialogsTest, RtfWriterRoundTripsAndKeepsBodyOutsideBraces) {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.insertText("Left ");
    c.insertText("strong", bold);
    QTextBlockFormat centre;
    centre.setAlignment(Qt::AlignHCenter);
    c.insertBlock(centre);
    QTextCharFormat red;
    red.setForeground(QColor(200, 0, 0));
    c.insertText(QString::fromUtf8("naïve € \\ {} \u4e2d"), red);
    std::string rtf = DocumentToRtf(doc);
    // No groups in the body: every brace between the tables and the final
    // one is escaped.
    const std::string body = rtf.substr(0, rtf.size() - 1);
    for (size_t at = body.find("\\viewkind4"); (at = body.find_first_of("{}", at)) != std::string::npos; ++at)
        EXPECT_EQ(body[at - 1], '\\') << rtf;
    QTextDocument back;
    RtfToDocument(rtf, back);
    ASSERT_EQ(back.blockCount(), 2);
    EXPECT_EQ(back.firstBlock().text().toStdString(), "Left strong");
    EXPECT_EQ(back.lastBlock().text(), QString::fromUtf8("naïve € \\ {} \u4e2d"));
    EXPECT_TRUE(back.lastBlock().blockFormat().alignment() & Qt::AlignHCenter);
    QTextCursor b(&back);
    b.setPosition(8);
    EXPECT_EQ(b.charFormat().fontWeight(), QFont::Bold);
    b.setPosition(back.lastBlock().position() + 1);
    EXPECT_EQ(b.charFormat().foreground().color(), QColor(200, 0, 0));
}

TEST_F(DialogsTest, ListDialogEditsMovesCopiesAndPastes) {
    std::vector<std::string> list{"A=1", "B=2", "C=3"};
    CListDlg dialog(list, nullptr);
    auto* entries = dialog.findChild<QListWidget*>("list1029");
    auto* edit = dialog.findChild<QLineEdit*>("edit1057");
    entries->setCurrentRow(0);
    EXPECT_EQ(edit->text().toStdString(), "A=1");   // selecting copies into the edit
    dialog.MoveSelected(5);                         // past the end: last
    EXPECT_EQ(Entries(entries), (QStringList{"B=2", "C=3", "A=1"}));
    EXPECT_EQ(entries->currentRow(), 2);
    dialog.MoveSelected(-9);
    EXPECT_EQ(Entries(entries), (QStringList{"A=1", "B=2", "C=3"}));
    edit->clear();
    dialog.findChild<QPushButton*>("button1031")->click();   // an empty entry too
    EXPECT_EQ(entries->count(), 4);
    dialog.Copy();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "A=1\r\nB=2\r\nC=3\r\n\r\n");
    QApplication::clipboard()->setText("one\r\n\r\ntwo");   // no break after the last line
    dialog.Paste();
    EXPECT_EQ(Entries(entries), (QStringList{"one"}));
    dialog.reject();
    EXPECT_EQ(list.size(), 3u);   // Cancel keeps the old list
    dialog.accept();
    EXPECT_EQ(list, (std::vector<std::string>{"one"}));
}

TEST_F(DialogsTest, HelpEditorAsksBeforeDroppingChanges) {
    CRichContainer help{"{\\rtf1 old}"};
    {
        CHelpEditDlg dialog(help, nullptr);
        dialog.Editor()->setPlainText("new text");
        box.answers = {IDNO};
        dialog.reject();
        EXPECT_EQ(help.bytes, "{\\rtf1 old}");
    }
    CHelpEditDlg dialog(help, nullptr);
    EXPECT_EQ(dialog.Editor()->toPlainText().toStdString(), "old");
    dialog.Editor()->setPlainText("new text");
    box.answers = {IDYES};
    dialog.reject();
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Do you want to save your changes?",
                                                    "Do you want to save your changes?"}));
    QTextDocument back;
    RtfToDocument(help.bytes, back);
    EXPECT_EQ(back.toPlainText().toStdString(), "new text");
}

}  // namespace
