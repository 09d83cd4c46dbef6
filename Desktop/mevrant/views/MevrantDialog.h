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

    QProgressBar* Bar() const { return m_bar; }
    QLabel* Status() const { return m_status; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Paint();

    QProgressBar* m_bar;
    QLabel* m_status;
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
    bool m_launched = false;   // hidden for a program since the modal run began
    CInstallProgressDlg m_progress;
};

// One window per product folder: the first start listens under a name made
// from its title; a second start with the same title asks it to come to the
// front and ends.
class CSingleInstance {
public:
    explicit CSingleInstance(const QString& title);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when a window with this title runs; it was asked to the front.
    bool AskRunning() const;
    // Takes the name; each later start calls activate.
    void Listen(std::function<void()> activate);

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
};

// The program: the product folder is the current folder; a second start in
// the same folder brings the first window to the front and ends. The exit
// code.
int RunMevrant(const Options& options);

}  // namespace mevrant
