// Basic types with the shapes and values the programs were designed around.
// Pointer-carrying slots (message parameters, results) are pointer-sized.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using SHORT = int16_t;
using INT_PTR = intptr_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using LONG_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using ATOM = WORD;
using COLORREF = DWORD;  // 0x00BBGGRR
using HWND = uint32_t;  // a 32-bit handle from the window table; 0 is none
// Pointer-sized handles of the drawing layer; 0 is none.
using HBRUSH = uintptr_t;
using HFONT = uintptr_t;
using HBITMAP = uintptr_t;
using HGDIOBJ = uintptr_t;
using HCURSOR = uintptr_t;
using HICON = uintptr_t;
using HMENU = uintptr_t;  // for child windows: the control id
using HINSTANCE = void*;
using HANDLE = void*;
namespace plat::gdi {
class DeviceContext;
}
using HDC = plat::gdi::DeviceContext*;

struct POINT {
    LONG x;
    LONG y;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
