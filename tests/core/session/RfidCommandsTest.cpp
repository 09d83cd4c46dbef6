// The RFID command through the core: host bytes in, device bytes out, with a
// recording RFID library behind the devices hook.
#include <cstdlib>
#include <cstring>
#include <set>

#include "CoreFixture.h"
#include "platform/exports/RfidExports.h"

namespace coretest {
namespace {

// An RFID reader that records its calls and the blocks it handed out.
struct FakeRfid : FakeDevices {
    bool present = true;
    int32_t result = 1;
    Bytes block = "\x01\xFD\x02";
    std::string value = "7";
    std::vector<std::string> calls;
    std::set<void*> outstanding;
    int freed = 0;

    uint8_t* Hand(uint8_t** out, int32_t* length) {
        auto* b = static_cast<uint8_t*>(std::malloc(block.size() + 1));
        std::memcpy(b, block.data(), block.size());
        outstanding.insert(b);
        *out = b;
        *length = static_cast<int32_t>(block.size());
        return b;
    }
    bool HasRfid() override { return present; }
    int32_t RfidIdentify(uint8_t** b, int32_t* l) override { return calls.push_back("identify"), Hand(b, l), result; }
    int32_t RfidLastList(uint8_t** b, int32_t* l) override { return calls.push_back("last"), Hand(b, l), result; }
    int32_t RfidGetProperty(const char* name, char* buffer, int32_t size) override {
        calls.push_back(std::string("get ") + name);
        std::snprintf(buffer, static_cast<size_t>(size), "%s", value.c_str());
        return result;
    }
    int32_t SetRfidProperty(std::string_view name, std::string_view v) override {
        calls.push_back("set " + std::string(name) + "|" + std::string(v));
        return present ? result : 0;
    }
    int32_t RfidRead(const uint8_t* tag, uint16_t tagLength, const RFID_READ_ENTRY* list, uint8_t** b,
                     int32_t* l) override {
        std::string c = "read " + std::string(reinterpret_cast<const char*>(tag), tagLength);
        for (; list; list = list->next) c += " " + std::to_string(list->first) + "," + std::to_string(list->second);
        calls.push_back(c);
        Hand(b, l);
        return result;
    }
    int32_t RfidWrite(const uint8_t* tag, uint16_t tagLength, const RFID_WRITE_ENTRY* list, uint8_t** b,
                      int32_t* l) override {
        std::string c = "write " + std::string(reinterpret_cast<const char*>(tag), tagLength);
        for (; list; list = list->next) {
            c += " " + std::to_string(list->first) + ":";
            if (list->length) c += std::string(reinterpret_cast<const char*>(list->data), list->length);
            else EXPECT_EQ(list->data, nullptr);
        }
        calls.push_back(c);
        Hand(b, l);
        return result;
    }
    void RfidFreeBlock(void* b) override {
        EXPECT_EQ(outstanding.erase(b), 1u);
        std::free(b);
        ++freed;
    }
};

Bytes Be16(int v) { return Bytes{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }

// A binary request: value, unused, tag id, then the entries as given.
Bytes Request(const Bytes& tag, int count, const Bytes& entries) {
    return Bytes("\0\0\0\x05", 4) + Be16(0) + Be16(static_cast<int>(tag.size())) + tag + Be16(count) + entries;
}

class RfidCommandsTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core->SetDevices(&m_rfid);
    }
    void TearDown() override {
        EXPECT_TRUE(m_rfid.outstanding.empty()) << "a block was not freed";
        CoreTest::TearDown();
    }
    std::vector<Bytes> Ask(const Bytes& sub, int mode = 0) {
        Send("r" + FD + sub, mode);
        return Replies(mode);
    }
    FakeRfid m_rfid;
};

TEST_F(RfidCommandsTest, IdentifyAndLastListPassTheBlockAndFreeIt) {
    for (int mode : {0, 1}) {
        if (mode == 1) Send("B" + FD + "1"), Replies(0);
        EXPECT_EQ(Ask("i", mode), (std::vector<Bytes>{"r" + FD + m_rfid.block})) << mode;
        EXPECT_EQ(Ask("l", mode), (std::vector<Bytes>{"r" + FD + m_rfid.block})) << mode;
    }
    EXPECT_EQ(m_rfid.freed, 4);
    m_rfid.result = 0;  // a failed call still has its block given back
    EXPECT_EQ(Ask("i", 1), (std::vector<Bytes>{"r" + FD + "I"}));
    EXPECT_EQ(m_rfid.freed, 5);
}

TEST_F(RfidCommandsTest, ALargeBlockIsSentWhole) {
    m_rfid.block = Bytes(20000, 'x');
    const std::vector<Bytes> replies = Ask("i");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], "r" + FD + m_rfid.block);
}

TEST_F(RfidCommandsTest, GetAndSetProperty) {
    EXPECT_EQ(Ask("gPower"), (std::vector<Bytes>{"r" + FD + "G0=7"}));
    EXPECT_EQ(Ask("sPower=2"), (std::vector<Bytes>{"r" + FD + "S0"}));
    EXPECT_EQ(Ask("sA=b=c"), (std::vector<Bytes>{"r" + FD + "S0"}));  // split at the first '='
    EXPECT_EQ(m_rfid.calls, (std::vector<std::string>{"get Power", "set Power|2", "set A|b=c"}));
    m_rfid.calls.clear();
    // Without '=' or a name nothing is called, and it is a failure.
    EXPECT_EQ(Ask("sPower"), (std::vector<Bytes>{"r" + FD + "S1"}));
    EXPECT_EQ(Ask("s"), (std::vector<Bytes>{"r" + FD + "S1"}));
    EXPECT_EQ(Ask("g"), (std::vector<Bytes>{"r" + FD + "G1"}));
    EXPECT_TRUE(m_rfid.calls.empty());
    m_rfid.result = 0;
    EXPECT_EQ(Ask("sPower=2"), (std::vector<Bytes>{"r" + FD + "S1"}));
    EXPECT_EQ(Ask("gPower"), (std::vector<Bytes>{"r" + FD + "G1"}));
}

