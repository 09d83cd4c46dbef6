#include "settingseditor/views/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "settingseditor/Messages.h"
#include "settingseditor/views/UiHooks.h"

namespace settingseditor {

namespace {

const QString kFilter = QStringLiteral("CFG Files (*.cfg)");

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

}  // namespace

CMainFrame::CMainFrame(const CommandLineInfo& info, const std::string& programDir)
    : doc_(info, programDir), editor_(this) {
    setObjectName("MainFrame");
    setAcceptDrops(true);
    CreateMenus();
    TreeCommands tc{Command("Add"),        Command("Edit"),         Command("Reset"),       Command("AddOption"),
                    Command("EditOption"), Command("DeleteOption"), Command("DefaultValue")};
    splitter_ = new QSplitter(Qt::Horizontal, this);
    tree_ = new COptariumView(doc_, tc, statusBar(), splitter_);
    help_ = new CRichHelpView(doc_, splitter_);
    help_->SetFocusTarget(tree_);
    splitter_->addWidget(tree_);
    splitter_->addWidget(help_);
    splitter_->setSizes({250, 250});
    setCentralWidget(splitter_);
    statusBar()->showMessage(QStringLiteral("Ready"));
    doc_.AddView(tree_);
    doc_.AddView(help_);
    doc_.AddView(this);
    doc_.onChanged = [this] { UpdateTitle(); };
    resize(640, 480);
    UpdateTitle();
}

CMainFrame::~CMainFrame() {
    doc_.onChanged = nullptr;
    doc_.RemoveView(this);
    doc_.RemoveView(help_);
    doc_.RemoveView(tree_);
}

QAction* CMainFrame::Command(const char* name) const {
    auto it = commands_.find(name);
    return it == commands_.end() ? nullptr : it->second;
}

QAction* CMainFrame::MakeAction(const char* name, const QString& text, std::function<void()> run,
                                const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty())
        action->setShortcut(key);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    commands_[name] = action;
    return action;
}

