// Optarium: edits the client's settings files against the option catalog.
#include <QApplication>
#include <cstdio>

#include "settingseditor/Document.h"
#include "settingseditor/views/MainFrame.h"
#include "deskcommon/views/UiHooks.h"

int main(int argc, char** argv) {
    // Before any window: help needs no display.
    settingseditor::CommandLineInfo probe;
    probe.Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (probe.help) {
        std::fputs(settingseditor::kUsage, stdout);
        return 0;
    }
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
        std::fprintf(stderr, "%s\n", settingseditor::StartFailureText(info, frame.Doc().CatalogPath(),
                                                                         frame.Doc().CatalogError())
                                      .c_str());
        return 1;
    }
    frame.show();
    return app.exec();
}
