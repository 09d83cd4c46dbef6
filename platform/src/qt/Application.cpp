// A program's run with the Qt application behind the window layer.
#include <QApplication>

#include "platform/QtHost.h"

int plat::qt::RunWithApplication(int& argc, char** argv, const std::function<int()>& run) {
    QApplication app(argc, argv);
    AttachQtEventLoop();
    const int code = run ? run() : 0;
    DetachQtEventLoop();
    return code;
}
