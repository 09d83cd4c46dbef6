// The extension and automation libraries as the core sees them: the
// libraries of the "EXTENTIONS", "EXT2" and "AUTO" folders under the client's
// own folder, loaded when the core starts, behind the core's hooks
// ICoreScanner, ICoreDevices and ICoreAutomation. A hook is installed only
// when its libraries were found, and removed before they are unloaded.
#pragma once

#include <memory>
#include <string>

#include "core/extensions/AutomationManager.h"
#include "core/extensions/Extensions.h"
#include "core/extensions/Extentions.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/ExtensionHost.h"

class CExtensionBinding : public ICoreScanner, public ICoreDevices, public ICoreAutomation {
public:
    explicit CExtensionBinding(IExtensionHost& core) : m_core(core) {}
    ~CExtensionBinding() override;
    CExtensionBinding(const CExtensionBinding&) = delete;
    CExtensionBinding& operator=(const CExtensionBinding&) = delete;

    // The steps of the core's start, in its order.
    void LoadExtentions();   // the module's family-A manager: folder, sessions, activation
    void OpenRfidReader();
    void LoadExtensions();   // a family-B manager of the "EXT2" folder
    void LoadAutomation();   // the "AUTO" folder
    // The steps of its teardown.
    void DeleteSessions();
    void UnloadExtensions();
    void UnloadAutomation();

    CExtensionManager* ExtensionManager() { return m_manager.get(); }
    CAutomationManager* AutomationManager() { return m_automation.get(); }

    // ICoreScanner
    bool IsPresent() override { return GetModuleScanner() != nullptr; }
    int GetScannerState() override;
    int SetScannerState(int state) override;
    bool GetSupportedDecoders(std::vector<uint8_t>* decoders) override;
    bool GetEnabledDecoders(std::vector<uint8_t>* decoders) override;
    bool SetEnabledDecoders(const std::vector<uint8_t>& decoders) override;
    bool GetDecoderParameters(int decoder, int32_t (&record)[DECODER_RECORD_WORDS]) override;
    bool SetDecoderParameters(int decoder, const int32_t (&record)[DECODER_RECORD_WORDS]) override;
    int SetGlobalParameter(int parameter, int32_t value) override;
    int SymbologyCode(std::string_view name) override { return SymbologyCodeFromName(name); }
    std::u16string SymbologyName(int code) override;

    // ICoreDevices
    bool HasDeviceControl() override;
    int32_t CallDevice(DeviceFunction function, int32_t value) override;
    int32_t GetDeviceId() override;
    int32_t PlayBeep(int32_t durationMs, int32_t frequencyHz) override;
    void EnableMsr(bool on) override;
    void EnableRfid(bool on) override;
    void SuspendAll() override;
    void ResumeAll() override;
    int32_t SetRfidProperty(std::string_view name, std::string_view value) override;
    bool HasRfid() override { return Rfid() != nullptr; }
    int32_t RfidIdentify(uint8_t** block, int32_t* length) override;
    int32_t RfidLastList(uint8_t** block, int32_t* length) override;
    int32_t RfidGetProperty(const char* name, char* buffer, int32_t size) override;
    int32_t RfidRead(const uint8_t* tag, uint16_t tagLength, const RFID_READ_ENTRY* list, uint8_t** block,
                     int32_t* length) override;
    int32_t RfidWrite(const uint8_t* tag, uint16_t tagLength, const RFID_WRITE_ENTRY* list, uint8_t** block,
                      int32_t* length) override;
    void RfidFreeBlock(void* block) override;
    bool HasPrinter() override { return GetModulePrinter() != nullptr; }
    bool PrinterConnect() override;
    bool PrinterSendWakeupString() override;
    bool PrinterSend(const uint8_t* data, int32_t length) override;
    bool PrinterFlush() override;
    void PrinterDisconnect() override;
    bool HasNetwork() override { return GetModuleNetwork() != nullptr; }
    int32_t GetMACAddr(uint8_t (&mac)[6]) override;
    int32_t GetAdapterSignalStrength() override;
    int32_t GetAdapterStatus() override;

    // ICoreAutomation
    bool IsLoaded() override { return m_automation && m_automation->IsLoaded(); }
    void Notify(uint32_t code, intptr_t a, intptr_t b) override;

private:
    void InstallDevices();
    static CRfidExtention* Rfid();

    IExtensionHost& m_core;
    // The hooks this binding installed, removed again before their libraries go.
    bool m_devicesInstalled = false;
    bool m_scannerInstalled = false;
    bool m_automationInstalled = false;
    std::unique_ptr<CExtensionManager> m_manager;
    std::unique_ptr<CAutomationManager> m_automation;
};
