// The dispatcher's table: for each command byte the group that handles it,
// the handler slot and the command's rules. Each command group registers its
// own bytes with their rules; the core's dispatcher looks the byte up, keeps
// the rules and calls the slot.
#pragma once

#include <array>
#include <cstdint>

#include "common/Packet.h"
#include "core/session/ReplyChannel.h"

// The command bytes of the host protocol, by keyword.
namespace cmd {
constexpr uint8_t kSetAltPacketDelimiter = '0';
constexpr uint8_t kGETEVENT = '1';
constexpr uint8_t kCOMMANDEVENT = '2';
constexpr uint8_t kRfPrint = '3';
constexpr uint8_t kRfPrint2 = '(';
constexpr uint8_t kRfInput = '5';
constexpr uint8_t kRfInputNoKey = 'i';  // RfInput whose text goes without the key
constexpr uint8_t kRFAUX = '6';
constexpr uint8_t kPRINTFILE = '7';
constexpr uint8_t kDisconnect = '9';
constexpr uint8_t kPing = 'A';
constexpr uint8_t kGETTERMINFO = 'B';
constexpr uint8_t kSETTERMINFO = 'C';
constexpr uint8_t kGETDECODERS = 'D';
constexpr uint8_t kSETDECODERS = 'E';
constexpr uint8_t kTELLEVENT = 'F';
constexpr uint8_t kRETRIEVEFILE = 'G';
constexpr uint8_t kRETRIEVEFILE2 = 'R';
constexpr uint8_t kSTOREFILE = 'H';
constexpr uint8_t kSendFile = 'X';
constexpr uint8_t kDELETEFILE = 'I';
constexpr uint8_t kPUSHBAR = 'J';
constexpr uint8_t kPULLBAR = 'K';
constexpr uint8_t kLISTBAR = 'L';
constexpr uint8_t kRFMENU = 'M';
constexpr uint8_t kLISTMENUFILES = 'N';
constexpr uint8_t kPUSHSCREEN = 'O';
constexpr uint8_t kPULLSCREEN = 'P';
constexpr uint8_t kRESTORESCREEN = 'Q';
constexpr uint8_t kLISTFILE = 'S';
constexpr uint8_t kPLAYTONE = 'T';
constexpr uint8_t kRFERROR = 'V';
constexpr uint8_t kMODESELECT = 'Y';
constexpr uint8_t kLoadKeyMap = 'a';
constexpr uint8_t kSYSTEMCALL = 'U';
constexpr uint8_t kWAK = 'Z';
constexpr uint8_t kRFSPOOL = 'c';
constexpr uint8_t kCOMDATAEVENT = 'd';
constexpr uint8_t kSCANNERON = 'e';
constexpr uint8_t kFILESELECTEX = 'f';
constexpr uint8_t kGETFILE = 'g';
constexpr uint8_t kSETTIME = 't';
constexpr uint8_t kWIDGETACTION = 'w';
constexpr uint8_t kCOMMONDLG = 'p';
constexpr uint8_t kKILLCMD = 'k';
constexpr uint8_t kGetExtendedInfo = 0xB0;
constexpr uint8_t kSetExtendedInfo = 0xB1;
constexpr uint8_t kMakeDir = '#';
constexpr uint8_t kDeleteDir = '$';
constexpr uint8_t kGetIniString = '!';
constexpr uint8_t kSetIniString = '"';
constexpr uint8_t kCOUNTFILES = '%';
constexpr uint8_t kRfidEvent = 'r';
// Bytes a host may send that have no handler and are passed over silently.
constexpr uint8_t kSilent[] = {0x00, '&', '\'', '4', 0xA1};
}  // namespace cmd

// What a command answers when it cannot finish (memory ran out while it
// ran): nothing, an empty text, or a number, under its own byte or another.
struct ErrorAnswer {
    enum class Kind : uint8_t { None, Text, Number };
    Kind kind = Kind::None;
    int32_t number = 0;
    uint8_t code = 0;  // 0: the command's own byte

    static constexpr ErrorAnswer Text() { return {Kind::Text, 0, 0}; }
    static constexpr ErrorAnswer Number(int32_t n, uint8_t answerCode = 0) { return {Kind::Number, n, answerCode}; }
};

// What the dispatcher does for a command besides calling it.
struct CommandRules {
    ErrorAnswer error;
    // MODESELECT's mode stays for it; every other command clears it first.
    bool keepsModeSelect = false;
    // Nothing after it in its packet runs.
    bool endsPacket = false;

    static constexpr CommandRules Answering(ErrorAnswer answer) {
        CommandRules rules;
        rules.error = answer;
        return rules;
    }
    static constexpr CommandRules KeepingModeSelect() {
        CommandRules rules;
        rules.keepsModeSelect = true;
        return rules;
    }
    static constexpr CommandRules EndingPacket() {
        CommandRules rules;
        rules.endsPacket = true;
        return rules;
    }
};

class CCommandTable {
public:
    using Handler = void (*)(void* group, CPacket* pkt, uint8_t code);

    // The group's member function handles the byte under the rules (the last
    // registration wins).
    template <auto Method, class Group>
    void Register(uint8_t code, Group& group, CommandRules rules = {}) {
        m_slots[code] = {&group, [](void* g, CPacket* pkt, uint8_t c) { (static_cast<Group*>(g)->*Method)(pkt, c); },
                         rules};
    }
    template <auto Method, class Group>
    void Register(uint8_t code, Group& group, ErrorAnswer error) {
        Register<Method>(code, group, CommandRules::Answering(error));
    }
    bool Has(uint8_t code) const { return m_slots[code].handler != nullptr; }
    // Only for a byte that Has.
    void Call(uint8_t code, CPacket* pkt) const {
        const Slot& slot = m_slots[code];
        slot.handler(slot.group, pkt, code);
    }
    // The byte's rules; a byte without a handler has none.
    const CommandRules& Rules(uint8_t code) const { return m_slots[code].rules; }
    // Sends the byte's error answer, if it has one.
    void AnswerError(uint8_t code, IReplyChannel& replies) const {
        const ErrorAnswer& answer = m_slots[code].rules.error;
        const uint8_t answerCode = answer.code ? answer.code : code;
        if (answer.kind == ErrorAnswer::Kind::Text) replies.SendTextReply(answerCode, u"");
        if (answer.kind == ErrorAnswer::Kind::Number) replies.SendIntReply(answerCode, answer.number);
    }

private:
    struct Slot {
        void* group = nullptr;
        Handler handler = nullptr;
        CommandRules rules;
    };
    std::array<Slot, 256> m_slots{};
};
