#include "mevrant/views/MevrantDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QMenuBar>
#include <QUrl>
#include <QCryptographicHash>
#include <QDir>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <unistd.h>

#include <memory>
#include <utility>

#include "deskcommon/Messages.h"
#include "deskcommon/views/QtText.h"
#include "deskcommon/views/UiHooks.h"
#include "platform/DeviceFs.h"
#include "platform/Rapi.h"

namespace mevrant {

using deskcommon::ToQt;

CInstallProgressDlg::CInstallProgressDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("130"));
    setWindowTitle(QStringLiteral("Product Install"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    m_bar = new QProgressBar;
    m_bar->setRange(0, 100);
    m_bar->setMinimumWidth(320);
    m_status = new QLabel;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
}

void CInstallProgressDlg::Start(const std::u16string& status) {
    m_status->setText(QString::fromStdU16String(status));
    m_bar->hide();
    show();
    m_bar->setValue(0);
    raise();
    Paint();
}

// The copy runs on this thread: the window system is given the dialog's
// changes now, without taking the user's input meanwhile.
void CInstallProgressDlg::Paint() {
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CInstallProgressDlg::File(const std::u16string& name) {
    m_bar->show();
    m_status->setText(QString::fromStdU16String(name));
    Paint();
}

void CInstallProgressDlg::Percent(int percent) {
    m_bar->setValue(percent);
    if (parentWidget())
        parentWidget()->repaint();
    Paint();
}

void CInstallProgressDlg::Hide() {
    hide();
}

void CInstallProgressDlg::Waiting(bool waiting) {
    if (waiting && !m_waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_status->setText(QStringLiteral("%1\nWaiting for the device root %2")
                              .arg(QString::fromLatin1(kConnecting),
                                   QString::fromStdString(plat::rapi::AttachedDevice())));
        m_bar->setRange(0, 0);
        m_bar->show();
        show();
        raise();
    } else if (!waiting && m_waiting) {
        QApplication::restoreOverrideCursor();
        m_bar->setRange(0, 100);
        hide();
    }
    m_waiting = waiting;
    if (waiting)
        Paint();
}

void CInstallProgressDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape would end the dialog: the copy decides when it goes.
    event->accept();
}

void CInstallProgressDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}

CMevrantDlg::CMevrantDlg(CMevrant& model, QWidget* parent) : QDialog(parent), m_model(model), m_progress(this) {
    setObjectName(QStringLiteral("102"));
    m_model.Load();
    setWindowTitle(QString::fromStdU16String(m_model.Title()));

    m_configuration = new QGroupBox(QStringLiteral("Configuration"));
    auto* grid = new QGridLayout(m_configuration);
    for (int i = 0; i < 3; ++i) {
        m_launch[size_t(i)] = new QPushButton;
        m_launch[size_t(i)]->setObjectName(QString::number(1000 + i));
        m_launch[size_t(i)]->setIconSize(QSize(32, 32));
        m_labels[size_t(i)] = new QLabel;
        m_labels[size_t(i)]->setObjectName(QString::number(1003 + i));
        m_labels[size_t(i)]->setBuddy(m_launch[size_t(i)]);
        grid->addWidget(m_launch[size_t(i)], i, 0);
        grid->addWidget(m_labels[size_t(i)], i, 1);
        m_launch[size_t(i)]->hide();
        m_labels[size_t(i)]->hide();
        connect(m_launch[size_t(i)], &QPushButton::clicked, this, [this, i] { OnLaunch(i); });
    }
    grid->setColumnStretch(1, 1);

    auto* installation = m_installation = new QGroupBox(QStringLiteral("Installation"));
    installation->setObjectName(QStringLiteral("1009"));
    m_appAndConfig = new QPushButton(QStringLiteral("Application && Config"));
    m_appAndConfig->setObjectName(QStringLiteral("1006"));
    m_appOnly = new QPushButton(QStringLiteral("Application Only"));
    m_appOnly->setObjectName(QStringLiteral("1007"));
    m_configOnly = new QPushButton(QStringLiteral("Config Only"));
    m_configOnly->setObjectName(QStringLiteral("1008"));
    auto* buttons = new QVBoxLayout(installation);
    // The focused button is the default one: Enter presses it.
    for (QPushButton* b : {m_appAndConfig, m_appOnly, m_configOnly})
        buttons->addWidget(b);
    connect(m_appAndConfig, &QPushButton::clicked, this, [this] { Run(&CMevrant::OnApplicationAndConfig); });
    connect(m_appOnly, &QPushButton::clicked, this, [this] { Run(&CMevrant::OnApplicationOnly); });
    connect(m_configOnly, &QPushButton::clicked, this, [this] { Run(&CMevrant::OnConfigOnly); });

    // The window's system menu of old is the Help menu here.
    auto* menus = m_menus = new QMenuBar;
    m_help = menus->addMenu(QStringLiteral("&Help"));
    if (!ReleaseNotes(m_model.Folder()).empty())
        m_help->addAction(QStringLiteral("&View Release Notes"), this, [this] { OnReleaseNotes(); });
    m_help->addAction(QStringLiteral("&About Mevrant..."), this, [this] { OnAbout(); });

    // Which device the Installation buttons reach, always in sight.
    const QString root = QString::fromStdString(plat::rapi::AttachedDevice());
    m_deviceRoot = new QLabel(root.isEmpty() ? QStringLiteral("No device root") : QStringLiteral("Device root: ") + root);
    m_deviceRoot->setObjectName(QStringLiteral("DeviceRoot"));
    m_deviceRoot->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_deviceRoot->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus);
    layout->addWidget(m_configuration);
    layout->addWidget(installation);
    layout->addWidget(m_deviceRoot);
    setMinimumWidth(360);

    m_model.SetProgress(&m_progress);
    FillLauncherButtons();
    UpdateButtonStates();
}

