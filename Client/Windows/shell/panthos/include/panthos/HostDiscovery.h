// Discovery as the shell runs it: the discovery object and the sink of its
// events, the thread that makes a pass every 30 s while no session runs, and
// the hosts of the passes. Lock order: the pass lock (the collected hosts
// and every DoAutodiscovery), then the shown-host lock. The thread never
// touches a window: after a pass it posts WM_REFRESH_HOSTS to the window it
// was started with.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/Beaconet.h"
#include "panthos/EventLink.h"
#include "platform/ComServer.h"
#include "shell/HostList.h"

class CHostDiscovery {
public:
    // busy: true while a session runs; the thread makes no pass then.
    explicit CHostDiscovery(std::function<bool()> busy);
    ~CHostDiscovery();
    CHostDiscovery(const CHostDiscovery&) = delete;
    CHostDiscovery& operator=(const CHostDiscovery&) = delete;

    // Takes the object and advises its events; the advise's failure.
    HRESULT Attach(plat::com::CPtr<IOVC36_40> object);
    // Stops the thread, then unadvises and lets the object go.
    void Detach();
    bool IsAttached() const { return bool(m_object); }
    void SetPort(LONG port);

    // The next pass waits ms first (once; a pass already waiting is not
    // shortened).
    void DelayNextPass(uint32_t ms) { m_startDelay = ms; }
    // The thread, its passes announced to notify.
    void Start(HWND notify);
    // Ends the thread: a pass in progress is asked to end through the
    // object's stop interface until the thread has ended.
    void Stop();

    // Copies of the hosts of the last pass, in the order they answered.
    std::vector<CHostEntry> Shown() const;

    struct Search {
        size_t found = 0;                    // hosts the pass found
        std::unique_ptr<CHostEntry> chosen;  // a copy, null when none fits
    };
    // One pass for the token on the calling thread; its hosts become the
    // shown ones. The one host found, else the first that is both the
    // default and of the token, else the last of the token.
    Search Find(std::u16string_view token);

    // A discovered host without a port: the address and port its host
    // gives for the record's application, when that host answers.
    void Resolve(CHostEntry& record);

private:
    void Run();
    // Sleeps up to ms; false when the thread is asked to stop.
    bool Wait(uint32_t ms);
    void OnAddHost();
    // Under the pass lock: the collected hosts become the shown ones.
    void Merge();

    std::function<bool()> m_busy;
    plat::com::CPtr<IOVC36_40> m_object;
    CEventLink m_link;
    HWND m_notify = 0;

    std::mutex m_passLock;
    std::vector<CHostEntry> m_collected;  // under the pass lock
    mutable std::mutex m_shownLock;
    std::vector<CHostEntry> m_shown;  // under the shown-host lock

    std::atomic<uint32_t> m_startDelay{0};
    std::thread m_thread;
    std::mutex m_stopMutex;
    std::condition_variable m_stopSignal;
    bool m_stop = false;
    std::atomic<bool> m_done{false};
};
