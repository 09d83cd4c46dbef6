#include "core/extensions/Extentions.h"

#include "core/extensions/ExtensionSupport.h"
#include "core/hooks/CoreMessages.h"
#include "core/support/LogFile.h"
#include "platform/exports/ExtentionExports.h"

// ---- CExtention

CExtention::~CExtention() {
    if (m_module) FreeLibrary(m_module);
}

BOOL CExtention::LoadFunctions(std::u16string_view path) {
    m_loaded = false;
    m_base = Exports{};
    if (m_module) FreeLibrary(m_module);
    m_module = LoadLibrary(path);
    if (!m_module) return FALSE;
    Exports bound;
    bound.Bind(m_module);
    // Without its two required exports the library stays unbound: every
    // operation answers its "missing" value.
    if (!bound.TelnetExtention || !bound.GetExtentionInfo) return FALSE;
    m_base = bound;
    m_loaded = true;
    return TRUE;
}

DWORD CExtention::GetType() { return CALL_OR(m_base.TelnetExtention, 0u); }

BOOL CExtention::CreateSession(WORD kind, HWND window, WORD message, const char16_t* regKey, DWORD value) {
    return CALL_OR(m_base.CreateSession, TRUE, kind, window, message, regKey, value);
}
BOOL CExtention::DeleteSession(DWORD value) { return CALL_OR(m_base.DeleteSession, TRUE, value); }
BOOL CExtention::ActivateSession(DWORD value) { return CALL_OR(m_base.ActivateSession, TRUE, value); }
BOOL CExtention::SuspendSession(DWORD value) { return CALL_OR(m_base.SuspendSession, TRUE, value); }
BOOL CExtention::ResumeSession(DWORD value) { return CALL_OR(m_base.ResumeSession, TRUE, value); }
BOOL CExtention::ShowConfiguration(HWND owner, LPARAM value) {
    return CALL_OR(m_base.ShowConfiguration, TRUE, owner, value);
}
BOOL CExtention::GetInfo(ExtentionInfo** record) { return CALL_OR(m_base.GetExtentionInfo, FALSE, record); }
BOOL CExtention::LoadExternalConfig(LPARAM value) { return CALL_OR(m_base.LoadExternalConfig, TRUE, value); }
int CExtention::GetPropSheetCount() { return CALL_OR(m_base.GetPropSheetCount, 0); }
BOOL CExtention::GetPropSheet(int index, PROPSHEETPAGE* page) {
    return CALL_OR(m_base.GetPropSheet, FALSE, index, page);
}

void CExtention::SetDialogRegKeyBase(const char16_t* regKey) {
    m_dialogRegKey = regKey ? std::make_unique<std::u16string>(regKey) : nullptr;
    if (m_base.SetDialogRegKeyBase) m_base.SetDialogRegKeyBase(m_dialogRegKey ? m_dialogRegKey->c_str() : nullptr);
}

BOOL CExtention::GetAboutPropSheet(PROPSHEETPAGE* page) {
    if (!m_base.GetAboutPropSheet) return FALSE;
    if (page) m_base.GetAboutPropSheet(page);
    return TRUE;
}

void CExtention::SetTelnetHWND(HWND window) {
    if (m_base.SetTelnetHWND) m_base.SetTelnetHWND(window);
}

void CExtention::NotifyMove() {
    if (m_base.NotifyOnTelnetMove) m_base.NotifyOnTelnetMove();
}

// ---- Kind wrappers: the base binding first, then their own exports.

BOOL CMsrExtention::LoadFunctions(std::u16string_view path) {
    m_fn = {};
    if (!CExtention::LoadFunctions(path)) return FALSE;
    m_fn.Bind(m_module);
    return TRUE;
}

void CMsrExtention::EnableMSR(int reserved, int on) {
    if (m_fn.EnableMSR) m_fn.EnableMSR(reserved, on);
}

BOOL CRfidExtention::LoadFunctions(std::u16string_view path) {
    m_fn = {};
    if (!CExtention::LoadFunctions(path)) return FALSE;
    m_fn.Bind(m_module);
    return CALL_OR(m_fn.SelectReader, 0);
}

