// Mevrant: starts a product's desktop programs and deploys its configuration
// files and package to the connected device.
#include <QApplication>
#include <cstdio>

#include "deskcommon/views/UiHooks.h"
#include "mevrant/views/MevrantDialog.h"

int main(int argc, char** argv) {
    // Before any window: the command line needs no display.
    mevrant::Options options;
    std::string error;
    if (!mevrant::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "Mevrant: %s\n%s", error.c_str(), mevrant::kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(mevrant::kUsage, stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mevrant"));
    QApplication::setOrganizationName(QStringLiteral("Quillmar"));
    deskcommon::InstallQtMessageBoxes(QString::fromLatin1(mevrant::kTitle));
    return mevrant::RunMevrant(options);
}
