// A program's run with the Qt application behind the window layer.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include <QApplication>

#include "platform/QtHost.h"

namespace {

// Qt looks for its plug-ins in folders under the program's own folder too,
// and takes any file there: for a program installed on a device, that is the
// device's program folder, where a session's folder bears the name its host
// gave. Only the machine's plug-in folders count. Qt adds the program's
// folder while the application is made, and keeps a folder taken away before
// that only when it was among those it found then: so the folder is named to
// it through the environment for that moment and taken away, and again once
// the application is made.
class MachinePlugIns {
public:
    MachinePlugIns() {
        std::error_code error;
        m_own = std::filesystem::canonical("/proc/self/exe", error).parent_path().string();
        if (error) m_own.clear();
        if (const char* old = std::getenv(kVariable)) m_old = old;
        if (m_own.empty()) return;
        setenv(kVariable, (m_own + (m_old ? ":" + *m_old : std::string())).c_str(), 1);
        Drop();
    }
    // Once the application is made.
    void Made() {
        if (m_old) setenv(kVariable, m_old->c_str(), 1);
        else unsetenv(kVariable);
        Drop();
    }

private:
    static constexpr char kVariable[] = "QT_PLUGIN_PATH";
    void Drop() const {
        QStringList paths = QCoreApplication::libraryPaths();
        if (!m_own.empty()) paths.removeAll(QString::fromStdString(m_own));
        if (QCoreApplication::instance()) paths.removeAll(QCoreApplication::applicationDirPath());
        QCoreApplication::setLibraryPaths(paths);
    }
    std::string m_own;
    std::optional<std::string> m_old;
};

}  // namespace

int plat::qt::RunWithApplication(int& argc, char** argv, const std::function<int()>& run) {
    MachinePlugIns plugIns;
    QApplication app(argc, argv);
    plugIns.Made();
    AttachQtEventLoop();
    const int code = run ? run() : 0;
    DetachQtEventLoop();
    return code;
}
