#include "settingseditor/views/Dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
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

#include "settingseditor/Messages.h"
#include "settingseditor/views/Rtf.h"
#include "settingseditor/views/UiHooks.h"

namespace settingseditor {

QString ToQt(const std::string& bytes) {
    return QString::fromStdU16String(FromAnsi(bytes));
}

std::string FromQt(const QString& text) {
    return ToAnsi(text.toStdU16String());
}

namespace {

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
    if (!text.isEmpty() && text[0].isPrint() && !allowed_.contains(text[0])) {
        QApplication::beep();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

CValueDlg::CValueDlg(const CItemType& option, CRawType& value, QWidget* parent)
    : QDialog(parent), option_(option), value_(value) {
    bool select = !option.valueList.empty();
    setObjectName(select ? "Select" : "String");
    setWindowTitle(ToQt(option.name));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(ToQt(option.prompt), this);
    prompt->setObjectName("static1056");
    layout->addWidget(prompt);
    QString start = ToQt(option.GetDisplayValue(value));
    if (select) {
        combo_ = new QComboBox(this);
        combo_->setObjectName("combo1061");
        for (const std::string& entry : option.valueList)
            combo_->addItem(ToQt(CItemType::EntryLabel(entry)));
        combo_->setCurrentIndex(combo_->findText(start, Qt::MatchExactly));
        layout->addWidget(combo_);
        prompt->setText(option.prompt.empty() ? QStringLiteral("Choose a value:") : ToQt(option.prompt));
    } else {
        const char* allowed = option.GetAllowedChars();
        edit_ = *allowed ? new CFilterEdit(QString::fromLatin1(allowed), this) : new QLineEdit(this);
        edit_->setObjectName("edit1067");
        edit_->setMaxLength(255);
        edit_->setText(start);
        edit_->selectAll();
        layout->addWidget(edit_);
        prompt->setText(option.prompt.empty() ? QStringLiteral("Enter string:") : ToQt(option.prompt));
    }
    layout->addWidget(OkCancel(this));
}

void CValueDlg::accept() {
    std::string text = FromQt(edit_ ? edit_->text() : combo_->currentText());
    if (!option_.Validate(text, true)) {
        if (edit_) {
            edit_->setFocus();
            edit_->selectAll();
        } else {
            combo_->setFocus();
        }
        return;
    }
    option_.StoreValue(text, value_);
    QDialog::accept();
}

bool CValueEditor::EditValue(const CItemType& option, CRawType& value) {
    if (option.type == kNoEdit)
        return false;
    CValueDlg dialog(option, value, parent_);
    return UiHooks().RunDialog(dialog) == QDialog::Accepted;
}

CListDlg::CListDlg(std::vector<std::string>& list, QWidget* parent) : QDialog(parent), list_(list) {
    setObjectName("List");
    setWindowTitle(QStringLiteral("List"));
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    box_ = new QListWidget(this);
    box_->setObjectName("list1029");
    for (const std::string& entry : list)
        box_->addItem(ToQt(entry));
    edit_ = new QLineEdit(this);
    edit_->setObjectName("edit1057");
    left->addWidget(box_);
    left->addWidget(edit_);
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
        box_->addItem(edit_->text());
        edit_->clear();
    });
    connect(remove, &QPushButton::clicked, this, [this] { delete box_->currentItem(); });
    connect(up, &QToolButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down, &QToolButton::clicked, this, [this] { MoveSelected(1); });
    connect(copy, &QPushButton::clicked, this, &CListDlg::Copy);
    connect(paste, &QPushButton::clicked, this, &CListDlg::Paste);
    connect(done, &QPushButton::clicked, this, &CListDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CListDlg::reject);
    connect(box_, &QListWidget::currentTextChanged, edit_, &QLineEdit::setText);
}

void CListDlg::MoveSelected(int step) {
    int from = box_->currentRow();
    if (from < 0)
        return;
    int to = std::max(0, from + step);
    QListWidgetItem* item = box_->takeItem(from);
    to = std::min(to, box_->count());
    box_->insertItem(to, item);
    box_->setCurrentRow(to);
}

void CListDlg::Copy() {
    QString text;
    for (int i = 0; i < box_->count(); ++i)
        text += box_->item(i)->text() + QStringLiteral("\r\n");
    QApplication::clipboard()->setText(text);
}

void CListDlg::Paste() {
    // Pieces between CR and LF; a last piece that no line break ends is
    // not added.
    QString text = QApplication::clipboard()->text();
    box_->clear();
    QString piece;
    for (QChar c : text) {
        if (c == '\r' || c == '\n') {
            if (!piece.isEmpty())
                box_->addItem(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
}

void CListDlg::accept() {
    list_.clear();
    for (int i = 0; i < box_->count(); ++i)
        list_.push_back(FromQt(box_->item(i)->text()));
    QDialog::accept();
}

CHelpEditDlg::CHelpEditDlg(CRichContainer& help, QWidget* parent) : QDialog(parent), help_(help) {
    setObjectName("Help");
    setWindowTitle(QStringLiteral("Help"));
    auto* layout = new QVBoxLayout(this);
    auto* menu = new QMenuBar(this);
    layout->setMenuBar(menu);
    editor_ = new QTextEdit(this);
    editor_->setObjectName("rich1015");
    editor_->setAcceptRichText(true);
    RtfToDocument(help.bytes, *editor_->document());
    layout->addWidget(editor_);
    menu->addAction(QStringLiteral("&Save"), this, &CHelpEditDlg::Save);
    menu->addAction(QStringLiteral("&Cancel"), this, &CHelpEditDlg::reject);
    QMenu* format = menu->addMenu(QStringLiteral("F&ormat"));
    format->addAction(QStringLiteral("&Font"), this, [this] {
        bool ok = false;
        QFont font = QFontDialog::getFont(&ok, editor_->currentFont(), this);
        if (ok)
            editor_->setCurrentFont(font);
    });
    format->addAction(QStringLiteral("&Bold"), this, [this] {
        editor_->setFontWeight(editor_->fontWeight() >= QFont::Bold ? QFont::Normal : QFont::Bold);
    });
    format->addAction(QStringLiteral("&Italics"), this, [this] { editor_->setFontItalic(!editor_->fontItalic()); });
    format->addAction(QStringLiteral("&Left"), this, [this] { editor_->setAlignment(Qt::AlignLeft); });
    format->addAction(QStringLiteral("&Right"), this, [this] { editor_->setAlignment(Qt::AlignRight); });
    format->addAction(QStringLiteral("&Center"), this, [this] { editor_->setAlignment(Qt::AlignHCenter); });
    resize(480, 360);
}

void CHelpEditDlg::Save() {
    help_.bytes = DocumentToRtf(*editor_->document());
    QDialog::accept();
}

void CHelpEditDlg::reject() {
    if (Messages().Show(u"Do you want to save your changes?", kMbYesNo | kMbIconQuestion) == kIdYes)
        Save();
    else
        QDialog::reject();
}

CItemSetupDlg::CItemSetupDlg(CItemType& option, QWidget* parent) : QDialog(parent), option_(option) {
    setObjectName("Item Setup");
    setWindowTitle(QStringLiteral("Item Setup"));
    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout;
    layout->addLayout(form_);
    texts_ = {{Field("&Section:", 1074, option.section), &option.section},
              {Field("&Key:", 1075, option.key), &option.key}};
    type_ = new QComboBox(this);
    type_->setObjectName("combo1007");
    for (const char* name : kTypeNames)
        type_->addItem(QString::fromLatin1(name));
    type_->setCurrentIndex(option.type);
    form_->addRow(QStringLiteral("&Type:"), type_);
    numbers_ = {{Field("M&in:", 1054, std::to_string(option.min)), &option.min},
                {Field("Ma&x:", 1055, std::to_string(option.max)), &option.max}};
    texts_.push_back({Field("&Name:", 1011, option.name), &option.name});
    texts_.push_back({Field("P&rompt:", 1012, option.prompt), &option.prompt});
    texts_.push_back({Field("Tree &path:", 1034, option.treePath), &option.treePath});
    texts_.push_back({Field("Scop&e:", 1045, option.scope), &option.scope});
    numbers_.push_back({Field("&Order:", 1046, std::to_string(option.order)), &option.order});
    checks_ = {{Check("Hi&dden", 1048, option.hidden), &option.hidden},
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
        CHelpEditDlg dialog(option_.help, this);
        UiHooks().RunDialog(dialog);
    });
    connect(list, &QPushButton::clicked, this, [this] {
        CListDlg dialog(option_.valueList, this);
        UiHooks().RunDialog(dialog);
    });
}

QLineEdit* CItemSetupDlg::Field(const char* label, int id, const std::string& text) {
    auto* edit = new QLineEdit(ToQt(text), this);
    edit->setObjectName(Id("edit", id));
    form_->addRow(QString::fromLatin1(label), edit);
    return edit;
}

QCheckBox* CItemSetupDlg::Check(const char* label, int id, int on) {
    auto* box = new QCheckBox(QString::fromLatin1(label), this);
    box->setObjectName(Id("check", id));
    box->setChecked(on != 0);
    form_->addRow(box);
    return box;
}

void CItemSetupDlg::accept() {
    // Taken as typed, without checks.
    for (auto& [edit, field] : texts_)
        *field = FromQt(edit->text());
    for (auto& [edit, field] : numbers_)
        *field = std::atoi(FromQt(edit->text()).c_str());
    for (auto& [box, field] : checks_)
        *field = box->isChecked() ? 1 : 0;
    option_.type = type_->currentIndex();
    QDialog::accept();
}

CFindDlg::CFindDlg(std::function<void()> findNext, QWidget* parent) : QDialog(parent) {
    setObjectName("Find");
    setWindowTitle(QStringLiteral("Find"));
    auto* layout = new QGridLayout(this);
    what_ = new QLineEdit(this);
    what_->setObjectName("edit1070");
    all_ = new QCheckBox(QStringLiteral("Search &all text"), this);
    all_->setObjectName("check1072");
    auto* label = new QLabel(QStringLiteral("Find &What:"), this);
    label->setBuddy(what_);
    auto* next = Button("&Find Next", 1071, this);
    next->setDefault(true);
    auto* cancel = Button("Cancel", 2, this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(what_, 0, 1);
    layout->addWidget(next, 0, 2);
    layout->addWidget(all_, 1, 0, 1, 2);
    layout->addWidget(cancel, 1, 2);
    connect(next, &QPushButton::clicked, this, std::move(findNext));
    connect(cancel, &QPushButton::clicked, this, &QDialog::hide);
}

std::string CFindDlg::Text() const {
    return FromQt(what_->text());
}

bool CFindDlg::AllText() const {
    return all_->isChecked();
}

void CFindDlg::ShowCentred() {
    show();
    if (parentWidget())
        move(parentWidget()->geometry().center() - rect().center());
    raise();
    activateWindow();
    what_->setFocus();
    what_->selectAll();
}

CPasswordDlg::CPasswordDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("Advanced Access");
    setWindowTitle(QStringLiteral("Advanced Access"));
    auto* layout = new QFormLayout(this);
    edit_ = new QLineEdit(this);
    edit_->setObjectName("edit1050");
    edit_->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Enter &Password:"), edit_);
    layout->addRow(OkCancel(this));
}

std::string CPasswordDlg::Typed() const {
    return FromQt(edit_->text());
}

}  // namespace settingseditor
