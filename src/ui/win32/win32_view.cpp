#include "ui/win32/win32_view.h"

#include "ui/win32/resource_ids.h"

#include <commctrl.h>
#include <commdlg.h>

#include <string_view>
#include <vector>

namespace orvane::ui {
namespace {

constexpr UINT kActivateRequest = WM_APP + 1;
constexpr const wchar_t* kMainClass = L"TOrvaneMain";
constexpr const wchar_t* kAppClass = L"TApplication";

UINT_PTR TimerId(app::Timer t) { return 1 + static_cast<UINT_PTR>(t); }

const app::Timer kTimers[] = {app::Timer::Timer1, app::Timer::Timer2, app::Timer::tmrAutoFlash};

// The file calls take single-byte paths in the system code page.
std::string ToSystemCodePage(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// "Text|pattern|Text|pattern" as the framework writes a filter, to the dialog's NUL-separated list.
std::wstring DialogFilter(const std::string& filter) {
    std::wstring out = Widen(filter);
    for (wchar_t& c : out)
        if (c == L'|') c = L'\0';
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

bool IsLabel(app::Control c) {
    using app::Control;
    switch (c) {
        case Control::Label1: case Control::lblMsg: case Control::lblFWExt: case Control::lblUpdateMsg:
        case Control::lblOldFW: case Control::lblTo: case Control::lblNewFW: case Control::lblFwSlot:
        case Control::lblCommitAction: case Control::Label2: case Control::Label3: case Control::Label4:
        case Control::Label5: case Control::Label6: case Control::Label7: case Control::Label8:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

Win32View::Win32View(HINSTANCE instance, bool with_window) : instance_(instance) {
    if (!with_window) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    dpi_ = SystemDpi();
    painter_ = std::make_unique<DriveListPainter>(instance_, dpi_);

    WNDCLASSEXW app{};
    app.cbSize = sizeof app;
    app.lpfnWndProc = AppProc;
    app.hInstance = instance_;
    app.lpszClassName = kAppClass;
    RegisterClassExW(&app);

    // The class's icons at the system's sizes (shared: the system owns them); the window gets
    // its own at its DPI's sizes.
    auto class_icon = [this](int metric) {
        auto icon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                  GetSystemMetrics(metric), GetSystemMetrics(metric), LR_SHARED));
        return icon ? icon : LoadIcon(nullptr, IDI_APPLICATION);
    };
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = class_icon(SM_CXICON);
    wc.hIconSm = class_icon(SM_CXSMICON);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kMainClass;
    RegisterClassExW(&wc);
    MakeFonts();

    app_ = CreateWindowExW(WS_EX_TOOLWINDOW, kAppClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance_,
                           this);
    SetWindowLongPtrW(app_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD ex = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
    const SIZE outer = OuterSize({Scale(kClientW, dpi_), Scale(kClientH, dpi_)}, style, ex, dpi_);
    int x = (GetSystemMetrics(SM_CXSCREEN) - outer.cx) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - outer.cy) / 2;
    main_ = CreateWindowExW(ex, kMainClass, L"", style, x, y, outer.cx, outer.cy, nullptr, nullptr, instance_, this);
    if (!main_) return;
    CreateControls();
    // The screen the window landed on may have another DPI than the system's.
    if (UINT actual = WindowDpi(main_); actual != dpi_) ApplyDpi(actual, nullptr);
    SetIcons();
    keys_ = std::make_unique<DialogKeys>(main_, [this] { return !compact_; });
}

Win32View::~Win32View() {
    keys_.reset();
    for (app::Timer t : kTimers)
        if (main_) KillTimer(main_, TimerId(t));
    if (main_) DestroyWindow(main_);
    if (app_) DestroyWindow(app_);
}

HWND Win32View::Get(app::Control c) const {
    auto it = controls_.find(c);
    return it == controls_.end() ? nullptr : it->second;
}

int Win32View::TextWidth(HWND label) const {
    if (!label) return 0;
    int n = GetWindowTextLengthW(label);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(label, text.data(), n + 1);
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), n, &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    return size.cx;
}

void Win32View::SetCaption(const std::string& text) {
    if (main_) SetWindowTextW(main_, Widen(text).c_str());
}

void Win32View::SetSystemMenu(bool present) {
    if (!main_) return;
    LONG_PTR style = GetWindowLongPtrW(main_, GWL_STYLE);
    style = present ? (style | WS_SYSMENU) : (style & ~static_cast<LONG_PTR>(WS_SYSMENU));
    SetWindowLongPtrW(main_, GWL_STYLE, style);
    SetWindowPos(main_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void Win32View::SetText(app::Control c, const std::string& text) {
    HWND hwnd = Get(c);
    if (!hwnd) return;
    SetWindowTextW(hwnd, Widen(text).c_str());
    if (IsLabel(c)) {
        // Labels size themselves to their text.
        RECT r;
        GetWindowRect(hwnd, &r);
        MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(hwnd, nullptr, 0, 0, TextWidth(hwnd) + 2, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
        text_sized_.insert(c);
    }
    if (c == app::Control::lblFwSlot || c == app::Control::lblCommitAction) LayOutSelectors();
}

void Win32View::SetVisible(app::Control c, bool visible) {
    if (c == app::Control::Image1) {
        banner_visible_ = visible;
        if (main_) InvalidateRect(main_, nullptr, TRUE);
        return;
    }
    if (HWND hwnd = Get(c)) ShowWindow(hwnd, visible ? SW_SHOW : SW_HIDE);
    // The selectors may need a row of their own, which the window grows by.
    if (c == app::Control::cboFwSlot || c == app::Control::cboCommitAction) LayOutSelectors();
}

void Win32View::SetEnabled(app::Control c, bool enabled) {
    if (HWND hwnd = Get(c)) EnableWindow(hwnd, enabled);
}

app::BoxAnswer Win32View::MessageBox(const app::BoxRequest& box) {
    UINT flags = box.buttons == app::BoxButtons::YesNo ? MB_YESNO : MB_OK;
    if (box.buttons == app::BoxButtons::YesNo && box.default_no) flags |= MB_DEFBUTTON2;
    switch (box.icon) {
        case app::BoxIcon::Error: flags |= MB_ICONERROR; break;
        case app::BoxIcon::Information: flags |= MB_ICONINFORMATION; break;
        case app::BoxIcon::Warning: flags |= MB_ICONWARNING; break;
        case app::BoxIcon::Question: flags |= MB_ICONQUESTION; break;
        case app::BoxIcon::None: break;
    }
    if (box.topmost) flags |= MB_TOPMOST | MB_SETFOREGROUND;
    HWND owner = main_ && IsWindowVisible(main_) ? main_ : nullptr;
    int answer = ::MessageBoxW(owner, Widen(box.text).c_str(), Widen(box.caption).c_str(), flags);
    if (answer == IDYES) return app::BoxAnswer::Yes;
    // A box that could not be shown is not a "Yes".
    if (box.buttons == app::BoxButtons::YesNo) return app::BoxAnswer::No;
    return app::BoxAnswer::Ok;
}

void Win32View::GreyCloseCommand() {
    if (HMENU menu = main_ ? GetSystemMenu(main_, FALSE) : nullptr)
        EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
}

void Win32View::RemoveSystemMenuItem(int position) {
    if (HMENU menu = main_ ? GetSystemMenu(main_, FALSE) : nullptr) RemoveMenu(menu, position, MF_BYPOSITION);
}

void Win32View::SetApplicationTitle(const std::string& title) {
    if (app_) SetWindowTextW(app_, Widen(title).c_str());
}

bool Win32View::ActivateOtherInstance(const std::string& title) {
    HWND other = FindWindowW(kAppClass, Widen(title).c_str());
    if (!other) return false;
    if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
    BringWindowToTop(other);
    SetForegroundWindow(other);
    // Its main window is what the user sees: ask that copy to bring it up.
    PostMessageW(other, kActivateRequest, 0, 0);
    return true;
}

void Win32View::LayoutFirmwareLine() {
    using app::Control;
    HWND msg = Get(Control::lblUpdateMsg), old_fw = Get(Control::lblOldFW), to = Get(Control::lblTo),
         new_fw = Get(Control::lblNewFW);
    if (!msg) return;
    auto rect = [this](HWND h) {
        RECT r;
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    RECT m = rect(msg);
    int middle = m.top + (m.bottom - m.top) / 2;
    const int gap = Scale(10, dpi_);
    int left = m.right + gap;
    for (HWND h : {old_fw, to, new_fw}) {
        RECT r = rect(h);
        int height = r.bottom - r.top;
        SetWindowPos(h, nullptr, left, middle - height / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        left += (r.right - r.left) + gap;
    }
    firmware_line_laid_ = true;
}

void Win32View::ShowCompactPanel() {
    using app::Control;
    if (!main_) return;
    SetVisible(Control::Image1, false);
    // The panel's height is the client area's: the system's caption and frame come on top.
    compact_ = true;
    SizeWindow(nullptr);
    HWND panel = Get(Control::Panel1);
    // In front of the normal layout, which stays behind it (some of it still changes): the other
    // controls must not paint over the panel, as a form's controls never paint over a panel.
    for (HWND child = GetWindow(main_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (child != panel)
            SetWindowLongPtrW(child, GWL_STYLE, GetWindowLongPtrW(child, GWL_STYLE) | WS_CLIPSIBLINGS);
    PlaceCompactPanel();
}

void Win32View::SetProgress(int position) {
    if (HWND bar = Get(app::Control::ProgressBar1)) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32View::ShowStatus(const std::string& text) {
    HWND list = Get(app::Control::cbMsg);
    if (!list) return;
    ShowWindow(list, SW_SHOW);
    EnableWindow(list, FALSE);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    SendMessageW(list, CB_SETCURSEL, 0, 0);
}

void Win32View::SetItems(app::Control list, const std::vector<std::string>& items) {
    HWND hwnd = Get(list);
    if (!hwnd) return;
    SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items)
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
    if (list == app::Control::cboFwSlot || list == app::Control::cboCommitAction) LayOutSelectors();
}

void Win32View::SetDriveItems(const std::vector<app::DriveItem>& items) {
    std::vector<std::string> texts;
    item_eligible_.clear();
    for (const app::DriveItem& item : items) {
        texts.push_back(item.text);
        item_eligible_.push_back(item.eligible);
    }
    SetItems(app::Control::cboDrives, texts);
}

void Win32View::SetTextColour(app::Control c, app::Rgb colour) {
    text_colours_[c] = RGB(colour.r, colour.g, colour.b);
    if (HWND hwnd = Get(c)) InvalidateRect(hwnd, nullptr, TRUE);
}

void Win32View::SelectItem(app::Control list, int index) {
    // CB_SETCURSEL sends no CBN_SELCHANGE: only the user's choice raises the change event.
    if (HWND hwnd = Get(list)) SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32View::SelectedItem(app::Control list) const {
    HWND hwnd = Get(list);
    if (!hwnd) return -1;
    LRESULT sel = SendMessageW(hwnd, CB_GETCURSEL, 0, 0);
    return sel == CB_ERR ? -1 : static_cast<int>(sel);
}

bool Win32View::Shown(app::Control c) const {
    const HWND h = Get(c);
    return h && IsWindowVisible(h);
}

bool Win32View::KeyDown(app::Key key) const {
    int vk = 0;
    switch (key) {
        case app::Key::Control: vk = VK_CONTROL; break;
        case app::Key::Shift: vk = VK_SHIFT; break;
        case app::Key::K: vk = 'K'; break;
        case app::Key::F9: vk = VK_F9; break;
    }
    // The state as of the message being handled, not of the keyboard now.
    return (GetKeyState(vk) & 0x8000) != 0;
}

std::optional<std::string> Win32View::OpenFileDialog(const app::FileDialogRequest& request) {
    std::wstring filter = DialogFilter(request.filter);
    std::wstring ext = Widen(request.default_ext);
    std::wstring file(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = main_ && IsWindowVisible(main_) ? main_ : nullptr;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_PATHMUSTEXIST | (request.must_exist ? OFN_FILEMUSTEXIST : 0);
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    file.resize(wcslen(file.c_str()));
    return ToSystemCodePage(file);
}

void Win32View::StartTimer(app::Timer t) {
    const unsigned ms = intervals_[static_cast<int>(t)];
    if (main_) SetTimer(main_, TimerId(t), ms ? ms : app::TimerIntervalMs(t), nullptr);
}

void Win32View::StopTimer(app::Timer t) {
    if (main_) KillTimer(main_, TimerId(t));
}

void Win32View::Show() {
    if (!main_) return;
    ShowWindow(main_, SW_SHOW);
    UpdateWindow(main_);
    SetForegroundWindow(main_);
    // The first control in tab order starts with the focus, as a form's does: the drive list,
    // which then shows its item as selected.
    if (HWND first = GetNextDlgTabItem(main_, nullptr, FALSE)) SetFocus(first);
}

void Win32View::HideAnimated() {
    if (main_ && IsWindowVisible(main_)) AnimateWindow(main_, 120, AW_HIDE | AW_CENTER);
}

void Win32View::RunMessageLoop(platform::MessagePump& pump) {
    pump_ = &pump;
    while (!pump.Quitting()) {
        pump.Dispatch();
        if (!pump.Quitting()) pump.Wait(1.0);
    }
    pump_ = nullptr;
}

void Win32View::PaintBanner(HDC dc) {
    if (!banner_visible_) return;
    // Banner: a navy-to-blue band with the product name.
    const int width = Scale(kClientW, dpi_), height = Scale(kBannerH, dpi_);
    for (int x = 0; x < width; ++x) {
        int t = x * 255 / width;
        UniqueBrush b(CreateSolidBrush(RGB(10, 30 + t / 4, 90 + t / 2)));
        RECT col{x, 0, x + 1, height};
        FillRect(dc, &col, b.get());
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(dc, banner_font_.get());
    RECT text{Scale(16, dpi_), 0, width - Scale(16, dpi_), height};
    DrawTextW(dc, L"Orvane  SSD Firmware Update", -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    SelectObject(dc, old);
}

bool Win32View::DrawItem(const DRAWITEMSTRUCT& di) const {
    if (di.CtlType != ODT_COMBOBOX || !painter_) return false;
    if (di.hwndItem == Get(app::Control::cboDrives)) {
        bool eligible = di.itemID < item_eligible_.size() && item_eligible_[di.itemID];
        painter_->DrawDriveItem(di, eligible);
        return true;
    }
    if (di.hwndItem == Get(app::Control::cbMsg)) {
        painter_->DrawMessageItem(di);
        return true;
    }
    return false;
}

LRESULT CALLBACK Win32View::AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Win32View*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == kActivateRequest && self && self->main_) {
        if (IsIconic(self->main_)) ShowWindow(self->main_, SW_RESTORE);
        BringWindowToTop(self->main_);
        SetForegroundWindow(self->main_);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Win32View::MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32View*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || !self->main_) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

bool Win32View::Clickable(app::Control button) const {
    // Only what the user can see and use is clicked; BM_CLICK would reach a hidden button too.
    // Under the unattended panel nothing of the normal layout can be pressed.
    HWND hwnd = Get(button);
    return hwnd && !compact_ && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd);
}

LRESULT Win32View::DefaultButton() const {
    // Enter presses a button only when that button has the focus: there is no default button,
    // so Enter in the drive list cannot start an update.
    HWND focus = GetFocus();
    for (app::Control b : {app::Control::cmdUpdate, app::Control::cmdClose})
        if (focus && focus == Get(b) && Clickable(b)) return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
    return 0;
}

void Win32View::Command(int id, int code) {
    using app::Control;
    if (!events_) return;
    if (id == ControlId(Control::cmdUpdate) && code == BN_CLICKED) {
        if (Clickable(Control::cmdUpdate)) events_->cmdUpdateClick();
    } else if (id == ControlId(Control::cmdClose) && code == BN_CLICKED) {
        // Never shown: closing the window is WM_CLOSE, not this button.
        if (Clickable(Control::cmdClose)) events_->cmdCloseClick();
    } else if (id == ControlId(Control::cboDrives) && code == CBN_SELCHANGE) {
        events_->cboDrivesChange();
    }
}

LRESULT Win32View::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    using app::Control;
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(main_, &ps);
            PaintBanner(dc);
            EndPaint(main_, &ps);
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wp);
            HWND ctl = reinterpret_cast<HWND>(lp);
            SetBkMode(dc, TRANSPARENT);
            if (ctl == Get(Control::lblOldFW)) SetTextColor(dc, RGB(0, 0, 128));
            if (ctl == Get(Control::lblNewFW)) SetTextColor(dc, RGB(255, 128, 0));
            for (const auto& [c, colour] : text_colours_)
                if (ctl == Get(c)) SetTextColor(dc, colour);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_MEASUREITEM: {
            auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
            mi->itemHeight = static_cast<UINT>(Scale(kDriveItemHeight, dpi_));
            return TRUE;
        }
        case WM_DRAWITEM:
            if (DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp))) return TRUE;
            break;
        case WM_COMMAND:
            if (lp) {  // from a control; menus and accelerators have none here
                Command(LOWORD(wp), HIWORD(wp));
                return 0;
            }
            break;
        case WM_TIMER:
            for (app::Timer t : kTimers)
                if (wp == TimerId(t)) {
                    if (events_) app::RaiseTimer(*events_, t);
                    return 0;
                }
            break;
        case DM_GETDEFID:
            return DefaultButton();
        case WM_DPICHANGED:
            ApplyDpi(LOWORD(wp), reinterpret_cast<const RECT*>(lp));
            return 0;
        case WM_POWERBROADCAST:
            // Answered here and never passed on.
            if (events_)
                if (uint32_t answer = events_->OnPowerBroadcast(static_cast<uint32_t>(wp))) return answer;
            return TRUE;
        case WM_CLOSE:
            // Closing is the logic's to decide; the window is destroyed after the loop has ended.
            if (events_)
                events_->FormClose();
            else if (pump_)
                pump_->Quit();
            else
                PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(main_, msg, wp, lp);
}

}  // namespace orvane::ui
