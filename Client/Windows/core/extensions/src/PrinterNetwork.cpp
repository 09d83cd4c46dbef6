#include "core/extensions/ExtensionModule.h"
#include "core/extensions/ExtensionSupport.h"
#include "core/extensions/Extensions.h"
#include "platform/Clock.h"

namespace {

// The adapter status, asked of the library at most twice a second.
struct StatusCache {
    bool queried = false;  // the first question always reaches the library
    DWORD tick = 0;
    int status = 0;
} g_status;

}  // namespace

CPrinterExtension* GetModulePrinter() {
    const CModuleContext* context = GetModuleContext();
    return context ? context->printer : nullptr;
}
CNetworkExtension* GetModuleNetwork() {
    const CModuleContext* context = GetModuleContext();
    return context ? context->network : nullptr;
}

// ---- CPrinterExtension

CPrinterExtension::~CPrinterExtension() {
    Shutdown();
    if (CModuleContext* context = GetModuleContext(); context && context->printer == this) context->printer = nullptr;
}

BOOL CPrinterExtension::Attach(HMODULE module, BOOL owns) {
    m_fn = {};
    m_optional = {};
    if (!CExtension::Attach(module, owns)) return FALSE;
    decltype(m_fn) bound;
    bound.Bind(m_module);
#define PRINTER_REQUIRE(result, name, params) \
    if (!bound.name) return FALSE;
    ORVADE_PRINTER_REQUIRED_EXPORTS(PRINTER_REQUIRE)
#undef PRINTER_REQUIRE
    m_fn = bound;
    m_optional.Bind(m_module);
    if (CModuleContext* context = GetModuleContext(); context && !context->printer) context->printer = this;
    if (m_handle == 0) m_handle = m_fn.PRINTER_Initialize(GetExtensionWindow(), 0);
    return TRUE;
}

void CPrinterExtension::Shutdown() {
    if (m_handle == 0 || !m_fn.PRINTER_Shutdown) return;
    m_fn.PRINTER_Shutdown();
    m_handle = 0;
}

bool CPrinterExtension::Connect() { return CALL_OR(m_fn.PRINTER_Connect, FALSE) != FALSE; }
void CPrinterExtension::Disconnect() {
    if (m_fn.PRINTER_Disconnect) m_fn.PRINTER_Disconnect();
}
bool CPrinterExtension::Send(const BYTE* data, int length) {
    return CALL_OR(m_fn.PRINTER_Send, FALSE, data, length) != FALSE;
}
bool CPrinterExtension::SendWakeupString() { return CALL_OR(m_fn.PRINTER_SendWakeupString, FALSE) != FALSE; }
bool CPrinterExtension::Flush() { return CALL_OR(m_fn.PRINTER_Flush, FALSE) != FALSE; }

// ---- CNetworkExtension

CNetworkExtension::~CNetworkExtension() {
    if (CModuleContext* context = GetModuleContext(); context && context->network == this) context->network = nullptr;
}

BOOL CNetworkExtension::Attach(HMODULE module, BOOL owns) {
    m_fn = {};
    if (!CExtension::Attach(module, owns)) return FALSE;
    decltype(m_fn) bound;
    bound.Bind(m_module);
    if (!bound.Initialize || !bound.Initialize()) return FALSE;
    m_fn = bound;
    if (CModuleContext* context = GetModuleContext(); context && !context->network) {
        context->network = this;
        // A new library's status is its own.
        g_status = StatusCache{};
    }
    return TRUE;
}

int CNetworkExtension::GetAdapterStatus() {
    if (!m_fn.GetAdapterStatus) return 0;
    const DWORD now = GetTickCount();
    if (!g_status.queried || now - g_status.tick >= kStatusCacheMs) {
        g_status.queried = true;
        g_status.tick = now;
        g_status.status = m_fn.GetAdapterStatus(0);
    }
    return g_status.status;
}

int CNetworkExtension::GetSignalStrength() { return CALL_OR(m_fn.GetAdapterSignalStrength, 0, 0); }
int CNetworkExtension::GetMACAddr(BYTE* mac, int length) { return CALL_OR(m_fn.GetMACAddr, -1, mac, length); }
