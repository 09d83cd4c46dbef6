// The two panes of the main window: the tree of options with their values,
// and the help text of the current option.
#pragma once

#include <QTextEdit>
#include <QTreeWidget>

#include "settingseditor/Document.h"

class QAction;
class QStatusBar;

namespace settingseditor {

// The frame's commands that the tree's context menu and keys reach.
struct TreeCommands {
    QAction* add = nullptr;
    QAction* edit = nullptr;
    QAction* reset = nullptr;
    QAction* addOption = nullptr;
    QAction* editOption = nullptr;
    QAction* deleteOption = nullptr;
    QAction* defaultValue = nullptr;
};

class COptariumView : public QTreeWidget, public deskcommon::CView {
public:
    // Node kinds and images.
    enum Kind { kFolder, kOption, kPlaceholder, kValue };
    enum Image { kImgFolder, kImgFolderWithValue, kImgOption, kImgOptionWithValues, kImgPlaceholder, kImgValue };
    static constexpr int kKindRole = Qt::UserRole;
    static constexpr int kPointerRole = Qt::UserRole + 1;
    static constexpr int kImageRole = Qt::UserRole + 2;

    COptariumView(COptariumDoc& doc, const TreeCommands& commands, QStatusBar* status, QWidget* parent);
    void OnUpdate(int hint) override;
    // Selects the current value's node, else the current option's.
    void SelectCurrent();
    QTreeWidgetItem* FindOptionNode(const CItemType* option) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnSelChanged(QTreeWidgetItem* item);
    QTreeWidgetItem* InsertPath(const CItemType& option);
    void InsertOptionNode(CItemType& option);
    void AddChildren(QTreeWidgetItem* node, CItemType& option);
    void SetImage(QTreeWidgetItem* item, int image);
    void SortChildren(QTreeWidgetItem* parent);
    void SortAll(QTreeWidgetItem* parent);

    COptariumDoc& m_doc;
    TreeCommands m_commands;
    QStatusBar* m_status;
    bool m_rebuilding = false;
    bool m_selecting = false;
};

class CRichHelpView : public QTextEdit, public deskcommon::CView {
public:
    CRichHelpView(COptariumDoc& doc, QWidget* parent);
    void OnUpdate(int hint) override;
    // Reloads the help text at the next update (after it was edited).
    void Invalidate() { m_shown = nullptr; }
    // Where the focus goes when the pane receives it.
    void SetFocusTarget(QWidget* target) { m_focusTarget = target; }

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    COptariumDoc& m_doc;
    const CItemType* m_shown = nullptr;
    QWidget* m_focusTarget = nullptr;
};

}  // namespace settingseditor
