#include "core/session/ExtensionBinding.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/extensions/ExtensionModule.h"
#include "core/extensions/ExtensionSupport.h"
#include "core/session/ClientCore.h"
#include "core/session/LogicalFolders.h"

namespace {

std::u16string ClientFolder() { return FindFolder(u"OVC", u"").value_or(u""); }

bool ToList(const std::vector<uint8_t>& decoders, DecoderList* list) {
    *list = DecoderList{};
    if (decoders.size() > kMaxDecoders) return false;
    list->count = static_cast<uint32_t>(decoders.size());
    std::copy(decoders.begin(), decoders.end(), list->decoders);
    return true;
}

void FromList(const DecoderList& list, std::vector<uint8_t>* decoders) {
    decoders->assign(list.decoders, list.decoders + std::min<uint32_t>(list.count, kMaxDecoders));
}

}  // namespace

CExtensionBinding::~CExtensionBinding() {
    UnloadExtensions();
    UnloadAutomation();
    if (m_devicesInstalled) m_core.SetDevices(nullptr);
}

void CExtensionBinding::LoadExtentions() {
    CExtentions* extentions = GetModuleExtentions();
    if (!extentions) return;
    extentions->LoadFolder(JoinFolder(ClientFolder(), FindFolder(u"EXTENTIONS", u"").value_or(u"")));
    const std::u16string registryKey = m_core.BaseRegistryKey();
    extentions->CreateSessions(m_core.GetWindow(), registryKey.c_str(), 0);
    extentions->ActivateAll(0);
    if (extentions->Count() > 0) InstallDevices();
}

void CExtensionBinding::InstallDevices() {
    if (m_devicesInstalled) return;
    m_core.SetDevices(this);
    m_devicesInstalled = true;
}

void CExtensionBinding::OpenRfidReader() {
    CExtentions* extentions = GetModuleExtentions();
    if (CRfidExtention* rfid = extentions ? extentions->GetRfidExtention() : nullptr) rfid->OpenReader();
}

void CExtensionBinding::LoadExtensions() {
    m_manager = std::make_unique<CExtensionManager>();
    RegisterExtensionFactories(*m_manager);
    m_manager->LoadFolder(ClientFolder() + u"\\EXT2");
    if (GetModuleScanner()) {
        m_core.SetScanner(this);
        m_scannerInstalled = true;
    }
    // The network and printer libraries answer through the devices hook too.
    if (GetModuleNetwork() || GetModulePrinter()) InstallDevices();
}

void CExtensionBinding::LoadAutomation() {
    m_automation = std::make_unique<CAutomationManager>();
    m_automation->LoadFolder(ClientFolder() + u"\\AUTO", m_core.AutomationQueryFunction(), m_core.AutomationQueryContext(),
                             3);
    if (m_automation->IsLoaded()) {
        m_core.SetAutomation(this);
        m_automationInstalled = true;
    }
}

void CExtensionBinding::DeleteSessions() {
    if (CExtentions* extentions = GetModuleExtentions()) extentions->DeleteAll(0);
}

void CExtensionBinding::UnloadExtensions() {
    if (m_scannerInstalled) m_core.SetScanner(nullptr);
    m_scannerInstalled = false;
    m_manager.reset();
}

void CExtensionBinding::UnloadAutomation() {
    if (m_automationInstalled) m_core.SetAutomation(nullptr);
    m_automationInstalled = false;
    m_automation.reset();
}

// ---- ICoreScanner

int CExtensionBinding::GetScannerState() {
    CScannerExtension* scanner = GetModuleScanner();
    return scanner ? scanner->GetScannerState() : 0;
}

int CExtensionBinding::SetScannerState(int state) {
    CScannerExtension* scanner = GetModuleScanner();
    return scanner ? scanner->SetScannerState(state) : 0;
}

bool CExtensionBinding::GetSupportedDecoders(std::vector<uint8_t>* decoders) {
    CScannerExtension* scanner = GetModuleScanner();
    DecoderList list{};
    if (!scanner || !decoders || !scanner->GetSupportedDecoders(&list)) return false;
    FromList(list, decoders);
    return true;
}

