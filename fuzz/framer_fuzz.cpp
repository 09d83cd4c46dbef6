// Arbitrary bytes through the framer in both modes; every field of every
// packet is read with each reader.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/PacketFramer.h"

namespace {

void ReadAll(CPacket& p) {
    char text[64];
    char16_t wide[64];
    uint8_t raw[64];
    for (int guard = 0; p.BytesLeft() > 0 && guard < 100000; ++guard) {
        p.PeekByte(-1);
        p.GetInt(0);
        p.GetLong(0);
        p.GetULong(0);
        p.GetString(text, sizeof text);
        p.GetString(nullptr, 0);
        p.GetWide(wide, 64, false);
        p.GetWide(wide, 64, true);
        p.GetWide(nullptr, 0, false);
        p.CopyRest(raw, sizeof raw);
        p.CommandLength();
        p.FieldExtent();
        std::unique_ptr<CPacket> rest(p.CloneRest());
        int before = p.GetPosition();
        switch (guard % 5) {
        case 0: p.NextField(); break;
        case 1: p.NextSubField(); break;
        case 2: p.NextItem(); break;
        case 3: p.NextRecord(); break;
        default: p.NextCommand(); break;
        }
        if (p.GetPosition() == before) p.Advance(1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int mode = data[0] & 1;
    const uint8_t delimiter = data[1];
    data += 2;
    size -= 2;
    CPacketFramer f(nullptr, nullptr, (mode ? 65001u : 1252u));
    f.SetMode(mode);
    f.SetCommandDelimiter(delimiter);
    int32_t pos = 0;
    const int32_t len = static_cast<int32_t>(size);
    while (pos < len) {
        std::unique_ptr<CPacket> p(f.Parse(data, pos, len));
        if (p) ReadAll(*p);
    }
    return 0;
}
