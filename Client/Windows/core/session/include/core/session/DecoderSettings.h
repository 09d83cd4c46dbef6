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
