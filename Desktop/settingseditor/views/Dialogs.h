// The editor's dialogs. Controls carry their resource numbers as object
// names ("edit1067", "combo1061", ...) so tests find them.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <functional>
#include <string>
#include <vector>

#include "deskcommon/views/QtText.h"
#include "settingseditor/Document.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QListWidget;
class QTextEdit;

namespace settingseditor {

// An edit that admits only its allowed characters; anything else typed
// (backspace and editing keys aside) is refused with a beep.
class CFilterEdit : public QLineEdit {
public:
    CFilterEdit(QString allowed, QWidget* parent) : QLineEdit(parent), m_allowed(std::move(allowed)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_allowed;
};

// "String" (151) and "Select" (147): one value of an option, checked on OK.
class CValueDlg : public QDialog {
public:
    CValueDlg(const CItemType& option, CRawType& value, QWidget* parent);
    void accept() override;

private:
    const CItemType& m_option;
    CRawType& m_value;
    QLineEdit* m_edit = nullptr;
    QComboBox* m_combo = nullptr;
};

// Runs the value dialog of the option's kind through the UI hooks.
class CValueEditor : public IValueEditor {
public:
    explicit CValueEditor(QWidget* parent) : m_parent(parent) {}
    bool EditValue(const CItemType& option, CRawType& value) override;

private:
    QWidget* m_parent;
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
    std::vector<std::string>& m_list;
    QListWidget* m_box;
    QLineEdit* m_edit;
};

// "Help" (134): a help text in a rich edit.
class CHelpEditDlg : public QDialog {
public:
    CHelpEditDlg(CRichContainer& help, QWidget* parent);
    void reject() override;   // "&Cancel" and closing ask first
    void Save();
    QTextEdit* Editor() const { return m_editor; }

private:
    CRichContainer& m_help;
    QTextEdit* m_editor;
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

    CItemType& m_option;
    std::vector<std::pair<QLineEdit*, std::string*>> m_texts;
    std::vector<std::pair<QLineEdit*, int*>> m_numbers;
    std::vector<std::pair<QCheckBox*, int*>> m_checks;
    QComboBox* m_type;
    QFormLayout* m_form;
};

// "Find" (152): modeless, kept once made.
class CFindDlg : public QDialog {
public:
    CFindDlg(std::function<void()> findNext, QWidget* parent);
    std::string Text() const;
    bool AllText() const;
    void ShowCentred();

private:
    QLineEdit* m_what;
    QCheckBox* m_all;
};

// "Advanced Access" (141).
class CPasswordDlg : public QDialog {
public:
    explicit CPasswordDlg(QWidget* parent);
    std::string Typed() const;

private:
    QLineEdit* m_edit;
};

}  // namespace settingseditor
