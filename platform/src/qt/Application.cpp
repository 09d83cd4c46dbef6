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
// it through the environment and taken away before any thread starts (the
// environment is not changed while other threads read it), and again once the
// application is made. The variable stays: a program started from here is
// told to take the same folder away.
class MachinePlugIns {
public:
    MachinePlugIns() {
        std::error_code error;
        m_own = std::filesystem::canonical("/proc/self/exe", error).parent_path().string();
        if (error || m_own.empty()) return;
        const char* old = std::getenv(kVariable);
        setenv(kVariable, (m_own + (old && *old ? ":" + std::string(old) : std::string())).c_str(), 1);
        Drop();
    }
    void Drop() const {
        QStringList paths = QCoreApplication::libraryPaths();
        if (!m_own.empty()) paths.removeAll(QString::fromStdString(m_own));
        if (QCoreApplication::instance()) paths.removeAll(QCoreApplication::applicationDirPath());
        QCoreApplication::setLibraryPaths(paths);
    }

private:
    static constexpr char kVariable[] = "QT_PLUGIN_PATH";
    std::string m_own;
};

std::optional<MachinePlugIns>& PlugIns() {
    static std::optional<MachinePlugIns> plugIns;
    return plugIns;
}

}  // namespace

void plat::qt::TakePlugInsFromTheMachineOnly() {
    if (!PlugIns()) PlugIns().emplace();
}

int plat::qt::RunWithApplication(int& argc, char** argv, const std::function<int()>& run) {
    QApplication app(argc, argv);
    if (PlugIns()) PlugIns()->Drop();
    AttachQtEventLoop();
    const int code = run ? run() : 0;
    DetachQtEventLoop();
    return code;
}
