// Arbitrary host bytes into a client-core session, so the dispatcher and
// every built handler read them. The first byte chooses the session:
//   bit 0      unframed (one whole packet) instead of the framed stream
//   bit 1      framing mode 1, switched to by GETTERMINFO as a host does
//   bits 2-3   the code page: 0, 1252, 65001 or 932
//   bit 4      no application folder ("APP" stays unset)
//   bit 5      wrapping input fields
//   bit 6      scan-ahead mode
//   bit 7      halfway through the host's bytes the user types, scans and
//              a widget reports, so the second half finds input waiting;
//              at the end the session is disconnected
// The device root is a fresh temporary directory made once per process and
// emptied every few hundred runs, so the files hosts create stay small and
// bounded. Beside it lies a canary folder, and links in the root point into
// it; after every run the canary folder must be exactly as it was, and
// nothing may have appeared beside the root: the run aborts otherwise.
// Segments go to a window that discards them.
#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/session/ClientCore.h"
#include "FuzzDir.h"
#include "core/support/LogFile.h"
#include "core/session/LogicalFolders.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"
#include "platform/Message.h"

namespace {

constexpr int kRunsBetweenCleans = 256;
constexpr uint32_t kCodePages[] = {0, 1252, 65001, 932};

DWORD g_tick = 1000;

// What a folder holds but for one subfolder: names, kinds, sizes,
// modification times and bytes.
std::string Snapshot(const std::filesystem::path& folder, const std::filesystem::path& except) {
    std::string out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st;
        const std::filesystem::path& path = it->path();
        if (path == except) {
            it.disable_recursion_pending();
            continue;
        }
        if (lstat(path.c_str(), &st) != 0) continue;
        out += path.string() + ' ' + std::to_string(st.st_mode) + ' ' + std::to_string(st.st_size) + ' ' +
               std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + '\n';
        if (S_ISREG(st.st_mode)) {
            std::ifstream in(path, std::ios::binary);
            out.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            out += '\n';
        }
    }
    return out;
}

class Environment {
public:
    Environment() : m_base("fuzz-core"), m_root(m_base.Path() / "root"), m_outside(m_base.Path() / "outside") {
        std::filesystem::create_directories(m_outside / "folder");
        std::ofstream(m_outside / "canary.txt") << "canary";
        std::ofstream(m_outside / "folder" / "inner.txt") << "inner";
        m_canary = Snapshot(m_base.Path(), m_root);
        Clean();
        plat::fs::SetDeviceRoot(m_root.string());
        plat::clock::SetTickSource([] { return g_tick; });
        // Every log line is formatted from host bytes, then thrown away.
        CreateLog(LOG_TRACE)->SetHostPath("/dev/null");
        m_window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        if (!m_window) std::abort();
    }
    ~Environment() {
        DestroyWindow(m_window);
        DestroyLog();
    }

    HWND Window() const { return m_window; }

    void NextRun() {
        if (++m_runs % kRunsBetweenCleans == 0) Clean();
    }

    // Aborts when anything outside the device root changed.
    void CheckOutside() const {
        if (Snapshot(m_base.Path(), m_root) != m_canary) {
            std::fprintf(stderr, "fuzz_core: something outside the device root changed\n");
            std::abort();
        }
    }

private:
    void Clean() {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
        std::filesystem::create_directories(m_root / "App" / "DATA");
        std::filesystem::create_directories(m_root / "Program Files" / "Orvade Client");
        // Links a local user could plant: to a folder, to a file, dangling.
        std::filesystem::create_directory_symlink(m_outside, m_root / "App" / "DATA" / "out", ec);
        std::filesystem::create_directory_symlink(m_outside / "folder", m_root / "App" / "link", ec);
        std::filesystem::create_symlink(m_outside / "canary.txt", m_root / "App" / "DATA" / "canary.txt", ec);
        std::filesystem::create_symlink(m_outside / "made.txt", m_root / "App" / "DATA" / "made.txt", ec);
    }

    FuzzDir m_base;
    std::filesystem::path m_root, m_outside;
    std::string m_canary;
    HWND m_window = 0;
    int m_runs = 0;
};

// The window's posted messages (end of input) are taken out after each run.
void Drain() {
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
    }
}

void UserInput(CClientCore& core) {
    for (char16_t c : std::u16string(u"a1\u00e9\u4e2d")) core.OnChar(c, 2, 0);
    core.OnChar(8, 1, 0);
    const std::u16string scan = u"0123456789";
    DeviceDataRecord record{0, 0, 3, static_cast<int32_t>(scan.size()), scan.c_str()};
    core.OnDeviceData(&record);
    core.OnKeyDown(112, 0);
    static const uint8_t kWidgetEvent[] = {'W', 0xFD, '1', 0xFD, 'x'};
    core.Input().SendWidgetEvent(kWidgetEvent, sizeof kWidgetEvent);
    core.OnChar(13, 1, 0);
    core.OnChar(27, 1, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Environment environment;
    if (size < 1 || size > 1 << 20) return 0;
    const uint8_t control = data[0];
    ++data;
    --size;
    environment.NextRun();
    g_tick += 50;

    ResetLogicalFolders();
    {
        CClientCore core(environment.Window());
        core.Settings().SetCodePage(kCodePages[(control >> 2) & 3]);
        CoreProperties properties = core.Settings().Properties();
        properties.wrap = (control & 0x20) ? 1 : 0;
        core.Settings().SetProperties(properties);
        core.Settings().SetScanAheadMode((control & 0x40) ? 1 : 0);
        if (!(control & 0x10)) core.SetAppDirectory(u"\\App");
        core.Start();
        if (control & 0x02) {
            static const uint8_t kModeOne[] = {'B', 0xFD, '1'};
            core.OnReceive(kModeOne, sizeof kModeOne, false);
        }
        const bool framed = !(control & 0x01);
        const bool typing = (control & 0x80) != 0;
        const size_t half = typing ? size / 2 : size;
        core.OnReceive(data, static_cast<int32_t>(half), framed);
        if (typing) {
            UserInput(core);
            core.OnReceive(data + half, static_cast<int32_t>(size - half), framed);
        }
        core.OnPoll();
        g_tick += 100000;  // past any field's time-out
        core.OnPoll();
        if (typing) core.EndSession();
        Drain();
    }
    Drain();
    environment.CheckOutside();
    return 0;
}
