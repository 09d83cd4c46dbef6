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

#include "deskcommon/Messages.h"
#include "deskcommon/views/UiHooks.h"

namespace settingseditor {

using namespace deskcommon;

namespace {

const QString kFilter = QStringLiteral("CFG Files (*.cfg)");

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

}  // namespace

CMainFrame::CMainFrame(const CommandLineInfo& info, const std::string& programDir)
    : m_doc(info, programDir), m_editor(this) {
    setObjectName("MainFrame");
    setAcceptDrops(true);
    CreateMenus();
    TreeCommands tc{Command("Add"),        Command("Edit"),         Command("Reset"),       Command("AddOption"),
                    Command("EditOption"), Command("DeleteOption"), Command("DefaultValue")};
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_tree = new COptariumView(m_doc, tc, statusBar(), m_splitter);
    m_help = new CRichHelpView(m_doc, m_splitter);
    m_help->SetFocusTarget(m_tree);
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_help);
    m_splitter->setSizes({250, 250});
    setCentralWidget(m_splitter);
    statusBar()->showMessage(QStringLiteral("Ready"));
    m_doc.AddView(m_tree);
    m_doc.AddView(m_help);
    m_doc.AddView(this);
    m_doc.onChanged = [this] { UpdateTitle(); };
    resize(640, 480);
    UpdateTitle();
}

CMainFrame::~CMainFrame() {
    m_doc.onChanged = nullptr;
    m_doc.RemoveView(this);
    m_doc.RemoveView(m_help);
    m_doc.RemoveView(m_tree);
}

QAction* CMainFrame::Command(const char* name) const {
    auto it = m_commands.find(name);
    return it == m_commands.end() ? nullptr : it->second;
}

QAction* CMainFrame::MakeAction(const char* name, const QString& text, std::function<void()> run,
                                const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty())
        action->setShortcut(key);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    m_commands[name] = action;
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

    m_editMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    // Undo, Cut, Copy and Paste have no handler here and stay disabled.
    for (auto [text, key] : {std::pair{"&Undo", QKeySequence::Undo}, std::pair{"Cu&t", QKeySequence::Cut},
                             std::pair{"&Copy", QKeySequence::Copy}, std::pair{"&Paste", QKeySequence::Paste}}) {
        QAction* a = m_editMenu->addAction(QString::fromLatin1(text));
        a->setShortcut(key);
        a->setEnabled(false);
    }
    m_editMenu->addSeparator();
    m_editMenu->addAction(MakeAction("Find", QStringLiteral("&Find..."), [this] { OnFind(); }, QKeySequence::Find));
    m_editMenu->addAction(MakeAction("FindNext", QStringLiteral("Find &Next"), [this] { OnFindNext(); },
                                    QKeySequence(Qt::Key_F3)));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    // Alt+V belongs to View.
    QMenu* value = menuBar()->addMenu(QStringLiteral("Va&lue"));
    value->addAction(MakeAction("Add", QStringLiteral("&Add"), [this] { m_doc.OnAddValue(m_editor); }));
    value->addAction(MakeAction("Edit", QStringLiteral("&Edit"), [this] { m_doc.OnEditValue(m_editor); },
                                QKeySequence(Qt::Key_Return)));
    value->addAction(MakeAction("Reset", QStringLiteral("&Reset"), [this] { m_doc.OnResetValue(); },
                                QKeySequence::Delete));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(MakeAction("About", QStringLiteral("&About Optarium..."), [] {
        Messages().Show(u"Optarium\nSettings editor of the Orvade client.", MB_OK | MB_ICONINFORMATION);
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
        m_doc.SetFlat(!m_doc.IsFlat());
        m_doc.UpdateAllViews(kHintRebuild);
    });
    treeMode->setCheckable(true);
    treeMode->setChecked(true);
    bar->addAction(treeMode);
    QAction* barToggle = bar->toggleViewAction();
    barToggle->setText(QStringLiteral("&Toolbar"));
    view->addAction(barToggle);
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
    MakeAction("DefaultValue", QStringLiteral("D&efault Value"), [this] { m_doc.OnDefaultValue(m_editor); });
    MakeAction("SaveCsv", QStringLiteral("&Save CSV"), [this] { m_doc.SaveCsv(); });
    OnUpdate(kHintSelection);
}

void CMainFrame::OnUpdate(int) {
    Command("Add")->setEnabled(m_doc.CanAddValue());
    Command("Edit")->setEnabled(m_doc.CanEditValue());
    Command("Reset")->setEnabled(m_doc.CanResetValue());
    Command("TreeMode")->setChecked(!m_doc.IsFlat());
}

void CMainFrame::UpdateTitle() {
    setWindowTitle(QString::fromStdString(m_doc.GetTitle()) + QStringLiteral("[*] - Settings"));
    setWindowModified(m_doc.IsModified());
}

bool CMainFrame::Start() {
    const std::string& file = m_doc.Info().fileName;
    return file.empty() ? NewDocument() : OpenDocumentFile(QString::fromStdString(file));
}

