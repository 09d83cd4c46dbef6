#include "settingseditor/views/Views.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <algorithm>

#include "settingseditor/views/Dialogs.h"
#include "settingseditor/views/Rtf.h"

namespace settingseditor {

using namespace deskcommon;

namespace {

// The six node images, 13 pixels wide.
QIcon MakeImage(int image) {
    QPixmap pixmap(13, 13);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    switch (image) {
    case COptariumView::kImgFolder:
    case COptariumView::kImgFolderWithValue:
        p.setBrush(image == COptariumView::kImgFolder ? QColor(230, 200, 90) : QColor(90, 170, 60));
        p.drawRect(1, 3, 11, 8);
        p.drawRect(1, 2, 4, 1);
        break;
    case COptariumView::kImgOption:
    case COptariumView::kImgOptionWithValues:
        p.setBrush(Qt::white);
        p.drawRect(2, 1, 9, 11);
        if (image == COptariumView::kImgOptionWithValues) {
            p.setPen(QPen(QColor(0, 128, 0), 2));
            p.drawLine(4, 7, 6, 9);
            p.drawLine(6, 9, 9, 4);
        }
        break;
    case COptariumView::kImgPlaceholder:
        p.setBrush(QColor(192, 192, 192));
        p.drawEllipse(3, 3, 6, 6);
        break;
    default:
        p.setBrush(QColor(40, 90, 200));
        p.drawEllipse(3, 3, 6, 6);
    }
    return QIcon(pixmap);
}

const QIcon& ImageIcon(int image) {
    static const QIcon images[] = {MakeImage(0), MakeImage(1), MakeImage(2), MakeImage(3), MakeImage(4), MakeImage(5)};
    return images[image];
}

int KindOf(const QTreeWidgetItem* item) {
    return item->data(0, COptariumView::kKindRole).toInt();
}

template <typename T>
T* PointerOf(const QTreeWidgetItem* item) {
    return reinterpret_cast<T*>(item->data(0, COptariumView::kPointerRole).value<quintptr>());
}

QTreeWidgetItem* NewItem(QTreeWidgetItem* parent, const QString& text, int kind, const void* pointer) {
    auto* item = new QTreeWidgetItem(parent, {text});
    item->setData(0, COptariumView::kKindRole, kind);
    item->setData(0, COptariumView::kPointerRole, QVariant::fromValue(reinterpret_cast<quintptr>(pointer)));
    return item;
}

}  // namespace

COptariumView::COptariumView(COptariumDoc& doc, const TreeCommands& commands, QStatusBar* status, QWidget* parent)
    : QTreeWidget(parent), m_doc(doc), m_commands(commands), m_status(status) {
    setObjectName("OptionTree");
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setIconSize(QSize(13, 13));
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_rebuilding && !m_selecting)
            OnSelChanged(item);
    });
}

void COptariumView::SetImage(QTreeWidgetItem* item, int image) {
    item->setData(0, kImageRole, image);
    item->setIcon(0, ImageIcon(image));
}

void COptariumView::SortChildren(QTreeWidgetItem* parent) {
    QList<QTreeWidgetItem*> children = parent->takeChildren();
    std::stable_sort(children.begin(), children.end(), [](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return a->text(0).compare(b->text(0), Qt::CaseInsensitive) < 0;
    });
    parent->addChildren(children);
}

void COptariumView::SortAll(QTreeWidgetItem* parent) {
    for (int i = 0; i < parent->childCount(); ++i) {
        if (KindOf(parent->child(i)) == kFolder)
            SortAll(parent->child(i));
    }
    SortChildren(parent);
}

QTreeWidgetItem* COptariumView::InsertPath(const CItemType& option) {
    QTreeWidgetItem* parent = invisibleRootItem();
    if (m_doc.IsFlat() || option.treePath.empty())
        return parent;
    QString path = ToQt(option.treePath);
    for (const QString& component : path.split(QLatin1Char('\\'))) {
        QTreeWidgetItem* found = nullptr;
        for (int i = 0; i < parent->childCount() && !found; ++i) {
            QTreeWidgetItem* child = parent->child(i);
            if (KindOf(child) == kFolder && child->text(0) == component)
                found = child;
        }
        if (!found) {
            found = NewItem(parent, component, kFolder, nullptr);
            SetImage(found, kImgFolder);
            if (!m_rebuilding)
                SortChildren(parent);
        }
        if (!option.values.empty())
            SetImage(found, kImgFolderWithValue);
        parent = found;
    }
    return parent;
}

void COptariumView::AddChildren(QTreeWidgetItem* node, CItemType& option) {
    for (auto& value : option.values)
        SetImage(NewItem(node, ToQt(option.GetDisplayValue(*value)), kValue, value.get()), kImgValue);
    if (!option.values.empty() || option.type == kNoEdit)
        return;
    QString text = option.multiple ? QStringLiteral("<Empty>") : ToQt(option.GetDefaultText());
    SetImage(NewItem(node, text, kPlaceholder, nullptr), kImgPlaceholder);
}

