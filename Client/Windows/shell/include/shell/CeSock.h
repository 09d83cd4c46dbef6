// The shell's TCP connection to the host application. Nothing here waits
// on the network: the main window's 50 ms timer calls Poll, which finishes
// a pending connect, flushes what could not go out earlier and reads what
// has arrived; each read and the end of the connection are announced to the
// owner window with WM_SOCKET_NOTIFY, sent (not posted). A Poll while a
// read's handler still waits reads nothing, but announces the host's close. Before every
// connect and every write on the socket (one for a gathered batch, however
// many segments it holds) the socket asks the main window whether the radio
// is associated; while it is not, outgoing data is held back behind a waiting
// window with a Cancel button. User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/hooks/CoreMessages.h"
#include "platform/Window.h"
#include "shell/SendQueue.h"

class CConnectingWnd;
class CSettingsStore;

// The events of WM_SOCKET_NOTIFY (CoreMessages.h) to the owner.
constexpr LPARAM FD_READ = 1;      // bytes wait in the receive buffer
constexpr LPARAM FD_CONNECT = 16;  // the connect completed
constexpr LPARAM FD_CLOSE = 32;    // the host closed or reset the connection

// WM_COMMAND to the main window: back to the host list.
constexpr UINT ID_SESSION_ENDED = 40008;

class CCeSock {
public:
    explicit CCeSock(HWND owner);
    virtual ~CCeSock();
    CCeSock(const CCeSock&) = delete;
    CCeSock& operator=(const CCeSock&) = delete;

    // Resolves the host (a text starting with a digit is taken as an
    // address), stores the port and starts a connect. 1 when the connect
    // stands or goes on in the background; 0 after a failure (the radio not
    // associated has shown its box). An open connection is closed first.
    int Create(const char16_t* host, int port);
    // Waits up to 3 s for the connect behind the "Connecting To:" window,
    // whose Cancel ends the wait; a connect done within 20 ms shows no
    // window. 1 when connected; 0 otherwise, after the box "unable to
    // connect" unless the user cancelled.
    int WaitForConnection();
    // The box "unable to connect", owned by owner, with the reason of the
    // last failure (refused, unreachable, unknown name...) on a second line.
    void ShowConnectFailure(HWND owner) const;
    // The bytes handed to the network now; 0 when none went out (they wait
    // as blocked data, and go behind it); -1 after a send error (the bytes of
    // this call are dropped) or when the user cancelled the waiting window.
    // Bytes behind blocked data are offered with it at a packet's end or
    // every 256 KiB. Send(null, 0) flushes what waits (the shell calls it
    // when the socket takes more, and every tick). While more than 16 MiB waits (or
    // one reply, when larger) it returns only once the host has read
    // down to 8 MiB, running the thread's messages meanwhile; a host that reads
    // nothing for the stall limit ends the connection as a close does.
    int Send(const void* data, int length);
    // The timer's work.
    void Poll();
    // Copies up to length received bytes out; the count.
    virtual int Read(void* buffer, int length);
    // Ends the connection; blocked data and the waiting window go with it.
    void Close();
    // The dotted local address of the connection; empty when none is found.
    const char16_t* GetLocalAddress();

    // Not owned; may be null.
    void SetSettingsStore(CSettingsStore* store) { m_settings = store; }

    // After Create: the dotted address connected to.
    const char16_t* GetHostText() const { return m_hostText; }
    int GetPort() const { return m_port; }
    BOOL IsConnected() const { return m_connected ? TRUE : FALSE; }
    BOOL HasSocket() const { return m_socket >= 0 ? TRUE : FALSE; }
    // The descriptor of the open connection, -1 when none (the shell's wait
    // watches it, so host bytes are read as they come).
    int GetSocketHandle() const { return m_socket; }
    size_t GetBlockedLength() const { return Unsent(); }
    // TRUE while bytes wait because the socket took no more at the last
    // send: the moment it takes more is worth a flush. Not while the radio
    // holds them back, whatever the socket takes.
    BOOL IsWaitingForRoom() const { return m_full && Unsent() > 0 ? TRUE : FALSE; }
    BOOL IsNotAssociated() const { return m_notAssociated ? TRUE : FALSE; }
    // The waiting or connecting window while one is up.
    const CConnectingWnd* GetConnectingWnd() const { return m_connectingWnd.get(); }
    // TRUE while Poll reads nothing though bytes may wait: a megabyte or
    // more waits to be sent, or the receive buffer is full. Whoever polls
    // when the connection is readable waits for the timer meanwhile.
    BOOL IsReadingPaused() const;

