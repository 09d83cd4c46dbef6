#include <cstring>

#include "core/extensions/ExtensionModule.h"
#include "core/extensions/ExtensionSupport.h"
#include "core/extensions/Extensions.h"
#include "platform/DeviceFs.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Text.h"

namespace {

constexpr char16_t kSelectionTitle[] = u"Scanner Selection";

std::u16string SelectionQuestion(const char16_t* candidate, const char16_t* defaultScanner) {
    return u"Do you want to use the scanner \"" + std::u16string(candidate) + u"\" instead of the default scanner \"" +
           std::u16string(defaultScanner) + u"?\"";
}

// Prefers the "ForScanner" export with the index, else the plain one, else
// answers the fixed value.
#define SCANNER_CALL(name, missing, ...)                                              \
    (m_fn.name##ForScanner ? m_fn.name##ForScanner(m_current __VA_OPT__(, ) __VA_ARGS__) \
                           : CALL_OR(m_fn.name, missing __VA_OPT__(, ) __VA_ARGS__))

}  // namespace

CScannerExtension* GetModuleScanner() {
    const CModuleContext* context = GetModuleContext();
    return context ? context->scanner : nullptr;
}

CScannerExtension::~CScannerExtension() {
    if (CModuleContext* context = GetModuleContext(); context && context->scanner == this) context->scanner = nullptr;
    if (m_hiddenWindow) DestroyWindow(m_hiddenWindow);
    Shutdown();
}

BOOL CScannerExtension::Attach(HMODULE module, BOOL owns) {
    m_fn = {};
    if (!CExtension::Attach(module, owns)) return FALSE;
    return LoadFunctions();
}

BOOL CScannerExtension::LoadFunctions() {
    m_programFolder = plat::fs::ProgramFolder();
    m_fn.Bind(m_module);
    const HWND window = GetExtensionWindow();
    if (m_fn.ScnInitializeMultipleScanners) {
        int count = 0;
        m_initialised = m_fn.ScnInitializeMultipleScanners(window, kScanMessage, m_programFolder.c_str(), &count,
                                                           kMaxScanners) != FALSE;
        m_count = count;
        m_current = m_selected = 0;
        if (m_initialised && m_count > 1) ChooseScanner();
    } else if (m_fn.ScnInitialize) {
        m_initialised = m_fn.ScnInitialize(window, kScanMessage, m_programFolder.c_str()) != FALSE;
    }
    if (!m_initialised) return FALSE;

    if (m_fn.RegisterForScannerWindowsMessage || m_fn.RegisterForScanDataWindowsMessage) {
        if (m_fn.RegisterForScannerWindowsMessage) m_registeredMessage = m_fn.RegisterForScannerWindowsMessage();
        if (!m_hiddenWindow) {
            // Turns the library's registered message into the control's scanner message.
            m_hiddenWindow = CreateMessageWindow([this](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
                const HWND control = GetExtensionWindow();
                if (m_registeredMessage && message == m_registeredMessage && GetModuleScanner() && control)
                    PostMessage(control, kScanMessage, wParam, lParam);
                return 0;
            });
        }
        if (m_fn.RegisterForScanDataWindowsMessage)
            m_registeredMessage = m_fn.RegisterForScanDataWindowsMessage(m_hiddenWindow);
    }
    if (CModuleContext* context = GetModuleContext(); context && !context->scanner) context->scanner = this;
    m_initialised = true;
    return TRUE;
}

void CScannerExtension::ChooseScanner() {
    if (m_fn.SupportsSwitching) {
        int index = 0;
        if (m_fn.SupportsSwitching(GetExtensionWindow(), kSwitchMessage, &index)) {
            m_current = m_selected = index;
            m_switching = true;
            return;
        }
    }
    if (!m_fn.GetScannerDescriptionForScanner) return;
    const char16_t* first = m_fn.GetScannerDescriptionForScanner(0);
    for (int i = 1; first && i < m_count; ++i) {
        const char16_t* candidate = m_fn.GetScannerDescriptionForScanner(i);
        if (!candidate) continue;
        const std::u16string question = SelectionQuestion(candidate, first);
        if (MessageBox(GetExtensionWindow(), question.c_str(), kSelectionTitle, MB_YESNO | MB_DEFBUTTON2) == IDYES) {
            m_current = m_selected = i;
            return;
        }
    }
}

int CScannerExtension::CallSetState(int state) {
    if (m_fn.SetScannerStateForScanner) return m_fn.SetScannerStateForScanner(m_current, state);
    return m_fn.SetScannerState(state);
}

int CScannerExtension::SetScannerState(int state) {
    m_lastState = state;
    if (!m_fn.SetScannerStateForScanner && !m_fn.SetScannerState) return 0;
    for (;;) {
        if (const int result = CallSetState(state)) return result;
        // A scanner that refuses (the user cancelled) hands over to the previous one.
        if (m_current > 0 && m_fn.GetLastScanError && m_fn.GetLastScanError() == SCANNER_ERROR_CANCELLED) {
            --m_current;
            continue;
        }
        break;
    }
    // Otherwise the scanners are opened again once and asked once more.
    Shutdown();
    const HWND window = GetExtensionWindow();
    if (m_fn.ScnInitializeMultipleScanners) {
        int count = 0;
        const BOOL result =
            m_fn.ScnInitializeMultipleScanners(window, kScanMessage, m_programFolder.c_str(), &count, kMaxScanners);
        m_count = count;
        m_initialised = result && count > m_current;
        if (result) {
            // The current scanner is gone: its index is not asked again.
            if (!m_initialised) return 0;
            if (!CallSetState(state)) return 0;
        }
        return result;
    }
    if (m_fn.ScnInitialize) {
        const BOOL result = m_fn.ScnInitialize(window, kScanMessage, m_programFolder.c_str());
        m_initialised = result != FALSE;
        if (result && (!m_fn.SetScannerState || !m_fn.SetScannerState(state))) return 0;
        return result;
    }
    return 0;
}

