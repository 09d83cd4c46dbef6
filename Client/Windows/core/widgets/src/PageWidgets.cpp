// The bitmap and the HTML page: content of the device file system, never of
// a network. A bitmap is an image file decoded within the window layer's
// limits; taps on it go to the hot spots over it. An HTML page is its label,
// kept as a page file in the temporary folder while the widget lives, or the
// device file a "file:" address names.
#include "core/widgets/ContentWidgets.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/support/LogFile.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/RichText.h"
#include "platform/Text.h"

namespace {

// ---- Bitmap

struct ImageJunk : WidgetJunk {
    ~ImageJunk() override {
        if (image) DeleteObject(image);
    }
    HBITMAP image = 0;
};

ImageJunk* Image(CWidgetWindow& w) { return JunkOf<ImageJunk>(w); }

void LoadImageFile(CWidgetWindow& w) {
    ImageJunk* junk = Image(w);
    if (junk->image) DeleteObject(junk->image), junk->image = 0;
    const std::u16string& label = w.Widget().Fields().label.str();
    const std::u16string path = label.empty() ? std::u16string() : w.Host().FilePath({label, u"DATA"});
    if (!path.empty()) junk->image = plat::gdi::LoadBitmapFile(path);
    InvalidateRect(w.Handle(), nullptr, TRUE);
}

void PaintImage(CWidgetWindow& w) {
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(w.Handle(), &ps);
    if (dc) {
        RECT r{};
        GetClientRect(w.Handle(), &r);
        const HBITMAP image = Image(w)->image;
        if (!image || !plat::gdi::DrawBitmapScaled(dc, r, image)) {
            FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkMode(dc, TRANSPARENT);
            DrawText(dc, u"No image", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
    EndPaint(w.Handle(), &ps);
}

// ---- HTML page

// A page larger than this is not shown (a label is bounded far below it).
constexpr size_t kMaxPageBytes = 1u << 20;

struct PageJunk : WidgetJunk {
    std::unique_ptr<plat::richtext::Page> view;  // what is shown
    std::u16string pageFile; // the label's page file, deleted with the widget
    int scroll = 0;
    int pageHeight = 0;
    int dragFrom = -1;  // the pen's y while it drags the page
};

PageJunk* Page(CWidgetWindow& w) { return JunkOf<PageJunk>(w); }

std::u16string FolderOf(const std::u16string& path) {
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string(u"\\") : path.substr(0, slash);
}

std::vector<uint8_t> ReadDeviceFile(const std::u16string& path, size_t limit) {
    std::vector<uint8_t> bytes;
    FILE* f = plat::fs::OpenFile(path, "rb");
    if (!f) return bytes;
    uint8_t chunk[16384];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (bytes.size() + n > limit) {
            bytes.clear();
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    std::fclose(f);
    return bytes;
}

void DeletePageFile(PageJunk* page) {
    if (!page->pageFile.empty()) plat::fs::DeleteFile(page->pageFile);
    page->pageFile.clear();
}

// Pictures of the device only: a "file:" address, a device path, or a name
// beside the page.
plat::richtext::PictureLoader DevicePictures(const std::u16string& folder) {
    return [folder](std::u16string_view source) -> HBITMAP {
        std::u16string path;
        if (IsHtmlAddress(source)) {
            path = HtmlAddressPath(source);
        } else if (!source.empty()) {
            std::u16string name(source);
            std::replace(name.begin(), name.end(), u'/', u'\\');
            path = name[0] == u'\\' ? name : folder + u"\\" + name;
        }
        return path.empty() ? 0 : plat::gdi::LoadBitmapFile(path);
    };
}

void ShowLabel(CWidgetWindow& w, const std::u16string& label) {
    PageJunk* page = Page(w);
    DeletePageFile(page);
    page->view.reset();
    page->scroll = 0;
    if (IsHtmlAddress(label)) {
        const std::u16string path = HtmlAddressPath(label);
        if (path.empty()) {
            LogPrintf(LOG_NOTE, "HTML widget: the address %s is not shown (only device files are)",
                      plat::text::WideToUtf8(label).c_str());
        } else {
            const std::vector<uint8_t> bytes = ReadDeviceFile(path, kMaxPageBytes);
            page->view = std::make_unique<plat::richtext::Page>(DecodeHtmlPage(bytes.data(), bytes.size()),
                                                                DevicePictures(FolderOf(path)));
        }
    } else {
        // The label is the page: kept as a page file while the widget shows it.
        const std::u16string file = HtmlPageFile(w.Widget().GetId());
        std::string bytes("\xFF\xFE", 2);
        bytes.reserve(2 + label.size() * 2);
        for (char16_t c : label) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
        if (plat::fs::WriteFile(file, bytes.data(), bytes.size())) page->pageFile = file;
        page->view = std::make_unique<plat::richtext::Page>(label, DevicePictures(FolderOf(file)));
    }
    InvalidateRect(w.Handle(), nullptr, TRUE);
}

void PaintPage(CWidgetWindow& w) {
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(w.Handle(), &ps);
    if (dc) {
        RECT r{};
        GetClientRect(w.Handle(), &r);
        PageJunk* page = Page(w);
        const COLORREF text = w.Widget().TextColor(GetSysColor(COLOR_BTNTEXT));
        const COLORREF back = w.Widget().BackColor(GetSysColor(COLOR_WINDOW));
        const int height = page->view ? page->view->Draw(dc, r, page->scroll, text, back) : -1;
        if (height < 0) {
            FillRect(dc, &r, w.ColorBrush(dc));
        } else {
            page->pageHeight = height;
        }
        DrawWidgetBorder(w.Handle(), dc);
    }
    EndPaint(w.Handle(), &ps);
}

void ScrollTo(CWidgetWindow& w, int scroll) {
    PageJunk* page = Page(w);
    RECT r{};
    GetClientRect(w.Handle(), &r);
    scroll = std::clamp(scroll, 0, std::max(0, page->pageHeight - (r.bottom - r.top)));
    if (scroll == page->scroll) return;
    page->scroll = scroll;
    InvalidateRect(w.Handle(), nullptr, FALSE);
}

}  // namespace

// ---- Bitmap

void PrepareBitmap(WidgetCreation& c) {
    c.ownClass = true;
    c.className = u"OV_WIDGET_BITMAP_CLASS";
    c.windowName = u"BITMAP";
}

LRESULT BitmapWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WIDGET_MSG_INIT:
    case WIDGET_MSG_SET_LABEL: LoadImageFile(w); return 0;
    case WM_PAINT: PaintImage(w); return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers the window
    case WM_LBUTTONDOWN: {
        // The hot spots over the picture take the tap first, from this window's coordinates.
        bool handled = false;
        w.Host().RouteMessage(w.Handle(), message, wParam, lParam, &handled);
        break;
    }
    default: break;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

// ---- HTML page

void PrepareHtml(WidgetCreation& c) {
    c.ownClass = true;
    c.className = u"OV_WIDGET_HTML_CLASS";
    c.windowName = u"HTML";
    c.style |= WS_BORDER;
    // The whole owner window unless both sides are given.
    WidgetFields& f = c.widget.MutableFields();
    if (f.width == 0 || f.height == 0) f.mode = WIDGET_MODE_PERCENT, f.row = 0, f.column = 0, f.width = 100, f.height = 100;
}

LRESULT HtmlWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = w.Handle();
    switch (message) {
    case WIDGET_MSG_INIT: ShowLabel(w, w.Widget().Fields().label.str()); return 0;
    case WIDGET_MSG_SET_LABEL:
        ShowLabel(w, lParam ? std::u16string(reinterpret_cast<const char16_t*>(lParam)) : std::u16string());
        return 0;
    case WM_PAINT: PaintPage(w); return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers the window
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); break;
    case WM_DESTROY: DeletePageFile(Page(w)); break;
    case WM_KEYDOWN: {
        RECT r{};
        GetClientRect(hwnd, &r);
        const int line = 16, pageStep = std::max(line, (r.bottom - r.top) - line);
        const int scroll = Page(w)->scroll;
        switch (wParam) {
        case VK_UP: ScrollTo(w, scroll - line); return 0;
        case VK_DOWN: ScrollTo(w, scroll + line); return 0;
        case VK_PRIOR: ScrollTo(w, scroll - pageStep); return 0;
        case VK_NEXT: ScrollTo(w, scroll + pageStep); return 0;
        default:
            if (WidgetTabKey(w, wParam, false)) return 0;
            break;
        }
        break;
    }
    case WM_LBUTTONDOWN:
        ::SetFocus(hwnd);
        Page(w)->dragFrom = GET_Y_LPARAM(lParam);
        SetCapture(hwnd);
        return 0;
    case WM_MOUSEMOVE: {
        PageJunk* page = Page(w);
        if (GetCapture() != hwnd || page->dragFrom < 0) return 0;
        const int y = GET_Y_LPARAM(lParam);
        ScrollTo(w, page->scroll + (page->dragFrom - y));
        page->dragFrom = y;
        return 0;
    }
    case WM_LBUTTONUP:
        Page(w)->dragFrom = -1;
        if (GetCapture() == hwnd) ReleaseCapture();
        return 0;
    default: break;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}
