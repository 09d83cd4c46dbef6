// headless-session: one client session without a display, driven by a host
// over TCP or through standard input and output. It stands in for the
// device's shell: it registers the client control "Ravelcore.dll" into the
// device root's registry, creates it by its ProgID and hosts its window,
// hands it the host's bytes as the shell does, sends the bytes of its
// events back to the host, and polls it on a 50 ms timer.
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "HostLink.h"
#include "SessionOptions.h"
#include "control/Ravelcore.h"
#include "control/RavelcoreHeadless.h"
#include "control/SessionWindow.h"
#include "platform/Com.h"
#include "platform/ComServer.h"
#include "platform/DeviceFs.h"
#include "platform/Input.h"
#include "platform/Library.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Screen.h"
#include "platform/Serial.h"
#include "platform/Text.h"
#include "platform/Window.h"

namespace {

constexpr int kConnectTimeoutMs = 10000;
constexpr UINT kPollTimerId = 1;
constexpr UINT kPollIntervalMs = 50;  // the shell's timer
constexpr size_t kReadSize = 20480;    // the shell's read size
// Replies gathered for one write; past this they go out at once, so a short
// input that asks for many large replies (a file fetched again and again)
// never holds them all in memory.
constexpr size_t kMaxGathered = 256 * 1024;
// The client version the device's shell reports.
constexpr char16_t kClientVersion[] = u"5.4.1.01";
// The session's application folder (the logical folder "APP"), created in the
// device root as the shell creates its session folder.
constexpr char16_t kSessionFolder[] = u"\\Session";

void Complain(const std::string& text) { std::fprintf(stderr, "headless-session: %s\n", text.c_str()); }

// The character a key types, as the device's keyboard translation gives it; 0 for none.
char16_t TypedCharacter(uint32_t virtualKey) {
    switch (virtualKey) {
    case 8:   // backspace
    case 9:   // tab
    case 13:  // enter
    case 27:  // escape
    case 32:  // space
        return static_cast<char16_t>(virtualKey);
    default:
        if (virtualKey >= '0' && virtualKey <= '9') return static_cast<char16_t>(virtualKey);
        if (virtualKey >= 'A' && virtualKey <= 'Z') return static_cast<char16_t>(virtualKey - 'A' + 'a');
        return 0;
    }
}

// Levels of the control's log.
constexpr ULONG kLogError = 1;
constexpr ULONG kLogTrace = 5;

constexpr char16_t kControlProgId[] = u"Ravelcore.OVC";
constexpr char16_t kControlLibrary[] = u"Ravelcore.dll";
constexpr char16_t kHostClass[] = u"HeadlessSessionHost";
// Posted to the session window when the host went away while a command waited.
constexpr UINT kHostGone = WM_APP + 1;

// Checks that the log file can be written and empties it: only here, once
// every argument has been checked and the host reached.
bool EmptyLogFile(const std::string& file, std::string& error) {
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        error = "cannot write the log file '" + file + "': " + std::strerror(errno);
        return false;
    }
    close(fd);
    return true;
}

using plat::com::CBstr;
using plat::com::CPtr;

// The name of a message box's button.
const char* ButtonName(int id) {
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "?";
    }
}

class HeadlessSession : private plat::msgbox::IPresenter {
public:
    explicit HeadlessSession(HostLink& link) : m_link(link) {}
    ~HeadlessSession() {
        if (plat::msgbox::IPresenter* other = plat::msgbox::SetPresenter(nullptr); other != this)
            plat::msgbox::SetPresenter(other);
        if (m_headless) m_headless->ReportBoxes(nullptr, nullptr);
        // As the shell shuts down: the sink goes, then the window with the
        // control's core, then the control.
        if (m_point) m_point->Unadvise(m_cookie);
        m_point.Reset();
        if (m_window) DestroyWindow(m_window);
        m_headless.Reset();
        m_data.Reset();
        m_classic.Reset();
        m_ovc.Reset();
    }