void CMevrantDlg::FillLauncherButtons() {
    QFileIconProvider icons;
    const std::vector<LauncherEntry>& entries = m_model.Config().launchers;
    for (size_t i = 0; i < 3 && i < entries.size(); ++i) {
        const QString program = QString::fromStdString(m_model.ProgramPath(entries[i]));
        const bool exists = m_model.ProgramExists(entries[i]);
        m_launch[i]->setIcon(exists ? icons.icon(QFileInfo(program)) : QIcon());
        m_launch[i]->setToolTip(program);
        m_launch[i]->setText(QStringLiteral("&%1").arg(i + 1));   // Alt+1 to Alt+3
        m_labels[i]->setText(ToQt(entries[i].title));
        m_launch[i]->setEnabled(exists);
        m_labels[i]->setEnabled(exists);
        m_launch[i]->show();
        m_labels[i]->show();
    }
    m_configuration->setVisible(!entries.empty());
}

void CMevrantDlg::UpdateButtonStates() {
    const ButtonStates states = m_model.Buttons();
    m_appAndConfig->setEnabled(states.applicationAndConfig);
    m_appOnly->setEnabled(states.applicationOnly);
    m_configOnly->setEnabled(states.configOnly);
}

int CMevrantDlg::exec() {
    // Hiding a modal dialog ends its run: when that was a launch, the dialog
    // is back on screen and runs on.
    int result;
    do {
        m_launched = false;
        result = QDialog::exec();
    } while (m_launched && isVisible());
    return result;
}

void CMevrantDlg::OnLaunch(int index) {
    m_launched = true;
    hide();
    // Gone from the screen before the wait for the program begins.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_model.Launch(size_t(index));
    UpdateButtonStates();
    show();
    // Back in front of whatever the program left open.
    raise();
    activateWindow();
}

void CMevrantDlg::OnAbout() {
    QDialog about(this);
    about.setObjectName(QStringLiteral("100"));
    about.setWindowTitle(QStringLiteral("About Mevrant"));
    auto* name = new QLabel(QStringLiteral("<b>Mevrant</b><br>%1").arg(QString::fromLatin1(kTitle)));
    auto* notes = new QLabel(ToQt(AboutText(m_model.Folder())).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    notes->setObjectName(QStringLiteral("1013"));
    notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    auto* layout = new QVBoxLayout(&about);
    layout->addWidget(name);
    layout->addWidget(notes);
    layout->addWidget(ok);
    deskcommon::UiHooks().RunDialog(about);
}

void CMevrantDlg::OnReleaseNotes() {
    const std::string notes = ReleaseNotes(m_model.Folder());
    if (!notes.empty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(notes)));
}

void CMevrantDlg::Run(bool (CMevrant::*command)()) {
    // The window's contents, not the window: the progress dialog, its
    // child, stays enabled.
    const std::array<QWidget*, 3> contents{m_menus, m_configuration, m_installation};
    for (QWidget* w : contents)
        w->setEnabled(false);
    m_busy = true;
    (m_model.*command)();
    m_busy = false;
    for (QWidget* w : contents)
        w->setEnabled(true);
    UpdateButtonStates();
    if (!m_otherRoot.isEmpty())
        OnAnotherStart(std::exchange(m_otherRoot, QString()));
}

