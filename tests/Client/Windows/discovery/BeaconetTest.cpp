// "Beaconet.dll" as the shell uses it: registered, created by ProgID, its
// event advised; the network cases run in the tests' own namespace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptedHost.h"
#include "discovery/Beaconet.h"
#include "platform/Com.h"
#include "platform/ComServer.h"
#include "platform/Library.h"
#include "platform/Registry.h"
#include "tests/Client/Windows/discovery/NetworkNamespace.h"
#include "tests/core/support/DeviceRoot.h"
#include "tests/platform/com/ServerCalls.h"

using plat::com::CBstr;
using plat::com::CPtr;

namespace {

class BeaconetTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
        ASSERT_EQ(plat::com::CreateByName(u"Beaconet.OVC36_40", IOVC36_40::kIID, m_object.OutVoid()), S_OK);
    }
    void TearDown() override {
        m_object = CPtr<IOVC36_40>();
        CoFreeUnusedLibraries();
        DeviceRootTest::TearDown();
    }
    // The installed library beside the tests.
    static HRESULT CallExport(const char* name) { return comtest::CallExport(u"Beaconet.dll", name); }
    static std::u16string Text(const std::u16string& key) { return comtest::ClassesText(key); }
    static bool KeyExists(const std::u16string& key) { return comtest::ClassesKeyExists(key); }

    CPtr<IOVC36_40> m_object;
};

TEST_F(BeaconetTest, RegistersTheClassItsProgIdsAndTypeLibrary) {
    const std::u16string clsid = u"{1DD577D7-4AD6-4636-B30D-0DED28761DD9}";
    const std::u16string libid = u"{DBC9E9EA-7644-46DF-AEBE-793CCC6E0193}";
    EXPECT_EQ(plat::com::GuidToString(CLSID_OVC36_40), clsid);
    EXPECT_EQ(Text(u"Beaconet.OVC36_40"), u"OVC36_40 Class");
    EXPECT_EQ(Text(u"Beaconet.OVC36_40\\CLSID"), clsid);
    EXPECT_EQ(Text(u"Beaconet.OVC36_40\\CurVer"), u"Beaconet.OVC36_40.1");
    EXPECT_EQ(Text(u"Beaconet.OVC36_40.1\\CLSID"), clsid);
    const std::u16string key = u"CLSID\\" + clsid;
    EXPECT_EQ(Text(key), u"OVC36_40 Class");
    EXPECT_EQ(Text(key + u"\\ProgID"), u"Beaconet.OVC36_40.1");
    EXPECT_EQ(Text(key + u"\\VersionIndependentProgID"), u"Beaconet.OVC36_40");
    EXPECT_EQ(Text(key + u"\\InprocServer32"), u"Beaconet.dll");
    EXPECT_EQ(Text(key + u"\\TypeLib"), libid);
    EXPECT_TRUE(KeyExists(key + u"\\Programmable"));
    EXPECT_FALSE(KeyExists(key + u"\\Control"));
    EXPECT_EQ(Text(u"TypeLib\\" + libid + u"\\1.0"), u"Beaconet 1.0 Type Library");
    // The object offers its interface, its events and error information.
    CPtr<IConnectionPointContainer> container;
    EXPECT_EQ(m_object.As(&container), S_OK);
    CPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(m_object.As(&errors), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IOVC36_40::kIID), S_OK);
}

