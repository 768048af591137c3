#include "ui/win32/dpi.h"

namespace orvane::ui {
namespace {

// Exported by user32 from Windows 10 1607 on.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using GetDpiForSystemFn = UINT(WINAPI*)();

template <typename Fn>
Fn User32(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

UINT ScreenDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

}  // namespace

RECT ScaleRect(const LayoutRect& r, UINT dpi) {
    return {Scale(r.x, dpi), Scale(r.y, dpi), Scale(r.x + r.w, dpi), Scale(r.y + r.h, dpi)};
}

UINT WindowDpi(HWND hwnd) {
    static const auto get = User32<GetDpiForWindowFn>("GetDpiForWindow");
    if (get && hwnd)
        if (UINT dpi = get(hwnd)) return dpi;
    return ScreenDpi();
}

UINT SystemDpi() {
    static const auto get = User32<GetDpiForSystemFn>("GetDpiForSystem");
    if (get)
        if (UINT dpi = get()) return dpi;
    return ScreenDpi();
}

SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
    static const auto adjust = User32<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, client.cx, client.cy};
    if (!adjust || !adjust(&r, style, FALSE, ex_style, dpi)) AdjustWindowRectEx(&r, style, FALSE, ex_style);
    return {r.right - r.left, r.bottom - r.top};
}

int MetricForDpi(int index, UINT dpi) {
    static const auto get = User32<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (get) return get(index, dpi);
    const UINT system = SystemDpi();
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(system));
}

}  // namespace orvane::ui
