// What the benchmarks that play the host share: packets as a host frames
// them, and a device root of their own.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/PacketFramer.h"

namespace benchhost {

using Bytes = std::vector<uint8_t>;

inline void Collect(void* ctx, int count, const uint8_t* const* pieces, const int32_t* lengths) {
    auto* out = static_cast<Bytes*>(ctx);
    for (int i = 0; i < count; ++i) out->insert(out->end(), pieces[i], pieces[i] + lengths[i]);
}

// One packet in the segments of the given mode.
inline Bytes Frame(int mode, const Bytes& payload) {
    Bytes wire;
    CPacketFramer framer(&Collect, &wire, 0);
    framer.SetMode(mode);
    CPacketBuffer writer(mode, 0xFF, static_cast<int32_t>(payload.size()) + 1, 0);
    writer.AppendBytes(payload.data(), static_cast<int32_t>(payload.size()));
    framer.Send(writer);
    return wire;
}

// A Ping of the given payload size: 'A', 0xFD and filler. Its reply is the
// same payload, so in the same mode the same wire bytes.
inline Bytes Ping(int size) {
    Bytes payload(static_cast<size_t>(size), 'p');
    payload[0] = 'A';
    payload[1] = 0xFD;
    return payload;
}

// GETTERMINFO asking for mode 1; it is answered in mode 0, later replies in mode 1.
inline Bytes AskForMode1() { return Frame(0, {'B', 0xFD, '1'}); }

// A device root for the run, removed at exit.
inline const std::string& DeviceRoot() {
    static const struct Root {
        std::string path;
        Root() {
            char pattern[] = "/tmp/orvade-bench-XXXXXX";
            if (mkdtemp(pattern)) path = pattern;
        }
        ~Root() {
            std::error_code ec;
            if (!path.empty()) std::filesystem::remove_all(path, ec);
        }
    } root;
    return root.path;
}

}  // namespace benchhost
