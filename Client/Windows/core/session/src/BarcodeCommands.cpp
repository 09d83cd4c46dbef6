// The barcode and scanner commands: the host enables and disables decoders
// by symbology name and sets their lengths and one parameter each, applies
// barcode files of the BARCODES folder, lists them and switches the scanner.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/session/BarcodeCommands.h"

#include "core/session/LogicalFolders.h"
#include "core/support/DevicePath.h"
#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"
#include "platform/DeviceFs.h"
#include "platform/Text.h"

namespace {

constexpr int32_t kSymbologyNameUnits = 50;
constexpr uint8_t kUpcEanSettings = 0xF4;
// Codes that are not decoders: never enabled by "every supported decoder".
constexpr uint8_t kNonDecoders[] = {0x52, 0x51, 0x50, 0xAD, kUpcEanSettings};
// Barcode files are small; anything larger is not one.
constexpr int32_t kMaxBarcodeFile = 1 << 20;

bool IsNonDecoder(uint8_t code) {
    return std::find(std::begin(kNonDecoders), std::end(kNonDecoders), code) != std::end(kNonDecoders);
}

// The record word that carries a decoder's one parameter; -1 when none.
int ParameterWord(int code) {
    switch (code) {
    case 0x30: case 0x31: case 0x32: return 4;
    case 0x33: return 3;
    case 0x34: return 2;
    case 0x37: case kUpcEanSettings: return 5;
    default: return -1;
    }
}

// A barcode file's name: ".BAR" appended when it has no dot (a refused name stays empty).
std::u16string BarcodeFileName(CPacket* pkt) {
    std::u16string name = ReadHostName(pkt);
    if (!name.empty() && name.find(u'.') == std::u16string::npos) name += u".BAR";
    return name;
}

bool Contains(const std::vector<uint8_t>& list, uint8_t code) {
    return std::find(list.begin(), list.end(), code) != list.end();
}

void Remove(std::vector<uint8_t>& list, uint8_t code) { list.erase(std::remove(list.begin(), list.end(), code), list.end()); }

}  // namespace

