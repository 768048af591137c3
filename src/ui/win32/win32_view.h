#pragma once
#include <windows.h>
// The view has a method of this name; the Win32 call is spelt MessageBoxW.
#undef MessageBox

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/view.h"
#include "ui/win32/dialog_keys.h"
#include "ui/win32/dpi.h"
#include "ui/win32/drive_list_view.h"
#include "ui/win32/window_layout.h"

namespace orvane::ui {

// Owns a GDI font.
class FontHandle {
public:
    FontHandle() = default;
    explicit FontHandle(HFONT f) : font_(f) {}
    ~FontHandle() { if (font_) DeleteObject(font_); }
    FontHandle(const FontHandle&) = delete;
    FontHandle& operator=(const FontHandle&) = delete;
    FontHandle& operator=(FontHandle&& o) noexcept {
        if (this != &o) { if (font_) DeleteObject(font_); font_ = o.font_; o.font_ = nullptr; }
        return *this;
    }
    HFONT get() const { return font_; }
private:
    HFONT font_ = nullptr;
};

std::wstring Widen(const std::string& utf8);

// The main window: a fixed dialog-style window with the program's controls, laid out at 96 DPI
// and scaled to the DPI of the screen it is on.
class Win32View : public app::View {
public:
    // with_window false: nothing is created, for a run that never shows the window (the disk
    // report); its windows, fonts and icons cost a tenth of the start-up.
    explicit Win32View(HINSTANCE instance, bool with_window = true);
    ~Win32View() override;
    Win32View(const Win32View&) = delete;
    Win32View& operator=(const Win32View&) = delete;

    bool Created() const { return main_ != nullptr; }
    HWND window() const { return main_; }
    HWND control(app::Control c) const { return Get(c); }
    UINT dpi() const { return dpi_; }

    void SetEvents(app::WindowEvents* events) override { events_ = events; }
    void SetCaption(const std::string& text) override;
    void SetSystemMenu(bool present) override;
    void SetText(app::Control c, const std::string& text) override;
    void SetVisible(app::Control c, bool visible) override;
    void SetEnabled(app::Control c, bool enabled) override;
    app::BoxAnswer MessageBox(const app::BoxRequest& box) override;
    void GreyCloseCommand() override;
    void RemoveSystemMenuItem(int position) override;
    void SetApplicationTitle(const std::string& title) override;
    bool ActivateOtherInstance(const std::string& title) override;
    void LayoutFirmwareLine() override;
    void ShowCompactPanel() override;
    void ShowStatus(const std::string& text) override;
    void SetProgress(int position) override;
    void SetTimerInterval(app::Timer t, unsigned ms) override { intervals_[static_cast<int>(t)] = ms; }
    void SetItems(app::Control list, const std::vector<std::string>& items) override;
    void SelectItem(app::Control list, int index) override;
    void SetDriveItems(const std::vector<app::DriveItem>& items) override;
    void SetTextColour(app::Control c, app::Rgb colour) override;
    int SelectedItem(app::Control list) const override;
    bool KeyDown(app::Key key) const override;
    bool Shown(app::Control c) const override;
    std::optional<std::string> OpenFileDialog(const app::FileDialogRequest& request) override;
    void StartTimer(app::Timer t) override;
    void StopTimer(app::Timer t) override;
    void Show() override;
    void HideAnimated() override;
    void RunMessageLoop(platform::MessagePump& pump) override;

private:
    static LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void Command(int id, int code);
    bool Clickable(app::Control button) const;
    LRESULT DefaultButton() const;
    HWND Get(app::Control c) const;
    int TextWidth(HWND label) const;
    void PaintBanner(HDC dc);
    bool DrawItem(const DRAWITEMSTRUCT& di) const;

    // win32_view_layout.cpp: the layout in pixels at the window's DPI.
    void CreateControls();
    HWND Make(const ControlSpec& spec);
    void MakeFonts();
    HFONT FontOf(app::Control c) const;
    void ApplyDpi(UINT dpi, const RECT* suggested);
    void PlaceControls();
    void PlaceCompactPanel();
    void LayOutSelectors();
    bool SelectorsShown() const;
    void SizeWindow(const RECT* suggested);
    void SetIcons();
    int WidestItem(HWND combo) const;

    HINSTANCE instance_;
    HWND app_ = nullptr;   // hidden application window: carries the title other copies look for
    HWND main_ = nullptr;
    std::map<app::Control, HWND> controls_;
    FontHandle font_;
    FontHandle bold_;
    FontHandle banner_font_;
    HBRUSH white_ = nullptr;
    platform::MessagePump* pump_ = nullptr;
    app::WindowEvents* events_ = nullptr;
    bool banner_visible_ = true;
    std::unique_ptr<DriveListPainter> painter_;
    std::vector<bool> item_eligible_;              // cboDrives' icon per item
    std::map<app::Control, COLORREF> text_colours_;
    std::map<int, unsigned> intervals_;            // by timer; absent or 0: as designed

    UINT dpi_ = kBaseDpi;
    bool compact_ = false;                 // the unattended panel covers the window
    bool firmware_line_laid_ = false;      // LayoutFirmwareLine has placed the revisions
    std::set<app::Control> text_sized_;    // labels sized to their text (SetText)
    int selectors_client_h_ = 0;           // client height while the NVMe selectors show
    UniqueIcon big_icon_, small_icon_;     // the caption's and the taskbar's, at the window's DPI
    std::unique_ptr<DialogKeys> keys_;
};

}  // namespace orvane::ui
