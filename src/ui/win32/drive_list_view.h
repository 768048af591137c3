#pragma once
// Owner drawing of the drive list (cboDrives) and the message list (cbMsg).
#include <windows.h>
#include <commctrl.h>
// The view has a method of this name; the Win32 call is spelt MessageBoxW.
#undef MessageBox

#include <vector>

#include "app/view.h"
#include "platform/win32/win32_handles.h"
#include "ui/win32/dpi.h"

namespace orvane::ui {

// The four colours of a two-part gradient: the upper half runs from top_start towards
// top_end, the lower half from bottom_start towards bottom_end.
struct Gradient {
    app::Rgb top_start, top_end, bottom_start, bottom_end;
};
inline constexpr Gradient kSelectedGradient{{242, 242, 255}, {220, 241, 252}, {200, 223, 255}, {164, 203, 255}};
inline constexpr Gradient kDisabledGradient{{255, 242, 224}, {255, 234, 91}, {255, 215, 91}, {255, 204, 0}};
inline constexpr app::Rgb kOddItemBackground{238, 238, 238};
inline constexpr app::Rgb kEvenItemBackground{255, 255, 255};

// At 96 DPI; the list scales them to its window's DPI (the bands stay 3 pixels high: a taller
// item has more of them).
inline constexpr int kBandHeight = 3;
inline constexpr int kIconLeft = 10;
inline constexpr int kTextLeft = 45;
inline constexpr int kTextTop = 6;
inline constexpr int kIconSize = 30;
inline constexpr int kDriveItemHeight = 32;

// One band of a gradient: kBandHeight pixels starting `top` pixels below the rectangle's top.
struct Band {
    int top;
    app::Rgb colour;
    bool operator==(const Band&) const = default;
};

// The bands that paint a rectangle `height` pixels high; rows below the last band are not covered.
std::vector<Band> GradientBands(int height, const Gradient& gradient);

struct DeleteGdiObject {
    void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct DestroyImageList {
    void operator()(HIMAGELIST h) const { ImageList_Destroy(h); }
};
struct DestroyIconHandle {
    void operator()(HICON h) const { DestroyIcon(h); }
};
using UniqueBrush = platform::win32::Owned<HBRUSH, DeleteGdiObject>;
using UniqueImageList = platform::win32::Owned<HIMAGELIST, DestroyImageList>;
using UniqueIcon = platform::win32::Owned<HICON, DestroyIconHandle>;

// Paints the gradient's bands over r (full width).
void PaintGradient(HDC dc, const RECT& r, const Gradient& gradient);

// ImageList2 and the two drawing events of the lists.
class DriveListPainter {
public:
    static constexpr int kImageRefused = 0;  // may not be updated
    static constexpr int kImageReady = 1;    // may be updated

    // Loads the two icons from the module's resources at the size for `dpi`; without them the
    // items draw no icon.
    DriveListPainter(HINSTANCE instance, UINT dpi);

    // The icons and places for another DPI.
    void SetDpi(UINT dpi);
    int IconSize() const { return Scale(kIconSize, dpi_); }

    bool HasIcons() const { return ImageList_GetImageCount(icons_.get()) == 2; }
    // cboDrivesDrawItem: `eligible` picks the icon of item di.itemID.
    void DrawDriveItem(const DRAWITEMSTRUCT& di, bool eligible) const;
    // cbMsgDrawItem: the look of an unselected item with the control's text centred.
    void DrawMessageItem(const DRAWITEMSTRUCT& di) const;

private:
    HINSTANCE instance_;
    UINT dpi_ = kBaseDpi;
    UniqueImageList icons_;
};

}  // namespace orvane::ui
