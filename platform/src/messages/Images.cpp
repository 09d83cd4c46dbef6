// Bitmaps from image files of the device file system, decoded by the image
// helper library (ImageDecoder.h), and bitmaps drawn scaled.

#include <cstdio>
#include <string>
#include <vector>

#include "../loader/HelperLibrary.h"
#include "ImageDecoder.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"

namespace {

// A file larger than this is no image the device shows.
constexpr size_t kMaxImageFileBytes = 32u << 20;

plat::gdi::image::Decode loadDecoder() {
    auto* get = reinterpret_cast<decltype(&orvade_image_decoder)>(
        plat::loader::LoadBaseHelper("liborvade_image.so", "orvade_image_decoder", "image files are not shown"));
    return get ? get() : nullptr;
}

plat::gdi::image::Decode decoder() {
    static const plat::gdi::image::Decode d = loadDecoder();
    return d;
}

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

}  // namespace

HBITMAP plat::gdi::LoadBitmapFile(std::u16string_view devicePath) {
    FILE* f = plat::fs::OpenFile(devicePath, "rb");
    if (!f) return 0;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    bool tooLarge = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (bytes.size() + n > kMaxImageFileBytes) {
            tooLarge = true;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    std::fclose(f);
    const image::Decode decode = decoder();
    if (tooLarge || bytes.empty() || !decode) return 0;
    Decoded out;
    const auto allocate = [](void* context, int width, int height) -> uint32_t* {
        auto* d = static_cast<Decoded*>(context);
        d->width = width;
        d->height = height;
        d->pixels.assign(size_t(width) * size_t(height), 0);
        return d->pixels.data();
    };
    if (!decode(bytes.data(), bytes.size(), kMaxBitmapSide, kMaxBitmapPixels, allocate, &out)) return 0;
    return CreateBitmapFromPixels(out.width, out.height, out.pixels.data(), out.width);
}

BOOL plat::gdi::DrawBitmapScaled(HDC dc, const RECT& target, HBITMAP bitmap) {
    const SIZE size = GetBitmapSize(bitmap);
    if (!dc || size.cx <= 0 || IsRectEmpty(&target)) return FALSE;
    const HDC memory = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    const BOOL done = StretchBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, memory, 0, 0,
                                 size.cx, size.cy, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    return done;
}
