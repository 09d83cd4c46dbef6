// Lectrum over the simulated scanners and over a fake vendor library.
#include <gtest/gtest.h>

#include <cstring>

#include "LectrumFixture.h"
#include "tests/core/support/ExportedNames.h"

// Allocation failures on demand, for Lectrum's name copies: the program's
// definition is the one a loaded library's calls reach.
namespace {
int g_failingAllocations = 0;
}
void* LocalAlloc(size_t bytes) {
    if (g_failingAllocations > 0) {
        --g_failingAllocations;
        return nullptr;
    }
    return calloc(1, bytes ? bytes : 1);
}

namespace lectrumtest {
namespace {

using StateFn = int (*)(int);
using SetStateFn = BOOL (*)(int, int);
using DataFn = const DecodedData* (*)(int, WPARAM, LPARAM);
using ListFn = BOOL (*)(int, DecoderList*);
using ParamsFn = BOOL (*)(int, unsigned, DecoderParams*, int);
using SetParamsFn = BOOL (*)(int, unsigned, const DecoderParams*, int);
using CallsFn = const char* (*)();

std::string Text(const DecodedData* data) {
    return data ? std::string(reinterpret_cast<const char*>(data->data), data->length) : "(null)";
}

TEST_F(LectrumTest, ExportsExactlyItsSet) {
    const std::set<std::string> expected = {
        "GetTelnetExtensionType", "GetExtensionInfo", "IsNoThreadVersion", "ScnInitialize",
        "ScnInitializeMultipleScanners", "Shutdown", "GetLastScanError"};
    std::set<std::string> all = expected;
    for (const char* twin : {"GetScannerDescription", "SetScannerState", "GetScannerState", "GetDecodedData",
                             "GetSupportedDecoders", "GetEnabledDecoders", "SetEnabledDecoders", "GetGlobalParameter",
                             "SetGlobalParameter", "GetDecoderParameters", "SetDecoderParameters", "SetScanBeep",
                             "GetScannerFocus", "SetScannerFocus"}) {
        all.insert(twin);
        all.insert(std::string(twin) + "ForScanner");
    }
    EXPECT_EQ(ExportedNames(LECTRUM_LIBRARY), all);

    EXPECT_EQ(Fn<int (*)()>("GetTelnetExtensionType")(), EXTENSION_SCANNER);
    ExtensionInfo info;
    EXPECT_FALSE(Fn<GetExtensionInfo_fn>("GetExtensionInfo")(nullptr));
    ASSERT_TRUE(Fn<GetExtensionInfo_fn>("GetExtensionInfo")(&info));
    EXPECT_EQ(info.version, 1u);
    EXPECT_EQ(info.kind, 2u);
    EXPECT_EQ(std::u16string(info.name), u"Tarvex Scanner");
}

TEST_F(LectrumTest, TwoScannersOpenDisabledWithMessagesOfTheirOwnAndBadIndexesFail) {
    Pipe(1);
    Pipe(2);
    int count = -1;
    ASSERT_TRUE(Initialize(&count));
    EXPECT_EQ(count, 2);
    const auto state = Fn<StateFn>("GetScannerStateForScanner");
    const auto setState = Fn<SetStateFn>("SetScannerStateForScanner");
    EXPECT_EQ(state(0), SCANNER_DISABLED);
    EXPECT_EQ(state(1), SCANNER_DISABLED);
    const auto description = Fn<const char16_t* (*)(int)>("GetScannerDescriptionForScanner");
    EXPECT_EQ(std::u16string(description(1)), u"Simulated scanner 2");
    EXPECT_EQ(description(2), nullptr);

    // Scanner 2 reports with the base message + 1.
    ASSERT_TRUE(setState(1, SCANNER_READ_PENDING));
    Scan(2, "EAN_13:4006381333931");
    ASSERT_TRUE(WaitFor(kBase + 1));
    EXPECT_EQ(Text(Fn<DataFn>("GetDecodedDataForScanner")(1, 0, 0)), "4006381333931");

    // An index outside the scanners is a failure, never another slot.
    for (int bad : {-1, 2, 4, 1000}) {
        EXPECT_EQ(state(bad), 5) << bad;
        EXPECT_FALSE(setState(bad, SCANNER_ENABLED)) << bad;
        EXPECT_EQ(Fn<DataFn>("GetDecodedDataForScanner")(bad, 0, 0), nullptr);
        DecoderList list{};
        EXPECT_FALSE(Fn<ListFn>("GetSupportedDecodersForScanner")(bad, &list));
        EXPECT_FALSE(Fn<BOOL (*)(int, const DecoderList*)>("SetEnabledDecodersForScanner")(bad, &list));
        BYTE value[4] = {};
        EXPECT_FALSE(Fn<BOOL (*)(int, unsigned, BYTE*)>("GetGlobalParameterForScanner")(bad, 19, value));
        EXPECT_EQ(Fn<int (*)(int)>("GetScannerFocusForScanner")(bad), 0);
    }

    EXPECT_EQ(Fn<int (*)()>("Shutdown")(), 2);
    EXPECT_EQ(state(0), 5);
}

TEST_F(LectrumTest, ALabelIsReadOnceAndTheReadIsArmedAgain) {
    Pipe(1);
    int count = 0;
    ASSERT_TRUE(Initialize(&count, 1));
    // Opened again: the count stays, and so do the first window and message.
    const HWND other = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    count = 0;
    EXPECT_TRUE(Initialize(&count, 1, other));
    EXPECT_EQ(count, 1);

    ASSERT_TRUE(Fn<BOOL (*)(int)>("SetScannerState")(SCANNER_READ_PENDING));
    EXPECT_EQ(Fn<int (*)()>("GetScannerState")(), SCANNER_READ_PENDING);
    const auto data = Fn<const DecodedData* (*)(WPARAM, LPARAM)>("GetDecodedData");
    struct Case {
        const char* line;
        uint32_t type;
        const char* text;
    } cases[] = {{"CODE_39:12345", 0x37, "12345"}, {"0x3C:A:B", 0x3C, "A:B"}, {"plain text", 0x3C, "plain text"},
                 {"QRCODE:https://x", 0x4A, "https://x"}};
    for (const Case& c : cases) {
        Scan(1, c.line);
        ASSERT_TRUE(WaitFor(kBase)) << c.line;
        const DecodedData* label = data(0, 0);
        ASSERT_NE(label, nullptr) << c.line;
        EXPECT_EQ(label->labelType & 0xFF, c.type);
        EXPECT_EQ(Text(label), c.text);
        // The same label is not returned twice; the read stays armed.
        EXPECT_EQ(data(0, 0), nullptr);
        EXPECT_EQ(Fn<int (*)()>("GetScannerState")(), SCANNER_READ_PENDING);
    }
    DestroyWindow(other);
}

TEST_F(LectrumTest, AStateOutsideTheTableIsRefusedWithoutAStep) {
    Pipe(1);
    int count = 0;
    ASSERT_TRUE(Initialize(&count));
    EXPECT_FALSE(Fn<BOOL (*)(int)>("SetScannerState")(7));
    EXPECT_EQ(Fn<int (*)()>("GetScannerState")(), SCANNER_DISABLED);
}

TEST_F(LectrumTest, DecoderListsCarryAtMostSeventyDecoders) {
    Pipe(1);
    int count = 0;
    ASSERT_TRUE(Initialize(&count));
    DecoderList supported{};
    ASSERT_TRUE(Fn<BOOL (*)(DecoderList*)>("GetSupportedDecoders")(&supported));
    EXPECT_EQ(supported.count, 30u);
    EXPECT_EQ(supported.decoders[7], 0x37);

    // A count beyond the list's room is cut to the 70 decoders it holds.
    DecoderList list{};
    list.count = 200;
    for (int i = 0; i < kMaxDecoders; ++i) list.decoders[i] = static_cast<uint8_t>(0x30 + i);
    ASSERT_TRUE(Fn<BOOL (*)(const DecoderList*)>("SetEnabledDecoders")(&list));
    DecoderList enabled{};
    ASSERT_TRUE(Fn<BOOL (*)(DecoderList*)>("GetEnabledDecoders")(&enabled));
    EXPECT_EQ(enabled.count, 70u);
    EXPECT_EQ(std::memcmp(enabled.decoders, list.decoders, kMaxDecoders), 0);

    EXPECT_FALSE(Fn<BOOL (*)(DecoderList*)>("GetEnabledDecoders")(nullptr));
    EXPECT_EQ(Fn<DWORD (*)()>("GetLastScanError")(), 0xA0000014u);
}

TEST_F(LectrumTest, DecoderParametersTravelByTheDecodersFields) {
    Pipe(1);
    int count = 0;
    ASSERT_TRUE(Initialize(&count));
    const auto set = Fn<SetParamsFn>("SetDecoderParametersForScanner");
    const auto get = Fn<ParamsFn>("GetDecoderParametersForScanner");
    DecoderParams all{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}};
    struct Case {
        unsigned decoder;
        DecoderParams expected;
    } cases[] = {{'7', {{1, 2, 3, 4, 5, 6, 7, 8, 9, 0}}},
                 {'2', {{1, 2, 3, 4, 0, 0, 0, 0, 0, 0}}},
                 {'4', {{1, 2, 3, 0, 0, 0, 0, 0, 0, 0}}},
                 {'<', {{1, 2, 3, 4, 5, 6, 0, 0, 0, 0}}},
                 {'A', {{1, 2, 0, 0, 0, 0, 0, 0, 0, 0}}},
                 {0x40, {{4, 5, 0, 0, 0, 0, 0, 0, 0, 0}}},  // fields 3 and 4 go first
                 {0x20, {{1, 2, 0, 0, 0, 0, 0, 0, 0, 0}}}};  // the empty selector
    for (const Case& c : cases) {
        ASSERT_TRUE(set(0, c.decoder, &all, 40)) << c.decoder;
        DecoderParams read{};
        std::memset(&read, 0xEE, sizeof read);
        ASSERT_TRUE(get(0, c.decoder, &read, 40));
        EXPECT_EQ(std::memcmp(&read, &c.expected, sizeof read), 0) << c.decoder;
    }
    EXPECT_FALSE(get(0, '7', &all, 36));  // a record shorter than 40 bytes

