// The owner-drawn drive list and message list: the gradient's bands, and the real window's pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ui/win32/drive_list_view.h"
#include "ui/win32/win32_view.h"
#include "win32/window_capture.h"

namespace orvane::ui {
namespace {

using app::Control;
using app::Rgb;
using test::Capture;
using test::ChildRect;
using test::Settle;

// ---- the bands, written out by hand from the colours and the integer steps

std::vector<Band> Bands(std::initializer_list<Rgb> colours) {
    std::vector<Band> out;
    int top = 0;
    for (Rgb c : colours) {
        out.push_back({top, c});
        top += 3;
    }
    return out;
}

TEST(GradientBands, MatchTheHandWrittenSteps) {
    struct Row {
        const char* name;
        int height;
        Gradient gradient;
        std::vector<Band> bands;
    } rows[] = {
        // 32 pixels: 10 bands, 5 per half; the last 2 rows are left alone. -22*2/10 is -4, not -5.
        {"selected item, 32 high", 32, kSelectedGradient,
         Bands({{242, 242, 255}, {238, 242, 255}, {234, 242, 254}, {229, 242, 254}, {225, 242, 253},
                {200, 223, 255}, {193, 219, 255}, {186, 215, 255}, {179, 211, 255}, {172, 207, 255}})},
        {"disabled list, 32 high", 32, kDisabledGradient,
         Bands({{255, 242, 224}, {255, 241, 198}, {255, 239, 171}, {255, 238, 145}, {255, 236, 118},
                {255, 215, 91}, {255, 213, 73}, {255, 211, 55}, {255, 209, 37}, {255, 207, 19}})},
        // 7 bands: 3 above, 4 below, the lower counter starting again at 0.
        {"odd band count", 21, kSelectedGradient,
         Bands({{242, 242, 255}, {236, 242, 255}, {230, 242, 254},
                {200, 223, 255}, {190, 218, 255}, {180, 212, 255}, {170, 206, 255}})},
        {"one band: all lower half", 5, kSelectedGradient, Bands({{200, 223, 255}})},
        {"under one band", 2, kSelectedGradient, {}},
        {"empty", 0, kSelectedGradient, {}},
    };
    for (const Row& row : rows) EXPECT_EQ(GradientBands(row.height, row.gradient), row.bands) << row.name;
}

// ---- the real window

std::string Text(Rgb c) {
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}
#define EXPECT_RGB(actual, ...) EXPECT_EQ(Text(actual), Text(Rgb{__VA_ARGS__}))

// The rectangles the window last gave the list's drawing: the field's and each dropped item's.
struct DrawLog {
    static inline WNDPROC original = nullptr;
    static inline HWND list = nullptr;
    static inline RECT field{};
    static inline RECT message{};  // cbMsg's field
    static inline std::vector<RECT> items;
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_DRAWITEM) {
            const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (di->hwndItem != list && (di->itemState & ODS_COMBOBOXEDIT)) {
                message = di->rcItem;
            } else if (di->hwndItem == list && (di->itemState & ODS_COMBOBOXEDIT)) {
                field = di->rcItem;
            } else if (di->hwndItem == list && di->itemID != static_cast<UINT>(-1)) {
                if (items.size() <= di->itemID) items.resize(di->itemID + 1);
                items[di->itemID] = di->rcItem;
            }
        }
        return CallWindowProcW(original, h, msg, wp, lp);
    }
};

