// The Qt side of the window layer (library platform_qt): Qt Widgets show the
// windows of Window.h and turn Qt input into our messages, and our queue and
// Qt's event loop serve each other on the GUI thread without polling.
//
// - Attach on the GUI thread once a QApplication exists. From then on every
//   window that is not message-only has a QWidget on the GUI thread (whatever
//   thread owns the window) that shows its back buffer; the widgets follow
//   the model (geometry, visibility, enabled state, z-order, title).
// - Input: keys become WM_KEYDOWN/WM_KEYUP with Windows virtual-key codes and
//   WM_CHAR (WM_SYS* with Alt), posted to the focus window of the thread that
//   owns the top-level window (the top-level window when nothing has focus);
//   mouse buttons and moves become WM_LBUTTON*/WM_RBUTTON*/WM_MOUSEMOVE in the
//   client coordinates of the window under the mouse, or of the thread's
//   capture window. Qt's own focus and Tab handling are off: only top-level
//   widgets take Qt focus, so focus, tab order and routing are the layer's.
// - The event loop: the GUI thread's queue has a wake descriptor that a
//   QSocketNotifier watches, and a timerfd armed for our next timer. While
//   GetMessage waits on the GUI thread it runs Qt's events; while a Qt loop
//   runs instead (QApplication::exec, a QDialog's exec), the notifiers
//   serve our queue: sent messages, posted messages, paint and timers are
//   dispatched as a Windows modal loop would. An idle GUI thread sleeps in
//   Qt's poll and does not wake.
// - A window of a worker thread keeps its queue on that thread: the model
//   tells the backend of changes from the worker, which hands them to the
//   GUI thread as queued Qt calls; input from its QWidget is posted to the
//   worker's queue; the worker paints into the back buffer (guarded by its
//   own mutex, which no caller code ever runs under) and the GUI thread shows
//   it.
#pragma once

#include "platform/Window.h"

class QImage;
class QWidget;

namespace plat::qt {

// GUI thread, after the QApplication is made. Idempotent.
void AttachQtEventLoop();
// Removes the backend, the hook and the notifiers; the widgets go.
void DetachQtEventLoop();

// The widget that shows hwnd (GUI thread); null when there is none yet.
QWidget* WidgetOf(HWND hwnd);
// The window as it is shown, children included (GUI thread).
QImage RenderWindow(HWND hwnd);
// Brings the widgets up to date with changes made on other threads (GUI
// thread): runs the Qt calls queued for them.
void SyncWidgets();

}  // namespace plat::qt