bool CExtensionBinding::GetEnabledDecoders(std::vector<uint8_t>* decoders) {
    CScannerExtension* scanner = GetModuleScanner();
    DecoderList list{};
    if (!scanner || !decoders || !scanner->GetEnabledDecoders(&list)) return false;
    FromList(list, decoders);
    return true;
}

bool CExtensionBinding::SetEnabledDecoders(const std::vector<uint8_t>& decoders) {
    CScannerExtension* scanner = GetModuleScanner();
    DecoderList list{};
    return scanner && ToList(decoders, &list) && scanner->SetEnabledDecoders(&list);
}

bool CExtensionBinding::GetDecoderParameters(int decoder, int32_t (&record)[DECODER_RECORD_WORDS]) {
    CScannerExtension* scanner = GetModuleScanner();
    DecoderParams params{};
    if (!scanner || !scanner->GetDecoderParameters(static_cast<unsigned>(decoder), &params)) return false;
    static_assert(sizeof params == sizeof record);
    std::memcpy(record, &params, sizeof record);
    return true;
}

bool CExtensionBinding::SetDecoderParameters(int decoder, const int32_t (&record)[DECODER_RECORD_WORDS]) {
    CScannerExtension* scanner = GetModuleScanner();
    DecoderParams params{};
    std::memcpy(&params, record, sizeof params);
    return scanner && scanner->SetDecoderParameters(static_cast<unsigned>(decoder), &params);
}

int CExtensionBinding::SetGlobalParameter(int parameter, int32_t value) {
    CScannerExtension* scanner = GetModuleScanner();
    BYTE bytes[4];
    std::memcpy(bytes, &value, sizeof bytes);
    return scanner ? scanner->SetGlobalParameter(static_cast<unsigned>(parameter), bytes) : 0;
}

std::u16string CExtensionBinding::SymbologyName(int code) {
    // The host's name of a decoder code; the names are ASCII.
    const char* name = SymbologyNameFromCode(static_cast<uint32_t>(code));
    return name ? std::u16string(name, name + std::strlen(name)) : std::u16string();
}

// ---- ICoreDevices

bool CExtensionBinding::HasDeviceControl() {
    CExtentions* extentions = GetModuleExtentions();
    return extentions && extentions->IsDeviceLoaded();
}

int32_t CExtensionBinding::PlayBeep(int32_t durationMs, int32_t frequencyHz) {
    CExtentions* extentions = GetModuleExtentions();
    CDeviceExtention* device = extentions ? extentions->GetDeviceExtention() : nullptr;
    return device ? device->PlayBeep(durationMs, frequencyHz) : 0;
}

int32_t CExtensionBinding::CallDevice(DeviceFunction function, int32_t value) {
    CExtentions* extentions = GetModuleExtentions();
    CDeviceExtention* device = extentions ? extentions->GetDeviceExtention() : nullptr;
    if (!device) return ICoreDevices::CallDevice(function, value);
    switch (function) {
    case DeviceFunction::GetKeyBoardState: return device->GetKeyboardState();
    case DeviceFunction::GetKeyTimeout: return device->GetKeyTimeout();
    case DeviceFunction::GetBackLightTime: return device->GetBacklightTime();
    case DeviceFunction::SetKeyBoardState: return device->SetKeyboardState(value);
    case DeviceFunction::SetKeyTimeout: return device->SetKeyTimeout(value);
    case DeviceFunction::SetBackLightTime: return device->SetBacklightTime(value);
    case DeviceFunction::SetAlphaMode: return device->SetAlphaMode(value);
    case DeviceFunction::SetBacklightState: device->SetBacklightState(value); return 0;
    }
    return 0;
}

int32_t CExtensionBinding::GetDeviceId() {
    CExtentions* extentions = GetModuleExtentions();
    CDeviceExtention* device = extentions ? extentions->GetDeviceExtention() : nullptr;
    return device ? device->GetDeviceID() : 0;
}

void CExtensionBinding::EnableMsr(bool on) {
    CExtentions* extentions = GetModuleExtentions();
    if (CMsrExtention* msr = extentions ? extentions->GetMsrExtention() : nullptr) msr->EnableMSR(0, on ? 1 : 0);
}

