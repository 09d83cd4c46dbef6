#include "core/session/DecoderSettings.h"

#include <algorithm>
#include <string>

#include "platform/Text.h"

namespace {

constexpr DecoderTriple kStartupDecoderSettings[] = {
    {48, 0, 0}, {48, 4, 1}, {49, 0, 0}, {50, 0, 1}, {50, 3, 1},
    {52, 1, 1}, {52, 2, 1}, {53, 0, 1}, {53, 1, 1},
};

bool ParameterWord(int32_t parameter, int* word) {
    *word = parameter + 2;
    return *word >= 0 && *word < DECODER_RECORD_WORDS;
}

void SetEnabled(std::vector<uint8_t>& decoders, int code, bool enable) {
    const auto at = std::find(decoders.begin(), decoders.end(), static_cast<uint8_t>(code));
    if (enable && at == decoders.end()) decoders.push_back(static_cast<uint8_t>(code));
    if (!enable && at != decoders.end()) decoders.erase(at);
}

}  // namespace

void CDecoderSettings::Record(int32_t decoder, int32_t parameter, int32_t value) {
    for (DecoderTriple& triple : m_settings) {
        if (triple.decoder == decoder && triple.parameter == parameter) {
            triple.value = value;
            return;
        }
    }
    if (m_settings.size() < kCapacity) m_settings.push_back({decoder, parameter, value});
}

void CDecoderSettings::SetParameter(ICoreScanner& scanner, int32_t decoder, int32_t parameter, int32_t value) {
    Record(decoder, parameter, value);
    if (!scanner.IsPresent()) return;
    scanner.SetScannerState(SCANNER_STATE_OFF);
    int32_t record[DECODER_RECORD_WORDS] = {};
    int word = 0;
    if (!ParameterWord(parameter, &word) || !scanner.GetDecoderParameters(decoder, record)) return;
    record[word] = value;
    scanner.SetDecoderParameters(decoder, record);
}

void CDecoderSettings::SetSymbolOverride(ICoreScanner& scanner, std::u16string_view text) {
    constexpr size_t kMaxName = 50;
    std::u16string name;
    bool enable = true;
    auto finish = [&] {
        if (!name.empty()) {
            const int code = scanner.SymbologyCode(plat::text::WideToUtf8(name));
            if (code != SYMBOLOGY_UNKNOWN) {
                Record(code, -1, enable ? 1 : 0);
                std::vector<uint8_t> enabled;
                if (scanner.IsPresent() && scanner.GetEnabledDecoders(&enabled)) {
                    SetEnabled(enabled, code, enable);
                    scanner.SetEnabledDecoders(enabled);
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

void CDecoderSettings::Apply(ICoreScanner& scanner) {
    if (!scanner.IsPresent()) return;
    scanner.SetScannerState(SCANNER_STATE_OFF);
    std::vector<uint8_t> supported;
    std::vector<uint8_t> enabled;
    const bool haveLists = scanner.GetSupportedDecoders(&supported) && scanner.GetEnabledDecoders(&enabled);
    if (haveLists) {
        for (const DecoderTriple& triple : kStartupDecoderSettings) Record(triple.decoder, triple.parameter, triple.value);
    }
    // Consecutive settings of one decoder share one read and one write of its
    // record; an enabled-state setting starts a new run.
    size_t i = 0;
    while (i < m_settings.size()) {
        const int32_t decoder = m_settings[i].decoder;
        int32_t read[DECODER_RECORD_WORDS] = {};
        const bool haveRecord = scanner.GetDecoderParameters(decoder, read);
        int32_t changed[DECODER_RECORD_WORDS];
        std::copy(std::begin(read), std::end(read), std::begin(changed));
        size_t j = i;
        do {
            const DecoderTriple& triple = m_settings[j];
            int word = 0;
            if (ParameterWord(triple.parameter, &word)) changed[word] = triple.value;
            if (triple.parameter == -1 && haveLists) SetEnabled(enabled, decoder, triple.value != 0);
            ++j;
        } while (j < m_settings.size() && m_settings[j].decoder == decoder && m_settings[j].parameter != -1);
        if (haveRecord && !std::equal(std::begin(read), std::end(read), std::begin(changed))) {
            scanner.SetDecoderParameters(decoder, changed);
        }
        i = j;
    }
    if (haveLists) scanner.SetEnabledDecoders(enabled);
}

void CDecoderOptions::SetSuppMode(int32_t value) {
    if (value >= 0 && value < 3) m_settings.SetParameter(*m_scanner, 244, 3, value);
}
void CDecoderOptions::SetSupp2(int32_t value) { m_settings.SetParameter(*m_scanner, 244, 1, value ? 1 : 0); }
void CDecoderOptions::SetSupp5(int32_t value) { m_settings.SetParameter(*m_scanner, 244, 2, value ? 1 : 0); }
void CDecoderOptions::SetSuppRetries(int32_t value) {
    if (value >= 2 && value <= 10) m_settings.SetParameter(*m_scanner, 244, 4, value);
}
void CDecoderOptions::SetCode39FA(int32_t value) { m_settings.SetParameter(*m_scanner, 55, 3, value ? 1 : 0); }
void CDecoderOptions::SetUPCE0Options(int32_t value) {
    m_settings.SetParameter(*m_scanner, 48, 0, value & 1);
    m_settings.SetParameter(*m_scanner, 48, 1, (value >> 1) & 1);
}
