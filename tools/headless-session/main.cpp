// headless-session: one client-core session without a display, driven by a
// host over TCP or through standard input and output. It stands in for the
// device's shell and control: host bytes go to the core as the shell hands
// them over, the core's segments go back to the host, and a 50 ms timer polls
// the core.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "control/ControlDialogs.h"
#include "core/session/ClientCore.h"
#include "HostLink.h"
#include "core/support/LogFile.h"
#include "core/extensions/ExtensionModule.h"
#include "core/extensions/Extensions.h"
#include "SessionOptions.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"
#include "platform/Message.h"
#include "platform/Text.h"

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
// The session window of a handheld screen; with the default cell size it gives the
// default 21 columns and 16 rows.
constexpr int kClientWidth = 240;
constexpr int kClientHeight = 294;
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

// The core's log, at level 5, in a file of this machine.
class SessionLog {
public:
    ~SessionLog() {
        if (m_open) DestroyLog();
    }
    // The file is emptied only here, once everything else is ready.
    bool Open(const std::string& file, std::string& error) {
        int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0) {
            error = "cannot write the log file '" + file + "': " + std::strerror(errno);
            return false;
        }
        close(fd);
        CLogFile* log = CreateLog(LOG_TRACE);
        if (!log) {
            error = "cannot create the log";
            return false;
        }
        m_open = true;
        std::error_code ec;
        log->SetHostPath(std::filesystem::absolute(file, ec).string());
        log->Begin();
        return true;
    }

private:
    bool m_open = false;
};

// What the client control starts once per process: the resource library,
// the log and the manager of the extension libraries.
class SessionModule {
public:
    SessionModule() { ModuleInit(); }
    ~SessionModule() { ModuleTerm(); }
    SessionModule(const SessionModule&) = delete;
    SessionModule& operator=(const SessionModule&) = delete;
};

class HeadlessSession {
public:
    explicit HeadlessSession(HostLink& link) : m_link(link) {}
    ~HeadlessSession() {
        m_core.reset();
        if (m_window) DestroyWindow(m_window);
    }

    bool Create(std::string& error) {
        m_window = CreateMessageWindow(
            [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
                // Nothing thrown by the core leaves the window procedure.
                try {
                    return Control(hwnd, msg, wParam, lParam);
                } catch (const std::exception& e) {
                    LogWrite(LOG_ERROR, "headless-session: message " + std::to_string(msg) + " failed: " + e.what());
                } catch (...) {
                    LogWrite(LOG_ERROR, "headless-session: message " + std::to_string(msg) + " failed");
                }
                return 0;
            });
        if (!m_window) {
            error = "cannot create the control window";
            return false;
        }
        // The running program's folder always exists on a device; the core's
        // logical folders under it (%DATA%, ...) need it.
        if (!CreateFolders(plat::fs::ProgramFolder())) {
            error = "cannot create the program folder '" +
                    plat::fs::ToHostPath(plat::fs::ProgramFolder()).value_or(
                        plat::text::WideToUtf8(plat::fs::ProgramFolder())) + "'";
            return false;
        }
        m_core = std::make_unique<CClientCore>(m_window);
        // The control's real boxes: the window layer runs without a display,
        // so a box's time-out and keys answer the host as on the device. The
        // control window is message-only and owns no box.
        m_dialogs = std::make_unique<CControlDialogs>(GetModuleResources(), HWND{0});
        m_core->SetDialogs(m_dialogs.get());
        m_core->SetClientSize(kClientWidth, kClientHeight);
        m_core->UpdateCellMetrics();
        m_core->CreateBackBuffer();
        CoreProperties properties = m_core->Properties();
        properties.clientVersion = kClientVersion;
        m_core->SetProperties(properties);
        if (!plat::fs::IsDirectory(kSessionFolder) && !plat::fs::CreateDirectory(kSessionFolder)) {
            error = "cannot create the session folder '" +
                    plat::fs::ToHostPath(kSessionFolder).value_or(plat::text::WideToUtf8(kSessionFolder)) + "'";
            return false;
        }
        m_core->SetAppDirectory(kSessionFolder);
        m_core->Start();
        // What the shell reports when its connection is made.
        properties.peerAddress = plat::text::Utf8ToWide(m_link.LocalAddress());
        m_core->SetProperties(properties);
        if (!SetTimer(m_window, kPollTimerId, kPollIntervalMs)) {
            error = "cannot start the poll timer";
            return false;
        }
        return true;
    }

