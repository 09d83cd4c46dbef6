// Construction, teardown, receiving, dispatching, replies and the poll.
#include "core/session/ClientCore.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <new>
#include <exception>
#include <string>
#include <utility>
#include <cstring>

#include "core/session/LogicalFolders.h"
#include "core/support/DevicePath.h"
#include "core/support/LogFile.h"
#include "core/extensions/ExtensionModule.h"
#include "core/session/ExtensionBinding.h"
#include "core/widgets/WidgetManager.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"
#include "platform/Power.h"

namespace {

ICoreScanner g_noScanner;
ICoreDevices g_noDevices;
ICoreView g_noView;
ICoreAutomation g_noAutomation;
ICoreDialogs g_noDialogs;

}  // namespace

HWND CoreControlWindow() {
    const CModuleContext* context = GetModuleContext();
    return context ? context->controlWindow : 0;
}

namespace {
// A packet the framer could not keep is skipped to its end; the log says why.
void LogDiscardedPacket(void*, FramerDiscard reason, int64_t received) {
    LogWrite(LOG_ERROR, std::string(reason == FramerDiscard::kTooLong ? "PACKET TOO LONG" : "PACKET OUT OF MEMORY") +
                            ", discarded after " + std::to_string(received) + " bytes");
}
}  // namespace

CClientCore::CClientCore(HWND controlWindow)
    : m_window(controlWindow),
      m_control(controlWindow),
      m_files(*this, m_moduleFolder),
      m_info(*this, m_settings, m_screen, m_devices, m_resumeTime),
      m_widgetCommands(*this, m_widgets, m_settings, m_queue),
      m_barcodes(*this, *this, m_scanner, m_devices, m_decoders, m_moduleFolder),
      m_rfid(*this, m_devices),
      m_deviceCommands(*this, *this, controlWindow, m_settings, m_queue, m_devices, m_widgets, m_dialogs,
                       m_sessionEnds),
      m_sessionCommands(*this, *this, m_settings, m_screen, m_devices),
      m_display(*this, *this, m_screen, m_settings, m_widgets, m_moduleFolder),
      m_menus(*this, *this, m_moduleFolder),
      m_print(*this, m_devices, m_sessionEnds),
      m_input(*this, *this, m_field, m_queue, m_screen, m_settings, m_inputState, m_scanner, m_devices, m_view,
              m_widgets, m_automation),
      m_scanner(&g_noScanner),
      m_devices(&g_noDevices),
      m_view(&g_noView),
      m_automation(&g_noAutomation),
      m_dialogs(&g_noDialogs),
      m_widgetManager(std::make_unique<CWidgetManager>()) {
    m_settings.SetObserver(this);
    m_framer = std::make_unique<CPacketFramer>(&CClientCore::SendData, this, m_settings.GetCodePage());
    m_framer->SetDiscardCallback(&LogDiscardedPacket, nullptr);
    m_writer = m_framer->NewDefaultWriter();
    m_segment.reserve(CPacketFramer::kMode1Chunk + 16);  // the longest segment: header, data, trailer
    m_widgets = m_widgetManager.get();
    m_widgetManager->SetOwnerWindow(controlWindow);
    m_widgetManager->SetFramer(m_framer.get());
    m_widgetManager->SetCallback(
        [](void* core, CWidgetManager*, const CPacketBuffer& writer) {
            static_cast<CClientCore*>(core)->OnWidgetReply(writer);
        },
        this);
    // Widget files are named as the host's files are: relative to the root.
    m_widgetManager->SetFileResolver(
        [](void*, const WidgetFileRef& file) {
            std::u16string dir, name = file.name;
            BuildFolderPath(dir, name, file.defaultFolder);
            if (dir.empty() && (name.empty() || name[0] != u'\\')) dir = u"\\";
            return FileUtil::JoinPath(dir, name);
        },
        this);

    m_moduleFolder = plat::fs::ProgramFolder();
    RegisterFolder(u"OVC", u"", m_moduleFolder.c_str());
    std::u16string temp = plat::fs::TempFolder();
    RegisterFolder(u"TEMP", u"", temp.c_str());
    RegisterFolder(u"SYSTEM", u"", u"\\Windows");

    m_field.text.reserve(kInputTextUnits);
    RegisterCommands();
    if (CModuleContext* context = GetModuleContext()) context->controlWindow = controlWindow;
    SetExtensionWindow(controlWindow);
    OpenPowerQueue();
    CreateBackBuffer();
}

CClientCore::~CClientCore() { Destroy(); }

