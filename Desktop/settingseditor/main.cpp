// Optarium: edits the client's settings files against the option catalog.
#include <QApplication>
#include <cstdio>

#include "settingseditor/Document.h"
#include "settingseditor/views/MainFrame.h"
#include "deskcommon/views/UiHooks.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Optarium"));
    QApplication::setOrganizationName(QStringLiteral("Quillmar"));
    const std::string programDir = QCoreApplication::applicationDirPath().toStdString();

    settingseditor::CommandLineInfo info;
    settingseditor::ReadIncludeList("Optarium.ini", programDir, info.scopes);
    settingseditor::ReadIncludeList("Optarium.cfg", programDir, info.scopes);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    info.Parse(args);
    info.Finish();

    deskcommon::InstallQtMessageBoxes(QStringLiteral("Optarium"));
    settingseditor::CMainFrame frame(info, programDir);
    if (!frame.Start()) {
        std::fprintf(stderr, "Optarium: %s could not be opened with the catalog %s\n",
                     info.fileName.empty() ? "a new document" : info.fileName.c_str(),
                     frame.Doc().CatalogPath().c_str());
        return 1;
    }
    frame.show();
    return app.exec();
}
