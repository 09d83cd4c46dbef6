// A connection's bytes as a host might send them, through a fresh mode-0
// framer; every packet is read as each of the three answers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/PacketFramer.h"
#include "discovery/Answers.h"
#include "platform/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    CPacketFramer framer(nullptr, nullptr, CP_ACP);
    int32_t position = 0;
    const int32_t length = static_cast<int32_t>(size);
    while (position < length) {
        CPacket* packet = framer.Parse(data, position, length);
        if (!packet) break;
        discovery::HostAnswer answer;
        discovery::ReadHostAnswer(*packet, u"*", answer);
        if (answer.appName.size() > size_t(discovery::CDiscoveryEngine::kMaxNameChars)) std::abort();
        packet->Reset(packet->GetMode(), packet->GetCommandDelimiter(), packet->GetData(), packet->GetLength(),
                      packet->GetCodePage());
        std::vector<std::u16string> names;
        discovery::ReadListAnswer(*packet, 256, names);
        if (names.size() > 256) std::abort();
        packet->Reset(packet->GetMode(), packet->GetCommandDelimiter(), packet->GetData(), packet->GetLength(),
                      packet->GetCodePage());
        discovery::ReadPortAnswer(*packet);
    }
    return 0;
}
