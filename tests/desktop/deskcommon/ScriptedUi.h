// Drives the editor's dialogs without showing them: each modal dialog is
// handed to the next script step, which fills its fields and presses its
// buttons; the dialog's result is the answer. File choosers answer from a
// queue.
#pragma once

#include <QApplication>
#include <QDialog>
#include <deque>
#include <functional>

#include "deskcommon/views/UiHooks.h"

namespace deskcommontest {

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "optarium-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class ScriptedUi : public deskcommon::IUiHooks {
public:
    using Step = std::function<void(QDialog&)>;

    ScriptedUi() { m_old = deskcommon::SetUiHooks(this); }
    ~ScriptedUi() override { deskcommon::SetUiHooks(m_old); }

    int RunDialog(QDialog& dialog) override {
        dialogs.push_back(dialog.objectName());
        if (steps.empty())
            return QDialog::Rejected;
        Step step = std::move(steps.front());
        steps.pop_front();
        dialog.setResult(QDialog::Rejected);
        step(dialog);
        return dialog.result();
    }
    QString OpenFileName(QWidget*, const QString&) override { return Next(); }
    QString SaveFileName(QWidget*, const QString&, const QString&) override { return Next(); }

    std::deque<Step> steps;
    std::deque<QString> files;
    QStringList dialogs;   // object names of the dialogs run

private:
    QString Next() {
        if (files.empty())
            return {};
        QString f = files.front();
        files.pop_front();
        return f;
    }
    deskcommon::IUiHooks* m_old = nullptr;
};

}  // namespace deskcommontest
