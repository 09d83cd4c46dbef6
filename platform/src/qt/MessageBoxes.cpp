#include "MessageBoxes.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include "Drawing.h"
#include "platform/Screen.h"
#include "platform/Window.h"

namespace plat::qt::detail {

using namespace plat::window;

namespace {

// A message box of the device: a window of its own over the device's
// screen, centred inside it and no wider than it, its text wrapped to that
// width only when it does not fit on one line. QMessageBox sizes itself for
// the display it is on whenever its layout changes: this size follows.
class DeviceBox final : public QMessageBox {
public:
    explicit DeviceBox(QWidget* screen) : QMessageBox(screen), m_screen(screen) {}

protected:
    bool event(QEvent* e) override {
        const bool result = QMessageBox::event(e);
        if (e->type() == QEvent::LayoutRequest && isVisible()) fit();
        return result;
    }
    void showEvent(QShowEvent* e) override {
        QMessageBox::showEvent(e);
        fit();
    }

private:
    void fit() {
        QLayout* box = layout();
        if (!box) return;
        const QRect area = m_screen ? QRect(m_screen->mapToGlobal(QPoint(0, 0)), m_screen->size())
                                    : QRect(QPoint(0, 0), QSize(int(plat::screen::ScreenSize().cx), int(plat::screen::ScreenSize().cy)));
        const QSize frame = frameGeometry().size() - geometry().size();
        const int limit = std::max(1, area.width() - frame.width());
        auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (label) label->setWordWrap(false);
        box->activate();
        int width = box->totalMinimumSize().width();
        if (width > limit) {
            if (label) label->setWordWrap(true);
            box->activate();
            width = limit;
        }
        const int height = box->hasHeightForWidth() ? box->totalHeightForWidth(width) : box->totalMinimumSize().height();
        setFixedSize(width, std::min(height, std::max(1, area.height() - frame.height())));
        QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
        // Centred on the screen, kept inside it.
        QRect outer(QPoint(0, 0), size() + frame);
        outer.moveCenter(area.center());
        outer.moveLeft(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
        outer.moveTop(std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
        move(outer.topLeft());
    }

    QPointer<QWidget> m_screen;
};

// Message boxes as DeviceBox on the GUI thread. The box is a window of its
// own, never a child of its owner's widget: the owner is disabled in the
// layer while the box is up, and Qt must not disable the box with it. A local Qt loop waits for the answer; meanwhile the notifiers
// keep serving our queue. A box of a worker thread is shown by the GUI
// thread while the worker runs a modal loop of its own, so what is sent or
// posted to the worker is still served.
class QtPresenter final : public plat::msgbox::IPresenter {
public:
    int Show(const plat::msgbox::Request& r) override {
        QObject* gui = GuiObject();
        if (!gui) return plat::msgbox::DefaultButton(r.style);
        if (QThread::currentThread() != gui->thread()) return showFromWorker(r);
        const HWND owner = r.owner ? GetAncestor(r.owner, GA_ROOT) : 0;
        DeviceBox box(DeviceScreen());
        box.setWindowTitle(toQString(r.caption));
        box.setText(toQString(r.text));
        switch (r.style & MB_ICONMASK) {
        case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
        default: break;
        }
        static const std::vector<std::pair<int, QMessageBox::StandardButton>> kinds[] = {
            {{IDOK, QMessageBox::Ok}},
            {{IDOK, QMessageBox::Ok}, {IDCANCEL, QMessageBox::Cancel}},
            {{IDABORT, QMessageBox::Abort}, {IDRETRY, QMessageBox::Retry}, {IDIGNORE, QMessageBox::Ignore}},
            {{IDYES, QMessageBox::Yes}, {IDNO, QMessageBox::No}, {IDCANCEL, QMessageBox::Cancel}},
            {{IDYES, QMessageBox::Yes}, {IDNO, QMessageBox::No}},
            {{IDRETRY, QMessageBox::Retry}, {IDCANCEL, QMessageBox::Cancel}},
        };
        const UINT type = (r.style & MB_TYPEMASK) < 6 ? (r.style & MB_TYPEMASK) : 0;
        const int def = plat::msgbox::DefaultButton(r.style);
        for (const auto& [id, button] : kinds[type]) {
            box.addButton(button);
            if (id == def) box.setDefaultButton(button);
        }
        const bool disable = owner && IsWindowEnabled(owner);
        if (disable) EnableWindow(owner, FALSE);
        QEventLoop loop;
        QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
        box.setWindowModality(Qt::NonModal);
        box.show();
        if (r.style & MB_TOPMOST) {
            // QMessageBox sets its own window flags as it shows.
            box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
            box.show();
        }
        // The box takes the keys whoever owns it; a box asked to come to
        // the front does so even when its program is not in front.
        box.raise();
        box.activateWindow();
        loop.exec();
        if (disable) EnableWindow(owner, TRUE);
        const auto chosen = box.standardButton(box.clickedButton());
        for (const auto& [id, button] : kinds[type])
            if (button == chosen) return id;
        return (r.style & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    }

private:
    static int showFromWorker(const plat::msgbox::Request& r) {
        struct Answer {
            std::atomic<bool> done{false};
            std::atomic<int> id{0};
        };
        auto answer = std::make_shared<Answer>();
        answer->id = plat::msgbox::DefaultButton(r.style);
        const HWND waker = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        QPointer<QObject> gui = GuiObject();
        QMetaObject::invokeMethod(
            gui,
            [r, answer, waker] {
                answer->id = showOnGui(r);
                answer->done = true;
                PostMessage(waker, WM_NULL, 0, 0);
            },
            Qt::QueuedConnection);
        MSG m;
        while (!answer->done) {
            const BOOL got = GetMessage(&m, 0, 0, 0);
            if (got == 0) {
                PostQuitMessage(int(m.wParam));  // for the loop that called us
                break;
            }
            if (got < 0) break;
            DispatchMessage(&m);
        }
        DestroyWindow(waker);
        return answer->id;
    }
    static int showOnGui(const plat::msgbox::Request& r);
};

QtPresenter g_presenter;

int QtPresenter::showOnGui(const plat::msgbox::Request& r) { return g_presenter.Show(r); }

}  // namespace

plat::msgbox::IPresenter& DevicePresenter() { return g_presenter; }

}  // namespace plat::qt::detail