    bool Create(const std::string& logFile, std::string& error) {
        // The running program's folder always exists on a device; the core's
        // logical folders under it (%DATA%, ...) need it.
        if (!CreateFolders(plat::fs::ProgramFolder())) {
            error = "cannot create the program folder '" +
                    plat::fs::ToHostPath(plat::fs::ProgramFolder()).value_or(
                        plat::text::WideToUtf8(plat::fs::ProgramFolder())) + "'";
            return false;
        }
        if (!CreateControl(error)) return false;
        // Nobody sees a box here: each is written where the developer looks.
        m_headless->ReportBoxes(&ReportBox, this);
        plat::msgbox::SetPresenter(this);
        if (!logFile.empty()) {
            std::error_code ec;
            const std::string path = std::filesystem::absolute(logFile, ec).string();
            if (!EmptyLogFile(logFile, error)) return false;
            if (FAILED(m_headless->LogToHostFile(path.c_str()))) {
                error = "cannot start the log";
                return false;
            }
        }
        // The session's window, never shown, hosts the control's window; its
        // timer is the shell's.
        static const bool registered = [] {
            WNDCLASS wc{};
            wc.lpfnWndProc = &DefWindowProc;
            wc.lpszClassName = kHostClass;
            return RegisterClass(&wc) != 0;
        }();
        // The control's window as the device's shell places it on a screen
        // without a skin: the work area below the menu bar.
        RECT work{};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
        const RECT session = sessionwindow::BelowMenuBar(work);
        const int width = session.right - session.left, height = session.bottom - session.top;
        m_window = registered ? CreateWindowEx(0, kHostClass, u"headless-session", 0, 0, 0, width, height, 0, 0,
                                               nullptr, nullptr)
                              : 0;
        if (!m_window) {
            error = "cannot create the session window";
            return false;
        }
        plat::window::SetWindowProcedure(m_window, [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
            if (msg == WM_TIMER && wParam == kPollTimerId) {
                if (m_ovc) m_ovc->CheckInputTimeOut();
                return LRESULT(0);
            }
            if (msg == kHostGone) {
                m_gonePosted = false;
                if (!m_ended) EndSession();
                return LRESULT(0);
            }
            return DefWindowProc(hwnd, msg, wParam, lParam);
        });
        // No screen is shown: the control loads no GUI library.
        m_headless->ShowNoScreen();
        CPtr<IHostedControl> hosted;
        const RECT rect{0, 0, width, height};
        if (FAILED(m_ovc.As(&hosted)) || FAILED(hosted->CreateControlWindow(m_window, &rect, &m_control))) {
            error = "cannot create the control window";
            return false;
        }
        if (!plat::fs::IsDirectory(kSessionFolder) && !plat::fs::CreateDirectory(kSessionFolder)) {
            error = "cannot create the session folder '" +
                    plat::fs::ToHostPath(kSessionFolder).value_or(plat::text::WideToUtf8(kSessionFolder)) + "'";
            return false;
        }
        // The shell's settings that the session depends on, then the start.
        m_classic->put_ClientVersion(CBstr(kClientVersion).Get());
        m_classic->put_bstrAppDirectory(CBstr(kSessionFolder).Get());
        m_ovc->Initialize();
        // What the shell reports when its connection is made.
        m_classic->put_IPAddressAsString(CBstr(plat::text::Utf8ToWide(m_link.LocalAddress())).Get());
        if (!SetTimer(m_window, kPollTimerId, kPollIntervalMs)) {
            error = "cannot start the poll timer";
            return false;
        }
        return true;
    }

    // A line on standard error and in the log.
    void Tell(const std::string& text) {
        Complain(text);
        if (m_headless) m_headless->WriteLog(kLogError, ("headless-session: " + text).c_str());
    }