void CClientCore::Destroy() {
    if (m_settings.GetEnableScannerOnExit()) EnableScanner(true);
    CloseErrorBox();
    CloseMenuBox();
    SetBusy(false);
    m_print.ClosePort();
    m_writer.reset();
    m_retiredWriters.clear();
    m_widgetManager->RemoveAll();
    m_widgetManager->SetFramer(nullptr);
    m_framer.reset();
    m_queue.Clear();
    ClosePowerQueue();
    m_settings.SetObserver(nullptr);
    if (m_extensions) {
        m_extensions->DeleteSessions();
        m_extensions->UnloadExtensions();
    }
    m_automation->Notify(AUTO_TERMINATE, 0, 0);
    m_extensions.reset();
    if (CModuleContext* context = GetModuleContext(); context && context->controlWindow == m_window)
        context->controlWindow = 0;
    if (GetExtensionWindow() == m_window) SetExtensionWindow(0);
}

void CClientCore::Start() {
    UpdateCellMetrics();
    CreateBackBuffer();
    SetCaretWanted(false);
    // The libraries of the client's folders; each found kind answers its hook.
    m_extensions = std::make_unique<CExtensionBinding>(*this);
    m_extensions->LoadExtentions();
    EnableScanner(false);
    m_extensions->OpenRfidReader();
    m_devices->EnableRfid(false);
    m_extensions->LoadExtensions();
    m_decoders.Apply(*m_scanner);
    m_extensions->LoadAutomation();
}

void CClientCore::SetScanner(ICoreScanner* scanner) { m_scanner = scanner ? scanner : &g_noScanner; }
void CClientCore::SetDevices(ICoreDevices* devices) { m_devices = devices ? devices : &g_noDevices; }
void CClientCore::SetView(ICoreView* view) { m_view = view ? view : &g_noView; }
void CClientCore::SetWidgets(ICoreWidgets* widgets) { m_widgets = widgets ? widgets : m_widgetManager.get(); }
void CClientCore::SetWidgetWindows(IWidgetWindows* windows) { m_widgetManager->SetWindowLayer(windows); }
void CClientCore::SetAutomation(ICoreAutomation* automation) {
    m_automation = automation ? automation : &g_noAutomation;
}
void CClientCore::SetDialogs(ICoreDialogs* dialogs) { m_dialogs = dialogs ? dialogs : &g_noDialogs; }

// ---- Receiving and dispatching

int CClientCore::OnReceive(const uint8_t* bytes, int32_t count, bool framed) {
    if (!bytes || count <= 0) return 0;
    LogDump(LOG_TRACE, "Received data:", bytes, count);
    if (m_receiveDepth > 0) {
        // A handler is running on the framer's assembly buffer and the reply
        // writer: this input waits until the running input is done.
        m_pendingInput.push_back({std::vector<uint8_t>(bytes, bytes + count), framed});
        return 0;
    }
    ++m_receiveDepth;
    ReceiveNow(bytes, count, framed);
    while (!m_pendingInput.empty()) {
        PendingInput next = std::move(m_pendingInput.front());
        m_pendingInput.pop_front();
        ReceiveNow(next.bytes.data(), static_cast<int32_t>(next.bytes.size()), next.framed);
    }
    --m_receiveDepth;
    m_retiredWriters.clear();
    ShowScreen();
    return 0;
}

void CClientCore::ReceiveNow(const uint8_t* bytes, int32_t count, bool framed) {
    if (!m_framer) return;
    if (!framed) {
        // One whole packet in the caller's bytes, read in place.
        CPacket pkt(m_framer->GetMode(), m_framer->GetCommandDelimiter(), bytes, count, m_framer->GetCodePage());
        DispatchPacket(&pkt);
        return;
    }
    int32_t position = 0;
    while (position < count && m_framer) {
        if (CPacket* pkt = m_framer->Parse(bytes, position, count)) DispatchPacket(pkt);
    }
    // A large packet's memory is not kept until the next input.
    if (m_framer) m_framer->ReleasePacket();
}

void CClientCore::RegisterCommands() {
    // The groups first, then the core's own handlers.
    m_input.Register(m_commands);
    m_sessionCommands.Register(m_commands);
    m_display.Register(m_commands);
    m_menus.Register(m_commands);
    m_print.Register(m_commands);
    m_files.Register(m_commands);
    m_info.Register(m_commands);
    m_widgetCommands.Register(m_commands);
    m_barcodes.Register(m_commands);
    m_rfid.Register(m_commands);
    m_deviceCommands.Register(m_commands);
    m_commands.Register<&CClientCore::Disconnect>(cmd::kDisconnect, *this, CommandRules::EndingPacket());
}