void CMainFrame::CreateMenus() {
    QStyle* s = style();
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(MakeAction("New", QStringLiteral("&New"), [this] { NewDocument(); }, QKeySequence::New));
    file->addAction(MakeAction("Open", QStringLiteral("&Open..."), [this] {
        QString path = UiHooks().OpenFileName(this, kFilter);
        if (!path.isEmpty())
            OpenDocumentFile(path);
    }, QKeySequence::Open));
    file->addAction(MakeAction("Save", QStringLiteral("&Save"), [this] { Save(); }, QKeySequence::Save));
    file->addAction(MakeAction("SaveAs", QStringLiteral("Save &As..."), [this] { SaveAs(); }, QKeySequence::SaveAs));
    file->addSeparator();
    file->addAction(MakeAction("Exit", QStringLiteral("E&xit"), [this] { close(); }, QKeySequence::Quit));
    Command("New")->setIcon(s->standardIcon(QStyle::SP_FileIcon));
    Command("Open")->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
    Command("Save")->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));

    editMenu_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    // Undo, Cut, Copy and Paste have no handler here and stay disabled.
    for (auto [text, key] : {std::pair{"&Undo", QKeySequence::Undo}, std::pair{"Cu&t", QKeySequence::Cut},
                             std::pair{"&Copy", QKeySequence::Copy}, std::pair{"&Paste", QKeySequence::Paste}}) {
        QAction* a = editMenu_->addAction(QString::fromLatin1(text));
        a->setShortcut(key);
        a->setEnabled(false);
    }
    editMenu_->addSeparator();
    editMenu_->addAction(MakeAction("Find", QStringLiteral("&Find..."), [this] { OnFind(); }, QKeySequence::Find));
    editMenu_->addAction(MakeAction("FindNext", QStringLiteral("Find &Next"), [this] { OnFindNext(); },
                                    QKeySequence(Qt::Key_F3)));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QMenu* value = menuBar()->addMenu(QStringLiteral("&Value"));
    value->addAction(MakeAction("Add", QStringLiteral("&Add"), [this] { doc_.OnAddValue(editor_); }));
    value->addAction(MakeAction("Edit", QStringLiteral("&Edit"), [this] { doc_.OnEditValue(editor_); },
                                QKeySequence(Qt::Key_Return)));
    value->addAction(MakeAction("Reset", QStringLiteral("&Reset"), [this] { doc_.OnResetValue(); },
                                QKeySequence::Delete));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(MakeAction("About", QStringLiteral("&About Optarium..."), [] {
        Messages().Show(u"Optarium\nSettings editor of the Orvade client.", kMbOk | kMbIconInformation);
    }));

    QToolBar* bar = addToolBar(QStringLiteral("Standard"));
    bar->setObjectName("Toolbar");
    bar->addAction(Command("New"));
    bar->addAction(Command("Open"));
    bar->addAction(Command("Save"));
    bar->addSeparator();
    bar->addAction(Command("Add"));
    bar->addAction(Command("Edit"));
    bar->addAction(Command("Reset"));
    bar->addSeparator();
    QAction* treeMode = MakeAction("TreeMode", QStringLiteral("&Tree Mode"), [this] {
        doc_.flat = !doc_.flat;
        doc_.UpdateAllViews(kHintRebuild);
    });
    treeMode->setCheckable(true);
    treeMode->setChecked(true);
    bar->addAction(treeMode);
    view->addAction(bar->toggleViewAction());
    QAction* statusToggle = view->addAction(QStringLiteral("&Status Bar"));
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    view->addAction(treeMode);

    // Reached only by its keys.
    addAction(MakeAction("EnableAccess", QStringLiteral("Enable Access"), [this] { OnEnableAccess(); },
                         QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_A)));
    MakeAction("AddOption", QStringLiteral("&Add Option"), [this] { OnAddOption(); });
    MakeAction("EditOption", QStringLiteral("&Edit Option"), [this] { OnEditOption(); });
    MakeAction("DeleteOption", QStringLiteral("&Delete Option"), [this] { OnDeleteOption(); });
    MakeAction("DefaultValue", QStringLiteral("D&efault Value"), [this] { doc_.OnDefaultValue(editor_); });
    MakeAction("SaveCsv", QStringLiteral("&Save CSV"), [this] { doc_.SaveCsv(); });
    OnUpdate(kHintSelection);
}

void CMainFrame::OnUpdate(int) {
    Command("Add")->setEnabled(doc_.CanAddValue());
    Command("Edit")->setEnabled(doc_.CanEditValue());
    Command("Reset")->setEnabled(doc_.CanResetValue());
    Command("TreeMode")->setChecked(!doc_.flat);
}

void CMainFrame::UpdateTitle() {
    setWindowTitle(QString::fromStdString(doc_.GetTitle()) + QStringLiteral("[*] - Settings"));
    setWindowModified(doc_.IsModified());
}

bool CMainFrame::Start() {
    const std::string& file = doc_.Info().fileName;
    return file.empty() ? NewDocument() : OpenDocumentFile(QString::fromStdString(file));
}

bool CMainFrame::SaveModified() {
    if (!doc_.IsModified())
        return true;
    int answer = Messages().Show(Format("Save changes to %s?", FromPath(doc_.GetTitle())),
                                 kMbYesNoCancel | kMbIconExclamation);
    if (answer == kIdCancel)
        return false;
    return answer == kIdNo || Save();
}

bool CMainFrame::NewDocument() {
    if (!SaveModified())
        return false;
    bool ok = doc_.OnNewDocument();
    doc_.SetPathName("");
    doc_.SetModifiedFlag(false);
    doc_.UpdateAllViews(kHintRebuild);
    return ok;
}

bool CMainFrame::OpenDocumentFile(const QString& path) {
    if (!SaveModified())
        return false;
    std::string file = Utf8(QFileInfo(path).absoluteFilePath());
    bool ok = doc_.OnOpenDocument(file);
    if (!ok)
        doc_.DeleteContents();
    doc_.SetPathName(ok ? file : "");
    doc_.SetModifiedFlag(false);
    doc_.UpdateAllViews(kHintRebuild);
    return ok;
}

