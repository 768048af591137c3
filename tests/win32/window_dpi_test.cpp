// The real window at 96, 144 and 192 DPI under Wine: the layout, its fonts, the drive list's
// items and icons and the unattended panel scale together, and nothing is cut off. A row whose
// DPI is not the system's is reached as a move to another screen is (WM_DPICHANGED); the system's
// own DPI is set by the window check window_dpi.sh, which runs these again at 144 and 192.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>

#include "ui/win32/dpi.h"
#include "ui/win32/win32_view.h"
#include "win32/window_capture.h"
#include "win32/window_input.h"

namespace orvane::ui {
namespace {

using app::Control;
using app::Rgb;
using test::Capture;
using test::ChildRect;
using test::MoveToDpi;
using test::Settle;

constexpr Rgb kReadyBadge{34, 160, 60};
constexpr Rgb kFirstBand{242, 242, 255};
constexpr const char* kTitle = "Mereth Orvane SSD Firmware Update Utility (3.1.10)";

// A rectangle's edges, to be compared at once; without its bottom where the system decides it.
std::array<LONG, 4> Edges(const RECT& r, bool bottom = true) { return {r.left, r.top, r.right, bottom ? r.bottom : 0}; }

// Places written out from the 96-DPI layout times 1, 1.5 and 2, halves rounded up.
struct DpiRow {
    UINT dpi;
    RECT list;           // left, top, right (its height is the system's)
    RECT update;
    RECT bar;            // in the unattended panel, whose origin is the client area's
    int item_height;     // 32
    int font_height;     // Tahoma 13
    int icon_left;       // 10
    int badge_row;       // the icon's row 16, across its badge
    int badge_run;       // badge pixels on that row: 11 in the 30-pixel drawing
    int text_left;       // 45
    SIZE client;         // 449 x 190
    int compact_height;  // 160
};
const DpiRow kRows[] = {
    {96, {8, 92, 441, 0}, {368, 150, 441, 183}, {16, 120, 433, 138}, 32, 13, 10, 16, 11, 45, {449, 190}, 160},
    {144, {12, 138, 662, 0}, {552, 225, 662, 275}, {24, 180, 650, 207}, 48, 20, 15, 24, 16, 68, {674, 285}, 240},
    {192, {16, 184, 882, 0}, {736, 300, 882, 366}, {32, 240, 866, 276}, 64, 26, 20, 32, 22, 90, {898, 380}, 320},
};

// The run of `colour` pixels on row y from x0 (exclusive end x1).
int CountRow(const Capture& shot, int x0, int x1, int y, Rgb colour) {
    return shot.Count({x0, y, x1, y + 1}, colour);
}

class WindowDpi : public testing::TestWithParam<DpiRow> {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "the drawing is read from a shown window";
        view_ = std::make_unique<Win32View>(GetModuleHandleW(nullptr));
        ASSERT_TRUE(view_->Created());
        w_ = view_->window();
        system_dpi_ = view_->dpi();
        view_->SetCaption(kTitle);
        view_->SetText(Control::Label1, "Please select target device");
        view_->SetDriveItems({{"(S)  0-0-0-0 READY DRIVE 1.00", true}, {"(S)  0-0-1-0 REFUSED DRIVE 1.00", false}});
        view_->SelectItem(Control::cboDrives, 0);
        view_->Show();
        MoveToDpi(*view_, GetParam().dpi);
        SetFocus(view_->control(Control::cboDrives));
        Settle(w_);
    }
    // The place the system gave the window, as its own DPI's frame has it.
    bool AtSystemDpi() const { return GetParam().dpi == system_dpi_; }

