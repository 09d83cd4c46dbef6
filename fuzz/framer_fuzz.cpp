// Arbitrary bytes through the framer in both modes; every field of every
// packet is read with each reader. The third byte chooses which growths of
// the assembly buffer fail (bit n: every growth numbered n modulo 8), so the
// discarding of a packet that cannot grow is explored too.
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

// A framer whose growths fail as the input says.
class FailingFramer : public CPacketFramer {
public:
    FailingFramer(uint32_t codePage, uint8_t failures) : CPacketFramer(nullptr, nullptr, codePage), m_failures(failures) {}

protected:
    uint8_t* ResizeAssembly(uint8_t* buffer, int32_t used, int32_t size) override {
        if (m_failures & (1u << (m_growths++ % 8))) return nullptr;
        return CPacketFramer::ResizeAssembly(buffer, used, size);
    }

private:
    uint8_t m_failures;
    unsigned m_growths = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int mode = data[0] & 1;
    const uint8_t delimiter = data[1];
    const uint8_t failures = data[2];
    data += 3;
    size -= 3;
    FailingFramer f(mode ? 65001u : 1252u, failures);
    f.SetMode(mode);
    f.SetCommandDelimiter(delimiter);
    int32_t pos = 0;
    const int32_t len = static_cast<int32_t>(size);
    while (pos < len) {
        CPacket* p = f.Parse(data, pos, len);
        if (p && (p->GetLength() > CPacketFramer::kMaxPacket || p->GetLength() > f.GetCapacity())) std::abort();
        if (p) ReadAll(*p);
    }
    return 0;
}
