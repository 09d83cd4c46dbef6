#include <gtest/gtest.h>

#include "ExtensionFixture.h"
#include "core/extensions/Extentions.h"

namespace extensionstest {
namespace {

using ExtentionsTest = ExtensionTest;

TEST_F(ExtentionsTest, FirstSetKindDecidesAndATakenSlotMakesNoWrapper) {
    Install("FakeRfid", "\\Ext", "a.dll");
    Install("FakeRfidGeneric", "\\Ext", "b.dll");  // 0x410: RFID, whose slot is taken
    Install("FakeGeneric", "\\Ext", "c.dll");       // 0x14: generic
    Install("FakeMsr", "\\Ext", "d.dll");
    Install("FakeDevice", "\\Ext", "e.dll");
    Install("FakeNoProbe", "\\Ext", "f.dll");
    Install("FakeNoKind", "\\Ext", "g.dll");
    Install("FakeRfid", "\\Ext", "h.dll");  // a second RFID library: probed and released
    Put("\\Ext\\notes.txt", "");
    CExtentions manager;
    EXPECT_EQ(manager.LoadFolder(u"\\Ext"), 7);
    ASSERT_EQ(manager.Count(), 4);
    EXPECT_EQ(manager.At(0), manager.GetRfidExtention());
    EXPECT_EQ(manager.At(1)->GetType(), 0x14u);
    EXPECT_EQ(manager.At(2), manager.GetMsrExtention());
    EXPECT_EQ(manager.At(3), manager.GetDeviceExtention());
    EXPECT_TRUE(manager.IsDeviceLoaded());

    CExtentions alone;
    EXPECT_EQ(alone.LoadExtention(u"\\Ext\\b.dll"), 1);
    ASSERT_NE(alone.GetRfidExtention(), nullptr);  // 0x400 wins over 0x10
    EXPECT_EQ(alone.LoadExtention(u"\\Ext\\f.dll"), 0);
    EXPECT_EQ(alone.LoadExtention(u"\\Ext\\missing.dll"), 0);
}

TEST_F(ExtentionsTest, ArrayGrowsByTenForTwentyFiveGenericLibraries) {
    for (int i = 0; i < 25; ++i) Install("FakeGeneric", "\\Ext", "g" + std::to_string(100 + i) + ".dll");
    CExtentions manager;
    EXPECT_EQ(manager.Capacity(), 10);
    EXPECT_EQ(manager.LoadFolder(u"\\Ext"), 25);
    EXPECT_EQ(manager.Count(), 25);
    EXPECT_EQ(manager.Capacity(), 30);
    for (int i = 0; i < 25; ++i) EXPECT_TRUE(manager.At(i)->IsLoaded());
}

TEST_F(ExtentionsTest, UnboundWrapperAnswersItsMissingValuesWithoutCalling) {
    HMODULE fake = InstallAndHold("FakeUnbound", "\\Ext");  // kind 4 without GetExtentionInfo
    CExtentions manager;
    EXPECT_EQ(manager.LoadFolder(u"\\Ext"), 1);
    CDeviceExtention* device = manager.GetDeviceExtention();
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->IsLoaded());
    EXPECT_FALSE(manager.IsDeviceLoaded());
    EXPECT_EQ(device->GetType(), 0u);
    ExtentionInfo* info = nullptr;
    EXPECT_EQ(device->GetInfo(&info), FALSE);
    EXPECT_EQ(device->GetKeyboardState(), -1);
    EXPECT_EQ(device->GetDeviceID(), 0);
    EXPECT_EQ(device->ActivateSession(0), TRUE);
    EXPECT_EQ(Calls(fake), "");
}

TEST_F(ExtentionsTest, SessionsGoToEveryWrapperInOrderWithTheKindsMessages) {
    HMODULE msr = InstallAndHold("FakeMsr", "\\Ext", "a.dll");
    HMODULE rfid = InstallAndHold("FakeRfidNoReader", "\\Ext", "b.dll");  // SelectReader answers 0: still kept
    HMODULE device = InstallAndHold("FakeDevice", "\\Ext", "c.dll");
    CExtentions manager;
    ASSERT_EQ(manager.LoadFolder(u"\\Ext"), 3);
    ASSERT_NE(manager.GetRfidExtention(), nullptr);
    EXPECT_TRUE(manager.GetRfidExtention()->IsLoaded());
    manager.CreateSessions(77, u"Software\\Key", 0);
    manager.ActivateAll(0);
    manager.SuspendAll(0);
    manager.ResumeAll(0);
    manager.DeleteAll(0);
    EXPECT_EQ(Calls(msr), "CreateSession 512 1027 Software\\Key 0;Activate 0;Suspend 0;Resume 0;Delete 0;");
    EXPECT_EQ(Calls(rfid),
              "SelectReader;CreateSession 1024 1041 Software\\Key 0;Activate 0;Suspend 0;Resume 0;Delete 0;");
    EXPECT_EQ(Calls(device), "Activate 0;Suspend 0;Resume 0;Delete 0;");

    CDeviceExtention* wrapper = manager.GetDeviceExtention();
    EXPECT_EQ(wrapper->GetDeviceID(), 4711);
    EXPECT_EQ(wrapper->GetKeyboardState(), 3);
    EXPECT_EQ(wrapper->GetKeyTimeout(), -1);  // the library lacks it
    EXPECT_EQ(wrapper->SetKeyTimeout(5), 0);
    ExtentionInfo* info = nullptr;
    ASSERT_TRUE(wrapper->GetInfo(&info));
    EXPECT_EQ(std::u16string(info->name), u"Fake");
    LocalFree(info);
}

TEST_F(ExtentionsTest, ConfigurationPagesFillOneFewerThanReported) {
    HMODULE generic = InstallAndHold("FakeGeneric", "\\Ext", "a.dll");  // reports 3 pages
    InstallAndHold("FakeMsr", "\\Ext", "b.dll");                        // no pages
    CExtentions manager;
    ASSERT_EQ(manager.LoadFolder(u"\\Ext"), 2);
    ASSERT_EQ(manager.GetConfigPropSheetCount(), 3);
    std::vector<PROPSHEETPAGE> pages(3, PROPSHEETPAGE{});
    const char16_t key[] = u"Software\\Quillmar\\OVC v1.0";
    EXPECT_EQ(manager.FillAllConfigPropPages(pages.data(), key), 2);
    EXPECT_EQ(Calls(generic), "GetPropSheet 0 40;GetPropSheet 1 40;");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(pages[i].dwSize, 40u);
        EXPECT_EQ(pages[i].lParam, reinterpret_cast<LPARAM>(key));
        EXPECT_EQ(pages[i].pszTemplate, 100u + i);
    }
    EXPECT_EQ(pages[2].dwSize, 0u);  // the unused slot the sheet skips

    ASSERT_EQ(manager.GetPropSheetCount(), 1);
    PROPSHEETPAGE about{};
    EXPECT_EQ(manager.FillAllPropPages(&about), 1);
    EXPECT_EQ(about.dwSize, 40u);
    EXPECT_EQ(about.pszTemplate, 999u);
}

}  // namespace
}  // namespace extensionstest
