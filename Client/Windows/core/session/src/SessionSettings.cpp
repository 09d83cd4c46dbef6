#include "core/session/SessionSettings.h"

#include <cstring>
#include <new>

#include "platform/Text.h"

namespace {

// Element index of a feature array; null when there is none.
template <typename Buffer>
auto* Slot(Buffer& buffer, int32_t index) {
    return index >= 0 && index < buffer.GetCount() && buffer.GetBuffer() ? buffer.At(index) : nullptr;
}

}  // namespace

CSessionSettings::CSessionSettings() {
    if (uint32_t* numbers = m_featureNumbers.Allocate(1)) numbers[0] = 0;
    if (char16_t** strings = m_featureStrings.Allocate(1)) strings[0] = nullptr;
}

CSessionSettings::~CSessionSettings() {
    for (int32_t i = 0; i < m_featureStrings.GetCount() && m_featureStrings.GetBuffer(); ++i) {
        delete[] *m_featureStrings.At(i);
        *m_featureStrings.At(i) = nullptr;
    }
}

int32_t CSessionSettings::SetIntSetting(int32_t index, uint32_t value) {
    uint32_t* slot = Slot(m_featureNumbers, index);
    if (!slot) return kInvalidArg;
    *slot = value;
    return kOk;
}

int32_t CSessionSettings::SetStringSetting(int32_t index, const char16_t* text) {
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

uint32_t CSessionSettings::GetFeatureNumber(int32_t index) const {
    const uint32_t* slot = Slot(m_featureNumbers, index);
    return slot ? *slot : 0;
}

const char16_t* CSessionSettings::GetFeatureString(int32_t index) const {
    char16_t* const* slot = Slot(m_featureStrings, index);
    return slot ? *slot : nullptr;
}

void CSessionSettings::SetScanAheadMode(int32_t value) {
    if (value < 3) m_scanAheadMode = value;
}

void CSessionSettings::SetReconnectDelay(int32_t value) {
    if (value <= 120000) m_reconnectDelay = value;
}

void CSessionSettings::SetRSSIThreshold(int32_t value) {
    if (value < 1) m_rssiThreshold = value;
}

void CSessionSettings::SetRadioWakeDelay(int32_t value) {
    if (value <= 20000) m_radioWakeDelay = value;
}