int CScannerExtension::GetScannerState() { return SCANNER_CALL(GetScannerState, 0); }

BOOL CScannerExtension::GetSupportedDecoders(DecoderList* list) {
    return SCANNER_CALL(GetSupportedDecoders, FALSE, list);
}

BOOL CScannerExtension::GetEnabledDecoders(DecoderList* list) {
    if (!m_fn.GetEnabledDecodersForScanner && !m_fn.GetEnabledDecoders) {
        if (list) list->count = 0;
        return TRUE;
    }
    return SCANNER_CALL(GetEnabledDecoders, FALSE, list);
}

BOOL CScannerExtension::SetEnabledDecoders(const DecoderList* list) {
    return SCANNER_CALL(SetEnabledDecoders, FALSE, list);
}

BOOL CScannerExtension::SetGlobalParameter(unsigned parameter, const BYTE* value) {
    return SCANNER_CALL(SetGlobalParameter, FALSE, parameter, value);
}

BOOL CScannerExtension::GetDecoderParameters(unsigned decoder, DecoderParams* params) {
    return SCANNER_CALL(GetDecoderParameters, FALSE, decoder, params, int{sizeof(DecoderParams)});
}

BOOL CScannerExtension::SetDecoderParameters(unsigned decoder, const DecoderParams* params) {
    return SCANNER_CALL(SetDecoderParameters, FALSE, decoder, params, int{sizeof(DecoderParams)});
}

const DecodedData* CScannerExtension::GetDecodedData(int event, WPARAM wParam, LPARAM lParam) {
    if (m_fn.GetDecodedDataForScanner) return m_fn.GetDecodedDataForScanner(event, wParam, lParam);
    return CALL_OR(m_fn.GetDecodedData, nullptr, wParam, lParam);
}

std::optional<CScannerExtension::Label> CScannerExtension::TakeLabel(UINT message, WPARAM wParam, LPARAM lParam) {
    const int event = static_cast<int>(message - kScanMessage);
    const DecodedData* label =
        IsNoThreadVersion() ? GetDecodedData(event, wParam, lParam) : reinterpret_cast<const DecodedData*>(lParam);
    if (!label || !label->data) return std::nullopt;
    std::u16string text = plat::text::BytesToWide(0, reinterpret_cast<const char*>(label->data), label->length);
    if (text.empty()) return std::nullopt;
    return Label{std::move(text), DecoderIndexFromCode(label->labelType & 0xFF)};
}

DWORD CScannerExtension::GetLastScanError() { return CALL_OR(m_fn.GetLastScanError, 0u); }

BOOL CScannerExtension::ScanKeyPressed() {
    if (!m_fn.ScanKeyPressedForScanner && !m_fn.ScanKeyPressed) return FALSE;
    SCANNER_CALL(ScanKeyPressed, FALSE);
    return TRUE;
}

BOOL CScannerExtension::ScanKeyReleased() {
    if (!m_fn.ScanKeyReleasedForScanner && !m_fn.ScanKeyReleased) return FALSE;
    SCANNER_CALL(ScanKeyReleased, FALSE);
    return TRUE;
}

void CScannerExtension::SetScanBeep(int on) { SCANNER_CALL(SetScanBeep, FALSE, on, m_beepFirst, m_beepSecond); }

BOOL CScannerExtension::IsNoThreadVersion() {
    if (m_noThread < 0) m_noThread = CALL_OR(m_fn.IsNoThreadVersion, FALSE) ? 1 : 0;
    return m_noThread;
}

BOOL CScannerExtension::IsScanKey(DWORD virtualKey) {
    // The key list and the single key share one cache index.
    if (m_fn.GetScanKeyListForScanner || m_fn.GetScanKeyList) {
        if (m_keyCacheIndex != m_current) {
            m_scanKeys = SCANNER_CALL(GetScanKeyList, nullptr);
            m_keyCacheIndex = m_current;
        }
        if (!m_scanKeys) return FALSE;
        for (const DWORD* key = m_scanKeys; *key; ++key) {
            if (*key == virtualKey) return TRUE;
        }
        return FALSE;
    }
    if (m_fn.GetScanKeyForScanner || m_fn.GetScanKey) {
        if (m_keyCacheIndex != m_current) {
            m_scanKey = SCANNER_CALL(GetScanKey, 0u);
            m_keyCacheIndex = m_current;
        }
        return m_scanKey == virtualKey;
    }
    return FALSE;
}

int CScannerExtension::SetTrigger(bool on) {
    if (on) return SetScannerState(SCANNER_TRIGGER_PULLED);
    if (GetScannerState() == SCANNER_TRIGGER_PULLED) return SetScannerState(SCANNER_READ_PENDING);
    return 0;
}

void CScannerExtension::Shutdown() {
    if (m_initialised && m_fn.Shutdown) m_fn.Shutdown();
    m_initialised = false;
}
