// The libraries of the "EXT2" folder (scanner, printer, network), bound by
// export name through a factory per type index. A missing export is never
// called: each operation answers the fixed value of its "missing" case.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/hooks/CoreMessages.h"
#include "platform/exports/NetworkExports.h"
#include "platform/exports/PrinterExports.h"
#include "platform/Message.h"
#include "platform/exports/ScannerExports.h"

// The base wrapper: one library, and the next wrapper of the manager's chain.
class CExtension {
public:
    CExtension() = default;
    // Unloads a library it owns; deletes the rest of the chain.
    virtual ~CExtension();
    CExtension(const CExtension&) = delete;
    CExtension& operator=(const CExtension&) = delete;

    // Keeps the module (unloading one it held and owned) and binds the base
    // exports; 0 for a null module or without "GetTelnetExtensionType" and
    // "GetExtensionInfo". Kinds override it to bind their own set.
    virtual BOOL Attach(HMODULE module, BOOL owns);
    // Loads the library by path (0 when that fails), then Attach(module, 1).
    virtual BOOL Load(std::u16string_view path);
    // 0 when the library is not bound.
    virtual int GetType();
    virtual BOOL GetInfo(ExtensionInfo* record);
    virtual int GetPropSheetCount();
    virtual BOOL GetPropSheet(int index, PROPSHEETPAGE* page);
    virtual BOOL GetAboutPropSheet(PROPSHEETPAGE* page);

    bool IsAttached() const { return m_attached; }
    CExtension* Next() { return m_next.get(); }
    const CExtension* Next() const { return m_next.get(); }
    void SetNext(std::unique_ptr<CExtension> next) { m_next = std::move(next); }

protected:
    void Detach();

#define CEXTENSION_EXPORTS(X) ORVADE_EXTENSION_EXPORTS(X) ORVADE_PAGE_EXPORTS(X)
    struct Exports {
        ORVADE_EXPORT_TABLE(CEXTENSION_EXPORTS)
    };

    std::unique_ptr<CExtension> m_next;
    HMODULE m_module = nullptr;
    bool m_attached = false;
    bool m_owns = false;
    Exports m_base;
};

// A factory makes a new wrapper of its kind, or null.
using ExtensionFactory = CExtension* (*)();

class CExtensionManager {
public:
    CExtensionManager() = default;
    ~CExtensionManager();
    CExtensionManager(const CExtensionManager&) = delete;
    CExtensionManager& operator=(const CExtensionManager&) = delete;

    // 0 for an index outside 0 to 7 (compared as unsigned), else 1.
    BOOL SetFactory(int index, ExtensionFactory factory);
    // Libraries bound; the skip list's names are passed over.
    int LoadFolder(std::u16string_view folder);
    // 1 when bound.
    BOOL LoadExtension(std::u16string_view path);
    CExtension* First() { return m_first.get(); }
    const CExtension* First() const { return m_first.get(); }

    // Support libraries that live in the folder but are not extensions.
    static bool IsSkipped(std::u16string_view name);

private:
    std::unique_ptr<CExtension> m_first;
    ExtensionFactory m_factories[EXTENSION_TYPE_COUNT] = {};
};

// Registers the three factories (0 scanner, 1 printer, 3 network).
void RegisterExtensionFactories(CExtensionManager& manager);

// The scanner library (type 0). Every operation prefers the "ForScanner"
// export with the current scanner's index.
class CScannerExtension : public CExtension {
public:
    static constexpr UINT kScanMessage = WM_EXT_SCAN;  // scanner i reports with kScanMessage + i
    static constexpr UINT kSwitchMessage = WM_EXT_SCANNER_SWITCH;
    static constexpr int kMaxScanners = 100;

    ~CScannerExtension() override;
    BOOL Attach(HMODULE module, BOOL owns) override;