namespace {

QString OtherRootText(const QString& running, const QString& asked) {
    return QStringLiteral("Mevrant already runs for this product folder. It deploys to the device root\n    %1\n"
                          "not to\n    %2\nTo deploy there, close Mevrant and start it again.")
        .arg(running.isEmpty() ? QStringLiteral("(unknown)") : running, asked);
}

}  // namespace

void CMevrantDlg::OnAnotherStart(const QString& deviceRoot) {
    if (m_busy) {
        m_otherRoot = deviceRoot;
        return;
    }
    showNormal();
    raise();
    activateWindow();
    const QString root = QString::fromStdString(plat::rapi::AttachedDevice());
    if (!deviceRoot.isEmpty() && !SameDeviceRoot(deviceRoot, root))
        deskcommon::Messages().Show(OtherRootText(root, deviceRoot).toStdU16String(), MB_OK | MB_ICONEXCLAMATION,
                                    m_model.Title());
}

bool SameDeviceRoot(const QString& a, const QString& b) {
    auto key = [](const QString& path) {
        const QFileInfo info(path);
        const QString canonical = info.canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    };
    return !a.isEmpty() && !b.isEmpty() && key(a) == key(b);
}

CSingleInstance::CSingleInstance(const QString& folder) {
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m_name = QStringLiteral("mevrant-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

CSingleInstance::~CSingleInstance() {
    if (m_server)
        QFile::remove(RootFile());
    delete m_server;
}

// Beside the local socket, which lives in the temporary folder.
QString CSingleInstance::RootFile() const {
    return QDir::tempPath() + QLatin1Char('/') + m_name + QStringLiteral(".root");
}

bool CSingleInstance::AskRunning(const QString& deviceRoot, QString& running) const {
    running.clear();
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(1000))
        return false;
    // Read here rather than asked for: the window may be waiting for a
    // program it started and answer nothing until that ends.
    QFile file(RootFile());
    if (file.open(QIODevice::ReadOnly))
        running = QString::fromUtf8(file.read(64 * 1024));
    socket.write("activate\n" + deviceRoot.toUtf8().toPercentEncoding() + "\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

void CSingleInstance::Listen(const QString& deviceRoot, std::function<void(const QString&)> activate) {
    delete m_server;
    m_server = new QLocalServer;
    QLocalServer::removeServer(m_name);   // left by a run that crashed
    m_server->listen(m_name);
    QSaveFile file(RootFile());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(deviceRoot.toUtf8());
        file.commit();
    }
    QObject::connect(m_server, &QLocalServer::newConnection, m_server, [this, activate] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            // "activate", then the asking start's device root: taken once
            // both lines are in, or when that start has gone.
            auto request = std::make_shared<QByteArray>();
            auto taken = std::make_shared<bool>(false);
            auto take = [peer, activate, request, taken] {
                if (*taken)
                    return;
                *request += peer->readAll();
                if (request->count('\n') < 2 && peer->state() != QLocalSocket::UnconnectedState)
                    return;
                *taken = true;
                const QList<QByteArray> lines = request->split('\n');
                const QString asked =
                    lines.size() > 1 ? QString::fromUtf8(QByteArray::fromPercentEncoding(lines[1])) : QString();
                // Out of the socket's signal: the answer may be a box.
                QTimer::singleShot(0, peer, [peer, activate, asked] {
                    activate(asked);
                    peer->deleteLater();
                });
            };
            QObject::connect(peer, &QLocalSocket::readyRead, peer, take);
            QObject::connect(peer, &QLocalSocket::disconnected, peer, take);
            take();
        }
    });
}

int RunMevrant(const Options& options) {
    std::string deviceRoot = options.deviceRoot;
    if (deviceRoot.empty())
        deviceRoot = QSettings().value(QStringLiteral("DeviceRoot")).toString().toStdString();
    if (deviceRoot.empty())
        deviceRoot = plat::fs::DeviceRoot();
    // A relative folder is taken from where Mevrant was started.
    const QString root = QDir(QString::fromStdString(deviceRoot)).absolutePath();
    plat::rapi::AttachDevice(root.toStdString());

    CMevrant model(QDir::currentPath().toStdString());
    CSingleInstance instance(QString::fromStdString(model.Folder()));
    QString running;
    if (instance.AskRunning(root, running)) {
        if (SameDeviceRoot(running, root))
            return 0;
        // The running window says it too; this start's user reads it here.
        std::fprintf(stderr, "Mevrant: %s\n", OtherRootText(running, root).toLocal8Bit().constData());
        return 1;
    }
    CMevrantDlg dialog(model);
    instance.Listen(root, [&dialog](const QString& asked) { dialog.OnAnotherStart(asked); });
    deskcommon::UiHooks().RunDialog(dialog);
    return 0;
}

}  // namespace mevrant
