#include "zendril/views/HostsDialog.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "deskcommon/Messages.h"
#include "deskcommon/views/QtText.h"
#include "deskcommon/views/UiHooks.h"

namespace zendril {

using deskcommon::FromQt;
using deskcommon::ToQt;

CZendrilDlg::CZendrilDlg(CHostsDocument& doc, QWidget* parent) : QDialog(parent), m_doc(doc) {
    setWindowTitle(QString::fromLatin1(kTitle));
    m_list = new QListWidget;
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* info = new QLabel(QStringLiteral("Quillmar\n\nSelect a host, or press New to add one."));
    info->setAlignment(Qt::AlignCenter);
    info->setWordWrap(true);   // the page is narrower than the line
    info->setFrameShape(QFrame::StyledPanel);

    auto* host = new QGroupBox(QStringLiteral("Host"));
    auto* form = new QFormLayout(host);
    m_name = new QLineEdit;
    m_address = new QLineEdit;
    m_port = new QLineEdit;
    // Digits only as typed; lengths are checked when the page is committed,
    // so a longer value read from the file is never cut behind the user.
    m_port->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_port));
    const std::pair<const char*, QLineEdit*> fields[] = {
        {"&Name:", m_name}, {"&Address:", m_address}, {"&Port:", m_port}};
    for (const auto& [label, edit] : fields) {
        auto* l = new QLabel(QString::fromLatin1(label));
        l->setBuddy(edit);
        form->addRow(l, edit);
    }
    m_pages = new QStackedWidget;
    m_pages->addWidget(info);
    m_pages->addWidget(host);
    m_pages->setMinimumWidth(280);

    m_new = new QPushButton(QStringLiteral("&New"));
    m_delete = new QPushButton(QStringLiteral("&Delete"));
    m_new->setAutoDefault(false);
    m_delete->setAutoDefault(false);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* left = new QVBoxLayout;
    left->addWidget(m_list);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(m_new);
    listButtons->addWidget(m_delete);
    left->addLayout(listButtons);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(m_pages, 1);
    // The window's system-menu command of old is its Help menu here.
    auto* menus = new QMenuBar;
    m_help = menus->addMenu(QStringLiteral("&Help"));
    m_help->addAction(QStringLiteral("&About Zendril..."), this, [this] { OnAbout(); });

    auto* all = new QVBoxLayout(this);
    all->setMenuBar(menus);
    all->addLayout(top);
    all->addWidget(box);
    setTabOrder(m_list, m_name);
    setTabOrder(m_name, m_address);
    setTabOrder(m_address, m_port);
    setTabOrder(m_port, m_new);
    setTabOrder(m_new, m_delete);

    for (const ListedHost& h : m_doc.Hosts()) {
        auto* item = new QListWidgetItem(ToQt(h.description), m_list);
        item->setData(Qt::UserRole, h.oid);
    }
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
    // The list entry follows the Name field at every keystroke.
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_shown < 0)
            return;
        m_list->item(m_shown)->setText(text);
        m_doc.SetListText(size_t(m_shown), FromQt(text));
    });
    connect(m_new, &QPushButton::clicked, this, [this] { OnNew(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(box, &QDialogButtonBox::accepted, this, &CZendrilDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &CZendrilDlg::reject);
    ShowHost(-1);
    m_list->setFocus();
}

void CZendrilDlg::OnAbout() {
    QDialog about(this);
    about.setObjectName(QStringLiteral("100"));
    about.setWindowTitle(QStringLiteral("About Zendril"));
    auto* text = new QLabel(QStringLiteral("<b>Zendril</b><br>%1").arg(QString::fromLatin1(kTitle)));
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    auto* layout = new QVBoxLayout(&about);
    layout->addWidget(text);
    layout->addWidget(ok);
    deskcommon::UiHooks().RunDialog(about);
}

bool CZendrilDlg::ShowsHost() const {
    return m_pages->currentIndex() == 1;
}

HostFields CZendrilDlg::PageFields() const {
    return {FromQt(m_address->text()), FromQt(m_name->text()), FromQt(m_port->text())};
}

bool CZendrilDlg::HasChanges() const {
    return m_doc.IsModified() ||
           (m_shown >= 0 && !(PageFields() == m_doc.GetHost(m_doc.Hosts()[size_t(m_shown)].oid)));
}

bool CZendrilDlg::CommitPage() {
    if (m_shown < 0)
        return true;
    const HostFields fields = PageFields();
    const std::u16string error = CHostsDocument::CheckFields(fields);
    if (!error.empty()) {
        deskcommon::Messages().Show(error, MB_OK | MB_ICONEXCLAMATION);
        QLineEdit* edit = fields.description.size() > kDescriptionMax ? m_name
                          : fields.host.size() > kHostMax            ? m_address
                                                                     : m_port;
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    if (!m_doc.StoreHost(m_doc.Hosts()[size_t(m_shown)].oid, fields)) {
        deskcommon::Messages().Show(u"The host cannot be stored: a line would be longer than 255 characters.",
                                    MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

void CZendrilDlg::Select(int row) {
    m_selecting = true;
    m_list->clearSelection();
    if (row >= 0) {
        m_list->setCurrentRow(row);
        m_list->item(row)->setSelected(true);
    }
    m_selecting = false;
}

void CZendrilDlg::OnSelectionChanged() {
    if (m_selecting)
        return;
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_list->row(selected.first());
    if (row == m_shown)
        return;
    if (!CommitPage()) {
        // The previous selection comes back; the page keeps its text.
        const int keep = m_shown;
        Select(keep);
        return;
    }
    ShowHost(row);
}

void CZendrilDlg::ShowHost(int row) {
    m_shown = row;
    m_delete->setEnabled(row >= 0);
    if (row < 0) {
        m_pages->setCurrentIndex(0);
        return;
    }
    const HostFields f = m_doc.GetHost(m_doc.Hosts()[size_t(row)].oid);
    m_name->setText(ToQt(f.description));
    m_address->setText(ToQt(f.host));
    m_port->setText(ToQt(f.port));
    m_pages->setCurrentIndex(1);
    m_name->setFocus();
    m_name->selectAll();
}

void CZendrilDlg::OnNew() {
    if (!CommitPage())
        return;
    const size_t index = m_doc.NewHost();
    if (index == CHostsDocument::kNoHost) {
        deskcommon::Messages().Show(deskcommon::FromAnsi(kNoNumber), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    auto* item = new QListWidgetItem(ToQt(m_doc.Hosts()[index].description), m_list);
    item->setData(Qt::UserRole, m_doc.Hosts()[index].oid);
    Select(int(index));
    ShowHost(int(index));
}

void CZendrilDlg::OnDelete() {
    const int row = m_shown;
    if (row < 0 || !m_doc.DeleteHost(size_t(row)))
        return;
    // The deleted host's page is dropped, not committed.
    m_shown = -1;
    Select(-1);
    delete m_list->takeItem(row);
    const int next = std::min(row, m_list->count() - 1);
    Select(next);
    ShowHost(next);
}

void CZendrilDlg::accept() {
    if (!CommitPage())
        return;
    const int bad = m_doc.CheckHosts();
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setText(ToQt(m_doc.Hosts()[size_t(i)].description));
    if (bad >= 0) {
        Select(bad);
        ShowHost(bad);
        deskcommon::Messages().Show(deskcommon::FromAnsi(kNoAddress), MB_OK | MB_ICONEXCLAMATION, u"Invalid Host");
        m_address->setFocus();
        return;
    }
    std::u16string error;
    if (!m_doc.Save(error)) {
        // The edits stay: the user may free the file and press OK again.
        deskcommon::Messages().Show(error, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    QDialog::accept();
}

void CZendrilDlg::closeEvent(QCloseEvent* event) {
    if (isVisible() && HasChanges()) {
        const std::u16string question = deskcommon::Format(
            "Save the changes to %s?", deskcommon::FromPath(m_doc.GetTitle()));
        switch (deskcommon::Messages().Show(question, MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES:
            accept();
            // A host that fails its checks keeps the window open.
            event->setAccepted(!isVisible());
            return;
        case IDNO:
            break;
        default:
            event->ignore();
            return;
        }
    }
    QDialog::closeEvent(event);
}

int RunZendril(const std::vector<std::string>& args) {
    CommandLineInfo info;
    info.Parse(args);
    CHostsDocument doc;
    if (!doc.Load(info.file)) {
        // Which file, and the system's reason.
        const int error = errno;
        deskcommon::Messages().Show(
            deskcommon::FromAnsi(kCannotOpen) + u"\n" + deskcommon::FromPath(info.file + ": " + std::strerror(error)),
            MB_OK | MB_ICONEXCLAMATION, u"Error");
        return 1;
    }
    CZendrilDlg dialog(doc);
    deskcommon::UiHooks().RunDialog(dialog);
    return 0;
}

}  // namespace zendril