    int SetScannerState(int state);
    int GetScannerState();
    BOOL GetSupportedDecoders(DecoderList* list);
    BOOL GetEnabledDecoders(DecoderList* list);
    BOOL SetEnabledDecoders(const DecoderList* list);
    BOOL SetGlobalParameter(unsigned parameter, const BYTE* value);
    BOOL GetDecoderParameters(unsigned decoder, DecoderParams* params);
    BOOL SetDecoderParameters(unsigned decoder, const DecoderParams* params);
    // event: the scanner that reported (message - WM_EXT_SCAN).
    const DecodedData* GetDecodedData(int event, WPARAM wParam, LPARAM lParam);
    // What the control makes of scanner i's message (kScanMessage + i): the
    // label (from GetDecodedData for a thread-less library, else lParam is
    // the record) as text of the system code page, with the decoder index of
    // its symbology. Nothing for no label or one of no characters.
    struct Label {
        std::u16string text;
        uint8_t decoder;
    };
    std::optional<Label> TakeLabel(UINT message, WPARAM wParam, LPARAM lParam);
    DWORD GetLastScanError();
    BOOL ScanKeyPressed();
    BOOL ScanKeyReleased();
    void SetScanBeep(int on);
    BOOL IsNoThreadVersion();
    BOOL IsScanKey(DWORD virtualKey);
    int SetTrigger(bool on);
    void Shutdown();

    int CurrentScanner() const { return m_current; }
    int SelectedScanner() const { return m_selected; }
    int ScannerCount() const { return m_count; }
    bool IsInitialised() const { return m_initialised; }
    HWND HiddenWindow() const { return m_hiddenWindow; }
    UINT RegisteredMessage() const { return m_registeredMessage; }

private:
    BOOL LoadFunctions();
    int CallSetState(int state);
    void ChooseScanner();

    struct {
        ORVADE_EXPORT_TABLE(ORVADE_SCANNER_EXPORTS)
    } m_fn;
    bool m_initialised = false;
    int m_current = 0;
    int m_selected = 0;
    int m_count = 0;
    int m_lastState = 0;
    bool m_switching = false;
    int m_keyCacheIndex = -1;
    DWORD m_scanKey = 0;
    const DWORD* m_scanKeys = nullptr;
    int m_noThread = -1;  // not asked yet
    std::u16string m_programFolder;
    int m_beepFirst = 200;
    int m_beepSecond = 2000;
    UINT m_registeredMessage = 0;
    HWND m_hiddenWindow = 0;
};

// The printer library (type 1): accepted only with all eight required exports.
class CPrinterExtension : public CExtension {
public:
    ~CPrinterExtension() override;
    BOOL Attach(HMODULE module, BOOL owns) override;

    void Shutdown();
    bool Connect();
    void Disconnect();
    bool Send(const BYTE* data, int length);
    bool SendWakeupString();
    bool Flush();
    int Handle() const { return m_handle; }

private:
    int m_handle = 0;
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_PRINTER_REQUIRED_EXPORTS)
    } m_fn;
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_PRINTER_OPTIONAL_EXPORTS)
    } m_optional;
};

// The network library (type 3): accepted only when its "Initialize" answers non-zero.
class CNetworkExtension : public CExtension {
public:
    static constexpr DWORD kStatusCacheMs = 500;

    ~CNetworkExtension() override;
    BOOL Attach(HMODULE module, BOOL owns) override;

    // Asked of the library at most twice a second (one cache per process).
    int GetAdapterStatus();
    int GetSignalStrength();
    int GetMACAddr(BYTE* mac, int length);

private:
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_NETWORK_EXPORTS)
    } m_fn;
};

// The module context's wrapper of each kind: the first one bound, until it
// goes; null without a context.
CScannerExtension* GetModuleScanner();
CPrinterExtension* GetModulePrinter();
CNetworkExtension* GetModuleNetwork();

// The control window the libraries report to (set by the core; kept by the
// module context, 0 without one).
void SetExtensionWindow(HWND window);
HWND GetExtensionWindow();

// The host's symbology table: decoder index (255 when unknown), name (null)
// and code (242 when unknown) of a code or name; first row wins.
uint8_t DecoderIndexFromCode(uint32_t code);
const char* SymbologyNameFromCode(uint32_t code);
uint8_t SymbologyCodeFromName(std::string_view name);

// Decoder lists: a count and at most 70 decoder codes.
BOOL DecoderListAdd(DecoderList* list, uint8_t decoder);
BOOL DecoderListRemove(DecoderList* list, uint8_t decoder);
BOOL DecoderListContains(const DecoderList* list, uint8_t decoder);
