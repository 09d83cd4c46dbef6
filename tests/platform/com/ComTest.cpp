#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/core/support/DeviceRoot.h"
#include "tests/fixtures/com/ComTestInterfaces.h"
#include "tests/platform/com/ServerCalls.h"
#include "platform/Com.h"
#include "platform/ComServer.h"
#include "platform/Library.h"
#include "platform/Registry.h"
#include "platform/Window.h"

namespace fsys = std::filesystem;
using plat::com::CBstr;
using plat::com::CPtr;
using namespace comtest;

namespace {

constexpr char16_t kEchoPath[] = u"\\Windows\\ComTestEcho.dll";
constexpr char16_t kPanelPath[] = u"\\Program Files\\Orvade Client\\ComTestPanel.dll";

class ComTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        PutFixture("ComTestEcho", "\\Windows\\ComTestEcho.dll");
        PutFixture("ComTestPanel", "\\Program Files\\Orvade Client\\ComTestPanel.dll");
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        DeviceRootTest::TearDown();
    }
    void PutFixture(const std::string& fixture, const std::string& devicePath) {
        fsys::create_directories(Host(devicePath).parent_path());
        fsys::copy_file(fsys::path(FIXTURE_DIR) / (fixture + ".dll"), Host(devicePath));
    }
    static HRESULT CallExport(const char16_t* path, const char* name) { return comtest::CallExport(path, name); }
    static HRESULT Register(const char16_t* path) { return CallExport(path, "DllRegisterServer"); }
    static HRESULT Unregister(const char16_t* path) { return CallExport(path, "DllUnregisterServer"); }

    static std::u16string Text(const std::u16string& key, const char16_t* name = nullptr) {
        return comtest::ClassesText(key, name);
    }
    static bool KeyExists(const std::u16string& key) { return comtest::ClassesKeyExists(key); }
    static CPtr<IEcho> CreateEcho() {
        CPtr<IEcho> echo;
        EXPECT_EQ(plat::com::CreateByName(u"ComTest.Echo", IEcho::kIID, echo.OutVoid()), S_OK);
        return echo;
    }
};

const std::u16string kEchoKey = u"CLSID\\" + plat::com::GuidToString(kEchoClsid);
const std::u16string kPanelKey = u"CLSID\\" + plat::com::GuidToString(kPanelClsid);
const std::u16string kLibKey = u"TypeLib\\" + plat::com::GuidToString(kEchoLibid);