    // The decoder-family record keeps its rules.
    DecoderParams family{{0, 0, 2, 5, 0, 1, 0, 9}};
    ASSERT_TRUE(set(0, 0xF4, &family, 40));
    DecoderParams read{};
    ASSERT_TRUE(get(0, 0xF4, &read, 40));
    const DecoderParams expected{{0, 0, 2, 1, 0, 1, 0, 1}};
    EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0);
    family = DecoderParams{{0, 0, 3, 0, 0, 2, 11, 0}};  // 3 and 11 are out of range and left alone
    ASSERT_TRUE(set(0, 0xF4, &family, 40));
    ASSERT_TRUE(get(0, 0xF4, &read, 40));
    const DecoderParams expected2{{0, 0, 2, 1, 0, 2, 0, 0}};
    EXPECT_EQ(std::memcmp(&read, &expected2, sizeof read), 0);
}

TEST_F(LectrumTest, GlobalParametersBeepAndFocus) {
    Pipe(1);
    int count = 0;
    ASSERT_TRUE(Initialize(&count));
    const auto set = Fn<BOOL (*)(unsigned, const BYTE*)>("SetGlobalParameter");
    const auto get = Fn<BOOL (*)(unsigned, BYTE*)>("GetGlobalParameter");
    BYTE value[4] = {1, 2, 3, 4};
    ASSERT_TRUE(set(3, value));
    BYTE read[4] = {};
    ASSERT_TRUE(get(3, read));
    EXPECT_EQ(std::memcmp(read, value, 4), 0);
    value[0] = 9;
    ASSERT_TRUE(set(2, value));
    ASSERT_TRUE(get(2, read));
    EXPECT_EQ(read[0], 9);
    value[0] = 1;
    ASSERT_TRUE(set(0, value));
    read[0] = 0;
    ASSERT_TRUE(get(0, read));
    EXPECT_EQ(read[0], 1);
    EXPECT_EQ(Fn<int (*)()>("GetScannerState")(), SCANNER_DISABLED);  // back where it was
    EXPECT_TRUE(set(19, value));
    EXPECT_FALSE(set(5, value));
    EXPECT_FALSE(get(2, nullptr));

    EXPECT_TRUE(Fn<BOOL (*)(int, int, int)>("SetScanBeep")(1, 200, 2000));
    EXPECT_EQ(Fn<int (*)()>("GetScannerFocus")(), 0);
    EXPECT_EQ(Fn<int (*)(int)>("SetScannerFocus")(1), 0);
    EXPECT_EQ(Fn<int (*)()>("GetScannerFocus")(), 1);
    EXPECT_EQ(Fn<int (*)(int)>("SetScannerFocus")(1), 0);
}

