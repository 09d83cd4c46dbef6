#include "deskcommon/views/UiHooks.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "deskcommon/Messages.h"

namespace deskcommon {

namespace {

class QtHooks : public IUiHooks {
public:
    int RunDialog(QDialog& dialog) override { return dialog.exec(); }
    QString OpenFileName(QWidget* parent, const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), QString(), filter);
    }
    QString SaveFileName(QWidget* parent, const QString& suggested, const QString& filter) override {
        QFileDialog dialog(parent, QStringLiteral("Save As"), suggested, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // A typed name without extension gets the suggested name's.
        dialog.setDefaultSuffix(QFileInfo(suggested).suffix());
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                      : QString();
    }
};

class QtMessageBox : public IMessageBox {
public:
    QString title;

    int Show(const std::u16string& text, unsigned type, const std::u16string& caption) override {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(caption.empty() ? title : QString::fromStdU16String(caption));
        box.setText(QString::fromStdU16String(text));
        switch (type & 0xF0) {
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONEXCLAMATION:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        }
        struct Button {
            QMessageBox::StandardButton qt;
            int answer;
        };
        std::vector<Button> buttons;
        switch (type & 0xF) {
        case MB_OKCANCEL:
            buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_YESNOCANCEL:
            buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_YESNO:
            buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            break;
        default:
            buttons = {{QMessageBox::Ok, IDOK}};
        }
        for (const Button& b : buttons)
            box.addButton(b.qt);
        size_t def = (type & MB_DEFBUTTON2) && buttons.size() > 1 ? 1 : 0;
        box.setDefaultButton(buttons[def].qt);
        int pressed = box.exec();
        for (const Button& b : buttons) {
            if (b.qt == pressed)
                return b.answer;
        }
        // Closed with Escape or the title bar: Cancel, or No without one.
        return buttons.back().answer;
    }
};

QtHooks qtHooks;
Replaceable<IUiHooks> current(qtHooks);
QtMessageBox qtBox;

}  // namespace

IUiHooks& UiHooks() {
    return current.Get();
}

IUiHooks* SetUiHooks(IUiHooks* hooks) {
    return current.Set(hooks);
}

void InstallQtMessageBoxes(const QString& title) {
    qtBox.title = title;
    SetMessages(&qtBox);
}

}  // namespace deskcommon
