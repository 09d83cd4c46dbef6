// Mevrant's window: up to three launcher buttons for the product's desktop
// programs, and the Installation buttons that deploy the product to the
// connected device, with the progress dialog "Product Install".
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "mevrant/Mevrant.h"

class QLabel;
class QLocalServer;
class QProgressBar;
class QPushButton;
class QGroupBox;
class QMenu;
class QMenuBar;

namespace mevrant {

// The modeless progress dialog: the user cannot close it (Enter and Escape
// do nothing); it lives for one copy.
class CInstallProgressDlg : public QDialog, public IDeployProgress {
public:
    explicit CInstallProgressDlg(QWidget* parent);

    void Start(const std::u16string& status) override;
    void File(const std::u16string& name) override;
    void Percent(int percent) override;
    void Hide() override;
    // While the device is waited for: the busy cursor, the status naming the
    // device root, the bar running without an end.
    void Waiting(bool waiting) override;

    QProgressBar* Bar() const { return m_bar; }
    QLabel* Status() const { return m_status; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Paint();

    QProgressBar* m_bar;
    QLabel* m_status;
    bool m_waiting = false;
};

class CMevrantDlg : public QDialog {
public:
    // Reads the product configuration of the model's folder.
    explicit CMevrantDlg(CMevrant& model, QWidget* parent = nullptr);

    QPushButton* LaunchButton(int i) const { return m_launch[size_t(i)]; }
    QLabel* LaunchLabel(int i) const { return m_labels[size_t(i)]; }
    QPushButton* ApplicationAndConfig() const { return m_appAndConfig; }
    QPushButton* ApplicationOnly() const { return m_appOnly; }
    QPushButton* ConfigOnly() const { return m_configOnly; }
    CInstallProgressDlg& Progress() { return m_progress; }

    // Runs modally; a launched program's run does not end it.
    int exec() override;
    void OnLaunch(int index);
    void UpdateButtonStates();
    // The Help menu: "&View Release Notes" (when the folder has them) and
    // "&About Mevrant...".
    QMenu* HelpMenu() const { return m_help; }
    void OnAbout();
    void OnReleaseNotes();
    // Another start in this product folder: the window comes to the front
    // and, when that start named another device root, says which one this
    // window deploys to (after the command that runs, if one does).
    void OnAnotherStart(const QString& deviceRoot);
    // "Device root: <folder>", the device the Installation buttons reach.
    QLabel* DeviceRootLabel() const { return m_deviceRoot; }

private:
    void FillLauncherButtons();
    // Runs an Installation command with the window kept from a second click.
    void Run(bool (CMevrant::*command)());

    CMevrant& m_model;
    std::array<QPushButton*, 3> m_launch{};
    std::array<QLabel*, 3> m_labels{};
    QGroupBox *m_configuration, *m_installation;
    QMenuBar* m_menus;
    QPushButton *m_appAndConfig, *m_appOnly, *m_configOnly;
    QMenu* m_help;
    QLabel* m_deviceRoot;
    bool m_busy = false;      // an Installation command runs
    QString m_otherRoot;      // another start's device root, told once idle
    bool m_launched = false;   // hidden for a program since the modal run began
    CInstallProgressDlg m_progress;
};

// One window per product folder: the first start listens under a name made
// from the folder's full path and leaves its device root beside the name; a
// later start in the same folder asks it to the front, telling it the
// device root that start would have used.
class CSingleInstance {
public:
    explicit CSingleInstance(const QString& folder);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when a window of this folder runs: it was asked to the front and
    // told deviceRoot; running is its own device root (empty when unknown).
    bool AskRunning(const QString& deviceRoot, QString& running) const;
    // Takes the name for a window on deviceRoot; each later start calls
    // activate with the device root it asked for.
    void Listen(const QString& deviceRoot, std::function<void(const QString&)> activate);

private:
    QString RootFile() const;

    QString m_name;
    QLocalServer* m_server = nullptr;
};

// Whether two device roots name the same folder (links followed where they
// exist).
bool SameDeviceRoot(const QString& a, const QString& b);

// The program: the product folder is the current folder; a second start in
// the same folder brings the first window to the front and ends, with 1 and
// a word on standard error when it named another device root. The exit
// code.
int RunMevrant(const Options& options);

}  // namespace mevrant