TEST_F(LectrumTest, ALabelOutsideTheReadBufferIsRefusedAndOtherStatusesRearm) {
    HMODULE fake = FakeVendor();
    const auto complete = GetProc<void (*)(uint32_t, uint32_t, uint32_t, uint32_t)>(fake, "FakeComplete");
    const auto calls = GetProc<CallsFn>(fake, "FakeCalls");
    int count = 0;
    ASSERT_TRUE(Initialize(&count));
    ASSERT_TRUE(Fn<BOOL (*)(int)>("SetScannerState")(SCANNER_READ_PENDING));
    const auto data = Fn<const DecodedData* (*)(WPARAM, LPARAM)>("GetDecodedData");
    GetProc<void (*)()>(fake, "FakeClearCalls")();

    complete(30700, 100, 0, 1);  // past the buffer's 30720 bytes
    EXPECT_EQ(data(0, 0), nullptr);
    complete(0xFFFFFFF0u, 0x20, 0, 2);  // wraps in 32 bits
    EXPECT_EQ(data(0, 0), nullptr);
    complete(40, 5, 0, 3);
    EXPECT_EQ(Text(data(0, 0)), "LABEL");
    EXPECT_EQ(std::string(calls()), "Read;Read;Read;");
    // The same read told twice gives its label once; the next read's stamp gives it again.
    complete(40, 5, 0, 3);
    EXPECT_EQ(data(0, 0), nullptr);
    complete(40, 5, 0, 4);
    EXPECT_EQ(Text(data(0, 0)), "LABEL");
    GetProc<void (*)()>(fake, "FakeClearCalls")();
    complete(40, 5, 0xA0000099u, 5);  // an unknown status: the read starts over
    EXPECT_EQ(data(0, 0), nullptr);
    EXPECT_EQ(std::string(calls()), "Cancel;Read;");
}

TEST_F(LectrumTest, AScannerWhoseNameCannotBeCopiedIsClosedAgain) {
    HMODULE fake = FakeVendor();
    g_failingAllocations = 1;
    int count = -1;
    EXPECT_FALSE(Initialize(&count));
    g_failingAllocations = 0;
    EXPECT_EQ(count, 0);
    EXPECT_EQ(std::string(GetProc<CallsFn>(fake, "FakeCalls")()), "Open;Close;");
}

}  // namespace
}  // namespace lectrumtest
