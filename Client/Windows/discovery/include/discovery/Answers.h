// Reading the hosts' answers, one packet at a time (the engine hands each
// complete packet of a connection here; the fuzz target does the same).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Packet.h"
#include "discovery/DiscoveryEngine.h"

namespace discovery {

// A host answer: anything, 0xFE, name, 0xFD, port, 0xFD, flag byte. Fills
// the name, port, version and type; the address is the caller's.
void ReadHostAnswer(CPacket& packet, std::u16string_view token, HostAnswer& answer);

// A list answer: 'H', five 0xFE units, then names one a 0xFD field up to an
// empty one. At most room names are taken. False when the packet is not a
// list answer.
bool ReadListAnswer(CPacket& packet, int room, std::vector<std::u16string>& names);

// A port answer: any, name (non-empty), any, port. Nothing when the name is empty.
std::optional<uint16_t> ReadPortAnswer(CPacket& packet);

}  // namespace discovery