    std::unique_ptr<Win32View> view_;
    HWND w_ = nullptr;
    UINT system_dpi_ = 0;
};

TEST_P(WindowDpi, LayoutFontsListAndIconsScale) {
    const DpiRow& row = GetParam();
    ASSERT_EQ(view_->dpi(), row.dpi);
    RECT cr;
    GetClientRect(w_, &cr);
    if (AtSystemDpi()) {
        EXPECT_EQ(cr.right, row.client.cx);
        EXPECT_EQ(cr.bottom, row.client.cy);
    }
    RECT list = ChildRect(w_, view_->control(Control::cboDrives));
    EXPECT_EQ(Edges(list, false), Edges(row.list));
    RECT update = ChildRect(w_, view_->control(Control::cmdUpdate));
    EXPECT_EQ(Edges(update), Edges(row.update));
    if (AtSystemDpi()) {
        EXPECT_LE(update.bottom, cr.bottom) << "Update is cut off";
    }

    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(view_->control(Control::Label1), WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_EQ(font.lfHeight, -row.font_height);
    HWND drives = view_->control(Control::cboDrives);
    EXPECT_EQ(SendMessageW(drives, CB_GETITEMHEIGHT, 0, 0), row.item_height);

    Capture shot(w_);
    // The label's ink: as high as the font makes it, within a pixel of the 96-DPI ink scaled
    // (13-pixel Tahoma: 'P' to the tail of 'g', 12 or 13 rows).
    RECT label = ChildRect(w_, view_->control(Control::Label1));
    RECT ink = shot.DarkBox(label);
    ASSERT_LT(ink.top, ink.bottom) << "no text drawn";
    const double ink_h = ink.bottom - ink.top;
    EXPECT_GE(ink_h, 12.0 * row.dpi / 96 - 1);
    EXPECT_LE(ink_h, 13.0 * row.dpi / 96 + 1);
    EXPECT_LE(label.bottom - label.top, Scale(16, row.dpi) + 1);
    EXPECT_GE(label.bottom - label.top, ink_h) << "the label is lower than its text";

    // The selected item's first band marks the item's top; its icon, drawn at the scaled size,
    // carries a badge row as wide as the drawing's scaled (a 30-pixel icon would show 11).
    // (A column clear of the icon, the text and the drop-down button, whose width is the system's.)
    const int plain_x = list.left + Scale(300, row.dpi);
    int top = -1;
    for (int y = list.top; y < list.top + 12 && top < 0; ++y)
        if (shot.At(plain_x, y) == kFirstBand) top = y;
    ASSERT_GE(top, 0) << "no selected item in the list's field";
    const int icon_x = list.left + row.icon_left;
    EXPECT_EQ(CountRow(shot, list.left, list.left + row.text_left, top + row.badge_row, kReadyBadge), row.badge_run);
    EXPECT_EQ(shot.At(icon_x + Scale(21, row.dpi), top + row.badge_row), kReadyBadge);
    // Nothing of the icon right of its scaled size.
    EXPECT_EQ(shot.Count({icon_x + Scale(30, row.dpi), top, list.left + row.text_left, top + row.item_height},
                         kReadyBadge),
              0);
    RECT text = shot.DarkBox({list.left + row.text_left - 3, top, plain_x, top + row.item_height});
    EXPECT_GE(text.left, list.left + row.text_left);
    EXPECT_LE(text.left, list.left + row.text_left + 3);
    EXPECT_LE(text.bottom, top + row.item_height) << "the item's text is cut off";
}

TEST_P(WindowDpi, TheUnattendedPanelHoldsItsBarWhole) {
    const DpiRow& row = GetParam();
    view_->SetText(Control::Label2, "Model :");
    view_->SetText(Control::Label3, "Current FW Version :");
    view_->SetText(Control::Label4, "New FW Version :");
    view_->SetVisible(Control::cboDrives, false);
    view_->ShowCompactPanel();
    view_->SetProgress(100);
    Settle(w_);
    RECT cr;
    GetClientRect(w_, &cr);
    if (AtSystemDpi()) {
        EXPECT_EQ(cr.bottom, row.compact_height);
        EXPECT_EQ(cr.right, row.client.cx);
    }
    RECT panel = ChildRect(w_, view_->control(Control::Panel1));
    EXPECT_EQ(panel.bottom, cr.bottom) << "the panel does not fill the client area";
    HWND bar = view_->control(Control::ProgressBar1);
    RECT br = ChildRect(w_, bar);
    EXPECT_EQ(Edges(br), Edges(row.bar));
    // Wine keeps the frame of the system's DPI for a window moved to another DPI: such a window's
    // client area is what the layout asks for, less the difference.
    const int client_h = AtSystemDpi() ? cr.bottom : row.compact_height;
    EXPECT_GE(client_h - br.bottom, Scale(16, row.dpi)) << "the bar's bottom edge is cut off or crowded";
    // The full bar's fill reaches its last rows: the window shows them.
    COLORREF h = GetSysColor(COLOR_HIGHLIGHT);
    Capture shot(w_);
    const int inner = (br.right - br.left) / 2;
    EXPECT_GT(CountRow(shot, br.left, br.right, br.bottom - 3, {GetRValue(h), GetGValue(h), GetBValue(h)}), inner);
    // The captions still end in one column.
    RECT l2 = shot.DarkBox(ChildRect(w_, view_->control(Control::Label2)));
    RECT l3 = shot.DarkBox(ChildRect(w_, view_->control(Control::Label3)));
    EXPECT_NEAR(l2.right, l3.right, 1);
    EXPECT_EQ(ChildRect(w_, view_->control(Control::Label3)).left, Scale(16, row.dpi));
}

// The caption is the system's, drawn at the system's DPI: checked at that DPI only (96 here,
// 144 and 192 in window_dpi.sh).
TEST(WindowDpiCaption, TheCaptionShowsTheWholeTitle) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "the drawing is read from a shown window";
    Win32View view(GetModuleHandleW(nullptr));
    ASSERT_TRUE(view.Created());
    HWND w_ = view.window();
    view.SetCaption(kTitle);
    view.Show();
    Settle(w_);
    // The caption's font and the title's width in it.
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0));
    HFONT caption_font = CreateFontIndirectW(&ncm.lfCaptionFont);
    const std::string title = kTitle;
    const int title_width = test::TextWidth(w_, caption_font, std::wstring(title.begin(), title.end()));
    DeleteObject(caption_font);

    RECT wr;
    GetWindowRect(w_, &wr);
    POINT client_origin{0, 0};
    ClientToScreen(w_, &client_origin);
    const int caption_bottom = client_origin.y - wr.top;
    EXPECT_GE(caption_bottom, GetSystemMetrics(SM_CYCAPTION)) << "no room for the caption";
    // Everything the caption draws in its text colour left of its button: the title's glyphs.
    Capture whole(w_, true);
    COLORREF c = GetSysColor(COLOR_CAPTIONTEXT);
    const int buttons = wr.right - wr.left - (client_origin.x - wr.left) - GetSystemMetrics(SM_CXSIZE);
    RECT ink = whole.BoxOf({0, 0, buttons, caption_bottom}, {GetRValue(c), GetGValue(c), GetBValue(c)});
    ASSERT_LT(ink.left, ink.right) << "no title drawn";
    // The ink is narrower than the advance by the first and last glyphs' bearings.
    EXPECT_GE(ink.right - ink.left, title_width - Scale(4, view.dpi()))
        << "the title is cut short at " << view.dpi() << " DPI";
    EXPECT_GT(ink.top, 0);
    EXPECT_LT(ink.bottom, caption_bottom);
}