class DriveListWindow : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "pixels need a display";
        view_ = std::make_unique<Win32View>(GetModuleHandleW(nullptr));
        ASSERT_TRUE(view_->Created());
        view_->Show();
        w_ = view_->window();
        list_ = view_->control(Control::cboDrives);
        view_->SetDriveItems({{"(S)  0-0-0-0 READY DRIVE 1.00", true},
                              {"(S)  0-0-1-0 REFUSED DRIVE 1.00", false},
                              {"(M)  0-0-2-0 THIRD DRIVE 1.00", true}});
        DrawLog::list = list_;
        DrawLog::field = {};
        DrawLog::message = {};
        DrawLog::items.clear();
        DrawLog::original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(w_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DrawLog::Proc)));
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetComboBoxInfo(list_, &info));
        dropped_ = info.hwndList;
        view_->SelectItem(Control::cboDrives, 0);
        Settle(w_);
        ASSERT_LT(DrawLog::field.top, DrawLog::field.bottom) << "the list's field was not drawn";
        RECT list = ChildRect(w_, list_);
        left_ = list.left;  // the item's left edge is moved to the control's own 0
        field_left_ = list.left + DrawLog::field.left;
        top_ = list.top + DrawLog::field.top;
        item_h_ = DrawLog::field.bottom - DrawLog::field.top;
        right_ = list.left + DrawLog::field.right;
    }
    void TearDown() override {
        if (w_ && DrawLog::original)
            SetWindowLongPtrW(w_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DrawLog::original));
        DrawLog::original = nullptr;
        if (view_) view_->SetEvents(nullptr);
    }

    std::unique_ptr<Win32View> view_;
    HWND w_ = nullptr, list_ = nullptr, dropped_ = nullptr;
    int left_ = 0, field_left_ = 0, top_ = 0, right_ = 0, item_h_ = 0;
};

TEST_F(DriveListWindow, ItemsAre32PixelsHigh) {
    EXPECT_EQ(item_h_, 32);
    EXPECT_EQ(SendMessageW(list_, CB_GETITEMHEIGHT, 0, 0), 32);
    SendMessageW(list_, CB_SHOWDROPDOWN, TRUE, 0);
    Settle(dropped_);
    SendMessageW(list_, CB_SHOWDROPDOWN, FALSE, 0);
    ASSERT_EQ(DrawLog::items.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(DrawLog::items[k].top, 32 * k) << k;
        EXPECT_EQ(DrawLog::items[k].bottom - DrawLog::items[k].top, 32) << k;
    }
}

TEST_F(DriveListWindow, TheListHasTheFocusOnceShownSoItsItemLooksSelected) {
    EXPECT_EQ(GetFocus(), list_);
    Capture shot(w_);
    EXPECT_RGB(shot.At(right_ - 20, top_), 242, 242, 255);
}

TEST_F(DriveListWindow, TheSelectedItemHasTheGradientItsIconAndItsText) {
    struct Row {
        int item;
        Rgb badge, body;
    } rows[] = {
        {0, {34, 160, 60}, {112, 122, 140}},  // may be updated: green badge, steel body
        {1, {200, 40, 40}, {150, 150, 150}},  // may not: red badge, grey body
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("item " + std::to_string(row.item));
        view_->SelectItem(Control::cboDrives, row.item);
        SetFocus(list_);  // the list shows its item as selected while it has the focus
        Settle(w_);
        Capture shot(w_);
        int x = right_ - 20;  // clear of the icon and the text
        EXPECT_RGB(shot.At(x, top_), 242, 242, 255);
        EXPECT_RGB(shot.At(field_left_, top_ + 2), 242, 242, 255);
        EXPECT_RGB(shot.At(x, top_ + 14), 225, 242, 253);
        EXPECT_RGB(shot.At(x, top_ + 15), 200, 223, 255);  // the lower half starts again
        EXPECT_RGB(shot.At(x, top_ + 29), 172, 207, 255);
        // The icon at (left + 10, top): the artwork's badge at (21, 16), its body at (4, 15).
        EXPECT_RGB(shot.At(left_ + 10 + 21, top_ + 16), row.badge.r, row.badge.g, row.badge.b);
        EXPECT_RGB(shot.At(left_ + 10 + 4, top_ + 15), row.body.r, row.body.g, row.body.b);
        // Black text from (left + 45, top + 6).
        RECT text = shot.DarkBox({left_ + 42, top_, right_ - 20, top_ + item_h_});
        EXPECT_GE(text.left, left_ + 45);
        EXPECT_LE(text.left, left_ + 47);
        EXPECT_GE(text.top, top_ + 6);
        EXPECT_LE(text.top, top_ + 10);
        EXPECT_GT(shot.Count({left_ + 45, top_ + 6, right_ - 20, top_ + 24}, {0, 0, 0}), 20);
    }
}