bool CMainFrame::SaveModified() {
    if (!m_doc.IsModified())
        return true;
    int answer = Messages().Show(Format("Save changes to %s?", FromPath(m_doc.GetTitle())),
                                 MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    if (answer == IDCANCEL)
        return false;
    return answer == IDNO || Save();
}

bool CMainFrame::NewDocument() {
    if (!SaveModified())
        return false;
    bool ok = m_doc.OnNewDocument();
    m_doc.SetPathName("");
    m_doc.SetModifiedFlag(false);
    m_doc.UpdateAllViews(kHintRebuild);
    return ok;
}

bool CMainFrame::OpenDocumentFile(const QString& path) {
    if (!SaveModified())
        return false;
    std::string file = Utf8(QFileInfo(path).absoluteFilePath());
    bool ok = m_doc.OnOpenDocument(file);
    if (!ok)
        m_doc.DeleteContents();
    m_doc.SetPathName(ok ? file : "");
    m_doc.SetModifiedFlag(false);
    m_doc.UpdateAllViews(kHintRebuild);
    return ok;
}

bool CMainFrame::Save() {
    if (m_doc.GetPathName().empty())
        return SaveAs();
    return m_doc.OnSaveDocument(m_doc.GetPathName());
}

bool CMainFrame::SaveAs() {
    QString suggested = m_doc.GetPathName().empty() ? QStringLiteral("ravelcore.cfg")
                                                   : QString::fromStdString(m_doc.GetPathName());
    QString path = UiHooks().SaveFileName(this, suggested, kFilter);
    if (path.isEmpty())
        return false;
    std::string file = Utf8(QFileInfo(path).absoluteFilePath());
    if (!m_doc.OnSaveDocument(file))
        return false;
    m_doc.SetPathName(file);
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (SaveModified()) {
        if (m_find)
            m_find->hide();
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
    if (!m_find)
        m_find = std::make_unique<CFindDlg>([this] { Command("FindNext")->trigger(); }, this);
    m_find->ShowCentred();
}

void CMainFrame::OnFindNext() {
    std::string text = m_find ? m_find->Text() : std::string();
    if (text.empty())
        return;
    CItemType* found = m_doc.FindNext(text, m_find->AllText());
    if (!found) {
        Messages().Show(Format("Cannot find '%s'.", FromAnsi(text)), MB_OK | MB_ICONINFORMATION);
        return;
    }
    m_doc.Select(found);
    m_tree->SelectCurrent();
    m_doc.UpdateAllViews(kHintSelection);
    statusBar()->showMessage(ToQt(found->name));
}

void CMainFrame::OnEnableAccess() {
    CPasswordDlg dialog(this);
    if (UiHooks().RunDialog(dialog) != QDialog::Accepted)
        return;
    if (!m_doc.GrantAccess(dialog.Typed())) {
        Messages().Show(u"Incorrect Password.", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    AppendAdvancedEntries();
    Messages().Show(u"Advanced access granted.", MB_OK | MB_ICONINFORMATION);
    m_doc.UpdateAllViews(kHintRebuild);
}

void CMainFrame::AppendAdvancedEntries() {
    // Each grant appends the entries again, as menu items of their own.
    auto entry = [this](const char* name) {
        QAction* command = Command(name);
        QAction* item = m_editMenu->addAction(command->text());
        connect(item, &QAction::triggered, command, &QAction::trigger);
    };
    m_editMenu->addSeparator();
    for (const char* name : {"AddOption", "EditOption", "DeleteOption", "DefaultValue"})
        entry(name);
    m_editMenu->addSeparator();
    entry("SaveCsv");
}

void CMainFrame::OnAddOption() {
    std::unique_ptr<CItemType> option = COptariumDoc::NewOption();
    CItemSetupDlg dialog(*option, this);
    if (UiHooks().RunDialog(dialog) != QDialog::Accepted)
        return;
    m_doc.InsertByOrder(std::move(option));
    // A new option is a change of the catalog: keep it from being dropped
    // unasked.
    m_doc.SetModifiedFlag();
    m_doc.UpdateAllViews(kHintRebuild);
}

void CMainFrame::OnEditOption() {
    CItemType* option = m_doc.CurrentOption();
    if (!option)
        return;
    CItemSetupDlg dialog(*option, this);
    int result = UiHooks().RunDialog(dialog);
    m_help->Invalidate();   // the help text may have been edited either way
    if (result == QDialog::Accepted) {
        m_doc.MoveByOrder(option);
        m_doc.SetModifiedFlag();
        m_doc.UpdateAllViews(kHintRebuild);
    } else {
        m_doc.UpdateAllViews(kHintSelection);
    }
}

void CMainFrame::OnDeleteOption() {
    CItemType* option = m_doc.CurrentOption();
    if (!option)
        return;
    if (Messages().Show(Format("Delete '%s'?", FromAnsi(option->name)), MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
        m_doc.DeleteOption(option);
}

}  // namespace settingseditor
