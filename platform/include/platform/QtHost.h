// The Qt side of the window layer (library platform_qt): Qt Widgets show the
// windows of Window.h and turn Qt input into our messages, and our queue and
// Qt's event loop serve each other on the GUI thread without polling.
//
// - Attach on the GUI thread once a QApplication exists. From then on the
//   device's screen is one Qt window of the screen's size (Screen.h) and
//   every top-level window that is not message-only has a QWidget inside it
//   on the GUI thread (whatever thread owns the window) that shows its back
//   buffer and those of its shown children, composed in the layer's z-order.
//   The widgets follow the model (geometry, visibility, z-order, title); the
//   enabled state stays the layer's.
// - Input: Qt only says which key went down and where a tap landed; the
//   screen takes Qt's focus and taps and hands them to the layer (Input.h),
//   which finds the window. Keys carry Windows virtual-key codes and the
//   characters they type. Qt's own focus, Tab handling and activation on
//   click are off.
// - The event loop: the GUI thread's queue has a wake descriptor that a
//   QSocketNotifier watches, and a timerfd armed for our next timer. While
//   GetMessage waits on the GUI thread it runs Qt's events; while a Qt loop
//   runs instead (QApplication::exec, a QDialog's exec), the notifiers
//   serve our queue: sent messages, posted messages, paint and timers are
//   dispatched as a Windows modal loop would. An idle GUI thread sleeps in
//   Qt's poll and does not wake. Sleep on the GUI thread, and a SendMessage
//   from it to a busy thread, run Qt's events without serving the queue, so
//   other threads' windows stay shown and take input.
// - A window of a worker thread keeps its queue on that thread: the model
//   tells the backend of changes from the worker, which hands them to the
//   GUI thread as queued Qt calls; input from its QWidget is posted to the
//   worker's queue; the worker paints into the back buffer (guarded by its
//   own mutex, which no caller code ever runs under) and the GUI thread shows
//   it.
#pragma once

#include <functional>

#include "platform/Window.h"

class QImage;
class QWidget;

namespace plat::qt {

// GUI thread, after the QApplication is made. Idempotent.
void AttachQtEventLoop();
// Removes the backend, the hook and the notifiers; the widgets go.
void DetachQtEventLoop();
// A program's whole run on its GUI thread: makes the process's QApplication
// (on the Qt platform the environment names), attaches, runs run, detaches
// and gives run's result.
int RunWithApplication(int& argc, char** argv, const std::function<int()>& run);
// Before any thread starts (it sets an environment variable): the Qt
// application RunWithApplication makes takes its plug-ins from the machine's
// folders only, never from folders beside the program (installed on a
// device, those are the program folder's, which take a host's files).
void TakePlugInsFromTheMachineOnly();

// The widget of hwnd (GUI thread); null when there is none yet. A child's
// is made on this call: it draws nothing (its top-level window draws it)
// and takes Qt events sent to it as its window's.
QWidget* WidgetOf(HWND hwnd);
// The window as it is shown, children included (GUI thread).
QImage RenderWindow(HWND hwnd);
// Brings the widgets up to date with changes made on other threads (GUI
// thread): runs the Qt calls queued for them.
void SyncWidgets();

}  // namespace plat::qt