bool CMainFrame::Save() {
    if (doc_.GetPathName().empty())
        return SaveAs();
    return doc_.OnSaveDocument(doc_.GetPathName());
}

bool CMainFrame::SaveAs() {
    QString suggested = doc_.GetPathName().empty() ? QStringLiteral("ravelcore.cfg")
                                                   : QString::fromStdString(doc_.GetPathName());
    QString path = UiHooks().SaveFileName(this, suggested, kFilter);
    if (path.isEmpty())
        return false;
    std::string file = Utf8(QFileInfo(path).absoluteFilePath());
    if (!doc_.OnSaveDocument(file))
        return false;
    doc_.SetPathName(file);
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (SaveModified()) {
        if (find_)
            find_->hide();
        event->accept();
    } else {
        event->ignore();
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        OpenDocumentFile(urls.first().toLocalFile());
}

void CMainFrame::OnFind() {
    if (!find_)
        find_ = std::make_unique<CFindDlg>([this] { Command("FindNext")->trigger(); }, this);
    find_->ShowCentred();
}

void CMainFrame::OnFindNext() {
    std::string text = find_ ? find_->Text() : std::string();
    if (text.empty())
        return;
    CItemType* found = doc_.FindNext(text, find_->AllText());
    if (!found) {
        Messages().Show(Format("Cannot find '%s'.", FromAnsi(text)), kMbOk | kMbIconInformation);
        return;
    }
    doc_.currentOption = found;
    doc_.currentValue = nullptr;
    tree_->SelectCurrent();
    doc_.UpdateAllViews(kHintSelection);
}

void CMainFrame::OnEnableAccess() {
    CPasswordDlg dialog(this);
    if (UiHooks().RunDialog(dialog) != QDialog::Accepted)
        return;
    if (!doc_.GrantAccess(dialog.Typed())) {
        Messages().Show(u"Incorrect Password.", kMbOk | kMbIconExclamation);
        return;
    }
    AppendAdvancedEntries();
    Messages().Show(u"Advanced access granted.", kMbOk | kMbIconInformation);
    doc_.UpdateAllViews(kHintRebuild);
}

void CMainFrame::AppendAdvancedEntries() {
    // Each grant appends the entries again, as menu items of their own.
    auto entry = [this](const char* name) {
        QAction* command = Command(name);
        QAction* item = editMenu_->addAction(command->text());
        connect(item, &QAction::triggered, command, &QAction::trigger);
    };
    editMenu_->addSeparator();
    for (const char* name : {"AddOption", "EditOption", "DeleteOption", "DefaultValue"})
        entry(name);
    editMenu_->addSeparator();
    entry("SaveCsv");
}

void CMainFrame::OnAddOption() {
    std::unique_ptr<CItemType> option = COptariumDoc::NewOption();
    CItemSetupDlg dialog(*option, this);
    if (UiHooks().RunDialog(dialog) != QDialog::Accepted)
        return;
    doc_.InsertByOrder(std::move(option));
    // A new option is a change of the catalog: keep it from being dropped
    // unasked.
    doc_.SetModifiedFlag();
    doc_.UpdateAllViews(kHintRebuild);
}

void CMainFrame::OnEditOption() {
    CItemType* option = doc_.currentOption;
    if (!option)
        return;
    CItemSetupDlg dialog(*option, this);
    int result = UiHooks().RunDialog(dialog);
    help_->Invalidate();   // the help text may have been edited either way
    if (result == QDialog::Accepted) {
        doc_.MoveByOrder(option);
        doc_.SetModifiedFlag();
        doc_.UpdateAllViews(kHintRebuild);
    } else {
        doc_.UpdateAllViews(kHintSelection);
    }
}

void CMainFrame::OnDeleteOption() {
    CItemType* option = doc_.currentOption;
    if (!option)
        return;
    if (Messages().Show(Format("Delete '%s'?", FromAnsi(option->name)), kMbOkCancel | kMbIconQuestion) == kIdOk)
        doc_.DeleteOption(option);
}

}  // namespace settingseditor
