// The editor's dialogs. Controls carry their resource numbers as object
// names ("edit1067", "combo1061", ...) so tests find them.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <functional>
#include <string>
#include <vector>

#include "settingseditor/Document.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QListWidget;
class QTextEdit;

namespace settingseditor {

// Catalog and settings bytes to and from Qt text.
QString ToQt(const std::string& bytes);
std::string FromQt(const QString& text);

// An edit that admits only its allowed characters; anything else typed
// (backspace and editing keys aside) is refused with a beep.
class CFilterEdit : public QLineEdit {
public:
    CFilterEdit(QString allowed, QWidget* parent) : QLineEdit(parent), allowed_(std::move(allowed)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString allowed_;
};

// "String" (151) and "Select" (147): one value of an option, checked on OK.
class CValueDlg : public QDialog {
public:
    CValueDlg(const CItemType& option, CRawType& value, QWidget* parent);
    void accept() override;

private:
    const CItemType& option_;
    CRawType& value_;
    QLineEdit* edit_ = nullptr;
    QComboBox* combo_ = nullptr;
};

// Runs the value dialog of the option's kind through the UI hooks.
class CValueEditor : public IValueEditor {
public:
    explicit CValueEditor(QWidget* parent) : parent_(parent) {}
    bool EditValue(const CItemType& option, CRawType& value) override;

private:
    QWidget* parent_;
};

// "List" (140): an option's pick list.
class CListDlg : public QDialog {
public:
    CListDlg(std::vector<std::string>& list, QWidget* parent);
    void accept() override;   // "&Done"
    // Moves the selected entry by step (the spin control).
    void MoveSelected(int step);
    void Copy();
    void Paste();

private:
    std::vector<std::string>& list_;
    QListWidget* box_;
    QLineEdit* edit_;
};

// "Help" (134): a help text in a rich edit.
class CHelpEditDlg : public QDialog {
public:
    CHelpEditDlg(CRichContainer& help, QWidget* parent);
    void reject() override;   // "&Cancel" and closing ask first
    void Save();
    QTextEdit* Editor() const { return editor_; }

private:
    CRichContainer& help_;
    QTextEdit* editor_;
};

// "Item Setup" (131): every field of an option. The help text and the pick
// list are edited in place by their own dialogs.
class CItemSetupDlg : public QDialog {
public:
    CItemSetupDlg(CItemType& option, QWidget* parent);
    void accept() override;

private:
    QLineEdit* Field(const char* label, int id, const std::string& text);
    QCheckBox* Check(const char* label, int id, int on);

    CItemType& option_;
    std::vector<std::pair<QLineEdit*, std::string*>> texts_;
    std::vector<std::pair<QLineEdit*, int*>> numbers_;
    std::vector<std::pair<QCheckBox*, int*>> checks_;
    QComboBox* type_;
    QFormLayout* form_;
};

// "Find" (152): modeless, kept once made.
class CFindDlg : public QDialog {
public:
    CFindDlg(std::function<void()> findNext, QWidget* parent);
    std::string Text() const;
    bool AllText() const;
    void ShowCentred();

private:
    QLineEdit* what_;
    QCheckBox* all_;
};

// "Advanced Access" (141).
class CPasswordDlg : public QDialog {
public:
    explicit CPasswordDlg(QWidget* parent);
    std::string Typed() const;

private:
    QLineEdit* edit_;
};

}  // namespace settingseditor