int32_t CBarcodeCommands::SetDecoders(CPacket& pkt) {
    // Readers of the parameters, enabled flags, minimums, maximums and list mode.
    std::unique_ptr<CPacket> lists[5];
    for (int i = 0; i < 5; ++i) {
        lists[i] = pkt.CloneRest();
        if (!lists[i]) return 1;
        for (int k = 0; k <= i; ++k) lists[i]->NextSubField();
    }
    if (pkt.PeekByte(-1) == PKT_END_ITEM) {
        pkt.NextItem();
        for (int i = 0; i < 4; ++i) lists[i]->NextItem();
    }
    ICoreScanner& scanner = *m_scanner;
    if (!scanner.IsPresent()) return 1;
    scanner.SetScannerState(1);
    std::vector<uint8_t> supported;
    std::vector<uint8_t> working;
    if (!scanner.GetSupportedDecoders(&supported) || !scanner.GetEnabledDecoders(&working)) return 1;
    const int32_t mode = lists[4]->GetInt(0);
    if (mode == 1) {
        working.clear();
    } else if (mode != 0) {
        working.clear();
        for (uint8_t code : supported)
            if (!IsNonDecoder(code)) working.push_back(code);
    }

    while (pkt.GetFieldLength() > 0) {
        char16_t name[kSymbologyNameUnits];
        pkt.GetWide(name, kSymbologyNameUnits);
        const uint32_t parameter = lists[0]->GetULong(0);
        // 2 is a second way to say disabled; every other value but 0 enables.
        const int32_t flag = lists[1]->GetInt(0);
        const int32_t enabled = flag != 0 && flag != 2 ? 1 : 0;
        const uint32_t minimum = lists[2]->GetULong(0);
        const uint32_t maximum = lists[3]->GetULong(0);
        const int code = scanner.SymbologyCode(plat::text::WideToUtf8(name));
        if (code != SYMBOLOGY_UNKNOWN) {
            const auto byte = static_cast<uint8_t>(code);
            if (!enabled) {
                Remove(working, byte);
            } else {
                if (Contains(supported, byte) && !Contains(working, byte)) working.push_back(byte);
                int32_t record[DECODER_RECORD_WORDS] = {};
                // Without the decoder's record there is nothing to change in it.
                if (scanner.GetDecoderParameters(code, record)) {
                    int32_t changed[DECODER_RECORD_WORDS];
                    std::copy(std::begin(record), std::end(record), changed);
                    if (code == kUpcEanSettings) {
                        changed[3] = minimum != 0 ? 1 : 0;
                        changed[4] = maximum != 0 ? 1 : 0;
                        changed[6] = 10;
                    } else {
                        changed[0] = static_cast<int32_t>(minimum);
                        changed[1] = static_cast<int32_t>(maximum);
                    }
                    if (ParameterWord(code) >= 0) changed[ParameterWord(code)] = static_cast<int32_t>(parameter);
                    if (!std::equal(std::begin(record), std::end(record), changed))
                        scanner.SetDecoderParameters(code, changed);
                }
            }
        }
        pkt.NextItem();
        for (int i = 0; i < 4; ++i) lists[i]->NextItem();
    }

    // The recorded decoder settings: -1 switches a decoder, others set a word.
    const std::vector<DecoderTriple>& settings = m_decoders.Settings();
    for (size_t i = 0; i < settings.size();) {
        const int32_t decoder = settings[i].decoder;
        if (settings[i].parameter == -1) {
            const auto byte = static_cast<uint8_t>(decoder);
            Remove(working, byte);
            if (settings[i].value != 0) working.push_back(byte);
            ++i;
            continue;
        }
        int32_t record[DECODER_RECORD_WORDS] = {};
        const bool fetched = scanner.GetDecoderParameters(decoder, record);
        int32_t changed[DECODER_RECORD_WORDS];
        std::copy(std::begin(record), std::end(record), changed);
        for (; i < settings.size() && settings[i].decoder == decoder && settings[i].parameter != -1; ++i) {
            const int32_t word = 2 + settings[i].parameter;
            if (word >= 0 && word < DECODER_RECORD_WORDS) changed[word] = settings[i].value;
        }
        if (fetched && !std::equal(std::begin(record), std::end(record), changed))
            scanner.SetDecoderParameters(decoder, changed);
    }
    scanner.SetEnabledDecoders(working);
    return 1;
}

int32_t CBarcodeCommands::SetDecodersFromFile(std::u16string name) {
    LogWrite(LOG_TRACE, "OVCSetDecodersFromFile");
    std::u16string dir;
    BuildFolderPath(dir, name, u"BARCODES");
    if (dir.empty() && (name.empty() || name[0] != u'\\')) dir = u"\\";
    const std::u16string path = FileUtil::JoinPath(dir, name);
    std::vector<uint8_t> bytes;
    if (FILE* f = plat::fs::OpenFile(path, "rb")) {
        uint8_t chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && bytes.size() < kMaxBarcodeFile)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    if (bytes.empty()) return 0;
    CPacket packet(m_session.FramingMode(), 0xFF, bytes.data(), static_cast<int32_t>(bytes.size()),
                   m_session.CodePage());
    SetDecoders(packet);
    return 1;
}

int CBarcodeCommands::GETDECODERS(CPacket*, uint8_t) {
    LogWrite(LOG_TRACE, "GETDECODERS");
    return 0;
}

int CBarcodeCommands::SETDECODERS(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "SETDECODERS");
    SetDecoders(*pkt);
    m_replies.SendIntReply('E', 1);
    return 0;
}

int CBarcodeCommands::PULLBAR(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "PULLBAR");
    // One name for the apply and the delete: a set-up is never deleted unapplied.
    std::u16string name = BarcodeFileName(pkt);
    const int32_t applied = SetDecodersFromFile(name);
    m_replies.SendIntReply('K', applied ? 0 : 1);
    std::u16string dir;
    BuildFolderPath(dir, name, u"DATA");
    if (dir.empty() && (name.empty() || name[0] != u'\\')) dir = u"\\";
    const std::u16string pattern = FileUtil::JoinPath(dir, name);
    const size_t cut = pattern.rfind(u'\\');
    const std::u16string folder = cut == std::u16string::npos ? u"" : pattern.substr(0, cut + 1);
    for (const plat::fs::FindData& f : plat::fs::FindFiles(pattern))
        if (!f.isDirectory && FileUtil::HostMayChange(folder + f.name)) plat::fs::DeleteFile(folder + f.name);
    return 0;
}

