// The remote device interface over a device root attached as the device.
#include <sys/stat.h>

#include "platform/Rapi.h"
#include "tests/core/support/DeviceRoot.h"

namespace {

class RapiTest : public DeviceRootTest {
protected:
    void TearDown() override {
        CeRapiUninit();
        plat::rapi::AttachDevice("");
        DeviceRootTest::TearDown();
    }
    bool Connect(DWORD waitMs = 10000) {
        plat::rapi::AttachDevice(root_.string());
        RAPIINIT init{sizeof init, nullptr, E_FAIL};
        return CeRapiInitEx(&init) == S_OK && plat::rapi::WaitForInit(&init, waitMs) == WAIT_OBJECT_0 &&
               init.hrRapiInit == S_OK;
    }
};

TEST_F(RapiTest, NothingWorksBeforeTheConnectionIsMade) {
    RAPIINIT wrongSize{sizeof(RAPIINIT) - 1, nullptr, E_FAIL};
    EXPECT_EQ(CeRapiInitEx(&wrongSize), E_INVALIDARG);
    plat::rapi::AttachDevice("relative/folder");
    RAPIINIT init{sizeof init, nullptr, E_FAIL};
    EXPECT_EQ(CeRapiInitEx(&init), E_FAIL);
    Put("\\a.txt", "a");
    EXPECT_EQ(CeGetFileAttributes(u"\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(CeGetLastError(), ERROR_NOT_READY);
    EXPECT_EQ(CeCreateFile(u"\\b.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    HKEY key = nullptr;
    EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_READ, &key), LONG(ERROR_NOT_READY));
    EXPECT_EQ(CeRapiUninit(), E_FAIL);
}

TEST_F(RapiTest, FilesFoldersAndTimesOnTheDevice) {
    ASSERT_TRUE(Connect());
    Put("\\Data\\Old.TXT", "old");
    EXPECT_EQ(CeGetFileAttributes(u"\\DATA\\old.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(CeGetFileAttributes(u"\\data"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(CeGetFileAttributes(u"\\..\\etc"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(CeCreateDirectory(u"\\Data\\Sub", nullptr));
    EXPECT_FALSE(CeCreateDirectory(u"\\Data\\Sub", nullptr));
    EXPECT_EQ(CeGetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CeCreateDirectory(u"\\No\\Parent", nullptr));

    EXPECT_EQ(CeCreateFile(u"\\data\\OLD.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CeGetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(CeCreateFile(u"\\Data\\r.txt", GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    HANDLE f = CeCreateFile(u"\\Data\\Sub\\new.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(CeWriteFile(f, "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    // The time holds although the bytes were still buffered when it was set.
    const FILETIME time = plat::clock::UnixToFileTime(1700000000, 0);
    EXPECT_TRUE(CeSetFileTime(f, nullptr, nullptr, &time));
    EXPECT_TRUE(CeCloseHandle(f));
    EXPECT_FALSE(CeCloseHandle(f));
    EXPECT_EQ(Get("\\Data\\Sub\\new.txt"), "hello");
    struct stat st{};
    ASSERT_EQ(stat(Host("\\Data\\Sub\\new.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);

    // Replaced in one step, whatever the case of the old name.
    EXPECT_FALSE(CeMoveFileEx(u"\\Data\\Sub\\new.txt", u"\\Data\\old.txt", 0));
    EXPECT_TRUE(CeMoveFileEx(u"\\Data\\Sub\\new.txt", u"\\Data\\old.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Get("\\Data\\Old.TXT"), "hello");
    EXPECT_TRUE(CeDeleteFile(u"\\data\\old.txt"));
    EXPECT_FALSE(HostExists("\\Data\\Old.TXT"));

    // Ending the connection closes what is open.
    HANDLE open = CeCreateFile(u"\\Data\\left.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    CeWriteFile(open, "x", 1, &written, nullptr);
    EXPECT_EQ(CeRapiUninit(), S_OK);
    EXPECT_EQ(Get("\\Data\\left.txt"), "x");
}

TEST_F(RapiTest, TheRegistryIsTheDevicesOwn) {
    ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, u"Software\\Maker", u"Value", u"device"));
    ASSERT_TRUE(Connect());
    HKEY key = nullptr;
    ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\maker", 0, KEY_READ, &key), ERROR_SUCCESS);
    char16_t text[16] = {};
    DWORD type = 0, size = sizeof text;
    EXPECT_EQ(CeRegQueryValueEx(key, u"value", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::u16string(text), u"device");
    EXPECT_EQ(CeRegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RapiTest, DevicePrograms) {
    ASSERT_TRUE(Connect());
    Put("\\Windows\\tool", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$ORVADE_DEVICE_ROOT/ran\"\n");
    PROCESS_INFORMATION info{};
    // Not a program: no execute permission.
    EXPECT_FALSE(CeCreateProcess(u"\\Windows\\tool", u"a", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                                 &info));
    chmod(Host("\\Windows\\tool").c_str(), 0755);
    ASSERT_TRUE(CeCreateProcess(u"\\WINDOWS\\TOOL", u"one \"two words\"", nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, nullptr, &info));
    EXPECT_TRUE(CeCloseHandle(info.hProcess));
    for (int i = 0; i < 1500 && Get("\\ran").empty(); ++i)
        usleep(20000);
    EXPECT_EQ(Get("\\ran"), "one|two words|");
    // The device's installer is there on every device.
    EXPECT_EQ(CeGetFileAttributes(plat::rapi::kDeviceInstaller), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
