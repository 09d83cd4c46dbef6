// The editor's main window: menus, toolbar, status bar, the tree and help
// panes, and the commands of the document.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>

#include "settingseditor/Document.h"
#include "settingseditor/views/Dialogs.h"
#include "settingseditor/views/Views.h"

class QMenu;
class QSplitter;

namespace settingseditor {

class CMainFrame : public QMainWindow, public deskcommon::CView {
public:
    CMainFrame(const CommandLineInfo& info, const std::string& programDir);
    ~CMainFrame() override;

    // Opens the command line's file, else a new document; false ends the
    // program.
    bool Start();

    COptariumDoc& Doc() { return m_doc; }
    COptariumView* Tree() const { return m_tree; }
    CRichHelpView* Help() const { return m_help; }
    CFindDlg* FindDialog() const { return m_find.get(); }
    QMenu* EditMenu() const { return m_editMenu; }
    // Commands by name, for the toolbar, the menus and tests: "New", "Open",
    // "Save", "SaveAs", "Exit", "Find", "FindNext", "Add", "Edit", "Reset",
    // "TreeMode", "About", "EnableAccess", "AddOption", "EditOption",
    // "DeleteOption", "DefaultValue", "SaveCsv".
    QAction* Command(const char* name) const;

    bool OpenDocumentFile(const QString& path);
    bool NewDocument();
    bool Save();
    bool SaveAs();
    // Asks before unsaved changes are dropped; false when the user cancels.
    bool SaveModified();

    void OnUpdate(int hint) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QAction* MakeAction(const char* name, const QString& text, std::function<void()> run,
                        const QKeySequence& key = {});
    void CreateMenus();
    void UpdateTitle();
    void OnFind();
    void OnFindNext();
    void OnEnableAccess();
    void AppendAdvancedEntries();
    void OnAddOption();
    void OnEditOption();
    void OnDeleteOption();

    COptariumDoc m_doc;
    CValueEditor m_editor;
    COptariumView* m_tree = nullptr;
    CRichHelpView* m_help = nullptr;
    QSplitter* m_splitter = nullptr;
    QMenu* m_editMenu = nullptr;
    std::unique_ptr<CFindDlg> m_find;
    std::map<std::string, QAction*> m_commands;
};

}  // namespace settingseditor
