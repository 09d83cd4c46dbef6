// Modal dialogs and file choosers of a desktop program run through one
// replaceable hook, so tests drive the views headless: a scripted hook fills
// a dialog's fields and answers it without showing it.
#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace deskcommon {

class IUiHooks {
public:
    virtual ~IUiHooks() = default;
    // QDialog::Accepted or QDialog::Rejected.
    virtual int RunDialog(QDialog& dialog) = 0;
    // An empty string when the user cancels.
    virtual QString OpenFileName(QWidget* parent, const QString& filter) = 0;
    virtual QString SaveFileName(QWidget* parent, const QString& suggested, const QString& filter) = 0;
};

// The hooks in use: Qt's own dialogs until others are installed.
IUiHooks& UiHooks();
IUiHooks* SetUiHooks(IUiHooks* hooks);

// Message boxes shown with QMessageBox under the program's title, installed
// by the program.
void InstallQtMessageBoxes(const QString& title);

}  // namespace deskcommon
