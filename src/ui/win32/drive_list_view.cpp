#include "ui/win32/drive_list_view.h"

#include <string>

#include "ui/win32/resource_ids.h"

namespace orvane::ui {
namespace {

COLORREF ToColorRef(app::Rgb c) { return RGB(c.r, c.g, c.b); }

void Fill(HDC dc, const RECT& r, app::Rgb colour) {
    UniqueBrush brush(CreateSolidBrush(ToColorRef(colour)));
    if (brush) FillRect(dc, &r, brush.get());
}

std::wstring ItemText(HWND list, UINT item) {
    LRESULT n = SendMessageW(list, CB_GETLBTEXTLEN, item, 0);
    if (n == CB_ERR || n <= 0) return {};
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    LRESULT got = SendMessageW(list, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : static_cast<size_t>(got));
    return text;
}

std::wstring ControlText(HWND control) {
    int n = GetWindowTextLengthW(control);
    if (n <= 0) return {};
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), n + 1)));
    return text;
}

// The disabled look: only the text, in the middle of the whole control, whatever the item's place.
void DrawCentred(HDC dc, HWND control, const std::wstring& text) {
    RECT whole;
    GetWindowRect(control, &whole);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    int x = ((whole.right - whole.left) - size.cx) / 2;
    int y = ((whole.bottom - whole.top) - size.cy) / 2;
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// What both lists share: the item's own background, then the gradient for a selected item or a
// disabled list. The background goes first so that rows below the last band are never stale.
// Returns whether the list is enabled. The caller has saved the DC.
bool PaintItemBackground(const DRAWITEMSTRUCT& di, const RECT& r, bool selected) {
    HDC dc = di.hDC;
    bool enabled = IsWindowEnabled(di.hwndItem) && !(di.itemState & ODS_DISABLED);
    bool item = di.itemID != static_cast<UINT>(-1);  // an empty list has none
    UINT k = item ? di.itemID : 0;
    Fill(dc, r, k % 2 ? kOddItemBackground : kEvenItemBackground);
    if (selected && item)
        PaintGradient(dc, r, kSelectedGradient);
    else if (!enabled)
        PaintGradient(dc, r, kDisabledGradient);
    if (auto font = reinterpret_cast<HFONT>(SendMessageW(di.hwndItem, WM_GETFONT, 0, 0))) SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    return enabled;
}

}  // namespace

std::vector<Band> GradientBands(int height, const Gradient& g) {
    std::vector<Band> bands;
    const int b = height / kBandHeight;
    if (b <= 0) return bands;
    // Integer arithmetic, truncating towards zero as the colour steps are specified.
    auto mix = [b](app::Rgb from, app::Rgb to, int j) {
        auto channel = [&](int s, int e) { return static_cast<uint8_t>(s + (e - s) * 2 * j / b); };
        return app::Rgb{channel(from.r, to.r), channel(from.g, to.g), channel(from.b, to.b)};
    };
    const int half = b / 2;
    for (int n = 0; n < b; ++n) {
        app::Rgb c = n < half ? mix(g.top_start, g.top_end, n) : mix(g.bottom_start, g.bottom_end, n - half);
        bands.push_back({n * kBandHeight, c});
    }
    return bands;
}

void PaintGradient(HDC dc, const RECT& r, const Gradient& gradient) {
    for (const Band& band : GradientBands(r.bottom - r.top, gradient)) {
        RECT row{r.left, r.top + band.top, r.right, r.top + band.top + kBandHeight};
        Fill(dc, row, band.colour);
    }
}

DriveListPainter::DriveListPainter(HINSTANCE instance, UINT dpi) : instance_(instance) { SetDpi(dpi); }

void DriveListPainter::SetDpi(UINT dpi) {
    dpi_ = dpi;
    const int size = IconSize();
    icons_ = UniqueImageList(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0));
    if (!icons_) return;
    // The icon files carry 30, 45 and 60 pixel images (100, 150 and 200 %); between them the
    // loader scales the nearest.
    for (int id : {IDI_DRIVE_REFUSED, IDI_DRIVE_READY}) {
        UniqueIcon icon(static_cast<HICON>(
            LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
        if (icon) ImageList_AddIcon(icons_.get(), icon.get());
    }
    // One icon alone would show under the wrong index: then show none.
    if (!HasIcons()) ImageList_Remove(icons_.get(), -1);
}

void DriveListPainter::DrawDriveItem(const DRAWITEMSTRUCT& di, bool eligible) const {
    HDC dc = di.hDC;
    RECT r = di.rcItem;
    r.left = 0;
    int saved = SaveDC(dc);
    bool enabled = PaintItemBackground(di, r, (di.itemState & ODS_SELECTED) != 0);
    if (di.itemID != static_cast<UINT>(-1)) {
        std::wstring text = ItemText(di.hwndItem, di.itemID);
        if (enabled) {
            if (HasIcons())
                ImageList_Draw(icons_.get(), eligible ? kImageReady : kImageRefused, dc,
                               r.left + Scale(kIconLeft, dpi_), r.top, ILD_TRANSPARENT);
            TextOutW(dc, r.left + Scale(kTextLeft, dpi_), r.top + Scale(kTextTop, dpi_), text.c_str(),
                     static_cast<int>(text.size()));
        } else {
            DrawCentred(dc, di.hwndItem, text);
        }
    }
    RestoreDC(dc, saved);
}

void DriveListPainter::DrawMessageItem(const DRAWITEMSTRUCT& di) const {
    RECT r = di.rcItem;
    r.left = 0;
    int saved = SaveDC(di.hDC);
    PaintItemBackground(di, r, false);
    std::wstring text = ControlText(di.hwndItem);
    if (text.empty() && di.itemID != static_cast<UINT>(-1)) text = ItemText(di.hwndItem, di.itemID);
    DrawCentred(di.hDC, di.hwndItem, text);
    RestoreDC(di.hDC, saved);
}

}  // namespace orvane::ui