int CClientCore::DispatchPacket(CPacket* pkt) {
    if (!pkt) return 0;
    SetBusy(false);
    m_deviceCommands.NewPacket();
    while (pkt->BytesLeft() > 0) {
        const uint8_t code = static_cast<uint8_t>(pkt->PeekByte(0));
        if (m_cellsPending && code != cmd::kPing && code != cmd::kDisconnect) MeasureCells();
        const uint32_t sessionEnds = m_sessionEnds;
        const CommandRules& rules = m_commands.Rules(code);
        pkt->NextField();
        if (!rules.keepsModeSelect) m_inputState.modeSelect = 0;
        if (m_commands.Has(code)) {
            try {
                m_commands.Call(code, pkt);
            } catch (const std::bad_alloc&) {
                // Memory ran out: the command ends with its error answer, the session goes on.
                LogWrite(LOG_ERROR, "OUT OF MEMORY");
                m_commands.AnswerError(code, *this);
            }
        } else if (std::find(std::begin(cmd::kSilent), std::end(cmd::kSilent), code) == std::end(cmd::kSilent)) {
            LogWrite(LOG_ERROR, "UNKNOWN PACKET");
        }
        // A session that ended during the command (a deferred Disconnect
        // completed by its reply, CAN typed in a message pump) ends the packet too.
        if (rules.endsPacket || m_sessionEnds != sessionEnds) break;
        // Past the next delimiter or to the end: every command moves on
        // (the codec's tests hold NextCommand to that).
        pkt->NextCommand();
    }
    return 0;
}

// ---- Replies

void CClientCore::SetBusy(bool busy) {
    static const char16_t kWait[] = u"Wait";
    static const char16_t kIdle[] = u"";
    m_control.Send(WM_CORE_BUSY_STATUS, reinterpret_cast<WPARAM>(busy ? kWait : kIdle), busy ? 1 : 0);
}

int CClientCore::SendReply(const CPacketBuffer& writer) { return SendReplyPart(writer, true); }

int CClientCore::SendReplyPart(const CPacketBuffer& writer, bool last) {
    const bool completeDisconnect = last && m_box.disconnectPending;
    if (completeDisconnect) {
        m_box.openTime = GetTickCount() - 2000;
        m_box.disconnectPending = false;
    }
    if (m_inputState.modeSelect != MODESELECT_OPEN_INPUT && m_settings.GetScanAheadMode() == 0) SetBusy(true);
    if (m_framer) m_framer->Send(writer, last);
    // The reply goes out first; the session then ends during it, so the
    // last busy status the control sees is idle.
    if (completeDisconnect) Disconnect(nullptr, '9');
    return 0;
}

void CClientCore::AbandonReply() {
    if (m_replyAbandoned) return;
    LogWrite(LOG_ERROR, "A reply could not be finished: the session ends");
    m_replyAbandoned = true;
    PostMessage(m_window, WM_CORE_SESSION_ENDED, 0, 0);
}

int CClientCore::SendTextReply(uint8_t code, std::u16string_view text) {
    if (!m_writer) return 0;
    const std::u16string terminated(text);
    m_writer->Reset();
    m_writer->AppendByte(code).EndField().AppendWide(terminated.c_str());
    return SendReply(*m_writer);
}

int CClientCore::SendIntReply(uint8_t code, int32_t number) {
    if (!m_writer) return 0;
    m_writer->Reset();
    m_writer->AppendByte(code).EndField().AppendInt(number);
    return SendReply(*m_writer);
}

void CClientCore::SendData(void* context, int pieceCount, const uint8_t* const* pieces, const int32_t* lengths) {
    // Called back by the framer: nothing may escape into it.
    auto* core = static_cast<CClientCore*>(context);
    // Nothing goes after the start of an abandoned reply until the session ends.
    if (!core || pieceCount <= 0 || core->m_replyAbandoned) return;
    // The control may send again while it handles a segment: such a nested
    // segment is joined in a buffer of its own, so the outer bytes stay intact.
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    };
    try {
        std::vector<uint8_t> nested;
        std::vector<uint8_t>& segment = core->m_sendDepth == 0 ? core->m_segment : nested;
        segment.clear();
        for (int i = 0; i < pieceCount; ++i) {
            if (lengths[i] > 0) segment.insert(segment.end(), pieces[i], pieces[i] + lengths[i]);
        }
        LogDump(LOG_TRACE, "Sending data:", segment.data(), static_cast<int32_t>(segment.size()));
        Depth sending(core->m_sendDepth);
        core->m_control.Send(WM_CORE_SEND_SEGMENT, segment.size(), reinterpret_cast<LPARAM>(segment.data()));
    } catch (const std::exception& e) {
        LogWrite(LOG_ERROR, std::string("SEND FAILED: ") + e.what());
    }
}

