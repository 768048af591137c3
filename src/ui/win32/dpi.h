#pragma once
// The one place that turns the window's 96-DPI layout into pixels, and the DPI calls that only
// newer Windows has (looked up at run time: the program also runs on 7 and 8).
#include <windows.h>

namespace orvane::ui {

inline constexpr UINT kBaseDpi = 96;

// A length of the 96-DPI layout at `dpi`, rounded to the nearest pixel.
constexpr int Scale(int length, UINT dpi) {
    const long long n = static_cast<long long>(length) * dpi;
    return static_cast<int>(n >= 0 ? (n + kBaseDpi / 2) / kBaseDpi : -((-n + kBaseDpi / 2) / kBaseDpi));
}

// A 96-DPI rectangle (left, top, width, height) in pixels: both edges scale, so neighbours that
// touch at 96 DPI still touch.
struct LayoutRect {
    int x, y, w, h;
};
RECT ScaleRect(const LayoutRect& r, UINT dpi);

// The window's DPI: GetDpiForWindow (Windows 10 1607 on), else the screen's.
UINT WindowDpi(HWND hwnd);
// The DPI a new top-level window gets on the primary screen.
UINT SystemDpi();
// The outer size of a window whose client area is `client` at `dpi`, frame and caption as the
// system draws them at that DPI.
SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, UINT dpi);
// A system metric at `dpi` (icon sizes): GetSystemMetricsForDpi, else scaled from the system's.
int MetricForDpi(int index, UINT dpi);

}  // namespace orvane::ui