void COptariumView::InsertOptionNode(CItemType& option) {
    QTreeWidgetItem* parent = InsertPath(option);
    int image = option.values.empty() ? kImgOption : kImgOptionWithValues;
    QTreeWidgetItem* node = nullptr;
    for (int i = 0; !m_rebuilding && i < parent->childCount() && !node; ++i) {
        QTreeWidgetItem* child = parent->child(i);
        if (KindOf(child) == kOption && PointerOf<CItemType>(child) == &option)
            node = child;
    }
    if (node) {
        node->setText(0, ToQt(option.name));
        SetImage(node, image);
        qDeleteAll(node->takeChildren());
        // Folders above show whether anything below them holds a value.
        for (QTreeWidgetItem* folder = node->parent(); folder; folder = folder->parent()) {
            bool held = false;
            for (int i = 0; i < folder->childCount() && !held; ++i) {
                int img = folder->child(i)->data(0, kImageRole).toInt();
                held = img == kImgFolderWithValue || img == kImgOptionWithValues || img == kImgValue;
            }
            SetImage(folder, held ? kImgFolderWithValue : kImgFolder);
        }
    } else {
        node = NewItem(parent, ToQt(option.name), kOption, &option);
        SetImage(node, image);
        if (!m_rebuilding)
            SortChildren(parent);
    }
    AddChildren(node, option);
}

QTreeWidgetItem* COptariumView::FindOptionNode(const CItemType* option) const {
    if (!option)
        return nullptr;
    for (QTreeWidgetItemIterator it(const_cast<COptariumView*>(this)); *it; ++it) {
        if (KindOf(*it) == kOption && PointerOf<CItemType>(*it) == option)
            return *it;
    }
    return nullptr;
}

void COptariumView::OnUpdate(int hint) {
    if (hint == kHintRebuild) {
        m_rebuilding = true;
        setUpdatesEnabled(false);
        clear();
        for (auto& option : m_doc.Options()) {
            if (m_doc.IsShown(*option))
                InsertOptionNode(*option);
        }
        SortAll(invisibleRootItem());
        m_rebuilding = false;
        setUpdatesEnabled(true);
    } else if (hint == kHintRefreshOption) {
        if (m_doc.CurrentOption() && m_doc.IsShown(*m_doc.CurrentOption())) {
            m_selecting = true;
            InsertOptionNode(*m_doc.CurrentOption());
            m_selecting = false;
        }
    } else {
        return;
    }
    SelectCurrent();
}

void COptariumView::SelectCurrent() {
    QTreeWidgetItem* node = FindOptionNode(m_doc.CurrentOption());
    QTreeWidgetItem* target = node;
    for (int i = 0; node && m_doc.CurrentValue() && i < node->childCount(); ++i) {
        if (KindOf(node->child(i)) == kValue && PointerOf<CRawType>(node->child(i)) == m_doc.CurrentValue())
            target = node->child(i);
    }
    m_selecting = true;
    setCurrentItem(target);
    m_selecting = false;
    if (target)
        scrollToItem(target);
}

void COptariumView::OnSelChanged(QTreeWidgetItem* item) {
    CRawType* value = item && KindOf(item) == kValue ? PointerOf<CRawType>(item) : nullptr;
    CItemType* option = nullptr;
    for (QTreeWidgetItem* up = item; up && !option; up = up->parent()) {
        if (KindOf(up) == kOption)
            option = PointerOf<CItemType>(up);
    }
    m_doc.Select(option, value);
    m_doc.UpdateAllViews(kHintSelection);
    if (m_status)
        m_status->showMessage(m_doc.CurrentOption() ? ToQt(m_doc.CurrentOption()->name) : QString());
}

void COptariumView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton)
        return QTreeWidget::mousePressEvent(event);
    if (QTreeWidgetItem* item = itemAt(event->position().toPoint()))
        setCurrentItem(item);
    if (!m_doc.CurrentOption())
        return;
    QMenu menu(this);
    if (m_doc.CanAddValue())
        menu.addAction(m_commands.add);
    menu.addAction(m_commands.edit);
    if (m_doc.CanResetValue())
        menu.addAction(m_commands.reset);
    if (m_doc.IsAdvanced()) {
        menu.addSeparator();
        for (QAction* a : {m_commands.addOption, m_commands.editOption, m_commands.deleteOption, m_commands.defaultValue})
            menu.addAction(a);
    }
    menu.exec(event->globalPosition().toPoint());
}

void COptariumView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !currentItem() || !m_doc.CurrentOption())
        return QTreeWidget::mouseDoubleClickEvent(event);
    (m_doc.IsAdvanced() ? m_commands.editOption : m_commands.edit)->trigger();
}

void COptariumView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_doc.CurrentOption()) {
        m_commands.edit->trigger();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

CRichHelpView::CRichHelpView(COptariumDoc& doc, QWidget* parent) : QTextEdit(parent), m_doc(doc) {
    setObjectName("HelpView");
    setReadOnly(true);
    QPalette p = palette();
    p.setColor(QPalette::Base, QColor(255, 255, 224));
    setPalette(p);
    // Margins of 720 twips: half an inch.
    document()->setDocumentMargin(logicalDpiX() / 2.0);
}

void CRichHelpView::OnUpdate(int hint) {
    if (hint == kHintRebuild)
        m_shown = nullptr;   // the options may be new objects
    // Nothing current, nothing shown: the first option's help beside a tree
    // without a selection would read as the help of nothing in sight.
    const CItemType* option = m_doc.CurrentOption();
    if (!option) {
        clear();
        m_shown = nullptr;
        return;
    }
    if (option == m_shown)
        return;
    RtfToDocument(option->help.bytes, *document());
    m_shown = option;
}

void CRichHelpView::focusInEvent(QFocusEvent* event) {
    QTextEdit::focusInEvent(event);
    if (m_focusTarget)
        m_focusTarget->setFocus();
}

}  // namespace settingseditor
