#include "tapryn/KeyboardFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "core/support/FileHandle.h"
#include "platform/Text.h"

std::u16string KeyRecord::Label() const {
    return plat::text::BytesToWide(CP_ACP, label);
}

RECT KeyRecord::Rect(bool highResolution) const {
    const LONG scale = highResolution ? 2 : 1;
    return RECT{left * scale, top * scale, (left + width) * scale, (top + height) * scale};
}

std::u16string_view KeyboardFile::ErrorText(LoadError error) {
    switch (error) {
        case LoadError::Open: return u"Unable to open the keyboard file.";
        case LoadError::Memory: return u"Unable to allocate memory for the keyboard.";
        case LoadError::Read: return u"Error reading the keyboard file.";
        case LoadError::None: break;
    }
    return {};
}

std::u16string KeyboardFile::PathBeside(std::u16string_view modulePath) {
    const size_t slash = modulePath.rfind(u'\\');
    std::u16string path(slash == std::u16string_view::npos ? std::u16string_view() : modulePath.substr(0, slash + 1));
    return path + kFileName;
}

KeyboardFile::LoadError KeyboardFile::Load(std::u16string_view devicePath) {
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    FileHandle file = OpenDeviceFile(devicePath, "rb");
    struct stat st {};
    if (!file || fstat(fileno(file.get()), &st) != 0 || st.st_size < 0) return LoadError::Open;
    // Only the part a keyboard can reach is kept, so a huge file costs no memory.
    const size_t size = std::min<uint64_t>(static_cast<uint64_t>(st.st_size), kMaxUsefulSize);
    try {
        m_bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return LoadError::Memory;
    }
    if (size != 0 && std::fread(m_bytes.data(), 1, size, file.get()) != size) {
        m_bytes.clear();
        return LoadError::Read;
    }
    return LoadError::None;
}

void KeyboardFile::Assign(std::vector<uint8_t> bytes) {
    if (bytes.size() > kMaxUsefulSize) bytes.resize(kMaxUsefulSize);
    m_bytes = std::move(bytes);
}

std::optional<Keyboard> KeyboardFile::Find(int number) const {
    if (number < 0 || number >= kMaxKeyboards) return std::nullopt;
    const size_t entry = 1 + 2 * static_cast<size_t>(number);
    if (entry + 2 > m_bytes.size()) return std::nullopt;
    const uint16_t offset = static_cast<uint16_t>(m_bytes[entry] | m_bytes[entry + 1] << 8);
    // The start wraps at 64 KiB, as a 16-bit position does.
    const size_t start = static_cast<uint16_t>(kHeaderSize + offset);
    if (start + 2 > m_bytes.size()) return std::nullopt;
    const size_t count = m_bytes[start];
    if (count * KeyRecord::kSize > m_bytes.size() - (start + 2)) return std::nullopt;

    Keyboard keyboard;
    keyboard.number = number;
    keyboard.returnFlag = m_bytes[start + 1] != 0;
    keyboard.keys.resize(count);
    const uint8_t* p = m_bytes.data() + start + 2;
    for (KeyRecord& key : keyboard.keys) {
        const void* end = std::memchr(p, 0, KeyRecord::kLabelMax);
        const size_t labelLen = end ? static_cast<const uint8_t*>(end) - p : KeyRecord::kLabelMax;
        key.label.assign(reinterpret_cast<const char*>(p), labelLen);
        key.left = p[12];
        key.top = p[13];
        key.width = p[14];
        key.height = p[15];
        key.action = p[16];
        key.style = p[17];
        key.code = static_cast<uint16_t>(p[18] | p[19] << 8);
        p += KeyRecord::kSize;
    }
    return keyboard;
}
