// Zendril's window: the host list on the left, the selected host's page on
// the right (an information page when none is selected), New and Delete, and
// OK, which checks the hosts and writes the file.
#pragma once

#include <QDialog>

#include "zendril/HostsDocument.h"

class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QStackedWidget;

namespace zendril {

inline constexpr char kTitle[] = "Orvade Host Profiles";

class CZendrilDlg : public QDialog {
public:
    explicit CZendrilDlg(CHostsDocument& doc, QWidget* parent = nullptr);

    QListWidget* List() const { return m_list; }
    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* AddressEdit() const { return m_address; }
    QLineEdit* PortEdit() const { return m_port; }
    QPushButton* NewButton() const { return m_new; }
    QPushButton* DeleteButton() const { return m_delete; }
    // True while the host page, not the information page, is shown.
    bool ShowsHost() const;

    // The Help menu, with "&About Zendril...".
    QMenu* HelpMenu() const { return m_help; }
    void OnAbout();
    void OnNew();
    void OnDelete();
    void accept() override;

protected:
    // Closing the window asks before edits are dropped; Yes saves as OK
    // does. Cancel and Escape end without writing.
    void closeEvent(QCloseEvent* event) override;

private:
    void OnSelectionChanged();
    void ShowHost(int row);
    bool CommitPage();
    HostFields PageFields() const;
    bool HasChanges() const;
    void Select(int row);

    CHostsDocument& m_doc;
    QListWidget* m_list;
    QStackedWidget* m_pages;
    QLineEdit *m_name, *m_address, *m_port;
    QPushButton *m_new, *m_delete;
    QMenu* m_help;
    int m_shown = -1;   // the row the host page is bound to
    bool m_selecting = false;
};

// The program: opens the command line's hosts file (or says it cannot) and
// runs the dialog; the exit code.
int RunZendril(const std::vector<std::string>& args);

}  // namespace zendril
