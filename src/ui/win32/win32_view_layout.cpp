// The main window's layout in pixels: built from the 96-DPI table, scaled to the window's DPI,
// and built again when the window moves to a screen of another DPI.
#include "ui/win32/win32_view.h"

#include <commctrl.h>

#include <algorithm>
#include <string_view>

#include "ui/win32/resource_ids.h"

namespace orvane::ui {
namespace {

using app::Control;

// The drop-down lists' own window procedure, shared by every list of the class.
WNDPROC list_proc = nullptr;

// Wine's drop-down list takes Alt+F4 for its own F4 (open the list), so with the focus in a list
// the window would not close; Windows closes it, as the system's default handling does.
LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SYSKEYDOWN && wp == VK_F4) return DefWindowProcW(hwnd, msg, wp, lp);
    return CallWindowProcW(list_proc, hwnd, msg, wp, lp);
}

bool IsCombo(const ControlSpec& s) { return std::wstring_view(s.window_class) == L"COMBOBOX"; }

void Move(HWND h, const RECT& r) {
    if (h) SetWindowPos(h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

FontHandle Tahoma(int height_96, int weight, UINT dpi) {
    return FontHandle(CreateFontW(-Scale(height_96, dpi), 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                  CLEARTYPE_QUALITY, 0, L"Tahoma"));
}

}  // namespace

HWND Win32View::Make(const ControlSpec& spec) {
    const RECT r = ScaleRect(spec.rect, dpi_);
    HWND parent = spec.on_panel ? Get(Control::Panel1) : main_;
    HWND hwnd = CreateWindowExW(0, spec.window_class, L"", WS_CHILD | spec.style, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(spec.control))),
                                instance_, nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(spec.control)), FALSE);
    if (hwnd && IsCombo(spec)) {
        auto previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc)));
        if (!list_proc) list_proc = previous;
    }
    controls_[spec.control] = hwnd;
    return hwnd;
}

void Win32View::CreateControls() {
    for (const ControlSpec& spec : MainLayout()) Make(spec);
    // Wine forgets an owner-drawn list's item height after WM_SETFONT.
    for (Control list : {Control::cboDrives, Control::cbMsg})
        SendMessageW(Get(list), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Scale(kDriveItemHeight, dpi_));
    SetWindowTextW(Get(Control::lblOldFW), L"XXXX");
    SetWindowTextW(Get(Control::lblNewFW), L"XXXX");
    SendMessageW(Get(Control::ProgressBar1), PBM_SETRANGE32, 0, 100);
    LayOutSelectors();
}

void Win32View::MakeFonts() {
    font_ = Tahoma(13, FW_NORMAL, dpi_);
    bold_ = Tahoma(13, FW_BOLD, dpi_);
    banner_font_ = Tahoma(22, FW_BOLD, dpi_);
}

HFONT Win32View::FontOf(Control c) const {
    return c == Control::lblOldFW || c == Control::lblNewFW ? bold_.get() : font_.get();
}

void Win32View::ApplyDpi(UINT dpi, const RECT* suggested) {
    if (!main_ || dpi == 0) return;
    dpi_ = dpi;
    // The controls keep the old fonts until they are given the new ones.
    FontHandle old_font, old_bold, old_banner;
    old_font = std::move(font_);
    old_bold = std::move(bold_);
    old_banner = std::move(banner_font_);
    MakeFonts();
    for (const auto& [c, hwnd] : controls_) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(c)), FALSE);
    for (Control list : {Control::cboDrives, Control::cbMsg}) {
        SendMessageW(Get(list), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Scale(kDriveItemHeight, dpi_));
        SendMessageW(Get(list), CB_SETITEMHEIGHT, 0, Scale(kDriveItemHeight, dpi_));
    }
    if (painter_) painter_->SetDpi(dpi_);
    SizeWindow(suggested);
    PlaceControls();
    SetIcons();
    RedrawWindow(main_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32View::PlaceControls() {
    for (const ControlSpec& spec : MainLayout()) {
        HWND h = Get(spec.control);
        RECT r = ScaleRect(spec.rect, dpi_);
        if (text_sized_.count(spec.control)) r.right = r.left + TextWidth(h) + 2;
        Move(h, r);
    }
    if (firmware_line_laid_) LayoutFirmwareLine();
    LayOutSelectors();
    if (compact_) PlaceCompactPanel();
}

bool Win32View::SelectorsShown() const {
    for (Control c : {Control::cboFwSlot, Control::cboCommitAction})
        if (HWND h = Get(c); h && (GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE)) return true;
    return false;
}

int Win32View::WidestItem(HWND combo) const {
    if (!combo) return 0;
    HDC dc = GetDC(combo);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(combo, WM_GETFONT, 0, 0)));
    int widest = 0;
    const LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        LRESULT len = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len == CB_ERR) continue;
        std::wstring text(static_cast<size_t>(len) + 1, L'\0');
        len = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        SIZE size{};
        if (len != CB_ERR) GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(len), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(combo, dc);
    return widest;
}