int32_t CClientCore::FramingMode() const { return m_framer ? m_framer->GetMode() : 0; }

std::unique_ptr<CPacketBuffer> CClientCore::NewWriter(int32_t capacity) {
    return m_framer ? m_framer->NewWriter(capacity) : nullptr;
}

int32_t CClientCore::WriterCapacity() const {
    return m_framer ? m_framer->GetWriterCapacity() : CPacketFramer::kMode1Chunk;
}

void CClientCore::ShowScreen(bool force) {
    if (!force && m_screen.Revision() == m_shownRevision) return;
    m_shownRevision = m_screen.Revision();
    m_view->ScreenChanged();
}

void CClientCore::SetCommandDelimiter(uint8_t delimiter) {
    if (m_framer) m_framer->SetCommandDelimiter(delimiter);
    RenewWriter();
}

void CClientCore::SetFramingMode(int32_t mode) {
    if (m_framer) m_framer->SetMode(mode);
    RenewWriter();
}

void CClientCore::RenewWriter() {
    if (!m_framer) return;
    // A caller up the stack may still hold the old writer: it is freed when
    // the outermost input is done.
    if (m_writer) m_retiredWriters.push_back(std::move(m_writer));
    m_writer = m_framer->NewDefaultWriter();
}

LRESULT CClientCore::OnWidgetMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    bool claimed = false;
    const LRESULT result = m_widgets->RouteMessage(window, message, wParam, lParam, &claimed);
    if (handled) *handled = claimed;
    return result;
}

// ---- Poll, dialog, serial port

void CClientCore::OpenPowerQueue() {
    MSGQUEUEOPTIONS options{sizeof(MSGQUEUEOPTIONS), 0, 0, kPowerMessageBytes, TRUE};
    m_powerQueue = CreateMsgQueue(nullptr, &options);
    if (m_powerQueue) m_powerNotification = RequestPowerNotifications(m_powerQueue, PBT_RESUME);
}

void CClientCore::ClosePowerQueue() {
    if (m_powerNotification) StopPowerNotifications(std::exchange(m_powerNotification, nullptr));
    if (m_powerQueue) CloseMsgQueue(std::exchange(m_powerQueue, nullptr));
}

int CClientCore::OnPoll() {
    const DWORD now = GetTickCount();
    m_print.OnPoll(now);
    if (m_powerNotification) {
        alignas(DWORD) BYTE message[kPowerMessageBytes];
        DWORD bytes = 0, flags = 0;
        if (ReadMsgQueue(m_powerQueue, message, sizeof message, &bytes, 0, &flags) && bytes >= sizeof(DWORD) &&
            reinterpret_cast<const POWER_BROADCAST*>(message)->Message == PBT_RESUME)
            m_resumeTime = now;
    }
    if (m_field.TimedOut(now)) {
        m_field.timeout = 0;
        m_input.EndInput();
        SendTextReply('9', u"");
    }
    ShowScreen();
    return 0;
}

void CClientCore::SetDialog(HWND window, DialogMode mode) {
    m_box.window = window;
    m_box.mode = window ? mode : DialogMode::None;
    m_box.openTime = GetTickCount();
}

void CClientCore::SetSignatureMode(bool on) {
    if (on) {
        m_box.mode = DialogMode::Signature;
    } else if (m_box.mode == DialogMode::Signature) {
        m_box.mode = DialogMode::None;
    }
}

// ---- Screen

void CClientCore::UpdateCellMetrics() {
    if (!m_fonts && m_fontSource) m_cellsPending = true;
    m_screen.UpdateCellMetrics(m_settings.Properties().cells, m_fonts);
    m_widgets->SetCellMetrics(m_screen.CellWidth(), m_screen.CellHeight());
    m_widgets->SetDefaultFont(m_settings.Properties().cells.fontName, m_settings.Properties().cells.fontSize);
}

void CClientCore::MeasureCells() {
    m_cellsPending = false;
    m_fonts = std::exchange(m_fontSource, nullptr)();
    if (!m_fonts) return;
    UpdateCellMetrics();
    CreateBackBuffer();
}

void CClientCore::Resize(int width, int height) {
    m_screen.SetClientSize(width, height);
    UpdateCellMetrics();
    CreateBackBuffer();
}

void CClientCore::CreateBackBuffer() {
    m_screen.Rebuild();
    // The view paints the new grid into its new back buffer.
    m_view->CreateBackBuffer(m_screen.ClientWidth(), m_screen.ClientHeight());
    ShowScreen(true);
}
