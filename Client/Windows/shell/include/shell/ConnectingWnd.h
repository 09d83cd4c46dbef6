// The small "Connecting To:" window the socket shows over the main window
// while it connects, and with a text of its own while outgoing data waits
// for the radio. The window lives on a thread of its own, so it stays
// responsive while the user-interface thread loops in the connect wait; the
// socket only reads its cancelled flag and closes it.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "core/hooks/CoreMessages.h"
#include "platform/Window.h"

class CConnectingWnd {
public:
    // Either text may be null; each is cut to 99 characters. A custom text
    // replaces the whole "Connecting To:" text. The thread starts at once.
    CConnectingWnd(const char16_t* hostText, const char16_t* customText, BOOL showCancel);
    ~CConnectingWnd();  // Close
    CConnectingWnd(const CConnectingWnd&) = delete;
    CConnectingWnd& operator=(const CConnectingWnd&) = delete;

    // Set once the user chose Cancel or pressed Escape; the window stays up.
    BOOL IsCancelled() const;
    // Destroys the window and waits for its thread, asking again every
    // 50 ms in case the thread had not made its window yet; after 10 s the
    // thread is left to end on its own. Safe to call again.
    void Close();
    // What the window shows: the custom text, else "\nConnecting To:\n"
    // and the host text.
    std::u16string GetText() const;
    // The window, 0 while the thread has not made it or after Close.
    HWND GetWindow() const;

    struct State;  // shared by the object and its thread

private:
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};
