#include <algorithm>
#include <cstring>

#include "core/extensions/Extensions.h"

namespace {

struct Symbology {
    uint32_t code;   // only the low byte is compared
    uint8_t index;   // 255: none
    const char* name;
};

// The host's names of the decoders; the first row of a code or name wins
// (0xF4 stands twice: by code it is "UPC_EAN_SETTINGS", by name "SUPPS" too).
constexpr Symbology kSymbologies[] = {
    {0x30, 0, "UPC_E0"},       {0x31, 1, "UPC_E1"},        {0x32, 2, "UPC_A"},          {0x33, 3, "MSI"},
    {0x34, 4, "EAN_8"},        {0x35, 5, "EAN_13"},        {0x36, 6, "CODABAR"},        {0x37, 7, "CODE_39"},
    {0x38, 8, "CODE_D25"},     {0x39, 9, "CODE_I25"},      {0x3A, 10, "CODE_11"},       {0x3B, 11, "CODE_93"},
    {0x3C, 12, "CODE_128"},    {0x3E, 14, "D25_IATA"},     {0x3F, 15, "UCC_128"},       {0x40, 13, "PDF_417"},
    {0x41, 23, "ISBT128"},     {0x42, 18, "TO_39"},        {0x43, 24, "COUPON"},        {0x44, 17, "B_UPC"},
    {0x45, 25, "MICROPDF"},    {0x46, 22, "CODE32"},       {0x47, 26, "MACROPDF"},      {0x48, 27, "MAXICODE"},
    {0x49, 28, "DATAMATRIX"},  {0x4A, 29, "QRCODE"},       {0x4B, 30, "MACROMICROPDF"}, {0x4C, 31, "RSS14"},
    {0x4D, 32, "RSSLIM"},      {0x4E, 33, "RSSEXP"},       {0x50, 255, "POINTER"},      {0x51, 255, "IMAGE"},
    {0x52, 255, "SIGNATURE"},  {0x54, 34, "WEBCODE"},      {0x55, 35, "CUECODE"},       {0x56, 36, "COMPOSITE"},
    {0x58, 37, "TLC39"},       {0x61, 38, "POSTNET"},      {0x62, 39, "PLANET"},        {0x63, 40, "UKPOSTAL"},
    {0x64, 41, "JAPPOSTAL"},   {0x65, 42, "AUSPOSTAL"},    {0x66, 43, "DUTCHPOSTAL"},   {0x67, 44, "CANPOSTAL"},
    {0xA0, 45, "AZTEC"},       {0xA1, 46, "AZTEC_MESA"},   {0xA2, 47, "CODE49"},        {0xA3, 48, "OCR"},
    {0xA4, 49, "CODABLOCK"},   {0xA5, 50, "MATRIX25"},     {0xA6, 51, "PLESSEY"},       {0xA7, 52, "CHINAPOSTAL"},
    {0xA8, 53, "KOREAPOSTAL"}, {0xA9, 54, "TELEPEN"},      {0xAA, 55, "CODE16K"},       {0xAB, 56, "POSICODE"},
    {0xAC, 57, "USPS4CB"},     {0xAD, 255, "IDTAG"},       {0xF4, 255, "UPC_EAN_SETTINGS"}, {0xF4, 21, "SUPPS"},
};

const Symbology* ByCode(uint32_t code) {
    for (const Symbology& s : kSymbologies) {
        if ((s.code & 0xFF) == (code & 0xFF)) return &s;
    }
    return nullptr;
}

}  // namespace

uint8_t DecoderIndexFromCode(uint32_t code) {
    const Symbology* s = ByCode(code);
    return s ? s->index : 255;
}

const char* SymbologyNameFromCode(uint32_t code) {
    const Symbology* s = ByCode(code);
    return s ? s->name : nullptr;
}

uint8_t SymbologyCodeFromName(std::string_view name) {
    for (const Symbology& s : kSymbologies) {
        if (name == s.name) return static_cast<uint8_t>(s.code);
    }
    return 242;
}

BOOL DecoderListContains(const DecoderList* list, uint8_t decoder) {
    if (!list) return FALSE;
    const uint32_t count = std::min<uint32_t>(list->count, kMaxDecoders);
    return std::find(list->decoders, list->decoders + count, decoder) != list->decoders + count;
}

BOOL DecoderListAdd(DecoderList* list, uint8_t decoder) {
    if (!list) return FALSE;
    if (DecoderListContains(list, decoder)) return TRUE;
    if (list->count >= kMaxDecoders) return FALSE;
    list->decoders[list->count++] = decoder;
    return TRUE;
}

BOOL DecoderListRemove(DecoderList* list, uint8_t decoder) {
    if (!list) return FALSE;
    const uint32_t count = std::min<uint32_t>(list->count, kMaxDecoders);
    uint8_t* end = std::remove(list->decoders, list->decoders + count, decoder);
    list->count = static_cast<uint32_t>(end - list->decoders);
    return TRUE;
}