    static constexpr int kConnectWaitMs = 3000;
    static constexpr DWORD kStallLimitMs = 60000;
    void SetStallLimitMs(DWORD ms) { m_stallLimitMs = ms; }

protected:
    // recv into the receive buffer; FD_READ or, at the host's close, FD_CLOSE.
    virtual void OnReadable();
    virtual void NotifyClose();
    virtual void NotifyRead();

private:
    void ResolveHost(const char16_t* host);
    int Connect();
    int OpenSocket();
    void CheckConnect();
    // Poll inside a read, while a handler of it waits in a loop of its own:
    // what the host sent since is read into the receive buffer, as far as
    // it has room, and announced after the read; the host's close ends the
    // connection.
    void ReadAhead();
    // The host closed its end (or the connection failed), whether or not
    // bytes it sent before are still unread; never waits.
    bool HostHungUp() const;
    // FD_CLOSE to the owner, then the close unless its handler made it.
    void EndWithTheHost();
    // Up to ms for the pending connect to succeed or fail.
    void AwaitConnectOutcome(int ms) const;
    BOOL QueryAssociation() const;
    void PlayErrorSound() const;
    // One send: the count, 0 when the socket would block, -1 on an error.
    int SendNow(const uint8_t* data, size_t length);
    // One send of what waits, from the front, as many blocks as the socket
    // takes; after an error the waiting bytes are dropped.
    int FlushBlocked();
    size_t Unsent() const { return m_unsent.Size(); }
    // The waiting bytes the socket has been offered (the rest are gathered).
    size_t Blocked() const { return m_unsent.Size() - m_gathered; }
    void DropBlocked();
    int SendData(const uint8_t* bytes, int length);
    // Until the unsent bytes are back under the bound, the host is gone or
    // the program quits.
    void WaitForHost();
    // Every waiting message, timers too; a WM_QUIT stays queued.
    void PumpWhileWaiting();
    // The gathered replies, behind any blocked data, in one send after one
    // association question; what the socket does not take, or all of it
    // without the radio, becomes blocked data.
    int FlushBatch();
    // Without the radio: the batch, then these bytes, wait behind the
    // waiting window.
    void HoldWithoutRadio(const uint8_t* bytes, int length);
    // Send(null, 0): blocked data, the waiting window's Cancel, the batch.
    int FlushWaiting();
    void CloseConnectingWnd();

    static constexpr size_t kTextChars = 100;

    int m_port = 0;
    // Why the last connect failed: an errno value, kUnknownName, 0 unknown.
    static constexpr int kUnknownName = -1;
    int m_failure = 0;
    char16_t m_hostText[kTextChars] = {};
    bool m_connected = false;
    // A connect is under way: only then does writability mean connected (a
    // socket left without one polls writable too).
    bool m_connectPending = false;
    std::unique_ptr<CConnectingWnd> m_connectingWnd;
    HWND m_owner;
    int m_socket = -1;
    std::vector<uint8_t> m_receive;  // its size is the buffer's
    size_t m_unread = 0;
    int m_connectWaitMs = kConnectWaitMs;
    CSettingsStore* m_settings = nullptr;
    bool m_notAssociated = false;
    // Every byte not yet handed to the network, in order: blocked data, then
    // the replies gathered since the last send (m_gathered bytes at its end).
    CSendQueue m_unsent;
    size_t m_gathered = 0;
    bool m_full = false;  // the last send left bytes the socket did not take
    char16_t m_localAddress[16] = {};
    // Counts connections, so a read can tell that its handler closed the
    // connection or made a new one.
    uint64_t m_generation = 0;
    bool m_reading = false;  // inside OnReadable's notification
    bool m_readAhead = false;  // bytes came in during it, not yet announced
    bool m_announcingClose = false;  // inside EndWithTheHost's notification
    bool m_waitingForHost = false;
    DWORD m_stallLimitMs = kStallLimitMs;
};
