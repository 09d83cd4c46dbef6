// The scanner's decoder settings that the control and the host make: kept as
// (decoder, parameter, value) triples, written into the scanner's decoder
// records when a scanner is present, and all applied again at start.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/hooks/CoreHooks.h"
#include "core/support/SizedBuffers.h"

class CDecoderSettings {
public:
    static constexpr size_t kCapacity = 100;

    CDecoderSettings() { m_settings.reserve(kCapacity); }

    // Records (decoder, parameter, value), replacing an equal pair; a full
    // list takes no new pair.
    void Record(int32_t decoder, int32_t parameter, int32_t value);
    // Records the setting and, with a scanner, writes it into the decoder's record.
    void SetParameter(ICoreScanner& scanner, int32_t decoder, int32_t parameter, int32_t value);
    // A list of symbology names, each enabled, or disabled with a leading '-'.
    void SetSymbolOverride(ICoreScanner& scanner, std::u16string_view text);
    // The start-up settings and every recorded one, into the scanner.
    void Apply(ICoreScanner& scanner);
    const std::vector<DecoderTriple>& Settings() const { return m_settings; }

private:
    std::vector<DecoderTriple> m_settings;
};

// The control's decoder options: the settings bound to the scanner hook in
// force when an option is set (the hook may be replaced at any time).
class CDecoderOptions {
public:
    CDecoderOptions(CDecoderSettings& settings, ICoreScanner* const& scanner)
        : m_settings(settings), m_scanner(scanner) {}

    // Values outside an option's range are ignored.
    void SetSuppMode(int32_t value);     // 0 to 2
    void SetSupp2(int32_t value);
    void SetSupp5(int32_t value);
    void SetSuppRetries(int32_t value);  // 2 to 10
    void SetCode39FA(int32_t value);
    void SetUPCE0Options(int32_t value);  // bit 0 and bit 1
    void SetSymbolOverride(std::u16string_view text) { m_settings.SetSymbolOverride(*m_scanner, text); }
    void Apply() { m_settings.Apply(*m_scanner); }
    const std::vector<DecoderTriple>& Settings() const { return m_settings.Settings(); }

private:
    CDecoderSettings& m_settings;
    ICoreScanner* const& m_scanner;
};
