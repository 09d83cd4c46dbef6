// The libraries of the "EXTENTIONS" folder (device control, magnetic stripe,
// RFID, generic), bound by export name. A missing export is never called:
// each operation answers the fixed value of its "missing" case instead.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exports/DeviceExports.h"
#include "platform/exports/MsrExports.h"
#include "platform/Message.h"
#include "platform/exports/RfidExports.h"

// The base wrapper: one library of the folder.
class CExtention {
public:
    CExtention() = default;
    virtual ~CExtention();
    CExtention(const CExtention&) = delete;
    CExtention& operator=(const CExtention&) = delete;

    // Loads the library and binds its exports; 0 when it cannot be loaded or
    // lacks "TelnetExtention" or "GetExtentionInfo" (every export stays null).
    virtual BOOL LoadFunctions(std::u16string_view path);
    virtual BOOL IsLoaded() { return m_loaded; }
    // The kind flags; 0 when the library is not bound.
    virtual DWORD GetType();
    virtual BOOL CreateSession(WORD kind, HWND window, WORD message, const char16_t* regKey, DWORD value);
    virtual BOOL DeleteSession(DWORD value);
    virtual BOOL ActivateSession(DWORD value);
    virtual BOOL SuspendSession(DWORD value);
    virtual BOOL ResumeSession(DWORD value);
    virtual BOOL ShowConfiguration(HWND owner, LPARAM value);
    // 0 when the library is not bound.
    virtual BOOL GetInfo(ExtentionInfo** record);
    virtual BOOL LoadExternalConfig(LPARAM value);
    virtual int GetPropSheetCount();
    virtual BOOL GetPropSheet(int index, PROPSHEETPAGE* page);
    // Keeps its own copy of the text (none for null) and hands the copy on.
    virtual void SetDialogRegKeyBase(const char16_t* regKey);
    // 1 when the library has an about page; the page is filled unless null.
    virtual BOOL GetAboutPropSheet(PROPSHEETPAGE* page);
    virtual BOOL Start() { return TRUE; }
    virtual void SetTelnetHWND(HWND window);
    virtual void NotifyMove();

protected:
#define CEXTENTION_EXPORTS(X) ORVADE_EXTENTION_EXPORTS(X) ORVADE_PAGE_EXPORTS(X)
    struct Exports {
        ORVADE_EXPORT_TABLE(CEXTENTION_EXPORTS)
    };

    HMODULE m_module = nullptr;
    bool m_loaded = false;
    std::unique_ptr<std::u16string> m_dialogRegKey;
    Exports m_base;
};

class CMsrExtention : public CExtention {
public:
    BOOL LoadFunctions(std::u16string_view path) override;
    void EnableMSR(int reserved, int on);

private:
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_MSR_EXPORTS)
    } m_fn;
};

class CRfidExtention : public CExtention {
public:
    // The result of the library's SelectReader (0 when missing).
    BOOL LoadFunctions(std::u16string_view path) override;
    int ReaderOn(int reserved, int on);
    int Identify(BYTE** block, int* length, int reserved);
    int LastList(BYTE** block, int* length, int reserved);
    void FreeBlock(void* block);
    int OpenReader();
    int SetProperty(const char* name, const char* value);
    int GetProperty(const char* name, char* buffer, int size);
    int Read(const BYTE* tagId, WORD tagLength, const BYTE* list, BYTE** block, int* length);
    int Write(const BYTE* tagId, WORD tagLength, const BYTE* list, BYTE** block, int* length);

private:
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_RFID_EXPORTS)
    } m_fn;
};

class CDeviceExtention : public CExtention {
public:
    BOOL LoadFunctions(std::u16string_view path) override;
    void SetBacklightState(int on);
    int32_t GetDeviceID();
    int SetAlphaMode(int mode);
    int SetKeyboardState(int state);
    int GetKeyboardState();  // -1 when missing
    int SetBacklightTime(int value);
    int GetBacklightTime();  // -1 when missing
    int SetKeyTimeout(int value);
    int GetKeyTimeout();  // -1 when missing
    int PlayBeep(int durationMs, int second);

private:
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_DEVICE_EXPORTS)
    } m_fn;
};

// The manager of the folder: at most one device-control, one
// magnetic-stripe and one RFID wrapper, any number of generic ones.
class CExtentions {
public:
    static constexpr int kInitialCapacity = 10;
    static constexpr int kGrowthStep = 10;

    CExtentions() { m_wrappers.reserve(kInitialCapacity); }
    ~CExtentions();
    CExtentions(const CExtentions&) = delete;
    CExtentions& operator=(const CExtentions&) = delete;

    // Libraries that answered the probe.
    int LoadFolder(std::u16string_view folder);
    // 1 when the library has the probe export.
    int LoadExtention(std::u16string_view path);
    void CreateSessions(HWND window, const char16_t* regKey, DWORD value);
    void ActivateAll(DWORD value);
    void SuspendAll(DWORD value);
    void ResumeAll(DWORD value);
    void DeleteAll(DWORD value);
    void NotifyMove();
    // About pages: wrappers that have one.
    int GetPropSheetCount();
    int FillAllPropPages(PROPSHEETPAGE* pages);
    // Configuration pages: the sum the libraries report; filling takes one
    // fewer from each (the caller's array is sized by the sum).
    int GetConfigPropSheetCount();
    int FillAllConfigPropPages(PROPSHEETPAGE* pages, const char16_t* regKey);

    CDeviceExtention* GetDeviceExtention() { return m_device; }
    CMsrExtention* GetMsrExtention() { return m_msr; }
    CRfidExtention* GetRfidExtention() { return m_rfid; }
    BOOL IsDeviceLoaded() { return m_device ? m_device->IsLoaded() : FALSE; }

    int Count() const { return static_cast<int>(m_wrappers.size()); }
    int Capacity() const { return m_capacity; }
    CExtention* At(int index) { return m_wrappers.at(static_cast<size_t>(index)).get(); }

private:
    template <typename Fn>
    void ForEach(Fn fn) {
        for (const auto& wrapper : m_wrappers) fn(*wrapper);
    }

    int m_capacity = kInitialCapacity;
    std::vector<std::unique_ptr<CExtention>> m_wrappers;
    CDeviceExtention* m_device = nullptr;
    CMsrExtention* m_msr = nullptr;
    CRfidExtention* m_rfid = nullptr;
};
