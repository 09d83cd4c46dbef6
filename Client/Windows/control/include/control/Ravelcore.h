// The client control's COM identity and interfaces ("Ravelcore.dll", class
// "Ravelcore.OVC"), as the shell and the tests call them. Each interface's
// members are in the order of its virtual table, after IDispatch's.
#pragma once

#include "platform/Com.h"

inline constexpr CLSID CLSID_OVC = plat::com::Guid("2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5");
inline constexpr GUID LIBID_RAVELCORELib = plat::com::Guid("2686AD94-BBD4-452B-A6F4-B10AC681837E");
inline constexpr IID DIID__IOVCEvents = plat::com::Guid("AF646302-FCE2-4473-AFC1-D3C898B6FA70");

// The events' dispatch ids.
constexpr DISPID DISPID_OVCDisconnect = 3;
constexpr DISPID DISPID_OVCDataOutEvent = 4;
constexpr DISPID DISPID_OVCToggleHideMenu = 7;

struct IOVC : IDispatch {
    using Base = IDispatch;
    static constexpr IID kIID = plat::com::Guid("882795F5-8C56-44BF-B8F4-A8B92A377CED");
    virtual HRESULT GetPropSheepCount(LONG* plPropSheetCount) = 0;
    // pPropSheetStruct: an array of PROPSHEETPAGE records.
    virtual HRESULT FillAllPropPages(LONG* pPropSheetStruct, LONG* plPages) = 0;
    virtual HRESULT IsAssociatedWithRadio(LONG* pbAssociated) = 0;
    virtual HRESULT put_ShellWindowHandle(LONG hwnd) = 0;
    virtual HRESULT GetConfigPropSheetCount(LONG* plPropSheetCount) = 0;
    virtual HRESULT FillAllConfigPropPages(LONG* pPropSheetStruct, LONG* plPages) = 0;
    virtual HRESULT put_BaseRegKey(BSTR key) = 0;
    virtual HRESULT Initialize() = 0;
    virtual HRESULT CheckInputTimeOut() = 0;
    virtual HRESULT ShellActivate(LONG bActivate) = 0;

protected:
    ~IOVC() = default;
};

struct IOVCClassic : IDispatch {
    using Base = IDispatch;
    static constexpr IID kIID = plat::com::Guid("C8EBC485-9AE1-4EFF-8407-14A6341B7BC8");
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT SetCursor(int nRow, int nCol) = 0;
    virtual HRESULT GetTerminalID(ULONG* pdwTermID) = 0;
    // Frees the BSTR *pbstrDir holds (callers pass null or a valid string).
    virtual HRESULT GetProgramDirectory(BSTR* pbstrDir) = 0;
    virtual HRESULT put_bstrAppDirectory(BSTR path) = 0;
    virtual HRESULT put_IPAddressAsString(BSTR address) = 0;
    virtual HRESULT SetTerminalID(LONG lTerminalID) = 0;
    virtual HRESULT put_DefaultTextMode(LONG value) = 0;
    virtual HRESULT put_CRMode(LONG value) = 0;
    virtual HRESULT put_ExtendedGetevent(LONG value) = 0;
    virtual HRESULT put_ClientVersion(BSTR version) = 0;
    virtual HRESULT put_SipStateUp(LONG value) = 0;
    virtual HRESULT put_Wrap(LONG value) = 0;
    virtual HRESULT IncreaseHeightForMenu() = 0;
    virtual HRESULT UndoIncreaseForMenu() = 0;
    virtual HRESULT put_HideMenuKey(SHORT value) = 0;
    virtual HRESULT put_LogFileName(BSTR path) = 0;
    virtual HRESULT put_LogClearOnOpen(LONG value) = 0;
    virtual HRESULT put_EnableLogging(LONG value) = 0;
    virtual HRESULT ApplyLoggingOptions() = 0;
    virtual HRESULT put_SilentMode(LONG value) = 0;
    virtual HRESULT get_FontName(BSTR* name) = 0;
    virtual HRESULT put_FontName(BSTR name) = 0;
    virtual HRESULT get_FontSize(SHORT* size) = 0;
    virtual HRESULT put_FontSize(SHORT size) = 0;
    virtual HRESULT put_MenuExitKey(LONG value) = 0;
    virtual HRESULT put_NumColumns(SHORT value) = 0;
    virtual HRESULT put_NumRows(SHORT value) = 0;
    virtual HRESULT put_ActionAsEnter(LONG value) = 0;
    virtual HRESULT put_IncludeDataOnWidget(LONG value) = 0;
    virtual HRESULT put_ScanAheadMode(LONG value) = 0;
    virtual HRESULT put_SuppMode(LONG value) = 0;
    virtual HRESULT put_Supp2(LONG value) = 0;
    virtual HRESULT put_Supp5(LONG value) = 0;
    virtual HRESULT put_SuppRetries(LONG value) = 0;
    virtual HRESULT put_Code39FA(LONG value) = 0;
    virtual HRESULT put_IgnoreRadio(LONG value) = 0;
    virtual HRESULT put_RSSIThreshold(ULONG value) = 0;
    virtual HRESULT put_RadioWakeDelay(ULONG value) = 0;
    virtual HRESULT put_CodePage(ULONG value) = 0;
    virtual HRESULT put_EscapeIncludeData(LONG value) = 0;
    virtual HRESULT put_UPCE0Options(ULONG value) = 0;
    virtual HRESULT put_SymbolOverride(BSTR text) = 0;
    virtual HRESULT SetRFIDProperty(BSTR bstrName, BSTR bstrValue) = 0;
    virtual HRESULT put_ReconnectDelay(ULONG value) = 0;
    virtual HRESULT put_MonoWidth(LONG value) = 0;
    virtual HRESULT put_CellWidth(ULONG value) = 0;
    virtual HRESULT put_CellHeight(ULONG value) = 0;
    virtual HRESULT put_EnableScannerOnExit(LONG value) = 0;
    virtual HRESULT Connect(BSTR bstrName) = 0;
    virtual HRESULT SetFeatureNum(ULONG dwFeature, ULONG dwValue) = 0;
    virtual HRESULT SetFeatureStr(ULONG dwFeature, BSTR bstrValue) = 0;

protected:
    ~IOVCClassic() = default;
};

struct IOVCData : IDispatch {
    using Base = IDispatch;
    static constexpr IID kIID = plat::com::Guid("ACA1008B-19C3-4E77-BBD7-3AD3DC6B3F52");
    // The bytes are the caller's and are not kept after the call; the
    // replies leave as OVCDataOutEvent inside it.
    virtual HRESULT OVCCommandInput(int cBuffer, unsigned char* pCommand) = 0;
    virtual HRESULT OVCStreamInput(int cBuffer, unsigned char* pData) = 0;

protected:
    ~IOVCData() = default;
};