int CRfidExtention::ReaderOn(int reserved, int on) { return CALL_OR(m_fn.EnableReader, 0, reserved, on); }
int CRfidExtention::Identify(BYTE** block, int* length, int reserved) {
    return CALL_OR(m_fn.RFIDIdentify, 0, block, length, reserved);
}
int CRfidExtention::LastList(BYTE** block, int* length, int reserved) {
    return CALL_OR(m_fn.RFIDLastList, 0, block, length, reserved);
}
void CRfidExtention::FreeBlock(void* block) {
    if (m_fn.RFIDFreeBlock) m_fn.RFIDFreeBlock(block);
}
int CRfidExtention::OpenReader() { return CALL_OR(m_fn.OpenRFIDReader, 0); }
int CRfidExtention::SetProperty(const char* name, const char* value) {
    return CALL_OR(m_fn.RFIDSetProperty, 0, name, value);
}
int CRfidExtention::GetProperty(const char* name, char* buffer, int size) {
    return CALL_OR(m_fn.RFIDGetProperty, 0, name, buffer, size);
}
int CRfidExtention::Read(const BYTE* tagId, WORD tagLength, const BYTE* list, BYTE** block, int* length) {
    return CALL_OR(m_fn.RFIDRead, 0, tagId, tagLength, list, block, length);
}
int CRfidExtention::Write(const BYTE* tagId, WORD tagLength, const BYTE* list, BYTE** block, int* length) {
    return CALL_OR(m_fn.RFIDWrite, 0, tagId, tagLength, list, block, length);
}

BOOL CDeviceExtention::LoadFunctions(std::u16string_view path) {
    m_fn = {};
    if (!CExtention::LoadFunctions(path)) return FALSE;
    m_fn.Bind(m_module);
    return TRUE;
}

void CDeviceExtention::SetBacklightState(int on) {
    if (m_fn.SetBacklightState) m_fn.SetBacklightState(on);
}
int32_t CDeviceExtention::GetDeviceID() { return CALL_OR(m_fn.GetQuillmarDeviceID, 0); }
int CDeviceExtention::SetAlphaMode(int mode) { return CALL_OR(m_fn.SetAlphaMode, 0, mode); }
int CDeviceExtention::SetKeyboardState(int state) { return CALL_OR(m_fn.SetKeyBoardState, 0, state); }
int CDeviceExtention::GetKeyboardState() { return CALL_OR(m_fn.GetKeyBoardState, -1); }
int CDeviceExtention::SetBacklightTime(int value) { return CALL_OR(m_fn.SetBackLightTime, 0, value); }
int CDeviceExtention::GetBacklightTime() { return CALL_OR(m_fn.GetBackLightTime, -1); }
int CDeviceExtention::SetKeyTimeout(int value) { return CALL_OR(m_fn.SetKeyTimeout, 0, value); }
int CDeviceExtention::GetKeyTimeout() { return CALL_OR(m_fn.GetKeyTimeout, -1); }
int CDeviceExtention::PlayBeep(int durationMs, int second) { return CALL_OR(m_fn.PlayBeep, 0, durationMs, second); }

// ---- CExtentions

CExtentions::~CExtentions() {
    LogWrite(LOG_TRACE, "CExtentions::~CExtentions - Deleting Extention Array");
    m_device = nullptr;
    m_msr = nullptr;
    m_rfid = nullptr;
    m_wrappers.clear();
}

int CExtentions::LoadFolder(std::u16string_view folder) {
    int count = 0;
    for (const std::u16string& name : FindLibraries(folder)) count += LoadExtention(JoinFolder(folder, name));
    return count;
}