TEST(GuidTest, TextRoundTripsAndMalformedTextIsRefused) {
    const GUID g = plat::com::Guid("2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5");
    EXPECT_EQ(plat::com::GuidToString(g), u"{2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5}");
    GUID back{};
    EXPECT_TRUE(plat::com::GuidFromString(u"{2d7e3f9c-c753-45dc-affe-35da6a0354f5}", &back));
    EXPECT_EQ(back, g);
    char16_t buffer[39];
    EXPECT_EQ(StringFromGUID2(g, buffer, 39), 39);
    EXPECT_EQ(std::u16string(buffer), u"{2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5}");
    EXPECT_EQ(StringFromGUID2(g, buffer, 38), 0);
    for (const char16_t* bad : {u"2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5", u"{2D7E3F9C-C753-45DC-AFFE-35DA6A0354F}",
                                u"{2D7E3F9C-C753-45DC-AFFE-35DA6A0354FG}", u"{2D7E3F9CC-753-45DC-AFFE-35DA6A0354F5}", u""})
        EXPECT_FALSE(plat::com::GuidFromString(bad, &back)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
}

TEST(BstrTest, KeepsLengthsEmbeddedZerosAndNull) {
    BSTR b = SysAllocStringLen(u"a\0b", 3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    EXPECT_EQ(b[3], u'\0');
    EXPECT_TRUE(SysReAllocString(&b, u"longer text"));
    EXPECT_EQ(plat::com::BstrView(b), u"longer text");
    SysFreeString(b);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR odd = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    SysFreeString(odd);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

TEST(VariantTest, ChangesTypesAndReportsMismatchAndOverflow) {
    struct Case {
        VARIANT from;
        VARTYPE to;
        HRESULT hr;
        long long value;
    };
    auto l = [](LONG n) { return plat::com::VariantLong(n); };
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"-12");
    VARIANT word;
    VariantInit(&word);
    word.vt = VT_BSTR;
    word.bstrVal = SysAllocString(u"twelve");
    LONG referenced = 70000;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &referenced;
    const Case cases[] = {
        {l(7), VT_I2, S_OK, 7},           {l(70000), VT_I2, DISP_E_OVERFLOW, 0}, {l(-1), VT_UI4, DISP_E_OVERFLOW, 0},
        {text, VT_I4, S_OK, -12},         {word, VT_I4, DISP_E_TYPEMISMATCH, 0}, {ref, VT_I4, S_OK, 70000},
        {ref, VT_I2, DISP_E_OVERFLOW, 0}, {l(3), VT_BOOL, S_OK, -1},
    };
    for (const Case& c : cases) {
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(VariantChangeType(&out, &c.from, 0, c.to), c.hr) << c.value;
        if (c.hr == S_OK) {
            long long got = c.to == VT_I2 ? out.iVal : c.to == VT_BOOL ? out.boolVal : out.lVal;
            EXPECT_EQ(got, c.value);
        }
        VariantClear(&out);
    }
    VARIANT asText;
    VariantInit(&asText);
    ASSERT_EQ(VariantChangeType(&asText, &ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(plat::com::BstrView(asText.bstrVal), u"70000");
    VariantClear(&asText);
    VariantClear(&text);
    VariantClear(&word);
}

TEST_F(ComTest, RegistrationWritesTheKeysAndUnregistrationTakesThemAway) {
    ASSERT_EQ(Register(kEchoPath), S_OK);
    ASSERT_EQ(Register(kPanelPath), S_OK);
    const std::u16string clsid = plat::com::GuidToString(kEchoClsid);
    EXPECT_EQ(Text(u"ComTest.Echo.1"), u"Echo Class");
    EXPECT_EQ(Text(u"ComTest.Echo.1\\CLSID"), clsid);
    EXPECT_EQ(Text(u"ComTest.Echo"), u"Echo Class");
    EXPECT_EQ(Text(u"ComTest.Echo\\CLSID"), clsid);
    EXPECT_EQ(Text(u"ComTest.Echo\\CurVer"), u"ComTest.Echo.1");
    EXPECT_EQ(Text(kEchoKey), u"Echo Class");
    EXPECT_EQ(Text(kEchoKey + u"\\ProgID"), u"ComTest.Echo.1");
    EXPECT_EQ(Text(kEchoKey + u"\\VersionIndependentProgID"), u"ComTest.Echo");
    EXPECT_EQ(Text(kEchoKey + u"\\InprocServer32"), kEchoPath);
    std::u16string threading;
    EXPECT_FALSE(plat::registry::GetString(HKEY_CLASSES_ROOT, (kEchoKey + u"\\InprocServer32").c_str(),
                                           u"ThreadingModel", &threading));
    EXPECT_TRUE(KeyExists(kEchoKey + u"\\Programmable"));
    EXPECT_FALSE(KeyExists(kEchoKey + u"\\Control"));
    EXPECT_EQ(Text(kEchoKey + u"\\TypeLib"), plat::com::GuidToString(kEchoLibid));
    EXPECT_EQ(Text(kEchoKey + u"\\Version"), u"1.0");
    EXPECT_EQ(Text(kLibKey + u"\\1.0"), u"ComTest 1.0 Type Library");
    EXPECT_EQ(Text(kLibKey + u"\\1.0\\0\\win32"), kEchoPath);
    // The control's keys.
    EXPECT_TRUE(KeyExists(kPanelKey + u"\\Control"));
    EXPECT_TRUE(KeyExists(kPanelKey + u"\\Insertable"));
    EXPECT_EQ(Text(kPanelKey + u"\\MiscStatus"), u"0");
    EXPECT_EQ(Text(kPanelKey + u"\\MiscStatus\\1"), u"131473");
    EXPECT_EQ(Text(kPanelKey + u"\\ToolboxBitmap32"), std::u16string(kPanelPath) + u", 101");
    EXPECT_FALSE(KeyExists(kPanelKey + u"\\TypeLib"));

    // Created by either ProgID, then the round trip back.
    for (const char16_t* progId : {u"ComTest.Echo", u"ComTest.Echo.1"}) {
        CPtr<IEcho> echo;
        ASSERT_EQ(plat::com::CreateByName(progId, IEcho::kIID, echo.OutVoid()), S_OK);
        CBstr reply;
        EXPECT_EQ(echo->Echo(nullptr, reply.Out()), S_OK);
        EXPECT_EQ(reply.View(), u"echo:");
    }
    EXPECT_EQ(Unregister(kEchoPath), S_OK);
    EXPECT_EQ(Unregister(kEchoPath), S_OK);  // again: nothing left, still S_OK
    for (const std::u16string& key : {std::u16string(u"ComTest.Echo.1"), std::u16string(u"ComTest.Echo"), kEchoKey, kLibKey})
        EXPECT_FALSE(KeyExists(key)) << std::string(key.begin(), key.end());
    EXPECT_TRUE(KeyExists(kPanelKey));  // the other server's class stays
    CLSID found;
    EXPECT_EQ(CLSIDFromProgID(u"ComTest.Echo", &found), CO_E_CLASSSTRING);
    IUnknown* none = nullptr;
    EXPECT_EQ(CoCreateInstance(kEchoClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&none)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ComTest, CreationFailuresAreReported) {
    ASSERT_EQ(Register(kEchoPath), S_OK);
    IUnknown* object = nullptr;
    void** out = reinterpret_cast<void**>(&object);
    // Only in-process servers; no aggregation; unknown interfaces.
    EXPECT_EQ(CoCreateInstance(kEchoClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, out), REGDB_E_CLASSNOTREG);
    CPtr<IEcho> outer = CreateEcho();
    EXPECT_EQ(CoCreateInstance(kEchoClsid, outer.Get(), CLSCTX_ALL, IID_IUnknown, out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(kEchoClsid, nullptr, CLSCTX_ALL, IPanel::kIID, out), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    // A ProgID that names a missing library, and one whose library is not a server.
    plat::registry::SetString(HKEY_CLASSES_ROOT, (kPanelKey + u"\\InprocServer32").c_str(), nullptr, u"\\Windows\\None.dll");
    EXPECT_EQ(CoCreateInstance(kPanelClsid, nullptr, CLSCTX_ALL, IID_IUnknown, out), CO_E_DLLNOTFOUND);
    Put("\\Windows\\Text.dll", "not a library");
    plat::registry::SetString(HKEY_CLASSES_ROOT, (kPanelKey + u"\\InprocServer32").c_str(), nullptr, u"\\Windows\\Text.dll");
    EXPECT_EQ(CoCreateInstance(kPanelClsid, nullptr, CLSCTX_ALL, IID_IUnknown, out), CO_E_DLLNOTFOUND);
    EXPECT_EQ(plat::com::CreateByName(u"{not a clsid}", IID_IUnknown, out), CO_E_CLASSSTRING);
    EXPECT_EQ(plat::com::CreateByName(u"No.Such.Class", IID_IUnknown, out), CO_E_CLASSSTRING);
    // A version-independent ProgID found through its CurVer alone.
    plat::registry::SetString(HKEY_CLASSES_ROOT, u"Only.Current", u"CurVer", u"ComTest.Echo.1");
    RegDeleteValue(HKEY_CLASSES_ROOT, u"Only.Current");
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, u"Only.Current\\CurVer", 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
    plat::registry::SetString(HKEY_CLASSES_ROOT, u"Only.Current\\CurVer", nullptr, u"ComTest.Echo.1");
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Only.Current", &clsid), S_OK);
    EXPECT_EQ(clsid, kEchoClsid);
}

TEST_F(ComTest, BstrsCrossLibrariesAndTheServerStaysWhileObjectsLive) {
    ASSERT_EQ(Register(kEchoPath), S_OK);
    ASSERT_EQ(Register(kPanelPath), S_OK);
    CPtr<IEcho> echo = CreateEcho();
    CPtr<IPanel> panel;
    ASSERT_EQ(plat::com::CreateByName(u"ComTest.Panel", IPanel::kIID, panel.OutVoid()), S_OK);
    // Made in the echo server, handed on by the panel server, freed here.
    CBstr text(u"across");
    CBstr reply;
    ASSERT_EQ(panel->Relay(echo.Get(), text.Get(), reply.Out()), S_OK);
    EXPECT_EQ(reply.View(), u"echo:across");
    EXPECT_EQ(SysStringLen(reply.Get()), 11u);
    // Made here, freed by the echo server.
    EXPECT_EQ(echo->Consume(SysAllocString(u"given away")), S_OK);

    // Identity: every interface gives the same IUnknown.
    CPtr<IUnknown> a, b;
    ASSERT_EQ(echo.As(&a), S_OK);
    CPtr<IConnectionPointContainer> container;
    ASSERT_EQ(echo.As(&container), S_OK);
    ASSERT_EQ(container.As(&b), S_OK);
    EXPECT_EQ(a.Get(), b.Get());
    CPtr<IDispatch> dispatch;
    EXPECT_EQ(echo.As(&dispatch), S_OK);
    CPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(echo.As(&errors), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IEcho::kIID), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

    HMODULE server = LoadLibrary(kEchoPath);
    ASSERT_NE(server, nullptr);
    auto canUnload = GetProc<HRESULT (*)()>(server, "DllCanUnloadNow");
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);
    echo.Reset();
    a.Reset();
    b.Reset();
    container.Reset();
    dispatch.Reset();
    errors.Reset();
    EXPECT_EQ(canUnload(), S_OK);
    // A server lock keeps it too.
    auto getClassObject = GetProc<DllGetClassObject_fn>(server, "DllGetClassObject");
    CPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(kEchoClsid, IID_IClassFactory, factory.OutVoid()), S_OK);
    EXPECT_EQ(getClassObject(kPanelClsid, IID_IClassFactory, reinterpret_cast<void**>(&dispatch)),
              CLASS_E_CLASSNOTAVAILABLE);
    factory->LockServer(TRUE);
    factory.Reset();
    EXPECT_EQ(canUnload(), S_FALSE);
    ASSERT_EQ(getClassObject(kEchoClsid, IID_IClassFactory, factory.OutVoid()), S_OK);
    factory->LockServer(FALSE);
    factory.Reset();
    EXPECT_EQ(canUnload(), S_OK);
    FreeLibrary(server);
}

TEST_F(ComTest, SinksAreAdvisedFiredInOrderAndUnadvised) {
    ASSERT_EQ(Register(kEchoPath), S_OK);
    CPtr<IEcho> echo = CreateEcho();
    CPtr<IConnectionPointContainer> container;
    ASSERT_EQ(echo.As(&container), S_OK);
    CPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.Out()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(kEchoEventsIid, point.Out()), S_OK);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, kEchoEventsIid);
    {
        CPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(container->EnumConnectionPoints(points.Out()), S_OK);
        IConnectionPoint* found[2] = {};
        ULONG fetched = 0;
        EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
        ASSERT_EQ(fetched, 1u);
        EXPECT_EQ(found[0], point.Get());
        found[0]->Release();
        EXPECT_EQ(points->Reset(), S_OK);
        EXPECT_EQ(points->Skip(2), S_FALSE);
    }

    std::vector<std::string> heard;
    auto sinkNamed = [&heard](std::string name) {
        auto* sink = new plat::com::CDispatchSink(kEchoEventsIid, [&heard, name](DISPID id, DISPPARAMS* p) {
            std::string line = name + ":" + std::to_string(id);
            for (UINT i = p ? p->cArgs : 0; i-- > 0;) {
                EXPECT_EQ(p->rgvarg[i].vt, VT_I4);
                line += " " + std::to_string(p->rgvarg[i].lVal);
            }
            heard.push_back(line);
            return S_OK;
        });
        sink->AddRef();
        return sink;
    };
    plat::com::CDispatchSink* first = sinkNamed("first");
    plat::com::CDispatchSink* second = sinkNamed("second");
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(point->Advise(first, &c1), S_OK);
    ASSERT_EQ(point->Advise(second, &c2), S_OK);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(echo->Ring(5), S_OK);
    EXPECT_EQ(heard, (std::vector<std::string>{"first:4 5 10", "second:4 5 10", "first:7", "second:7"}));

    CPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Out()), S_OK);
    CONNECTDATA data[3];
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, c1);
    EXPECT_EQ(data[1].dwCookie, c2);
    for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
    connections.Reset();

    heard.clear();
    EXPECT_EQ(point->Unadvise(c1), S_OK);
    EXPECT_EQ(point->Unadvise(c1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(echo->Ring(1), S_OK);
    EXPECT_EQ(heard, (std::vector<std::string>{"second:4 1 2", "second:7"}));
    // A sink without the event interface cannot connect.
    plat::com::CDispatchSink* wrong = new plat::com::CDispatchSink(IID_NULL, nullptr);
    wrong->AddRef();
    DWORD c3 = 7;
    EXPECT_EQ(point->Advise(wrong, &c3), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(c3, 0u);
    wrong->Release();

    // A sink that unadvises itself while it is called.
    heard.clear();
    DWORD selfCookie = 0;
    IConnectionPoint* raw = point.Get();
    auto* leaving = new plat::com::CDispatchSink(kEchoEventsIid, [&](DISPID id, DISPPARAMS*) {
        heard.push_back("leaving:" + std::to_string(id));
        return raw->Unadvise(selfCookie);
    });
    leaving->AddRef();
    ASSERT_EQ(point->Advise(leaving, &selfCookie), S_OK);
    EXPECT_EQ(echo->Ring(2), S_OK);
    EXPECT_EQ(heard, (std::vector<std::string>{"second:4 2 4", "leaving:4", "second:7"}));
    leaving->Release();
    // The object's end lets go of the sinks still advised.
    point.Reset();
    container.Reset();
    echo.Reset();
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(first->Release(), 0u);
}

TEST_F(ComTest, InvokeCallsMembersByDispid) {
    ASSERT_EQ(Register(kEchoPath), S_OK);
    CPtr<IEcho> echo = CreateEcho();
    CPtr<IDispatch> dispatch;
    ASSERT_EQ(echo.As(&dispatch), S_OK);
    UINT count = 9;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);

    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(u"hi");
    DISPPARAMS one{&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(dispatch->Invoke(kDispEcho, IID_NULL, 0x400, DISPATCH_METHOD, &one, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(plat::com::BstrView(result.bstrVal), u"echo:hi");
    VariantClear(&result);

    // Text that reads as a number converts; other text is a type mismatch at its index.
    UINT argError = 99;
    EXPECT_EQ(dispatch->Invoke(kDispRing, IID_NULL, 0x400, DISPATCH_METHOD, &one, nullptr, nullptr, &argError),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 0u);
    VariantClear(&arg);

    // A property put with its named argument, then the get.
    VARIANT value = plat::com::VariantLong(42);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    EXPECT_EQ(dispatch->Invoke(kDispCount, IID_NULL, 0x400, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch->Invoke(kDispCount, IID_NULL, 0x400, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &result,
                               nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 42);
    LONG direct = 0;
    EXPECT_EQ(echo->get_Count(&direct), S_OK);
    EXPECT_EQ(direct, 42);

    struct Bad {
        DISPID id;
        WORD kinds;
        DISPPARAMS* params;
        IID iid;
        HRESULT hr;
    };
    const Bad bad[] = {
        {kDispEcho, DISPATCH_METHOD, &none, IID_NULL, DISP_E_BADPARAMCOUNT},
        {99, DISPATCH_METHOD, &none, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {kDispEcho, DISPATCH_PROPERTYPUT, &one, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {kDispCount, DISPATCH_METHOD, &none, IEcho::kIID, DISP_E_UNKNOWNINTERFACE},
    };
    for (const Bad& b : bad)
        EXPECT_EQ(dispatch->Invoke(b.id, b.iid, 0x400, b.kinds, b.params, nullptr, nullptr, nullptr), b.hr) << b.id;

    char16_t name[] = u"ring";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x400, &id), S_OK);
    EXPECT_EQ(id, kDispRing);
    char16_t unknown[] = u"Nothing";
    names[0] = unknown;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x400, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(ComTest, HostWindowCreatesTheControlByProgIdAndKeepsItsWindow) {
    ASSERT_EQ(Register(kEchoPath), S_OK);
    ASSERT_EQ(Register(kPanelPath), S_OK);
    ASSERT_TRUE(plat::com::RegisterHostWindowClass());
    EXPECT_TRUE(plat::com::RegisterHostWindowClass());
    HWND top = CreateWindowEx(0, u"STATIC", u"top", WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
    ASSERT_NE(top, 0u);
    HWND host = CreateWindowEx(0, plat::com::kHostWindowClass, u"ComTest.Panel", WS_CHILD | WS_VISIBLE, 0, 24, 240, 200,
                               top, HMENU(8), nullptr, nullptr);
    ASSERT_NE(host, 0u);
    CPtr<IUnknown> control;
    ASSERT_EQ(plat::com::GetHostedControl(host, control.Out()), S_OK);
    CPtr<IPanel> panel;
    ASSERT_EQ(control.As(&panel), S_OK);
    HWND window = 0;
    ASSERT_EQ(panel->get_Window(&window), S_OK);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(GetParent(window), host);
    RECT rect{};
    GetClientRect(window, &rect);
    EXPECT_EQ(rect.right, 240);
    EXPECT_EQ(rect.bottom, 200);
    MoveWindow(host, 0, 0, 200, 100, TRUE);
    GetClientRect(window, &rect);
    EXPECT_EQ(rect.right, 200);
    EXPECT_EQ(rect.bottom, 100);
    // The host list can go while the control is held elsewhere; the window goes with the host.
    panel.Reset();
    control.Reset();
    EXPECT_FALSE(plat::com::UnregisterHostWindowClass());
    DestroyWindow(host);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(plat::com::GetHostedControl(host, control.Out()), E_FAIL);
    HMODULE server = LoadLibrary(kPanelPath);
    EXPECT_EQ(GetProc<HRESULT (*)()>(server, "DllCanUnloadNow")(), S_OK);
    FreeLibrary(server);

    // An object without a window is held all the same; nothing is made for an unknown name.
    HWND windowless = CreateWindowEx(0, plat::com::kHostWindowClass, u"ComTest.Echo", WS_CHILD, 0, 0, 10, 10, top, 0,
                                     nullptr, nullptr);
    ASSERT_NE(windowless, 0u);
    ASSERT_EQ(plat::com::GetHostedControl(windowless, control.Out()), S_OK);
    CPtr<IEcho> echo;
    EXPECT_EQ(control.As(&echo), S_OK);
    EXPECT_EQ(CreateWindowEx(0, plat::com::kHostWindowClass, u"No.Such.Control", WS_CHILD, 0, 0, 10, 10, top, 0,
                             nullptr, nullptr),
              0u);
    echo.Reset();
    control.Reset();
    DestroyWindow(top);
    EXPECT_TRUE(plat::com::UnregisterHostWindowClass());
}

}  // namespace