void Win32View::LayOutSelectors() {
    HWND slot = Get(Control::cboFwSlot), action = Get(Control::cboCommitAction);
    if (!slot || !action) return;
    SelectorNeeds needs;
    needs.slot_label = TextWidth(Get(Control::lblFwSlot));
    needs.action_label = TextWidth(Get(Control::lblCommitAction));
    needs.slot_item = WidestItem(slot);
    needs.action_item = WidestItem(action);
    needs.arrow = MetricForDpi(SM_CXVSCROLL, dpi_);
    const SelectorPlaces p = PlaceSelectors(needs, dpi_);
    Move(Get(Control::lblFwSlot), p.slot_label);
    Move(slot, p.slot_combo);
    Move(Get(Control::lblCommitAction), p.action_label);
    Move(action, p.action_combo);
    // The opened list shows every item whole, however narrow the closed field.
    const int padding = Scale(10, dpi_);
    SendMessageW(slot, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(needs.slot_item + padding), 0);
    SendMessageW(action, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(needs.action_item + padding), 0);
    selectors_client_h_ = p.client_height;
    if (!compact_) SizeWindow(nullptr);
}

void Win32View::SizeWindow(const RECT* suggested) {
    if (!main_) return;
    int height = Scale(kClientH, dpi_);
    if (compact_)
        height = Scale(kCompactClientH, dpi_);
    else if (SelectorsShown() && selectors_client_h_ > 0)
        height = selectors_client_h_;
    const SIZE outer = OuterSize({Scale(kClientW, dpi_), height}, static_cast<DWORD>(GetWindowLongPtrW(main_, GWL_STYLE)),
                                 static_cast<DWORD>(GetWindowLongPtrW(main_, GWL_EXSTYLE)), dpi_);
    RECT now;
    GetWindowRect(main_, &now);
    if (suggested) {
        SetWindowPos(main_, nullptr, suggested->left, suggested->top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (now.right - now.left != outer.cx || now.bottom - now.top != outer.cy) {
        SetWindowPos(main_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Win32View::PlaceCompactPanel() {
    RECT c;
    GetClientRect(main_, &c);
    HWND panel = Get(Control::Panel1);
    SetWindowPos(panel, HWND_TOP, 0, 0, c.right, c.bottom, SWP_SHOWWINDOW);
    // The captions end where "Current FW Version :" ends.
    int widest = TextWidth(Get(Control::Label3));
    for (Control caption : {Control::Label2, Control::Label4}) {
        HWND h = Get(caption);
        RECT r;
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(h, nullptr, widest - TextWidth(h) + Scale(16, dpi_), r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
}

void Win32View::SetIcons() {
    if (!main_) return;
    auto load = [this](int metric) {
        const int size = MetricForDpi(metric, dpi_);
        return UniqueIcon(static_cast<HICON>(
            LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    };
    UniqueIcon big = load(SM_CXICON), small = load(SM_CXSMICON);
    // The window holds the icons it is given: the old ones go once the new ones are set.
    if (big) SendMessageW(main_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    if (small) SendMessageW(main_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    if (big) big_icon_ = std::move(big);
    if (small) small_icon_ = std::move(small);
}

}  // namespace orvane::ui
