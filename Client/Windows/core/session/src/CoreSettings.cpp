// Settings the control hands to the core: feature arrays, range-checked
// values, decoder settings for the scanner, activation, automation queries.
#include <algorithm>
#include <cstring>
#include <new>

#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"
#include "core/session/LogicalFolders.h"
#include "platform/Text.h"

namespace {

constexpr UINT kListSetCurSel = 0x0186;
constexpr UINT kListGetText = 0x0189;
constexpr UINT kListGetTextLen = 0x018A;
constexpr int kIdOk = 1;

constexpr DecoderTriple kStartupDecoderSettings[] = {
    {48, 0, 0}, {48, 4, 1}, {49, 0, 0}, {50, 0, 1}, {50, 3, 1},
    {52, 1, 1}, {52, 2, 1}, {53, 0, 1}, {53, 1, 1},
};

bool ParameterWord(int32_t parameter, int* word) {
    *word = parameter + 2;
    return *word >= 0 && *word < DECODER_RECORD_WORDS;
}

// Element index of a feature array; null when there is none.
template <typename Buffer>
auto* Slot(const Buffer& buffer, int32_t index) {
    return index >= 0 && index < buffer.GetCount() && buffer.GetBuffer() ? buffer.At(index) : nullptr;
}

void SetEnabled(std::vector<uint8_t>& decoders, int code, bool enable) {
    const auto at = std::find(decoders.begin(), decoders.end(), static_cast<uint8_t>(code));
    if (enable && at == decoders.end()) decoders.push_back(static_cast<uint8_t>(code));
    if (!enable && at != decoders.end()) decoders.erase(at);
}

}  // namespace

int32_t CClientCore::SetIntSetting(int32_t index, uint32_t value) {
    uint32_t* slot = Slot(m_featureNumbers, index);
    if (!slot) return kInvalidArg;
    *slot = value;
    return kOk;
}

int32_t CClientCore::SetStringSetting(int32_t index, const char16_t* text) {
    char16_t** slot = Slot(m_featureStrings, index);
    if (!slot) return kInvalidArg;
    delete[] *slot;
    const size_t length = plat::text::WideLen(text);
    *slot = new (std::nothrow) char16_t[length + 1];
    if (!*slot) return kOutOfMemory;
    if (length) std::memcpy(*slot, text, length * sizeof(char16_t));
    (*slot)[length] = 0;
    return kOk;
}

uint32_t CClientCore::GetFeatureNumber(int32_t index) const {
    const uint32_t* slot = Slot(m_featureNumbers, index);
    return slot ? *slot : 0;
}

const char16_t* CClientCore::GetFeatureString(int32_t index) const {
    char16_t* const* slot = Slot(m_featureStrings, index);
    return slot ? *slot : nullptr;
}

int32_t CClientCore::GetTerminalID() {
    if (m_terminalId != 0) return m_terminalId;
    if (m_devices->HasDeviceControl()) {
        const int32_t id = m_devices->GetDeviceId();
        if (id != 0) {
            LogPrintf(LOG_NOTE, "PrimaryDevice set quillmar device to %ld", static_cast<long>(id));
            return id;
        }
    }
    return kDefaultTerminalId;
}

void CClientCore::Suspend() {
    m_devices->SuspendAll();
    if (m_scanner->IsPresent()) m_scanner->SetScannerState(SCANNER_STATE_OFF);
}

void CClientCore::Resume() {
    m_devices->ResumeAll();
    if (m_scanner->IsPresent() && m_scannerWanted) m_scanner->SetScannerState(SCANNER_STATE_ON);
}

void CClientCore::SetScanAheadMode(int32_t value) {
    if (value < 3) m_scanAheadMode = value;
}

void CClientCore::SetEnableScannerOnExit(int32_t value) {
    m_enableScannerOnExit = value;
    if (m_scanner->IsPresent()) {
        m_scanner->SetScannerState(SCANNER_STATE_OFF);
        m_scanner->SetGlobalParameter(0, value);
    }
}

void CClientCore::SetReconnectDelay(int32_t value) {
    if (value <= 120000) m_reconnectDelay = value;
}

void CClientCore::SetRSSIThreshold(int32_t value) {
    if (value < 1) m_rssiThreshold = value;
}