TEST_F(BeaconetTest, PropertiesAnswerNullPointersAndKeepTheLow16BitsOfThePort) {
    EXPECT_EQ(m_object->get_AutoDiscoveryPort(nullptr), E_POINTER);
    LONG port = -1;
    EXPECT_EQ(m_object->get_AutoDiscoveryPort(&port), S_OK);
    EXPECT_EQ(port, 0);
    for (auto [put, got] : {std::pair<LONG, LONG>{902, 902}, {65535, 65535}, {70000, 4464}, {-1, 65535}}) {
        EXPECT_EQ(m_object->put_AutoDiscoveryPort(put), S_OK);
        EXPECT_EQ(m_object->get_AutoDiscoveryPort(&port), S_OK);
        EXPECT_EQ(port, got) << put;
    }
    EXPECT_EQ(m_object->get_AppName(nullptr), S_FALSE);
    EXPECT_EQ(m_object->get_IPAddrAsString(nullptr), S_FALSE);
    EXPECT_EQ(m_object->get_usPort(nullptr), S_FALSE);
    EXPECT_EQ(m_object->get_usADVersion(nullptr), S_FALSE);
    EXPECT_EQ(m_object->get_usADType(nullptr), S_FALSE);
    CBstr text;
    EXPECT_EQ(m_object->get_AppName(text.Out()), S_OK);
    EXPECT_EQ(plat::com::BstrView(text.Get()), u"");

    CBstr name(u"APP"), address(u"127.0.0.2");
    BSTR out = nullptr;
    SHORT outPort = 7;
    EXPECT_EQ(m_object->GetSelectedHostIPandPort(1, 0, name.Get(), address.Get(), &out, &outPort), S_FALSE);
    EXPECT_EQ(m_object->GetSelectedHostIPandPort(2, 0, name.Get(), address.Get(), nullptr, &outPort), S_FALSE);
    EXPECT_EQ(m_object->GetSelectedHostIPandPort(2, 0, name.Get(), address.Get(), &out, nullptr), S_FALSE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outPort, 7);

    // The same through dispatch.
    VARIANT arg = plat::com::VariantLong(905);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&arg, &named, 1, 1};
    EXPECT_EQ(m_object->Invoke(DISPID_AutoDiscoveryPort, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr,
                               nullptr),
              S_OK);
    VARIANT result;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(m_object->Invoke(DISPID_AutoDiscoveryPort, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                               nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 905);
}

TEST_F(BeaconetTest, AddHostEventFiresForEachHostWithTheHostsDataInTheProperties) {
    if (!discoverytest::NamespaceReady()) GTEST_SKIP() << discoverytest::NamespaceFailure();
    discoveryhost::HostScript script;
    script.address = "127.0.0.2";
    script.port = 40000;
    script.names = {"APP"};
    discoveryhost::CScriptedHost host(script);
    std::string error;
    ASSERT_TRUE(host.Start(&error)) << error;

    struct Heard {
        std::u16string name, address;
        uint16_t port, version, type;
    };
    std::vector<Heard> heard;
    IOVC36_40* object = m_object.Get();
    auto* sink = new plat::com::CDispatchSink(DIID__IOVC36_40Events, [&](DISPID id, DISPPARAMS* p) {
        EXPECT_EQ(id, DISPID_AddHostEvent);
        EXPECT_EQ(p ? p->cArgs : 0u, 0u);
        CBstr name, address;
        SHORT port = 0, version = 0, type = 0;
        object->get_AppName(name.Out());
        object->get_IPAddrAsString(address.Out());
        object->get_usPort(&port);
        object->get_usADVersion(&version);
        object->get_usADType(&type);
        heard.push_back({std::u16string(plat::com::BstrView(name.Get())),
                         std::u16string(plat::com::BstrView(address.Get())), uint16_t(port), uint16_t(version),
                         uint16_t(type)});
        return S_OK;
    });
    sink->AddRef();
    CPtr<IConnectionPointContainer> container;
    ASSERT_EQ(m_object.As(&container), S_OK);
    CPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IOVC36_40Events, point.Out()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink, &cookie), S_OK);

    ASSERT_EQ(m_object->put_AutoDiscoveryPort(902), S_OK);
    CBstr token(u"APP");
    // The token with the default flag ends the run at its first answer.
    EXPECT_EQ(m_object->DoAutodiscovery(token.Get()), S_OK);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].name, u"APP");
    EXPECT_EQ(heard[0].address, u"127.0.0.2");
    EXPECT_EQ(heard[0].port, 40000);
    EXPECT_EQ(heard[0].version, 1);
    EXPECT_EQ(heard[0].type, 12);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    sink->Release();
}

TEST_F(BeaconetTest, TheSelectedHostGivesItsApplicationsPort) {
    if (!discoverytest::NamespaceReady()) GTEST_SKIP() << discoverytest::NamespaceFailure();
    discoveryhost::HostScript script;
    script.address = "127.0.0.2";
    script.port = 2000;
    script.names = {"APP"};
    discoveryhost::CScriptedHost host(script);
    ASSERT_TRUE(host.Start(nullptr));
    CBstr name(u"APP"), address(u"127.0.0.2");
    CBstr out;
    SHORT port = 0;
    EXPECT_EQ(m_object->GetSelectedHostIPandPort(2, 0, name.Get(), address.Get(), out.Out(), &port), S_OK);
    EXPECT_EQ(plat::com::BstrView(out.Get()), u"127.0.0.2");
    EXPECT_EQ(port, 2000);
}

}  // namespace