INSTANTIATE_TEST_SUITE_P(AtEachDpi, WindowDpi, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<DpiRow>& info) { return std::to_string(info.param.dpi); });

// Moving back: a window taken to 192 DPI and back to 96 is the 96-DPI window again.
TEST(WindowDpiMove, ThereAndBackAgainRestoresEveryPlace) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    Win32View view(GetModuleHandleW(nullptr));
    ASSERT_TRUE(view.Created());
    view.SetText(Control::lblUpdateMsg, "It will be updated from");
    view.SetText(Control::lblOldFW, "S0614B0");
    view.SetText(Control::lblNewFW, "S0614C0");
    view.LayoutFirmwareLine();
    const UINT home = view.dpi();
    auto places = [&] {
        std::vector<RECT> out;
        for (const ControlSpec& spec : MainLayout()) out.push_back(ChildRect(view.window(), view.control(spec.control)));
        RECT cr;
        GetClientRect(view.window(), &cr);
        out.push_back(cr);
        return out;
    };
    const std::vector<RECT> before = places();
    MoveToDpi(view, home == 192 ? 96 : 192);
    const std::vector<RECT> away = places();
    MoveToDpi(view, home);
    const std::vector<RECT> after = places();
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_TRUE(EqualRect(&before[i], &after[i])) << "place " << i;
    // The firmware line was laid out again in the other DPI's font: 10 (scaled) between parts.
    RECT msg = away[5], old_fw = away[6];
    EXPECT_EQ(old_fw.left - msg.right, Scale(10, home == 192 ? 96 : 192));
}

}  // namespace
}  // namespace orvane::ui
