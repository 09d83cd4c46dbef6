// Arbitrary bytes as a widget stream, then the widgets saved and restored
// twice: after the first save (which settles texts the encoding cannot carry
// back), saving and restoring changes nothing. The first byte chooses the
// framing mode (bit 0) and whether the reply writer is small (bit 1).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/widgets/WidgetManager.h"

namespace {

std::vector<WidgetFields> Fields(const CWidgetManager& m) {
    std::vector<WidgetFields> out;
    for (int i = 0; i < m.Count(); ++i) out.push_back(m.At(i)->Fields());
    return out;
}

// Room for every record: a fixed part per widget (in mode 1 its numbers
// alone, written in decimal, come to about 470 bytes), and a number of up to
// 11 digits may come from two input bytes.
std::string Save(CWidgetManager& m, int mode, size_t inputSize) {
    CPacketBuffer writer(mode, 0xFF, static_cast<int32_t>(6 * inputSize + 1024 * (m.Count() + 1)), 0);
    if (!m.WriteAll(writer)) std::abort();
    return std::string(reinterpret_cast<const char*>(writer.GetData()), static_cast<size_t>(writer.GetLength()));
}

void Restore(CWidgetManager& m, const std::string& bytes, int mode) {
    CPacket packet(mode, 0xFF, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), 0);
    m.LoadAll(packet);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    const int mode = data[0] & 1;
    CPacketFramer framer(nullptr, nullptr, 0);
    framer.SetMode(mode);
    CWidgetManager manager;
    manager.SetFramer(&framer);
    manager.SetCallback([](void*, CWidgetManager*, const CPacketBuffer&) {}, nullptr);
    CPacket packet(mode, 0xFF, data + 1, static_cast<int32_t>(size - 1), 0);
    CPacketBuffer reply(mode, 0xFF, (data[0] & 2) ? 64 : 4096, 0);
    manager.ProcessWidgetStream(packet, &reply);
    for (int i = 0; i < manager.Count(); ++i) manager.At(i)->SendEvent(u"event", i % 3);

    Restore(manager, Save(manager, mode, size), mode);
    const std::vector<WidgetFields> settled = Fields(manager);
    const std::string saved = Save(manager, mode, size);
    Restore(manager, saved, mode);
    if (Fields(manager) != settled || Save(manager, mode, size) != saved) std::abort();
    return 0;
}