void CClientCore::SetRadioWakeDelay(int32_t value) {
    if (value <= 20000) m_radioWakeDelay = value;
}

void CClientCore::SetCodePage(uint32_t codePage) {
    m_codePage = codePage;
    if (m_writer) m_writer->SetCodePage(codePage);
    if (m_framer) m_framer->SetCodePage(codePage);
}

int32_t CClientCore::SetRFIDProperty(std::string_view name, std::string_view value) {
    return m_devices->SetRfidProperty(name, value);
}

void CClientCore::SetAppDirectory(std::u16string_view folder) {
    m_moduleFolder = folder;
    RegisterFolder(u"APP", u"", m_moduleFolder.c_str());
}

// ---- Decoder settings

void CClientCore::RecordDecoderSetting(int32_t decoder, int32_t parameter, int32_t value) {
    for (DecoderTriple& triple : m_decoders) {
        if (triple.decoder == decoder && triple.parameter == parameter) {
            triple.value = value;
            return;
        }
    }
    if (m_decoders.size() < static_cast<size_t>(kDecoderCapacity)) m_decoders.push_back({decoder, parameter, value});
}

namespace {

// Records the setting and, with a scanner, writes it into the decoder's record.
void SetDecoderParameter(CClientCore& core, int32_t decoder, int32_t parameter, int32_t value) {
    core.RecordDecoderSetting(decoder, parameter, value);
    ICoreScanner& scanner = core.Scanner();
    if (!scanner.IsPresent()) return;
    scanner.SetScannerState(SCANNER_STATE_OFF);
    int32_t record[DECODER_RECORD_WORDS] = {};
    int word = 0;
    if (!ParameterWord(parameter, &word) || !scanner.GetDecoderParameters(decoder, record)) return;
    record[word] = value;
    scanner.SetDecoderParameters(decoder, record);
}

}  // namespace

void CClientCore::SetSuppMode(int32_t value) {
    if (value >= 0 && value < 3) SetDecoderParameter(*this, 244, 3, value);
}
void CClientCore::SetSupp2(int32_t value) { SetDecoderParameter(*this, 244, 1, value ? 1 : 0); }
void CClientCore::SetSupp5(int32_t value) { SetDecoderParameter(*this, 244, 2, value ? 1 : 0); }
void CClientCore::SetSuppRetries(int32_t value) {
    if (value >= 2 && value <= 10) SetDecoderParameter(*this, 244, 4, value);
}
void CClientCore::SetCode39FA(int32_t value) { SetDecoderParameter(*this, 55, 3, value ? 1 : 0); }
void CClientCore::SetUPCE0Options(int32_t value) {
    SetDecoderParameter(*this, 48, 0, value & 1);
    SetDecoderParameter(*this, 48, 1, (value >> 1) & 1);
}

void CClientCore::SetSymbolOverride(std::u16string_view text) {
    constexpr size_t kMaxName = 50;
    std::u16string name;
    bool enable = true;
    auto finish = [&] {
        if (!name.empty()) {
            const int code = m_scanner->SymbologyCode(plat::text::WideToUtf8(name));
            if (code != SYMBOLOGY_UNKNOWN) {
                RecordDecoderSetting(code, -1, enable ? 1 : 0);
                std::vector<uint8_t> enabled;
                if (m_scanner->IsPresent() && m_scanner->GetEnabledDecoders(&enabled)) {
                    SetEnabled(enabled, code, enable);
                    m_scanner->SetEnabledDecoders(enabled);
                }
            }
        }
        name.clear();
        enable = true;
    };
    for (char16_t c : text) {
        if (c == u',') {
            finish();
        } else if (c < 33) {
            continue;
        } else if (c == u'-' && name.empty()) {
            enable = false;
        } else if (name.size() < kMaxName) {
            name.push_back(c);
        }
    }
    finish();
}