int CBarcodeCommands::PUSHBAR(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "PUSHBAR");
    const std::u16string name = ReadHostName(pkt);
    const std::u16string folder = BarcodeFolder();
    FileUtil::MakeHostFolder(folder);
    std::string lists[5];
    ICoreScanner& scanner = *m_scanner;
    std::vector<uint8_t> supported;
    std::vector<uint8_t> enabled;
    if (scanner.IsPresent()) {
        scanner.SetScannerState(1);
        scanner.GetSupportedDecoders(&supported);
        scanner.GetEnabledDecoders(&enabled);
    }
    for (uint8_t code : supported) {
        const std::u16string symbology = scanner.SymbologyName(code);
        if (symbology.empty()) continue;
        int32_t record[DECODER_RECORD_WORDS] = {};
        scanner.GetDecoderParameters(code, record);
        int32_t parameter = ParameterWord(code) >= 0 ? record[ParameterWord(code)] : 0;
        int32_t minimum = code == kUpcEanSettings ? record[3] : record[0];
        int32_t maximum = code == kUpcEanSettings ? record[4] : record[1];
        const std::string values[5] = {plat::text::WideToUtf8(symbology), std::to_string(parameter),
                                       Contains(enabled, code) ? "1" : "0", std::to_string(minimum),
                                       std::to_string(maximum)};
        for (int i = 0; i < 5; ++i) lists[i] += '\xFB' + values[i];
    }
    // No list mode: applying the file changes the enabled decoders in place.
    std::string content = lists[0];
    for (int i = 1; i < 5; ++i) content += '\xFC' + lists[i];
    if (supported.empty()) content.clear();
    const std::u16string path = FileUtil::JoinPath(folder, name);
    const bool written = FileUtil::HostMayWrite(path) && plat::fs::WriteFile(path, content.data(), content.size());
    m_replies.SendIntReply('J', written ? 0 : 1);
    return 0;
}

std::u16string CBarcodeCommands::BarcodeFolder() const {
    return m_appFolder + u"\\" + FindFolder(u"BARCODES", {}).value_or(u"BARCODES");
}

int CBarcodeCommands::LISTBAR(CPacket*, uint8_t) {
    LogWrite(LOG_TRACE, "LISTBAR");
    CPacketBuffer* writer = m_replies.Writer();
    if (!writer) return 0;
    const std::u16string folder = BarcodeFolder();
    writer->Reset();
    writer->AppendByte('L').EndField();
    for (const plat::fs::FindData& f : plat::fs::FindFiles(FileUtil::JoinPath(folder, u"*.BAR")))
        if (!f.isDirectory) writer->AppendWide(f.name.c_str()).EndField();
    m_replies.SendReply(*writer);
    return 0;
}

int CBarcodeCommands::SCANNERON(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "SCANNERON");
    SetDecodersFromFile(ReadHostName(pkt));
    m_replies.SendIntReply('e', m_scanner->IsPresent() ? 1 : 0);
    m_session.EnableScanner(true);
    m_devices->EnableRfid(true);
    return 0;
}

void CBarcodeCommands::Register(CCommandTable& table) {
    table.Register<&CBarcodeCommands::GETDECODERS>(cmd::kGETDECODERS, *this);
    table.Register<&CBarcodeCommands::SETDECODERS>(cmd::kSETDECODERS, *this, ErrorAnswer::Number(0));
    table.Register<&CBarcodeCommands::PUSHBAR>(cmd::kPUSHBAR, *this, ErrorAnswer::Number(1));
    table.Register<&CBarcodeCommands::PULLBAR>(cmd::kPULLBAR, *this, ErrorAnswer::Number(1));
    table.Register<&CBarcodeCommands::LISTBAR>(cmd::kLISTBAR, *this, ErrorAnswer::Text());
    table.Register<&CBarcodeCommands::SCANNERON>(cmd::kSCANNERON, *this, ErrorAnswer::Number(0));
}
