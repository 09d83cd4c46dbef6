// Icons from the resource library (platform/Resources.h) as HICON, and image
// lists: numbered pictures of one size that list views and menus draw.
// Icons keep their alpha and are drawn over what is there; an image list
// scales what it is given to its size (nearest pixel).
#pragma once

#include "platform/Gdi.h"
#include "platform/Library.h"

constexpr UINT IMAGE_CURSOR = 2;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_DEFAULTSIZE = 0x0040;

constexpr UINT DI_NORMAL = 0x0003;

inline const char16_t* MAKEINTRESOURCE(UINT id) { return reinterpret_cast<const char16_t*>(uintptr_t(WORD(id))); }

// The module's icon at 32 pixels; 0 when it has none.
HICON LoadIcon(HMODULE module, const char16_t* id);
// IMAGE_ICON by number (MAKEINTRESOURCE) at cx pixels (0: 32), scaled from
// the nearest size the module has; other types and names give null.
HANDLE LoadImage(HMODULE module, const char16_t* id, UINT type, int cx, int cy, UINT flags);
BOOL DestroyIcon(HICON icon);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
// cx or cy 0: the icon's own size.
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH background, UINT flags);

using HIMAGELIST = uintptr_t;

constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLOR32 = 0x0020;
constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;

// Sides of 1 to 256 pixels; at most 4096 images.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
// The new image's index; -1 on failure. index -1 appends.
int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon);
inline int ImageList_AddIcon(HIMAGELIST list, HICON icon) { return ImageList_ReplaceIcon(list, -1, icon); }
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// index -1 removes them all.
BOOL ImageList_Remove(HIMAGELIST list, int index);
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