void CClientCore::ApplyDecoderSettings() {
    if (!m_scanner->IsPresent()) return;
    m_scanner->SetScannerState(SCANNER_STATE_OFF);
    std::vector<uint8_t> supported;
    std::vector<uint8_t> enabled;
    const bool haveLists = m_scanner->GetSupportedDecoders(&supported) && m_scanner->GetEnabledDecoders(&enabled);
    if (haveLists) {
        for (const DecoderTriple& triple : kStartupDecoderSettings) {
            RecordDecoderSetting(triple.decoder, triple.parameter, triple.value);
        }
    }
    // Consecutive settings of one decoder share one read and one write of its
    // record; an enabled-state setting starts a new run.
    size_t i = 0;
    while (i < m_decoders.size()) {
        const int32_t decoder = m_decoders[i].decoder;
        int32_t read[DECODER_RECORD_WORDS] = {};
        const bool haveRecord = m_scanner->GetDecoderParameters(decoder, read);
        int32_t changed[DECODER_RECORD_WORDS];
        std::copy(std::begin(read), std::end(read), std::begin(changed));
        size_t j = i;
        do {
            const DecoderTriple& triple = m_decoders[j];
            int word = 0;
            if (ParameterWord(triple.parameter, &word)) changed[word] = triple.value;
            if (triple.parameter == -1 && haveLists) SetEnabled(enabled, decoder, triple.value != 0);
            ++j;
        } while (j < m_decoders.size() && m_decoders[j].decoder == decoder && m_decoders[j].parameter != -1);
        if (haveRecord && !std::equal(std::begin(read), std::end(read), std::begin(changed))) {
            m_scanner->SetDecoderParameters(decoder, changed);
        }
        i = j;
    }
    if (haveLists) m_scanner->SetEnabledDecoders(enabled);
}

// ---- Automation queries

intptr_t CClientCore::AutomationQuery(void* context, uint32_t query, intptr_t a, intptr_t b) {
    static const char16_t kIdentity[] = u"OVOrvade";
    auto* core = static_cast<CClientCore*>(context);
    switch (query) {
    case 0xA001: return 0xA00B;
    case 0xA002: return reinterpret_cast<intptr_t>(kIdentity);
    case 0xA003: return 54100;
    default: break;
    }
    if (query < 0xA001 || query > 0xA00B) return -1;
    if (!core) return (query == 0xA005 || query == 0xA00B) ? 0 : -1;
    switch (query) {
    case 0xA004:
        core->Disconnect(nullptr, '9');
        return 0;
    case 0xA005:
        if (auto* rows = reinterpret_cast<int32_t*>(a)) *rows = core->m_rows;
        if (auto* columns = reinterpret_cast<int32_t*>(b)) *columns = core->m_columns;
        return reinterpret_cast<intptr_t>(core->m_screenChars.GetString());
    case 0xA006:
        core->OnKeyDown(static_cast<uint32_t>(a), 1);
        return -1;
    case 0xA007: {
        const auto* text = reinterpret_cast<const char16_t*>(a);
        if (!text) return -1;
        if (b) {
            // Back to the start of the field; each backspace shortens the text or ends the wait.
            for (int guard = kInputTextUnits; guard > 0 && core->m_inputCommand != InputCommand::None && !core->m_inputText.empty();
                 --guard) {
                core->OnChar(8, 1, 0);
            }
        }
        for (; *text; ++text) core->OnChar(*text, 1, 0);
        return -1;
    }
    case 0xA008:
    case 0xA009:
    case 0xA00A: {
        // The menu box answers the list messages sent to its own window.
        const HWND menu = core->m_dialogMode == DialogMode::Menu ? core->m_dialog : 0;
        if (!menu || !IsWindow(menu)) return -1;
        if (query == 0xA008) {
            const LRESULT length = SendMessage(menu, kListGetTextLen, static_cast<WPARAM>(a), 0);
            return length < 0 ? -1 : length;
        }
        if (query == 0xA009) return SendMessage(menu, kListGetText, static_cast<WPARAM>(a), b) < 0 ? -1 : 0;
        if (SendMessage(menu, kListSetCurSel, static_cast<WPARAM>(a), 0) < 0) return -1;
        SendMessage(menu, WM_COMMAND, kIdOk, 0);
        return 0;
    }
    case 0xA00B:
        return reinterpret_cast<intptr_t>(core->m_moduleFolder.c_str());
    default:
        return -1;
    }
}

void CClientCore::NotifyAutomation(const char16_t* hostName) {
    m_automation->Notify(AUTO_SESSION_START, reinterpret_cast<intptr_t>(hostName), 0);
}