TEST_F(DriveListWindow, AnEmptyListShowsNoSelection) {
    view_->SetDriveItems({});
    SetFocus(list_);
    Settle(w_);
    Capture shot(w_);
    EXPECT_RGB(shot.At(right_ - 20, top_), 255, 255, 255);
    EXPECT_RGB(shot.At(left_ + 10 + 21, top_ + 16), 255, 255, 255);
}

TEST_F(DriveListWindow, UnselectedItemsAlternateWhiteAndGrey) {
    // Without the focus the list's field draws its item as any other: by the item's place.
    view_->SelectItem(Control::cboDrives, 1);
    SetFocus(w_);
    Settle(w_);
    Capture odd(w_);
    EXPECT_RGB(odd.At(right_ - 20, top_), 238, 238, 238);
    EXPECT_RGB(odd.At(right_ - 20, top_ + 20), 238, 238, 238);
    EXPECT_RGB(odd.At(left_ + 10 + 21, top_ + 16), 200, 40, 40);

    view_->SelectItem(Control::cboDrives, 2);
    Settle(w_);
    Capture even(w_);
    EXPECT_RGB(even.At(right_ - 20, top_), 255, 255, 255);
    EXPECT_RGB(even.At(left_ + 10 + 21, top_ + 16), 34, 160, 60);

    // The dropped list: item 0 highlighted with the gradient, items 1 and 2 grey and white. The
    // pointer goes to the screen's corner first: left over the list by an earlier window check's
    // click, it would highlight the item under it.
    SetCursorPos(0, 0);
    SetFocus(list_);
    SendMessageW(list_, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(list_, CB_SETCURSEL, 0, 0);
    Settle(dropped_);
    Capture items(dropped_);
    RECT box;
    GetClientRect(dropped_, &box);
    int x = box.right - 10;
    EXPECT_RGB(items.At(x, 0), 242, 242, 255);
    EXPECT_RGB(items.At(x, 15), 200, 223, 255);
    EXPECT_RGB(items.At(x, 32 + 1), 238, 238, 238);
    EXPECT_RGB(items.At(x, 64 + 1), 255, 255, 255);
    EXPECT_RGB(items.At(10 + 21, 32 + 16), 200, 40, 40);
    EXPECT_RGB(items.At(10 + 21, 64 + 16), 34, 160, 60);
    SendMessageW(list_, CB_SHOWDROPDOWN, FALSE, 0);
}

TEST_F(DriveListWindow, ADisabledListIsYellowWithItsTextInTheMiddleAndNoIcon) {
    view_->SelectItem(Control::cboDrives, 0);
    view_->SetEnabled(Control::cboDrives, false);
    Settle(w_);
    Capture shot(w_);
    EXPECT_RGB(shot.At(right_ - 20, top_), 255, 242, 224);
    EXPECT_RGB(shot.At(right_ - 20, top_ + 12), 255, 236, 118);
    EXPECT_RGB(shot.At(right_ - 20, top_ + 15), 255, 215, 91);
    EXPECT_RGB(shot.At(left_ + 10 + 21, top_ + 16), 255, 215, 91) << "no icon";

    RECT list = ChildRect(w_, list_);
    RECT text = shot.DarkBox({list.left + 4, top_, right_, top_ + item_h_});
    ASSERT_LT(text.left, text.right) << "no text drawn";
    int centre_x = (text.left + text.right) / 2, centre_y = (text.top + text.bottom) / 2;
    EXPECT_NEAR(centre_x, (list.left + list.right) / 2, 3);
    EXPECT_NEAR(centre_y, (list.top + list.bottom) / 2, 4);
    EXPECT_GT(text.left, left_ + 60) << "not at the enabled list's text position";
}

TEST_F(DriveListWindow, TheMessageListLooksLikeADisabledItemWithCentredText) {
    view_->SetVisible(Control::cboDrives, false);
    view_->ShowStatus("Scanning drives ...");
    HWND msg = view_->control(Control::cbMsg);
    Settle(w_);
    Capture shot(w_);
    RECT r = ChildRect(w_, msg);
    const RECT& field = DrawLog::message;
    ASSERT_LT(field.top, field.bottom) << "the message list was not drawn";
    int top = r.top + field.top;
    EXPECT_RGB(shot.At(r.left + field.right - 20, top), 255, 242, 224);
    EXPECT_RGB(shot.At(r.left + 20, top + 15), 255, 215, 91);
    RECT text = shot.DarkBox({r.left + field.left, top, r.left + field.right, top + 32});
    ASSERT_LT(text.left, text.right) << "no text drawn";
    EXPECT_NEAR((text.left + text.right) / 2, (r.left + r.right) / 2, 3);
}

TEST_F(DriveListWindow, LabelsTakeTheirColours) {
    HWND label = view_->control(Control::lblUpdateMsg);
    view_->SetText(Control::lblUpdateMsg, "This drive is not allowed to be updated.");
    view_->SetTextColour(Control::lblUpdateMsg, app::kDarkRed);
    Settle(w_);
    RECT r = ChildRect(w_, label);
    Capture red(w_);
    EXPECT_GT(red.Count(r, {128, 0, 0}), 30);
    EXPECT_EQ(red.Count(r, {0, 0, 0}), 0);

    view_->SetText(Control::lblUpdateMsg, "It will be updated from");
    view_->SetTextColour(Control::lblUpdateMsg, app::kBlack);
    Settle(w_);
    r = ChildRect(w_, label);
    Capture black(w_);
    EXPECT_EQ(black.Count(r, {128, 0, 0}), 0);
    EXPECT_GT(black.Count(r, {0, 0, 0}), 30);

    // The firmware labels keep their navy and orange.
    EXPECT_GT(black.Count(ChildRect(w_, view_->control(Control::lblOldFW)), {0, 0, 128}), 10);
    EXPECT_GT(black.Count(ChildRect(w_, view_->control(Control::lblNewFW)), {255, 128, 0}), 10);
}

// The Chinese text set needs a font with CJK glyphs (the test prefix links one to Tahoma): every
// glyph of the text must differ from what the font draws for a character it lacks.
TEST_F(DriveListWindow, ChineseTextIsDrawnWithGlyphsNotBoxes) {
    HWND label = view_->control(Control::lblUpdateMsg);
    auto glyphs = [&](const std::string& text) {
        view_->SetText(Control::lblUpdateMsg, text);
        view_->SetTextColour(Control::lblUpdateMsg, app::kDarkRed);
        Settle(w_);
        return Capture(w_).Glyphs(ChildRect(w_, label), {128, 0, 0});
    };
    // U+E000, a private-use character no font draws.
    std::vector<std::string> missing = glyphs("\xee\x80\x80");
    ASSERT_EQ(missing.size(), 1u) << "the missing-glyph mark is one shape";
    // "This drive may not be updated." in the Traditional set.
    std::vector<std::string> drawn = glyphs("\xe6\xad\xa4\xe7\xa1\xac\xe7\xa2\x9f\xe4\xb8\x8d\xe5\x85\x81"
                                            "\xe8\xa8\xb1\xe6\x9b\xb4\xe6\x96\xb0");
    EXPECT_GE(drawn.size(), 8u);
    for (const std::string& g : drawn) EXPECT_NE(g, missing[0]) << "a glyph is drawn as the missing mark";
    std::sort(drawn.begin(), drawn.end());
    EXPECT_GE(std::unique(drawn.begin(), drawn.end()) - drawn.begin(), 6) << "the glyphs are not all one shape";
}

}  // namespace
}  // namespace orvane::ui
