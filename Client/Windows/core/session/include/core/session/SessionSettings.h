// The session's settings as the control pushes them: its properties, the
// feature arrays, and the values that are taken only within their ranges.
#pragma once

#include <cstdint>
#include <string>

#include "core/session/ScreenModel.h"
#include "core/support/SizedBuffers.h"

// Plain stores of the control's properties.
struct CoreProperties {
    std::u16string baseRegistryKey;
    std::u16string peerAddress;
    std::u16string clientVersion;
    int32_t wrap = 0;
    int32_t sipStateUp = 0;
    int32_t hideMenuKey = 0;
    int32_t displayWord = 0;
    int32_t menuExitKey = 0;
    int32_t actionAsEnter = 0;
    int32_t defaultTextMode = 1;
    int32_t includeDataOnWidget = 0;
    int32_t extendedGetevent = 1;
    int32_t crMode = 0;
    int32_t monoWidth = 0;
    int32_t silentMode = 0;  // no sounds (the error box's)
    CellSettings cells;  // font and grid
};

// Told of a change whose effect reaches beyond the settings: the code page
// (the framing's) and the scanner on exit (the scanner's). The core is it.
class ISettingsObserver {
public:
    virtual ~ISettingsObserver() = default;
    virtual void CodePageChanged(uint32_t codePage) = 0;
    virtual void ScannerOnExitChanged(int32_t value) = 0;
};

class CSessionSettings {
public:
    // Result codes of the feature setters, with their Windows values.
    static constexpr int32_t kOk = 0;
    static constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057);
    static constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000E);
    static constexpr int32_t kDefaultTerminalId = 8004;

    CSessionSettings();
    ~CSessionSettings();
    CSessionSettings(const CSessionSettings&) = delete;
    CSessionSettings& operator=(const CSessionSettings&) = delete;

    // Feature arrays: one slot each until the control sizes them.
    int32_t SetIntSetting(int32_t index, uint32_t value);
    int32_t SetStringSetting(int32_t index, const char16_t* text);
    uint32_t GetFeatureNumber(int32_t index) const;
    const char16_t* GetFeatureString(int32_t index) const;

    // Values outside their ranges are ignored.
    void SetScanAheadMode(int32_t value);     // below 3
    void SetReconnectDelay(int32_t value);    // at most 120000
    void SetRSSIThreshold(int32_t value);     // below 1
    void SetRadioWakeDelay(int32_t value);    // at most 20000
    void SetEscapeIncludeData(int32_t value) { m_escapeIncludeData = value; }
    void SetEnableScannerOnExit(int32_t value) {
        m_enableScannerOnExit = value;
        if (m_observer) m_observer->ScannerOnExitChanged(value);
    }
    void SetIgnoreRadio(int32_t value) { m_ignoreRadio = value; }
    void SetTerminalID(int32_t id) { m_terminalId = id; }
    void SetCodePage(uint32_t codePage) {
        m_codePage = codePage;
        if (m_observer) m_observer->CodePageChanged(codePage);
    }
    void SetProperties(const CoreProperties& properties) { m_properties = properties; }

    int32_t GetScanAheadMode() const { return m_scanAheadMode; }
    int32_t GetReconnectDelay() const { return m_reconnectDelay; }
    int32_t GetRSSIThreshold() const { return m_rssiThreshold; }
    int32_t GetRadioWakeDelay() const { return m_radioWakeDelay; }
    int32_t GetEscapeIncludeData() const { return m_escapeIncludeData; }
    int32_t GetEnableScannerOnExit() const { return m_enableScannerOnExit; }
    int32_t GetIgnoreRadio() const { return m_ignoreRadio; }
    // The configured id; 0 when none was set.
    int32_t GetTerminalID() const { return m_terminalId; }
    uint32_t GetCodePage() const { return m_codePage; }
    const CoreProperties& Properties() const { return m_properties; }

    // Null: no one is told.
    void SetObserver(ISettingsObserver* observer) { m_observer = observer; }

private:
    ISettingsObserver* m_observer = nullptr;
    CoreProperties m_properties;
    CDwordBuffer m_featureNumbers;
    CPointerBuffer m_featureStrings;
    int32_t m_terminalId = 0;
    uint32_t m_codePage = 0;
    int32_t m_scanAheadMode = 0;
    int32_t m_reconnectDelay = 0;
    int32_t m_escapeIncludeData = 0;
    int32_t m_enableScannerOnExit = 0;
    int32_t m_ignoreRadio = 0;
    int32_t m_rssiThreshold = 0;
    int32_t m_radioWakeDelay = 0;
};