    // Scripted input, as if typed before the host asked; events a full input
    // queue drops are reported, so a script's author knows.
    void Type(const std::vector<ScriptEvent>& events) {
        const uint64_t dropped = m_core->DroppedEvents();
        TypeEvents(events);
        if (const uint64_t lost = m_core->DroppedEvents() - dropped) {
            const std::string text = "scripted input: " + std::to_string(lost) +
                                     " events dropped, the input queue holds " +
                                     std::to_string(CClientCore::kQueueCapacity) + " until the host asks";
            Complain(text);
            LogWrite(LOG_ERROR, "headless-session: " + text);
        }
    }

private:
    void TypeEvents(const std::vector<ScriptEvent>& events) {
        for (const ScriptEvent& e : events) {
            if (m_ended) return;
            switch (e.kind) {
            case ScriptEvent::Key:
                m_core->OnKeyDown(e.key, 0);
                if (char16_t c = TypedCharacter(e.key)) m_core->OnChar(c, 1, 0);
                break;
            case ScriptEvent::Text:
                for (char16_t c : e.text) m_core->OnChar(c, 1, 0);
                break;
            case ScriptEvent::Scan: {
                DeviceDataRecord record{1, 0, 0, static_cast<int32_t>(e.text.size()), e.text.c_str()};
                m_core->OnDeviceData(&record);
                break;
            }
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
                m_core->OnReceive(buffer.data(), static_cast<int32_t>(n), true);
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
            m_writeError = error;  // empty when the host just went away
            m_ended = true;
            m_link.Close();
        }
        m_out.clear();
    }

    // The end of the link ends the session as the shell ends it: the
    // connection is gone first, then the control's Disconnect runs.
    void HostClosed() {
        Pump();  // what the last input posted is handled first
        m_ended = true;
        m_link.Close();
        if (m_core) m_core->EndSession();
    }

    // The control window: the shell's side of the core's messages.
    LRESULT Control(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
        switch (msg) {
        case WM_CORE_SEND_SEGMENT:
            // Replies of a session that has ended are dropped, as the shell drops them.
            // Each segment is gathered; the input's replies leave together.
            if (!m_ended && lParam && wParam) {
                const auto* bytes = reinterpret_cast<const uint8_t*>(lParam);
                m_out.insert(m_out.end(), bytes, bytes + wParam);
                if (m_out.size() >= kMaxGathered) Flush();
            }
            return 0;
        case WM_CORE_SESSION_ENDED:
            if (!m_ended) {
                LogWrite(LOG_TRACE, "headless-session: the session ended");
                Flush();  // the replies before the end still go out
                m_ended = true;
                m_link.Close();
            }
            return 0;
        case WM_TIMER:
            if (wParam == kPollTimerId && m_core) m_core->OnPoll();
            return 0;
        case WM_KEYDOWN:
            if (m_core) m_core->OnKeyDown(static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam & 0xFFFF));
            return 0;
        case WM_CHAR:
            if (m_core) m_core->OnChar(static_cast<char16_t>(wParam), static_cast<int32_t>(lParam & 0xFFFF), 0);
            return 0;
        case WM_CORE_END_OF_INPUT:
            // As the control does: the scanner waits for the next input.
            if (m_core && GetModuleScanner()) m_core->EnableScanner(false);
            return 0;
        case WM_CORE_BUSY_STATUS:
        default:
            if (msg >= CScannerExtension::kScanMessage && msg < CScannerExtension::kScanMessage + 50) {
                ScannerData(msg, wParam, lParam);
                return 0;
            }
            return 0;  // no wait cursor
        }
    }

    // A scanner's label, as the control hands it to the core.
    void ScannerData(UINT msg, WPARAM wParam, LPARAM lParam) {
        CScannerExtension* scanner = GetModuleScanner();
        if (!scanner || !m_core) return;
        const std::optional<CScannerExtension::Label> label = scanner->TakeLabel(msg, wParam, lParam);
        if (!label) return;
        const DeviceDataRecord record{1, 0, label->decoder, static_cast<int32_t>(label->text.size()),
                                      label->text.c_str()};
        m_core->OnDeviceData(&record);
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
    HWND m_window = 0;
    std::unique_ptr<ICoreDialogs> m_dialogs;  // outlives the core
    std::unique_ptr<CClientCore> m_core;
    bool m_ended = false;
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

int main(int argc, char** argv) {
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
    if (!options.programFolder.empty()) {
        const std::u16string folder = plat::text::Utf8ToWide(options.programFolder);
        if (!plat::fs::IsDirectory(folder)) {
            Complain("the program folder '" + options.programFolder +
                     "' is not a folder of the device root (a device path such as \\Program Files\\Orvade Client)");
            return EXIT_USAGE_ERROR;
        }
        plat::fs::SetProgramFolder(folder);
    }
    SessionModule module;
    SessionLog log;
    if (!options.logFile.empty() && !log.Open(options.logFile, error)) {
        Complain(error);
        return EXIT_USAGE_ERROR;
    }
    HeadlessSession session(link);
    if (!session.Create(error)) {
        Complain(error);
        return EXIT_RUNTIME_ERROR;
    }
    session.Type(script);
    return session.Run();
}