int CExtentions::LoadExtention(std::u16string_view path) {
    const HMODULE probe = LoadLibrary(path);
    if (!probe) return 0;
    const auto telnetExtention = GetProc<TelnetExtention_fn>(probe, "TelnetExtention");
    if (!telnetExtention) {
        FreeLibrary(probe);
        return 0;
    }
    if (Count() == m_capacity) {
        m_capacity += kGrowthStep;
        m_wrappers.reserve(static_cast<size_t>(m_capacity));
    }
    // The first kind flag that is set decides; a kind whose one slot is
    // taken makes no wrapper.
    const DWORD kind = telnetExtention() & 0xFFFF;
    std::unique_ptr<CExtention> wrapper;
    if (kind & EXTENTION_RFID) {
        if (!m_rfid) wrapper = std::make_unique<CRfidExtention>(), m_rfid = static_cast<CRfidExtention*>(wrapper.get());
    } else if (kind & EXTENTION_MSR) {
        if (!m_msr) wrapper = std::make_unique<CMsrExtention>(), m_msr = static_cast<CMsrExtention*>(wrapper.get());
    } else if (kind & EXTENTION_GENERIC) {
        wrapper = std::make_unique<CExtention>();
    } else if (kind & EXTENTION_DEVICE) {
        if (!m_device)
            wrapper = std::make_unique<CDeviceExtention>(), m_device = static_cast<CDeviceExtention*>(wrapper.get());
    }
    if (wrapper) {
        CExtention* added = wrapper.get();
        m_wrappers.push_back(std::move(wrapper));
        // A wrapper whose binding failed stays, answering its "missing" values.
        added->LoadFunctions(path);
        added->Start();
    }
    FreeLibrary(probe);
    return 1;
}

void CExtentions::CreateSessions(HWND window, const char16_t* regKey, DWORD value) {
    ForEach([&](CExtention& e) {
        const auto kind = static_cast<int16_t>(e.GetType());
        if (kind & EXTENTION_MSR) e.CreateSession(EXTENTION_MSR, window, WM_EXT_MSR_DATA, regKey, value);
        if (kind & EXTENTION_RFID) e.CreateSession(EXTENTION_RFID, window, WM_EXT_RFID_DATA, regKey, value);
    });
}

void CExtentions::ActivateAll(DWORD value) {
    ForEach([value](CExtention& e) { e.ActivateSession(value); });
}
void CExtentions::SuspendAll(DWORD value) {
    ForEach([value](CExtention& e) { e.SuspendSession(value); });
}
void CExtentions::ResumeAll(DWORD value) {
    ForEach([value](CExtention& e) { e.ResumeSession(value); });
}
void CExtentions::DeleteAll(DWORD value) {
    ForEach([value](CExtention& e) { e.DeleteSession(value); });
}
void CExtentions::NotifyMove() {
    ForEach([](CExtention& e) { e.NotifyMove(); });
}

int CExtentions::GetPropSheetCount() {
    int count = 0;
    ForEach([&count](CExtention& e) { count += e.GetAboutPropSheet(nullptr) ? 1 : 0; });
    return count;
}

int CExtentions::FillAllPropPages(PROPSHEETPAGE* pages) {
    int filled = 0;
    ForEach([&](CExtention& e) {
        if (!e.GetAboutPropSheet(nullptr)) return;
        PROPSHEETPAGE& page = pages[filled++];
        page.dwSize = kPropSheetPageSize;
        e.GetAboutPropSheet(&page);
    });
    return filled;
}

int CExtentions::GetConfigPropSheetCount() {
    int count = 0;
    ForEach([&count](CExtention& e) { count += e.GetPropSheetCount(); });
    return count;
}

int CExtentions::FillAllConfigPropPages(PROPSHEETPAGE* pages, const char16_t* regKey) {
    int filled = 0;
    ForEach([&](CExtention& e) {
        // One page fewer than the library reports, as the sheet has always had it.
        const int count = e.GetPropSheetCount();
        for (int index = 0; index < count - 1; ++index) {
            PROPSHEETPAGE& page = pages[filled++];
            page.dwSize = kPropSheetPageSize;
            page.lParam = reinterpret_cast<LPARAM>(regKey);
            e.GetPropSheet(index, &page);
        }
    });
    return filled;
}
