// Bitmaps and pictures from image files of the device file system, decoded
// and scaled by the image helper library (ImageDecoder.h), and bitmaps drawn
// scaled.

#include <cstdio>
#include <string>
#include <vector>

#include "../loader/HelperLibrary.h"
#include "ImageDecoder.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/Picture.h"

namespace {

// A file larger than this is no image the device shows.
constexpr size_t kMaxImageFileBytes = 32u << 20;

const plat::gdi::image::Functions* loadHelper() {
    auto* get = reinterpret_cast<decltype(&orvade_image_functions)>(
        plat::loader::LoadBaseHelper("liborvade_image.so", "orvade_image_functions", "image files are not shown"));
    return get ? get() : nullptr;
}

const plat::gdi::image::Functions* helper() {
    static const plat::gdi::image::Functions* const h = loadHelper();
    return h;
}

// The whole file, when it is no longer than limit bytes.
bool readFile(std::u16string_view devicePath, size_t limit, std::vector<uint8_t>* bytes) {
    FILE* f = plat::fs::OpenFile(devicePath, "rb");
    if (!f) return false;
    uint8_t chunk[65536];
    size_t n;
    bool fits = true;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (bytes->size() + n > limit) {
            fits = false;
            break;
        }
        bytes->insert(bytes->end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return fits && !failed;
}

// The helper's pixels go into a picture, within the layer's limits.
uint32_t* allocate(void* context, int width, int height) {
    auto* p = static_cast<plat::gdi::Picture*>(context);
    if (width <= 0 || height <= 0 || width > plat::gdi::kMaxBitmapSide || height > plat::gdi::kMaxBitmapSide)
        return nullptr;
    p->width = width;
    p->height = height;
    p->pixels.assign(size_t(width) * size_t(height), 0);
    return p->pixels.data();
}

}  // namespace

HBITMAP plat::gdi::LoadBitmapFile(std::u16string_view devicePath) {
    std::vector<uint8_t> bytes;
    if (!readFile(devicePath, kMaxImageFileBytes, &bytes) || bytes.empty() || !helper()) return 0;
    Picture out;
    if (!helper()->decode(bytes.data(), bytes.size(), kMaxBitmapSide, kMaxBitmapPixels, &allocate, &out)) return 0;
    return CreateBitmapFromPixels(out.width, out.height, out.pixels.data(), out.width);
}

bool plat::gdi::LoadPicture(std::u16string_view devicePath, size_t maxFileBytes, int maxSide, Picture* picture) {
    if (!picture) return false;
    *picture = Picture();
    std::vector<uint8_t> bytes;
    if (devicePath.empty() || maxSide <= 0 || maxSide > kMaxBitmapSide || !readFile(devicePath, maxFileBytes, &bytes) ||
        !helper())
        return false;
    if (helper()->decodeAsStored(bytes.data(), bytes.size(), maxSide, &allocate, picture)) return true;
    *picture = Picture();
    return false;
}

plat::gdi::Picture plat::gdi::ScalePicture(const Picture& picture, int width, int height) {
    Picture scaled;
    if (picture.Empty() || width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
        !helper())
        return scaled;
    if (!helper()->scale(picture.pixels.data(), picture.width, picture.height, picture.width, width, height, &allocate,
                         &scaled))
        return Picture();
    return scaled;
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