    // Scripted input, as if typed before the host asked; events a full input
    // queue drops are reported, so a script's author knows.
    void Type(const std::vector<ScriptEvent>& events) {
        ULONGLONG before = 0, after = 0;
        LONG capacity = 0;
        m_headless->GetDroppedEvents(&before, &capacity);
        TypeEvents(events);
        m_headless->GetDroppedEvents(&after, &capacity);
        if (const ULONGLONG lost = after - before) {
            const std::string text = "scripted input: " + std::to_string(lost) +
                                     " events dropped, the input queue holds " + std::to_string(capacity) +
                                     " until the host asks";
            Tell(text);
        }
    }

private:
    // A message box (KILLCMD's message, a fault of the control's) is
    // answered at once with its default button, and told.
    int Show(const plat::msgbox::Request& request) override {
        const int answer = plat::msgbox::DefaultButton(request.style);
        Tell("message box \"" + plat::text::WideToUtf8(request.caption) + "\": " +
             plat::text::WideToUtf8(request.text) + "; answered " + ButtonName(answer));
        return answer;
    }
    static void ReportBox(void* context, const char* text) { static_cast<HeadlessSession*>(context)->Tell(text); }

    // Creates the control by its ProgID as the shell does; when the device
    // root's registry does not know it yet, registers it first, as the
    // start-up registration does. Then a sink goes on its events.
    bool CreateControl(std::string& error) {
        CoInitializeEx(nullptr, 0);
        HRESULT made = plat::com::CreateByName(kControlProgId, IOVC::kIID, m_ovc.OutVoid());
        if (made == CO_E_CLASSSTRING || made == REGDB_E_CLASSNOTREG || made == CO_E_DLLNOTFOUND ||
            made == CO_E_ERRORINDLL) {
            if (!RegisterControl()) {
                error = "cannot register Ravelcore.dll in the device root's registry";
                return false;
            }
            made = plat::com::CreateByName(kControlProgId, IOVC::kIID, m_ovc.OutVoid());
        }
        CPtr<IConnectionPointContainer> container;
        if (FAILED(made) || FAILED(m_ovc.As(&m_classic)) || FAILED(m_ovc.As(&m_data)) ||
            FAILED(m_ovc.As(&m_headless)) || FAILED(m_ovc.As(&container)) ||
            FAILED(container->FindConnectionPoint(DIID__IOVCEvents, m_point.Out()))) {
            error = "cannot create the client control " + plat::text::WideToUtf8(kControlProgId);
            return false;
        }
        auto* sink = new plat::com::CDispatchSink(DIID__IOVCEvents, [this](DISPID id, DISPPARAMS* params) {
            OnEvent(id, params);
            return S_OK;
        });
        sink->AddRef();
        const HRESULT advised = m_point->Advise(sink, &m_cookie);
        sink->Release();
        if (FAILED(advised)) {
            m_point.Reset();
            error = "cannot connect to the client control's events";
            return false;
        }
        return true;
    }

    static bool RegisterControl() {
        HMODULE server = LoadLibrary(kControlLibrary);
        auto registerServer = server ? GetProc<HRESULT (*)()>(server, "DllRegisterServer") : nullptr;
        const bool registered = registerServer && SUCCEEDED(registerServer());
        if (server) FreeLibrary(server);
        return registered;
    }

