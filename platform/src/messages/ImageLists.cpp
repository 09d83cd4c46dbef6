// Icons as bitmaps that keep their alpha, and image lists of them.
#include "platform/ImageList.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/Resources.h"

namespace {

constexpr int kMaxSide = 256;
constexpr size_t kMaxImages = 4096;

// Nearest-pixel scaling of w x h pixels to cx x cy.
std::vector<uint32_t> scaled(const std::vector<uint32_t>& from, int w, int h, int cx, int cy) {
    std::vector<uint32_t> out(size_t(cx) * size_t(cy));
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x) out[size_t(y) * size_t(cx) + size_t(x)] = from[size_t(y * h / cy) * size_t(w) + size_t(x * w / cx)];
    return out;
}

struct List {
    int cx = 0, cy = 0;
    std::vector<std::vector<uint32_t>> images;  // 0xAARRGGBB, cx * cy each
};

struct Lists {
    std::mutex mutex;
    std::unordered_map<HIMAGELIST, List> table;
    HIMAGELIST next = HIMAGELIST(uint64_t(0x494D4C) << 32) + 1;  // apart from other handles
};

Lists& lists() {
    static Lists* l = new Lists;
    return *l;
}

// The image's pixels at the list's size, with alpha; false for no image.
bool pixelsFor(HBITMAP image, int cx, int cy, std::vector<uint32_t>* out) {
    std::vector<uint32_t> pixels;
    SIZE size{};
    bool alpha = false;
    if (!plat::gdi::GetBitmapPixels(image, &pixels, &size, &alpha)) return false;
    if (!alpha)
        for (uint32_t& p : pixels) p |= 0xff000000u;
    *out = size.cx == cx && size.cy == cy ? std::move(pixels) : scaled(pixels, int(size.cx), int(size.cy), cx, cy);
    return true;
}

int put(HIMAGELIST list, int index, HBITMAP image) {
    Lists& l = lists();
    int cx, cy;
    {
        std::lock_guard lock(l.mutex);
        auto it = l.table.find(list);
        if (it == l.table.end()) return -1;
        cx = it->second.cx;
        cy = it->second.cy;
    }
    std::vector<uint32_t> pixels;
    if (!pixelsFor(image, cx, cy, &pixels)) return -1;
    std::lock_guard lock(l.mutex);
    auto it = l.table.find(list);
    if (it == l.table.end()) return -1;
    auto& images = it->second.images;
    if (index == -1) {
        if (images.size() >= kMaxImages) return -1;
        images.push_back(std::move(pixels));
        return int(images.size()) - 1;
    }
    if (index < 0 || size_t(index) >= images.size()) return -1;
    images[size_t(index)] = std::move(pixels);
    return index;
}

}  // namespace

HANDLE LoadImage(HMODULE module, const char16_t* id, UINT type, int cx, int cy, UINT) {
    const uintptr_t number = reinterpret_cast<uintptr_t>(id);
    if (type != IMAGE_ICON || number == 0 || number > 0xFFFF) return nullptr;
    const int want = cx > 0 ? std::min(cx, kMaxSide) : 32;
    const int wantY = cy > 0 ? std::min(cy, kMaxSide) : want;
    // The size asked for, else the nearest the module has.
    const plat::res::Icon* icon = plat::res::FindIcon(module, UINT(number), want);
    for (int size : {32, 16, 48, 64, 24})
        if (!icon) icon = plat::res::FindIcon(module, UINT(number), size);
    if (!icon || !icon->pixels || icon->size == 0) return nullptr;
    const std::vector<uint32_t> own(icon->pixels, icon->pixels + size_t(icon->size) * icon->size);
    const std::vector<uint32_t> pixels = icon->size == want && icon->size == wantY ? own : scaled(own, icon->size, icon->size, want, wantY);
    return reinterpret_cast<HANDLE>(plat::gdi::CreateIconFromPixels(want, wantY, pixels.data(), want));
}

HICON LoadIcon(HMODULE module, const char16_t* id) { return HICON(LoadImage(module, id, IMAGE_ICON, 32, 32, 0)); }

BOOL DestroyIcon(HICON icon) { return DeleteObject(icon); }

BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT, HBRUSH, UINT) {
    std::vector<uint32_t> pixels;
    SIZE size{};
    bool alpha = false;
    if (!dc || !plat::gdi::GetBitmapPixels(icon, &pixels, &size, &alpha)) return FALSE;
    if (cx <= 0) cx = int(size.cx);
    if (cy <= 0) cy = int(size.cy);
    if (cx > plat::gdi::kMaxBitmapSide || cy > plat::gdi::kMaxBitmapSide) return FALSE;
    if (cx != size.cx || cy != size.cy) pixels = scaled(pixels, int(size.cx), int(size.cy), cx, cy);
    return plat::gdi::DrawPixels(dc, x, y, plat::gdi::PixelView{pixels.data(), cx, cy, cx, alpha});
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) { return DrawIconEx(dc, x, y, icon, 0, 0, 0, 0, DI_NORMAL); }

HIMAGELIST ImageList_Create(int cx, int cy, UINT, int, int) {
    if (cx <= 0 || cy <= 0 || cx > kMaxSide || cy > kMaxSide) return 0;
    Lists& l = lists();
    std::lock_guard lock(l.mutex);
    const HIMAGELIST h = l.next++;
    l.table[h] = List{cx, cy, {}};
    return h;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
    Lists& l = lists();
    std::lock_guard lock(l.mutex);
    return l.table.erase(list) ? TRUE : FALSE;
}

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon) { return put(list, index, icon); }
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP) { return put(list, -1, image); }

BOOL ImageList_Remove(HIMAGELIST list, int index) {
    Lists& l = lists();
    std::lock_guard lock(l.mutex);
    auto it = l.table.find(list);
    if (it == l.table.end()) return FALSE;
    auto& images = it->second.images;
    if (index == -1) {
        images.clear();
        return TRUE;
    }
    if (index < 0 || size_t(index) >= images.size()) return FALSE;
    images.erase(images.begin() + index);
    return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list) {
    Lists& l = lists();
    std::lock_guard lock(l.mutex);
    auto it = l.table.find(list);
    return it == l.table.end() ? 0 : int(it->second.images.size());
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
    Lists& l = lists();
    std::lock_guard lock(l.mutex);
    auto it = l.table.find(list);
    if (it == l.table.end()) return FALSE;
    if (cx) *cx = it->second.cx;
    if (cy) *cy = it->second.cy;
    return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT) {
    std::vector<uint32_t> pixels;
    int cx, cy;
    {
        Lists& l = lists();
        std::lock_guard lock(l.mutex);
        auto it = l.table.find(list);
        if (it == l.table.end() || index < 0 || size_t(index) >= it->second.images.size()) return FALSE;
        pixels = it->second.images[size_t(index)];
        cx = it->second.cx;
        cy = it->second.cy;
    }
    return plat::gdi::DrawPixels(dc, x, y, plat::gdi::PixelView{pixels.data(), cx, cy, cx, true});
}
