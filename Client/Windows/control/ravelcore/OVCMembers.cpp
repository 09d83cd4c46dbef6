// The dispatch tables of the control's three interfaces, by the DISPIDs of
// its type library.
#include "OVC.h"

namespace {

using plat::com::DispArgs;
using Member = COVC::Member;

template <HRESULT (COVC::*M)()>
HRESULT Call0(COVC& o, DispArgs&, VARIANT*) {
    return (o.*M)();
}
template <HRESULT (COVC::*M)(LONG)>
HRESULT CallLong(COVC& o, DispArgs& a, VARIANT*) {
    LONG v = 0;
    const HRESULT hr = a.Long(0, &v);
    return FAILED(hr) ? hr : (o.*M)(v);
}
template <HRESULT (COVC::*M)(ULONG)>
HRESULT CallULong(COVC& o, DispArgs& a, VARIANT*) {
    ULONG v = 0;
    const HRESULT hr = a.ULong(0, &v);
    return FAILED(hr) ? hr : (o.*M)(v);
}
template <HRESULT (COVC::*M)(SHORT)>
HRESULT CallShort(COVC& o, DispArgs& a, VARIANT*) {
    SHORT v = 0;
    const HRESULT hr = a.Short(0, &v);
    return FAILED(hr) ? hr : (o.*M)(v);
}
template <HRESULT (COVC::*M)(BSTR)>
HRESULT CallBstr(COVC& o, DispArgs& a, VARIANT*) {
    BSTR v = nullptr;
    const HRESULT hr = a.Bstr(0, &v);
    return FAILED(hr) ? hr : (o.*M)(v);
}
// [out] LONG* passed by reference (VT_BYREF | VT_I4); a missing reference
// reaches the method as null.
template <HRESULT (COVC::*M)(LONG*)>
HRESULT CallLongOut(COVC& o, DispArgs& a, VARIANT*) {
    return (o.*M)(a.Ref<LONG>(0, VT_I4));
}
template <HRESULT (COVC::*M)(LONG*, LONG*)>
HRESULT CallPages(COVC& o, DispArgs& a, VARIANT*) {
    LONG* pages = a.Ref<LONG>(0, VT_I4);
    if (!pages) a.Pointer(0, &pages);  // the array's address as a number
    return (o.*M)(pages, a.Ref<LONG>(1, VT_I4));
}
template <HRESULT (COVC::*M)(int, unsigned char*)>
HRESULT CallInput(COVC& o, DispArgs& a, VARIANT*) {
    int count = 0;
    unsigned char* bytes = nullptr;
    HRESULT hr = a.Int(0, &count);
    if (SUCCEEDED(hr)) hr = a.Pointer(1, &bytes);
    return FAILED(hr) ? hr : (o.*M)(count, bytes);
}

HRESULT CallSetCursor(COVC& o, DispArgs& a, VARIANT*) {
    int row = 0, column = 0;
    HRESULT hr = a.Int(0, &row);
    if (SUCCEEDED(hr)) hr = a.Int(1, &column);
    return FAILED(hr) ? hr : o.SetCursor(row, column);
}
HRESULT CallGetTerminalID(COVC& o, DispArgs& a, VARIANT* result) {
    ULONG* out = a.Count() > 0 ? a.Ref<ULONG>(0, VT_UI4) : nullptr;
    ULONG id = 0;
    const HRESULT hr = o.GetTerminalID(out ? out : (a.Count() == 0 ? &id : nullptr));
    if (a.Count() == 0 && hr == S_OK && result) {
        result->vt = VT_UI4;
        result->ulVal = id;
    }
    return hr;
}
HRESULT CallGetProgramDirectory(COVC& o, DispArgs& a, VARIANT* result) {
    if (a.Count() > 0) return o.GetProgramDirectory(a.Ref<BSTR>(0, VT_BSTR));
    BSTR dir = nullptr;
    const HRESULT hr = o.GetProgramDirectory(&dir);
    if (result) {
        result->vt = VT_BSTR;
        result->bstrVal = dir;
    } else {
        SysFreeString(dir);
    }
    return hr;
}
HRESULT CallGetFontName(COVC& o, DispArgs&, VARIANT*) { return o.get_FontName(nullptr); }
HRESULT CallGetFontSize(COVC& o, DispArgs&, VARIANT*) { return o.get_FontSize(nullptr); }
HRESULT CallSetRFIDProperty(COVC& o, DispArgs& a, VARIANT*) {
    BSTR name = nullptr, value = nullptr;
    HRESULT hr = a.Bstr(0, &name);
    if (SUCCEEDED(hr)) hr = a.Bstr(1, &value);
    return FAILED(hr) ? hr : o.SetRFIDProperty(name, value);
}
HRESULT CallSetFeatureNum(COVC& o, DispArgs& a, VARIANT*) {
    ULONG feature = 0, value = 0;
    HRESULT hr = a.ULong(0, &feature);
    if (SUCCEEDED(hr)) hr = a.ULong(1, &value);
    return FAILED(hr) ? hr : o.SetFeatureNum(feature, value);
}
HRESULT CallSetFeatureStr(COVC& o, DispArgs& a, VARIANT*) {
    ULONG feature = 0;
    BSTR value = nullptr;
    HRESULT hr = a.ULong(0, &feature);
    if (SUCCEEDED(hr)) hr = a.Bstr(1, &value);
    return FAILED(hr) ? hr : o.SetFeatureStr(feature, value);
}

constexpr WORD M = DISPATCH_METHOD;
constexpr WORD PUT = DISPATCH_PROPERTYPUT;
constexpr WORD GET = DISPATCH_PROPERTYGET;

const Member kOVC[] = {
    {4, u"GetPropSheepCount", M, 1, &CallLongOut<&COVC::GetPropSheepCount>},
    {5, u"FillAllPropPages", M, 2, &CallPages<&COVC::FillAllPropPages>},
    {6, u"IsAssociatedWithRadio", M, 1, &CallLongOut<&COVC::IsAssociatedWithRadio>},
    {7, u"ShellWindowHandle", PUT, 1, &CallLong<&COVC::put_ShellWindowHandle>},
    {8, u"GetConfigPropSheetCount", M, 1, &CallLongOut<&COVC::GetConfigPropSheetCount>},
    {9, u"FillAllConfigPropPages", M, 2, &CallPages<&COVC::FillAllConfigPropPages>},
    {10, u"BaseRegKey", PUT, 1, &CallBstr<&COVC::put_BaseRegKey>},
    {11, u"Initialize", M, 0, &Call0<&COVC::Initialize>},
    {12, u"CheckInputTimeOut", M, 0, &Call0<&COVC::CheckInputTimeOut>},
    {13, u"ShellActivate", M, 1, &CallLong<&COVC::ShellActivate>},
};

const Member kOVCClassic[] = {
    {13, u"Disconnect", M, 0, &Call0<&COVC::Disconnect>},
    {17, u"SetCursor", M, 2, &CallSetCursor},
    {18, u"GetTerminalID", M | GET, 1, &CallGetTerminalID},
    {18, u"GetTerminalID", M | GET, 0, &CallGetTerminalID},
    {19, u"GetProgramDirectory", M | GET, 1, &CallGetProgramDirectory},
    {19, u"GetProgramDirectory", M | GET, 0, &CallGetProgramDirectory},
    {20, u"bstrAppDirectory", PUT, 1, &CallBstr<&COVC::put_bstrAppDirectory>},
    {21, u"IPAddressAsString", PUT, 1, &CallBstr<&COVC::put_IPAddressAsString>},
    {23, u"SetTerminalID", M, 1, &CallLong<&COVC::SetTerminalID>},
    {24, u"DefaultTextMode", PUT, 1, &CallLong<&COVC::put_DefaultTextMode>},
    {25, u"CRMode", PUT, 1, &CallLong<&COVC::put_CRMode>},
    {26, u"ExtendedGetevent", PUT, 1, &CallLong<&COVC::put_ExtendedGetevent>},
    {27, u"ClientVersion", PUT, 1, &CallBstr<&COVC::put_ClientVersion>},
    {28, u"SipStateUp", PUT, 1, &CallLong<&COVC::put_SipStateUp>},
    {30, u"Wrap", PUT, 1, &CallLong<&COVC::put_Wrap>},
    {31, u"IncreaseHeightForMenu", M, 0, &Call0<&COVC::IncreaseHeightForMenu>},
    {32, u"UndoIncreaseForMenu", M, 0, &Call0<&COVC::UndoIncreaseForMenu>},
    {33, u"HideMenuKey", PUT, 1, &CallShort<&COVC::put_HideMenuKey>},
    {34, u"LogFileName", PUT, 1, &CallBstr<&COVC::put_LogFileName>},
    {35, u"LogClearOnOpen", PUT, 1, &CallLong<&COVC::put_LogClearOnOpen>},
    {36, u"EnableLogging", PUT, 1, &CallLong<&COVC::put_EnableLogging>},
    {37, u"ApplyLoggingOptions", M, 0, &Call0<&COVC::ApplyLoggingOptions>},
    {38, u"SilentMode", PUT, 1, &CallLong<&COVC::put_SilentMode>},
    {39, u"FontName", GET, 0, &CallGetFontName},
    {39, u"FontName", PUT, 1, &CallBstr<&COVC::put_FontName>},
    {40, u"FontSize", GET, 0, &CallGetFontSize},
    {40, u"FontSize", PUT, 1, &CallShort<&COVC::put_FontSize>},
    {41, u"MenuExitKey", PUT, 1, &CallLong<&COVC::put_MenuExitKey>},
    {42, u"NumColumns", PUT, 1, &CallShort<&COVC::put_NumColumns>},
    {43, u"NumRows", PUT, 1, &CallShort<&COVC::put_NumRows>},
    {44, u"ActionAsEnter", PUT, 1, &CallLong<&COVC::put_ActionAsEnter>},
    {45, u"IncludeDataOnWidget", PUT, 1, &CallLong<&COVC::put_IncludeDataOnWidget>},
    {46, u"ScanAheadMode", PUT, 1, &CallLong<&COVC::put_ScanAheadMode>},
    {47, u"SuppMode", PUT, 1, &CallLong<&COVC::put_SuppMode>},
    {48, u"Supp2", PUT, 1, &CallLong<&COVC::put_Supp2>},
    {49, u"Supp5", PUT, 1, &CallLong<&COVC::put_Supp5>},
    {50, u"SuppRetries", PUT, 1, &CallLong<&COVC::put_SuppRetries>},
    {51, u"Code39FA", PUT, 1, &CallLong<&COVC::put_Code39FA>},
    {52, u"IgnoreRadio", PUT, 1, &CallLong<&COVC::put_IgnoreRadio>},
    {53, u"RSSIThreshold", PUT, 1, &CallULong<&COVC::put_RSSIThreshold>},
    {54, u"RadioWakeDelay", PUT, 1, &CallULong<&COVC::put_RadioWakeDelay>},
    {55, u"CodePage", PUT, 1, &CallULong<&COVC::put_CodePage>},
    {56, u"EscapeIncludeData", PUT, 1, &CallLong<&COVC::put_EscapeIncludeData>},
    {57, u"UPCE0Options", PUT, 1, &CallULong<&COVC::put_UPCE0Options>},
    {58, u"SymbolOverride", PUT, 1, &CallBstr<&COVC::put_SymbolOverride>},
    {59, u"SetRFIDProperty", M, 2, &CallSetRFIDProperty},
    {60, u"ReconnectDelay", PUT, 1, &CallULong<&COVC::put_ReconnectDelay>},
    {61, u"MonoWidth", PUT, 1, &CallLong<&COVC::put_MonoWidth>},
    {62, u"CellWidth", PUT, 1, &CallULong<&COVC::put_CellWidth>},
    {63, u"CellHeight", PUT, 1, &CallULong<&COVC::put_CellHeight>},
    {64, u"EnableScannerOnExit", PUT, 1, &CallLong<&COVC::put_EnableScannerOnExit>},
    {65, u"Connect", M, 1, &CallBstr<&COVC::Connect>},
    {66, u"SetFeatureNum", M, 2, &CallSetFeatureNum},
    {67, u"SetFeatureStr", M, 2, &CallSetFeatureStr},
};

const Member kOVCData[] = {
    {1, u"OVCCommandInput", M, 2, &CallInput<&COVC::OVCCommandInput>},
    {2, u"OVCStreamInput", M, 2, &CallInput<&COVC::OVCStreamInput>},
};

}  // namespace

std::span<const COVC::Member> COVC::Members(IOVC*) { return kOVC; }
std::span<const COVC::Member> COVC::Members(IOVCClassic*) { return kOVCClassic; }
std::span<const COVC::Member> COVC::Members(IOVCData*) { return kOVCData; }