void CExtensionBinding::EnableRfid(bool on) {
    CExtentions* extentions = GetModuleExtentions();
    if (CRfidExtention* rfid = extentions ? extentions->GetRfidExtention() : nullptr) rfid->ReaderOn(0, on ? 1 : 0);
}

void CExtensionBinding::SuspendAll() {
    if (CExtentions* extentions = GetModuleExtentions()) extentions->SuspendAll(0);
}

void CExtensionBinding::ResumeAll() {
    if (CExtentions* extentions = GetModuleExtentions()) extentions->ResumeAll(0);
}

CRfidExtention* CExtensionBinding::Rfid() {
    CExtentions* extentions = GetModuleExtentions();
    return extentions ? extentions->GetRfidExtention() : nullptr;
}

int32_t CExtensionBinding::SetRfidProperty(std::string_view name, std::string_view value) {
    CRfidExtention* rfid = Rfid();
    if (!rfid) return 0;
    const std::string n(name), v(value);
    return rfid->SetProperty(n.c_str(), v.c_str());
}

int32_t CExtensionBinding::RfidIdentify(uint8_t** block, int32_t* length) {
    CRfidExtention* rfid = Rfid();
    return rfid ? rfid->Identify(block, length, 0) : 0;
}

int32_t CExtensionBinding::RfidLastList(uint8_t** block, int32_t* length) {
    CRfidExtention* rfid = Rfid();
    return rfid ? rfid->LastList(block, length, 0) : 0;
}

int32_t CExtensionBinding::RfidGetProperty(const char* name, char* buffer, int32_t size) {
    CRfidExtention* rfid = Rfid();
    return rfid ? rfid->GetProperty(name, buffer, size) : 0;
}

int32_t CExtensionBinding::RfidRead(const uint8_t* tag, uint16_t tagLength, const RFID_READ_ENTRY* list,
                                    uint8_t** block, int32_t* length) {
    CRfidExtention* rfid = Rfid();
    return rfid ? rfid->Read(tag, tagLength, reinterpret_cast<const BYTE*>(list), block, length) : 0;
}

int32_t CExtensionBinding::RfidWrite(const uint8_t* tag, uint16_t tagLength, const RFID_WRITE_ENTRY* list,
                                     uint8_t** block, int32_t* length) {
    CRfidExtention* rfid = Rfid();
    return rfid ? rfid->Write(tag, tagLength, reinterpret_cast<const BYTE*>(list), block, length) : 0;
}

void CExtensionBinding::RfidFreeBlock(void* block) {
    if (CRfidExtention* rfid = Rfid()) rfid->FreeBlock(block);
}

int32_t CExtensionBinding::GetMACAddr(uint8_t (&mac)[6]) {
    CNetworkExtension* network = GetModuleNetwork();
    return network ? network->GetMACAddr(mac, sizeof mac) : -1;
}

int32_t CExtensionBinding::GetAdapterSignalStrength() {
    CNetworkExtension* network = GetModuleNetwork();
    return network ? network->GetSignalStrength() : 0;
}

int32_t CExtensionBinding::GetAdapterStatus() {
    CNetworkExtension* network = GetModuleNetwork();
    return network ? network->GetAdapterStatus() : 0;
}

// ---- ICoreAutomation

void CExtensionBinding::Notify(uint32_t code, intptr_t a, intptr_t b) {
    if (m_automation) m_automation->Notify(code, a, b);
}

// ---- The printer library

bool CExtensionBinding::PrinterConnect() {
    CPrinterExtension* printer = GetModulePrinter();
    return printer && printer->Connect();
}

bool CExtensionBinding::PrinterSendWakeupString() {
    CPrinterExtension* printer = GetModulePrinter();
    return printer && printer->SendWakeupString();
}

bool CExtensionBinding::PrinterSend(const uint8_t* data, int32_t length) {
    CPrinterExtension* printer = GetModulePrinter();
    return printer && printer->Send(data, length);
}

bool CExtensionBinding::PrinterFlush() {
    CPrinterExtension* printer = GetModulePrinter();
    return printer && printer->Flush();
}

void CExtensionBinding::PrinterDisconnect() {
    if (CPrinterExtension* printer = GetModulePrinter()) printer->Disconnect();
}
