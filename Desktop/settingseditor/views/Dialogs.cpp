#include "settingseditor/views/Dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "deskcommon/Messages.h"
#include "settingseditor/views/Rtf.h"
#include "deskcommon/views/UiHooks.h"

namespace settingseditor {

using namespace deskcommon;

namespace {

// The width a title bar needs for title, with room for its buttons, within
// the screen.
int TitleWidth(const QString& title) {
    int width = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title) + 120;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width());
    return width;
}

QString Id(const char* kind, int id) {
    return QString::fromLatin1(kind) + QString::number(id);
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QPushButton* Button(const char* text, int id, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(Id("button", id));
    b->setAutoDefault(false);
    return b;
}

}  // namespace

void CFilterEdit::keyPressEvent(QKeyEvent* event) {
    QString text = event->text();
    if (!text.isEmpty() && text[0].isPrint() && !m_allowed.contains(text[0])) {
        QApplication::beep();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

CValueDlg::CValueDlg(const CItemType& option, CRawType& value, QWidget* parent)
    : QDialog(parent), m_option(option), m_value(value) {
    bool select = !option.valueList.empty();
    setObjectName(select ? "Select" : "String");
    setWindowTitle(ToQt(option.name));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(ToQt(option.prompt), this);
    prompt->setObjectName("static1056");
    layout->addWidget(prompt);
    QString start = ToQt(option.GetDisplayValue(value));
    if (select) {
        m_combo = new QComboBox(this);
        m_combo->setObjectName("combo1061");
        for (const std::string& entry : option.valueList)
            m_combo->addItem(ToQt(CItemType::EntryLabel(entry)));
        m_combo->setCurrentIndex(m_combo->findText(start, Qt::MatchExactly));
        layout->addWidget(m_combo);
        prompt->setText(ToQt(option.prompt));
    } else {
        const char* allowed = option.GetAllowedChars();
        m_edit = *allowed ? new CFilterEdit(QString::fromLatin1(allowed), this) : new QLineEdit(this);
        m_edit->setObjectName("edit1067");
        m_edit->setMaxLength(255);
        m_edit->setText(start);
        m_edit->selectAll();
        layout->addWidget(m_edit);
        prompt->setText(ToQt(option.prompt));
    }
    layout->addWidget(OkCancel(this));
    // Wide enough for the whole title: the name is all that says which
    // option is edited.
    setMinimumWidth(TitleWidth(windowTitle()));
}

void CValueDlg::accept() {
    std::string text = FromQt(m_edit ? m_edit->text() : m_combo->currentText());
    // Only what fits its line in the settings file, so an edit never makes
    // the file unsavable.
    CRawType stored = m_value;
    m_option.StoreValue(text, stored);
    bool fits = static_cast<long long>(stored.value.size()) <= m_option.MaxStoredLength();
    if (!fits)
        Messages().Show(FormatRange("The value can be at most %d character(s) long.",
                                    std::max(m_option.MaxTypedLength(), 0), 0),
                        MB_OK | MB_ICONEXCLAMATION);
    if (!fits || !m_option.Validate(text, true)) {
        if (m_edit) {
            m_edit->setFocus();
            m_edit->selectAll();
        } else {
            m_combo->setFocus();
        }
        return;
    }
    m_option.StoreValue(text, m_value);
    QDialog::accept();
}

bool CValueEditor::EditValue(const CItemType& option, CRawType& value) {
    if (option.type == kNoEdit)
        return false;
    CValueDlg dialog(option, value, m_parent);
    return UiHooks().RunDialog(dialog) == QDialog::Accepted;
}

CListDlg::CListDlg(std::vector<std::string>& list, QWidget* parent) : QDialog(parent), m_list(list) {
    setObjectName("List");
    setWindowTitle(QStringLiteral("List"));
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    m_box = new QListWidget(this);
    m_box->setObjectName("list1029");
    for (const std::string& entry : list)
        m_box->addItem(ToQt(entry));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName("edit1057");
    left->addWidget(m_box);
    left->addWidget(m_edit);
    layout->addLayout(left);
    auto* right = new QVBoxLayout;
    auto* add = Button("&Add", 1031, this);
    auto* remove = Button("&Remove", 1033, this);
    auto* up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setObjectName("spin1047up");
    auto* down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setObjectName("spin1047down");
    auto* copy = Button("&Copy", 1068, this);
    auto* paste = Button("&Paste", 1069, this);
    auto* done = Button("&Done", 1060, this);
    auto* cancel = Button("Cancel", 2, this);
    auto* spin = new QHBoxLayout;
    spin->addWidget(new QLabel(QStringLiteral("Order:"), this));
    spin->addWidget(up);
    spin->addWidget(down);
    for (QWidget* w : {static_cast<QWidget*>(add), static_cast<QWidget*>(remove)})
        right->addWidget(w);
    right->addLayout(spin);
    for (QWidget* w : {copy, paste, done, cancel})
        right->addWidget(w);
    right->addStretch();
    layout->addLayout(right);
    connect(add, &QPushButton::clicked, this, [this] {
        m_box->addItem(m_edit->text());
        m_edit->clear();
    });
    connect(remove, &QPushButton::clicked, this, [this] { delete m_box->currentItem(); });
    connect(up, &QToolButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down, &QToolButton::clicked, this, [this] { MoveSelected(1); });
    connect(copy, &QPushButton::clicked, this, &CListDlg::Copy);
    connect(paste, &QPushButton::clicked, this, &CListDlg::Paste);
    connect(done, &QPushButton::clicked, this, &CListDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CListDlg::reject);
    connect(m_box, &QListWidget::currentTextChanged, m_edit, &QLineEdit::setText);
}

void CListDlg::MoveSelected(int step) {
    int from = m_box->currentRow();
    if (from < 0)
        return;
    int to = std::max(0, from + step);
    QListWidgetItem* item = m_box->takeItem(from);
    to = std::min(to, m_box->count());
    m_box->insertItem(to, item);
    m_box->setCurrentRow(to);
}

void CListDlg::Copy() {
    QString text;
    for (int i = 0; i < m_box->count(); ++i)
        text += m_box->item(i)->text() + QStringLiteral("\r\n");
    QApplication::clipboard()->setText(text);
}

void CListDlg::Paste() {
    // Pieces between CR and LF; a last piece that no line break ends is
    // not added.
    QString text = QApplication::clipboard()->text();
    m_box->clear();
    QString piece;
    for (QChar c : text) {
        if (c == '\r' || c == '\n') {
            if (!piece.isEmpty())
                m_box->addItem(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
}

void CListDlg::accept() {
    m_list.clear();
    for (int i = 0; i < m_box->count(); ++i)
        m_list.push_back(FromQt(m_box->item(i)->text()));
    QDialog::accept();
}

CHelpEditDlg::CHelpEditDlg(CRichContainer& help, QWidget* parent) : QDialog(parent), m_help(help) {
    setObjectName("Help");
    setWindowTitle(QStringLiteral("Help"));
    auto* layout = new QVBoxLayout(this);
    auto* menu = new QMenuBar(this);
    layout->setMenuBar(menu);
    m_editor = new QTextEdit(this);
    m_editor->setObjectName("rich1015");
    m_editor->setAcceptRichText(true);
    RtfToDocument(help.bytes, *m_editor->document());
    layout->addWidget(m_editor);
    menu->addAction(QStringLiteral("&Save"), this, &CHelpEditDlg::Save);
    menu->addAction(QStringLiteral("&Cancel"), this, &CHelpEditDlg::reject);
    QMenu* format = menu->addMenu(QStringLiteral("F&ormat"));
    format->addAction(QStringLiteral("&Font"), this, [this] {
        bool ok = false;
        QFont font = QFontDialog::getFont(&ok, m_editor->currentFont(), this);
        if (ok)
            m_editor->setCurrentFont(font);
    });
    format->addAction(QStringLiteral("&Bold"), this, [this] {
        m_editor->setFontWeight(m_editor->fontWeight() >= QFont::Bold ? QFont::Normal : QFont::Bold);
    });
    format->addAction(QStringLiteral("&Italics"), this, [this] { m_editor->setFontItalic(!m_editor->fontItalic()); });
    format->addAction(QStringLiteral("&Left"), this, [this] { m_editor->setAlignment(Qt::AlignLeft); });
    format->addAction(QStringLiteral("&Right"), this, [this] { m_editor->setAlignment(Qt::AlignRight); });
    format->addAction(QStringLiteral("&Center"), this, [this] { m_editor->setAlignment(Qt::AlignHCenter); });
    resize(480, 360);
}

void CHelpEditDlg::Save() {
    m_help.bytes = DocumentToRtf(*m_editor->document());
    QDialog::accept();
}

void CHelpEditDlg::reject() {
    if (Messages().Show(u"Do you want to save your changes?", MB_YESNO | MB_ICONQUESTION) == IDYES)
        Save();
    else
        QDialog::reject();
}

CItemSetupDlg::CItemSetupDlg(CItemType& option, QWidget* parent) : QDialog(parent), m_option(option) {
    setObjectName("Item Setup");
    setWindowTitle(QStringLiteral("Item Setup"));
    auto* layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    layout->addLayout(m_form);
    m_texts = {{Field("&Section:", 1074, option.section), &option.section},
              {Field("&Key:", 1075, option.key), &option.key}};
    m_type = new QComboBox(this);
    m_type->setObjectName("combo1007");
    for (const char* name : kTypeNames)
        m_type->addItem(QString::fromLatin1(name));
    m_type->setCurrentIndex(option.type);
    m_form->addRow(QStringLiteral("&Type:"), m_type);
    m_numbers = {{Field("M&in:", 1054, std::to_string(option.min)), &option.min},
                {Field("Ma&x:", 1055, std::to_string(option.max)), &option.max}};
    m_texts.push_back({Field("&Name:", 1011, option.name), &option.name});
    m_texts.push_back({Field("P&rompt:", 1012, option.prompt), &option.prompt});
    m_texts.push_back({Field("Tree &path:", 1034, option.treePath), &option.treePath});
    m_texts.push_back({Field("Scop&e:", 1045, option.scope), &option.scope});
    m_numbers.push_back({Field("&Order:", 1046, std::to_string(option.order)), &option.order});
    m_checks = {{Check("Hi&dden", 1048, option.hidden), &option.hidden},
               {Check("Re&quired", 1065, option.required), &option.required},
               {Check("&Multiple Entries", 1049, option.multiple), &option.multiple}};
    auto* row = new QHBoxLayout;
    auto* help = Button("Edit &Help", 1051, this);
    auto* list = Button("&List", 1052, this);
    row->addWidget(help);
    row->addWidget(list);
    layout->addLayout(row);
    layout->addWidget(OkCancel(this));
    connect(help, &QPushButton::clicked, this, [this] {
        CHelpEditDlg dialog(m_option.help, this);
        UiHooks().RunDialog(dialog);
    });
    connect(list, &QPushButton::clicked, this, [this] {
        CListDlg dialog(m_option.valueList, this);
        UiHooks().RunDialog(dialog);
    });
}

QLineEdit* CItemSetupDlg::Field(const char* label, int id, const std::string& text) {
    auto* edit = new QLineEdit(ToQt(text), this);
    edit->setObjectName(Id("edit", id));
    m_form->addRow(QString::fromLatin1(label), edit);
    return edit;
}

QCheckBox* CItemSetupDlg::Check(const char* label, int id, int on) {
    auto* box = new QCheckBox(QString::fromLatin1(label), this);
    box->setObjectName(Id("check", id));
    box->setChecked(on != 0);
    m_form->addRow(box);
    return box;
}

void CItemSetupDlg::accept() {
    // Taken as typed, without checks.
    for (auto& [edit, field] : m_texts)
        *field = FromQt(edit->text());
    for (auto& [edit, field] : m_numbers)
        *field = std::atoi(FromQt(edit->text()).c_str());
    for (auto& [box, field] : m_checks)
        *field = box->isChecked() ? 1 : 0;
    m_option.type = m_type->currentIndex();
    QDialog::accept();
}

CFindDlg::CFindDlg(std::function<void()> findNext, QWidget* parent) : QDialog(parent) {
    setObjectName("Find");
    setWindowTitle(QStringLiteral("Find"));
    auto* layout = new QGridLayout(this);
    m_what = new QLineEdit(this);
    m_what->setObjectName("edit1070");
    m_all = new QCheckBox(QStringLiteral("Search &all text"), this);
    m_all->setObjectName("check1072");
    auto* label = new QLabel(QStringLiteral("Find &What:"), this);
    label->setBuddy(m_what);
    auto* next = Button("&Find Next", 1071, this);
    next->setDefault(true);
    auto* cancel = Button("Cancel", 2, this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_what, 0, 1);
    layout->addWidget(next, 0, 2);
    layout->addWidget(m_all, 1, 0, 1, 2);
    layout->addWidget(cancel, 1, 2);
    connect(next, &QPushButton::clicked, this, std::move(findNext));
    connect(cancel, &QPushButton::clicked, this, &QDialog::hide);
}

std::string CFindDlg::Text() const {
    return FromQt(m_what->text());
}

bool CFindDlg::AllText() const {
    return m_all->isChecked();
}

void CFindDlg::ShowCentred() {
    show();
    if (parentWidget())
        move(parentWidget()->geometry().center() - rect().center());
    raise();
    activateWindow();
    m_what->setFocus();
    m_what->selectAll();
}

CPasswordDlg::CPasswordDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("Advanced Access");
    setWindowTitle(QStringLiteral("Advanced Access"));
    auto* layout = new QFormLayout(this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName("edit1050");
    m_edit->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Enter &Password:"), m_edit);
    layout->addRow(OkCancel(this));
}

std::string CPasswordDlg::Typed() const {
    return FromQt(m_edit->text());
}

}  // namespace settingseditor