TEST_F(RfidCommandsTest, NamesAndValuesEndWithTheirField) {
    for (int mode : {0, 1}) {
        if (mode == 1) Send("B" + FD + "1"), Replies(0);
        m_rfid.calls.clear();
        EXPECT_EQ(Ask("sQ=1" + FD + "R=2", mode), (std::vector<Bytes>{"r" + FD + "S0"})) << mode;
        EXPECT_EQ(Ask("gQ" + FD + "junk", mode), (std::vector<Bytes>{"r" + FD + "G0=7"})) << mode;
        // The packet's delimiter ends the text, and the command ends the packet.
        EXPECT_EQ(Ask("gPower" + FF + "A" + FD + "x", mode), (std::vector<Bytes>{"r" + FD + "G0=7"})) << mode;
        EXPECT_EQ(Ask("sP=3" + FF + "A" + FD + "x", mode), (std::vector<Bytes>{"r" + FD + "S0"})) << mode;
        // An empty field is no name.
        EXPECT_EQ(Ask("g" + FD + "x", mode), (std::vector<Bytes>{"r" + FD + "G1"})) << mode;
        EXPECT_EQ(m_rfid.calls, (std::vector<std::string>{"set Q|1", "get Q", "get Power", "set P|3"})) << mode;
    }
}

TEST_F(RfidCommandsTest, WithoutALibraryEverySubCommandFails) {
    m_rfid.present = false;
    EXPECT_EQ(Ask("i"), (std::vector<Bytes>{"r" + FD + "I"}));
    EXPECT_EQ(Ask("l"), (std::vector<Bytes>{"r" + FD + "I"}));
    EXPECT_EQ(Ask("gPower"), (std::vector<Bytes>{"r" + FD + "G1"}));
    EXPECT_EQ(Ask("sPower=2"), (std::vector<Bytes>{"r" + FD + "S1"}));
    EXPECT_EQ(Ask("r" + Request("T", 1, Bytes("\0\1\0\2", 4))), (std::vector<Bytes>{"r" + FD + "I"}));
    m_core->SetDevices(nullptr);  // no devices hook at all
    EXPECT_EQ(Ask("i"), (std::vector<Bytes>{"r" + FD + "I"}));
}

TEST_F(RfidCommandsTest, ReadHandsTheEntriesNewestFirst) {
    const Bytes entries = Be16(1) + Be16(2) + Be16(3) + Be16(4);
    EXPECT_EQ(Ask("r" + Request("TAG", 2, entries)), (std::vector<Bytes>{"r" + FD + "I" + m_rfid.block}));
    EXPECT_EQ(m_rfid.calls, (std::vector<std::string>{"read TAG 3,4 1,2"}));
    EXPECT_EQ(m_rfid.freed, 1);  // freed after a read too
}

TEST_F(RfidCommandsTest, WriteCopiesEachEntrysData) {
    const Bytes entries = Be16(1) + Be16(2) + "ab" + Be16(3) + Be16(0);
    EXPECT_EQ(Ask("w" + Request("T", 2, entries)), (std::vector<Bytes>{"r" + FD + "I" + m_rfid.block}));
    EXPECT_EQ(m_rfid.calls, (std::vector<std::string>{"write T 3: 1:ab"}));
    EXPECT_EQ(m_rfid.freed, 1);
}

TEST_F(RfidCommandsTest, MalformedRequestsAreRefusedWithoutCallingTheLibrary) {
    const Bytes entry = Be16(1) + Be16(2);
    const struct {
        const char* what;
        Bytes request;
    } cases[] = {
        {"exactly 8 bytes", Bytes("\0\0\0\x05\0\0\0\0", 8)},
        {"tag id longer than the request", Request("TAG", 1, entry).substr(0, 12)},
        {"fewer bytes than 4 per entry", Request("T", 3, entry + entry)},
        {"write data beyond the request", Request("T", 1, Be16(1) + Be16(50) + "abc")},
        {"second write header cut short", Request("T", 2, Be16(1) + Be16(3) + "abc" + "\0\1\0")},
    };
    for (const auto& c : cases) {
        for (const char sub : {'r', 'w'}) {
            if (sub == 'r' && std::string(c.what).find("write") != std::string::npos) continue;
            EXPECT_EQ(Ask(Bytes(1, sub) + c.request), (std::vector<Bytes>{"r" + FD + "I"})) << c.what << " " << sub;
        }
    }
    EXPECT_TRUE(m_rfid.calls.empty());
}

TEST_F(RfidCommandsTest, UnknownSubCommandsAreIgnoredAndTheCommandEndsItsPacket) {
    EXPECT_TRUE(Ask("z").empty());
    EXPECT_TRUE(Ask("").empty());
    // The request runs to the packet's end: a delimiter byte in it never runs as a command.
    const Bytes entries = Be16(0xFF41) + Be16(0xFD00);
    EXPECT_EQ(Ask("r" + Request("T", 1, entries) + FF + "A" + FD),
              (std::vector<Bytes>{"r" + FD + "I" + m_rfid.block}));
}

}  // namespace
}  // namespace coretest
