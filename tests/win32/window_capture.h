#pragma once
// Reading what a real window drew, for the window tests under Wine.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/view.h"

namespace orvane::ui::test {

using app::Rgb;

// What the window shows: its client area, children included, as 32-bit pixels; with `whole`,
// the whole window, caption and frame included, from its top left corner.
class Capture {
public:
    explicit Capture(HWND hwnd, bool whole = false) {
        RECT r;
        if (whole) {
            GetWindowRect(hwnd, &r);
            OffsetRect(&r, -r.left, -r.top);
        } else {
            GetClientRect(hwnd, &r);
        }
        w_ = r.right;
        h_ = r.bottom;
        // Without clipping the children out.
        HDC src = whole ? GetWindowDC(hwnd) : GetDCEx(hwnd, nullptr, DCX_CACHE);
        HDC mem = CreateCompatibleDC(src);
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w_, -h_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, w_, h_, src, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* p = static_cast<const uint32_t*>(bits);
        px_.assign(p, p + static_cast<size_t>(w_) * static_cast<size_t>(h_));
        SelectObject(mem, old);
        DeleteObject(dib);
        DeleteDC(mem);
        ReleaseDC(hwnd, src);
    }
    Rgb At(int x, int y) const {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return {1, 2, 3};
        uint32_t v = px_[static_cast<size_t>(y) * static_cast<size_t>(w_) + static_cast<size_t>(x)];
        return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    }
    int Count(const RECT& r, Rgb c) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += At(x, y) == c;
        return n;
    }
    // The box around every pixel of `colour`.
    RECT BoxOf(const RECT& r, Rgb colour) const {
        RECT box{r.right, r.bottom, r.left, r.top};
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (At(x, y) == colour)
                    box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                           std::max<LONG>(box.bottom, y + 1)};
        return box;
    }
    // The box around every pixel darker than mid grey.
    RECT DarkBox(const RECT& r) const {
        RECT box{r.right, r.bottom, r.left, r.top};
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                Rgb c = At(x, y);
                if (c.r + c.g + c.b >= 3 * 96) continue;
                box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                       std::max<LONG>(box.bottom, y + 1)};
            }
        return box;
    }

    // The shapes of the runs of columns inked in `colour`: one per glyph, as text.
    std::vector<std::string> Glyphs(const RECT& r, Rgb colour) const {
        std::vector<std::string> out;
        std::string shape;
        for (int x = r.left; x <= r.right; ++x) {
            std::string column;
            bool ink = false;
            for (int y = r.top; y < r.bottom && x < r.right; ++y) {
                bool on = At(x, y) == colour;
                column.push_back(on ? '#' : '.');
                ink = ink || on;
            }
            if (ink) {
                shape += column + "|";
            } else if (!shape.empty()) {
                out.push_back(shape);
                shape.clear();
            }
        }
        return out;
    }

private:
    int w_ = 0, h_ = 0;
    std::vector<uint32_t> px_;
};

// Runs the thread's queued messages as a message loop would, `rounds` times, `pause` ms apart.
inline void Pump(int rounds, DWORD pause = 0) {
    MSG msg;
    for (int i = 0; i < rounds; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (pause) Sleep(pause);
    }
}

// Let every pending paint run, as the message loop would.
inline void Settle(HWND w) {
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(20, 5);
    GdiFlush();
}

// How wide `text` is in `font`, as drawn on `w`.
inline int TextWidth(HWND w, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    return static_cast<int>(size.cx);
}

inline RECT ChildRect(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace orvane::ui::test
