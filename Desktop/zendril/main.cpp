// Zendril: prepares the device's hosts file on the desktop.
#include <QApplication>
#include <cstdio>

#include "deskcommon/views/UiHooks.h"
#include "zendril/views/HostsDialog.h"

int main(int argc, char** argv) {
    // Before any window: help needs no display.
    zendril::CommandLineInfo probe;
    probe.Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (probe.help) {
        std::fputs(zendril::kUsage, stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zendril"));
    QApplication::setOrganizationName(QStringLiteral("Quillmar"));
    deskcommon::InstallQtMessageBoxes(QString::fromLatin1(zendril::kTitle));
    return zendril::RunZendril(std::vector<std::string>(argv + 1, argv + argc));
}