    void TypeEvents(const std::vector<ScriptEvent>& events) {
        for (const ScriptEvent& e : events) {
            if (m_ended) return;
            switch (e.kind) {
            case ScriptEvent::Key:
                SendMessage(m_control, WM_KEYDOWN, e.key, 0);
                if (char16_t c = TypedCharacter(e.key)) SendMessage(m_control, WM_CHAR, c, 1);
                break;
            case ScriptEvent::Text:
                for (char16_t c : e.text) SendMessage(m_control, WM_CHAR, c, 1);
                break;
            case ScriptEvent::Scan:
                m_headless->ScanInput(static_cast<int>(e.text.size()), e.text.c_str());
                break;
            }
            Pump();
        }
    }

public:
    // Runs until the session ends; the exit status. It sleeps until the host
    // sends, a message arrives or a timer is due: nothing else wakes it.
    int Run() {
        std::vector<uint8_t> buffer(kReadSize);
        const int wakeFd = plat::messages::GetQueueWakeFd();
        // A handler that waits for messages lets what it has replied so far go first.
        plat::messages::SetMessageWaitHook([this, wakeFd](int maxWaitMs) {
            Flush();
            pollfd p{wakeFd, POLLIN, 0};
            poll(&p, 1, maxWaitMs);
        });
        // So does one that pauses (the serial exchange between its reads):
        // the host has the answers to the commands before it meanwhile.
        plat::input::SetSleepHook([this](int ms) {
            Flush();
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        });
        // A command that waits (serial bytes, a program, a box) pumps
        // messages; the poll timer among them looks whether the host is still
        // there, so the wait ends with the session rather than outliving it.
        s_running = this;
        plat::messages::SetReadyCheck(&LookForTheHost);
        while (!m_ended) {
            Pump();
            if (m_ended) break;
            pollfd p[2] = {{m_link.ReadFd(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
            int ready = poll(p, wakeFd >= 0 ? 2 : 1, plat::messages::NextMessageTimeoutMs());
            if (ready < 0 && errno != EINTR) {
                Complain(std::string("cannot wait for the host: ") + std::strerror(errno));
                return EXIT_RUNTIME_ERROR;
            }
            if (wakeFd >= 0 && (p[1].revents & POLLIN)) plat::messages::DrainQueueWakeFd();
            if (ready <= 0 || !(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            std::string error;
            long n = m_link.Read(buffer.data(), buffer.size(), error);
            if (n > 0) {
                ++m_inputDepth;
                m_data->OVCStreamInput(static_cast<int>(n), buffer.data());
                --m_inputDepth;
                Flush();  // the replies to this input, in one write
            } else if (n == 0) {
                HostClosed();
            } else if (n == -1) {
                Complain(error);
                HostClosed();
                return EXIT_RUNTIME_ERROR;
            }
        }
        plat::messages::SetMessageWaitHook(nullptr);
        plat::input::SetSleepHook(nullptr);
        plat::messages::SetReadyCheck(nullptr);
        s_running = nullptr;
        if (!m_writeError.empty()) {
            Complain(m_writeError);
            return EXIT_RUNTIME_ERROR;
        }
        return EXIT_SESSION_ENDED;
    }

private:
    // The thread's messages: the poll timer, and what the core posted; then
    // the replies they produced go out.
    void Pump() {
        MSG msg;
        while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                m_ended = true;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        Flush();
    }

    // Writes the segments gathered since the last flush in one write.
    void Flush() {
        if (m_out.empty()) return;
        std::string error;
        if (!m_link.WriteAll(m_out.data(), m_out.size(), error)) {
            // Empty when the host just went away; the first failure is the one told.
            if (m_writeError.empty()) m_writeError = error;
            m_ended = true;
            m_link.Close();
        }
        m_out.clear();
    }

    // The end of the link ends the session as the shell ends it: the
    // connection is gone first, then the control's Disconnect runs.
    void HostClosed() {
        Pump();  // what the last input posted is handled first
        EndSession();
    }
    void EndSession() {
        m_ended = true;
        m_link.Close();
        if (m_classic) m_classic->Disconnect();
    }

    // Inside an input only: the session's own loop reads the link otherwise.
    // Bytes the host sent meanwhile wait for the command to finish; only its
    // going away is looked at, so a host that sends on holds no memory here.
    static void LookForTheHost() {
        HeadlessSession* self = s_running;
        if (!self || self->m_inputDepth == 0 || self->m_ended || self->m_gonePosted || !self->m_link.HungUp()) return;
        self->m_gonePosted = PostMessage(self->m_window, kHostGone, 0, 0) != FALSE;
    }

    // The shell's sink on the control's events.
    void OnEvent(DISPID id, DISPPARAMS* params) {
        plat::com::DispArgs args(params);
        if (id == DISPID_OVCDataOutEvent) {
            // Replies of a session that has ended are dropped, as the shell drops them.
            // Each segment is gathered; the input's replies leave together.
            int size = 0;
            const uint8_t* bytes = nullptr;
            if (m_ended || FAILED(args.Int(0, &size)) || FAILED(args.Pointer(1, &bytes)) || !bytes || size <= 0) return;
            m_out.insert(m_out.end(), bytes, bytes + size);
            if (m_out.size() >= kMaxGathered) Flush();
        } else if (id == DISPID_OVCDisconnect && !m_ended) {
            m_headless->WriteLog(kLogTrace, "headless-session: the session ended");
            Flush();  // the replies before the end still go out
            m_ended = true;
            m_link.Close();
        }
    }

    // Each missing folder of a device path, from the root down.
    static bool CreateFolders(const std::u16string& path) {
        for (size_t at = path.find(u'\\', 1);; at = path.find(u'\\', at + 1)) {
            const std::u16string part = path.substr(0, at);
            if (!part.empty() && !plat::fs::IsDirectory(part) && !plat::fs::CreateDirectory(part)) return false;
            if (at == std::u16string::npos) return true;
        }
    }

    HostLink& m_link;
    HWND m_window = 0;   // the session's window, hosting the control's
    HWND m_control = 0;  // the control's window
    CPtr<IOVC> m_ovc;
    CPtr<IOVCClassic> m_classic;
    CPtr<IOVCData> m_data;
    CPtr<IOVCHeadless> m_headless;
    CPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
    bool m_ended = false;
    int m_inputDepth = 0;       // inside the control's input
    bool m_gonePosted = false;  // kHostGone is queued
    static inline HeadlessSession* s_running = nullptr;  // the session whose loop runs
    std::string m_writeError;
    std::vector<uint8_t> m_out;  // reply segments not yet written
};

// An input script is a short text file; anything else is refused before it is read.
constexpr off_t kMaxScriptBytes = 1024 * 1024;

bool ReadScript(const std::string& file, std::vector<ScriptEvent>& events, std::string& error) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        error = "cannot read the input file '" + file + "': " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    std::string content;
    if (!S_ISREG(st.st_mode)) {
        error = "the input file '" + file + "' is not a regular file";
    } else if (st.st_size > kMaxScriptBytes) {
        error = "the input file '" + file + "' is larger than " + std::to_string(kMaxScriptBytes) + " bytes";
    } else {
        content.resize(static_cast<size_t>(st.st_size));
        ssize_t n = read(fd, content.data(), content.size());
        if (n < 0) error = "cannot read the input file '" + file + "': " + std::strerror(errno);
        else content.resize(static_cast<size_t>(n));
    }
    close(fd);
    if (!error.empty()) return false;
    if (!ParseInputScript(content, events, error)) {
        error = file + ": " + error;
        return false;
    }
    return true;
}

// Checks, without creating or changing anything, that the log can be written
// where asked and is not the input script.
bool CheckLogFile(const SessionOptions& options, std::string& error) {
    const std::string& log = options.logFile;
    struct stat st, input;
    if (stat(log.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) || access(log.c_str(), W_OK) != 0) {
            error = "cannot write the log file '" + log + "'";
            return false;
        }
        if (!options.inputFile.empty() && stat(options.inputFile.c_str(), &input) == 0 &&
            st.st_dev == input.st_dev && st.st_ino == input.st_ino) {
            error = "the log file and the input file are the same file '" + log + "'";
            return false;
        }
        return true;
    }
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::absolute(log, ec).parent_path();
    if (ec || !std::filesystem::is_directory(parent, ec) || access(parent.c_str(), W_OK | X_OK) != 0) {
        error = "cannot write the log file '" + log + "': its folder is missing or not writable";
        return false;
    }
    return true;
}

// Checks, without creating it, that the device root is or can be a folder.
bool CheckDeviceRoot(const std::string& root, std::string& error) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(root, ec);
    struct stat st;
    // The nearest part of the path that exists must be a folder.
    while (!ec && lstat(path.c_str(), &st) != 0 && errno == ENOENT && path.has_relative_path())
        path = path.parent_path();
    if (ec || stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "the device root '" + root + "' is not a directory";
        return false;
    }
    return true;
}

// A standard stream that was closed is held on /dev/null, so that no file,
// socket or wake descriptor opened later takes its number and is read,
// written or printed to as that stream. True when it was closed.
bool HoldClosedStream(int fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
    int held = open("/dev/null", O_RDWR);
    if (held >= 0 && held != fd) {
        dup2(held, fd);
        close(held);
    }
    return true;
}

}  // namespace

// Under the leak checker: fontconfig's caches, filled once a process when a
// session's font is measured, are never freed by the system library.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

int main(int argc, char** argv) {
    // Large buffers (a file's transfer) go back to the system when freed: left
    // to itself the allocator raises its threshold after the first one and
    // keeps the next tens of MiB for the rest of the session.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    bool closedStreams[3];
    for (int fd = 0; fd < 3; ++fd) closedStreams[fd] = HoldClosedStream(fd);
    signal(SIGPIPE, SIG_IGN);  // a host that went away is seen as a write error
    SessionOptions options;
    std::string error;
    if (!ParseArguments(argc, argv, options, error)) {
        Complain(error + "\nTry 'headless-session --help'.");
        return EXIT_USAGE_ERROR;
    }
    if (options.help) {
        std::fputs(HelpText(), stdout);
        return EXIT_SESSION_ENDED;
    }
    if (options.mode == LinkMode::Stdio && (closedStreams[0] || closedStreams[1])) {
        Complain("--stdio needs standard input and output open, and one of them is closed");
        return EXIT_USAGE_ERROR;
    }
    // Every argument is checked, and the host reached, before anything is
    // created or emptied.
    std::vector<ScriptEvent> script;
    // --device-root, else $ORVADE_DEVICE_ROOT, else the default: checked alike.
    const std::string deviceRoot = options.deviceRoot.empty() ? plat::fs::DeviceRoot() : options.deviceRoot;
    // Started by a program of a device, it stays on that device: no file,
    // folder or terminal of the machine outside it.
    std::vector<std::pair<std::string, std::string>> named{{"--device-root", deviceRoot}};
    if (!options.inputFile.empty()) named.emplace_back("--input", options.inputFile);
    if (!options.logFile.empty()) named.emplace_back("--log", options.logFile);
    for (const auto& port : options.serialPorts) named.emplace_back("--serial-port", port.second);
    for (const auto& [option, path] : named) {
        if (const std::string refused = plat::process::RefusedOutsideRoot(path, option == "--device-root");
            !refused.empty()) {
            Complain(option + " " + path + " is refused: " + refused);
            return EXIT_USAGE_ERROR;
        }
    }
    if (!options.inputFile.empty() && !ReadScript(options.inputFile, script, error)) {
        Complain(error);
        return EXIT_USAGE_ERROR;
    }
    if ((!options.logFile.empty() && !CheckLogFile(options, error)) ||
        !CheckDeviceRoot(deviceRoot, error)) {
        Complain(error);
        return EXIT_USAGE_ERROR;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    HostLink link;
    if (options.mode == LinkMode::Connect) {
        if (!link.Connect(options.host, options.port, kConnectTimeoutMs, error)) {
            Complain(error);
            return EXIT_RUNTIME_ERROR;
        }
    } else {
        link.UseStdio();
    }
    {
        std::error_code ec;
        std::filesystem::create_directories(deviceRoot, ec);
        if (ec) {
            Complain("cannot create the device root '" + deviceRoot + "': " + ec.message());
            return EXIT_USAGE_ERROR;
        }
        if (!std::filesystem::is_directory(deviceRoot, ec)) {
            Complain("the device root '" + deviceRoot + "' is not a directory");
            return EXIT_USAGE_ERROR;
        }
        plat::fs::SetDeviceRoot(deviceRoot);
    }
    for (const auto& [name, path] : options.serialPorts) {
        if (!plat::registry::SetString(HKEY_LOCAL_MACHINE, plat::serial::kPortsKey, plat::text::Utf8ToWide(name).c_str(),
                                       plat::text::Utf8ToWide(path))) {
            Complain("cannot map the serial port " + name + " in the device root's registry");
            return EXIT_RUNTIME_ERROR;
        }
    }
    if (!options.programFolder.empty()) {
        const std::u16string folder = plat::text::Utf8ToWide(options.programFolder);
        if (!plat::fs::IsDirectory(folder)) {
            Complain("the program folder '" + options.programFolder +
                     "' is not a folder of the device root (a device path such as \\Program Files\\Orvade Client)");
            return EXIT_USAGE_ERROR;
        }
        plat::fs::SetProgramFolder(folder);
    }
    HeadlessSession session(link);
    if (!session.Create(options.logFile, error)) {
        Complain(error);
        return EXIT_RUNTIME_ERROR;
    }
    session.Type(script);
    return session.Run();
}
