// The real main window under Wine: the messages Windows sends it reach the logic's handlers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/window_events.h"
#include "platform/win32/win32_message_pump.h"
#include "ui/win32/win32_view.h"
#include "win32/window_capture.h"
#include "win32/window_input.h"

#include <commctrl.h>
#undef CreateMutex
#undef GetVersionEx
#undef OpenService

namespace orvane::ui {
namespace {

using app::Control;
using test::Notify;

// Records what the window raised; a click also notes the engineering keys seen at that moment.
struct Recorder : app::WindowEvents {
    explicit Recorder(const app::View& v) : view(v) {}
    const app::View& view;
    std::vector<std::string> calls;
    uint32_t power_answer = 0;
    void cmdUpdateClick() override {
        bool chord = view.KeyDown(app::Key::Control) && view.KeyDown(app::Key::Shift) &&
                     view.KeyDown(app::Key::K) && !view.KeyDown(app::Key::F9);
        calls.push_back(chord ? "cmdUpdateClick+chord" : "cmdUpdateClick");
    }
    void cmdCloseClick() override { calls.push_back("cmdCloseClick"); }
    void cboDrivesChange() override { calls.push_back("cboDrivesChange:" + std::to_string(view.SelectedItem(Control::cboDrives))); }
    void Timer1Timer() override { calls.push_back("Timer1Timer"); }
    void Timer2Timer() override { calls.push_back("Timer2Timer"); }
    void tmrAutoFlashTimer() override { calls.push_back("tmrAutoFlashTimer"); }
    uint32_t OnPowerBroadcast(uint32_t event) override {
        calls.push_back("OnPowerBroadcast:" + std::to_string(event));
        return power_answer;
    }
    void FormClose() override { calls.push_back("FormClose"); }
    std::vector<std::string> Take() { return std::exchange(calls, {}); }
};

using Calls = std::vector<std::string>;

void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

TEST(Win32View, ClicksSelectionTimersPowerAndCloseReachTheEvents) {
    Win32View view(GetModuleHandleW(nullptr));
    ASSERT_TRUE(view.Created());
    Recorder rec(view);
    view.SetEvents(&rec);
    view.Show();
    HWND w = view.window();
    HWND update = view.control(Control::cmdUpdate), close = view.control(Control::cmdClose);

    Click(update);
    EXPECT_EQ(rec.Take(), Calls{"cmdUpdateClick"});
    view.SetEnabled(Control::cmdUpdate, false);
    Click(update);
    Notify(w, update, BN_CLICKED);
    EXPECT_EQ(rec.Take(), Calls{}) << "a disabled Update button is not pressed";
    view.SetEnabled(Control::cmdUpdate, true);

    // The hidden Close button: not even a forged notification reaches its handler.
    Click(close);
    Notify(w, close, BN_CLICKED);
    EXPECT_EQ(rec.Take(), Calls{});

    // The Update click reads the keys as they were when it was sent.
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE held[256];
    std::copy(std::begin(keys), std::end(keys), std::begin(held));
    held[VK_CONTROL] = held[VK_SHIFT] = held['K'] = 0x80;
    SetKeyboardState(held);
    Click(update);
    SetKeyboardState(keys);
    EXPECT_EQ(rec.Take(), Calls{"cmdUpdateClick+chord"});

    // The logic's own selection raises nothing; the user's arrow key does.
    view.SetItems(Control::cboDrives, {"(S)  0-0-0-0 A 1.00", "(S)  0-0-1-0 B 1.00", "(M)  0-0-2-0 C 1.00"});
    view.SelectItem(Control::cboDrives, 0);
    EXPECT_EQ(view.SelectedItem(Control::cboDrives), 0);
    EXPECT_EQ(rec.Take(), Calls{});
    SendMessageW(view.control(Control::cboDrives), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(rec.Take(), Calls{"cboDrivesChange:1"});

    SendMessageW(w, WM_TIMER, 1, 0);
    SendMessageW(w, WM_TIMER, 2, 0);
    SendMessageW(w, WM_TIMER, 3, 0);
    SendMessageW(w, WM_TIMER, 9, 0);  // not one of the window's timers
    EXPECT_EQ(rec.Take(), (Calls{"Timer1Timer", "Timer2Timer", "tmrAutoFlashTimer"}));

    EXPECT_EQ(SendMessageW(w, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE);
    rec.power_answer = BROADCAST_QUERY_DENY;
    EXPECT_EQ(SendMessageW(w, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), BROADCAST_QUERY_DENY);
    EXPECT_EQ(rec.Take(), (Calls{"OnPowerBroadcast:0", "OnPowerBroadcast:0"}));

    // Closing goes to the close event; the window stays until the logic has ended the loop.
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(rec.Take(), Calls{"FormClose"});

    // Alt+F4 with the focus in the drive list closes the window, as it does anywhere else.
    SendMessageW(view.control(Control::cboDrives), WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
    platform::win32::Win32MessagePump pump;
    pump.Dispatch();
    EXPECT_EQ(rec.Take(), Calls{"FormClose"});
    EXPECT_TRUE(IsWindow(w));
    view.SetEvents(nullptr);
}

TEST(Win32View, AStartedTimerFiresThroughTheMessageLoop) {
    platform::win32::Win32MessagePump pump;
    Win32View view(GetModuleHandleW(nullptr));
    ASSERT_TRUE(view.Created());
    Recorder rec(view);
    view.SetEvents(&rec);
    auto start = std::chrono::steady_clock::now();
    view.StartTimer(app::Timer::Timer2);  // 100 ms
    while (rec.calls.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        pump.Dispatch();
        pump.Wait(0.01);
    }
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    view.StopTimer(app::Timer::Timer2);
    ASSERT_EQ(rec.Take(), Calls{"Timer2Timer"});
    EXPECT_GE(waited, 0.09);
    view.SetEvents(nullptr);
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Windows of this thread, whatever their class: a view made without its window adds none.
int ThreadWindows() {
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
}

TEST(Win32View, AViewForTheDiskReportCreatesNoWindow) {
    const int before = ThreadWindows();
    {
        Win32View bare(GetModuleHandleW(nullptr), false);
        EXPECT_FALSE(bare.Created());
        EXPECT_EQ(bare.window(), nullptr);
        EXPECT_EQ(bare.control(Control::cmdUpdate), nullptr);
        EXPECT_EQ(bare.control(Control::cboDrives), nullptr);
        EXPECT_EQ(ThreadWindows(), before);
    }
    // The count does see a view's windows when it has them.
    Win32View full(GetModuleHandleW(nullptr));
    ASSERT_TRUE(full.Created());
    EXPECT_GT(ThreadWindows(), before);
}

TEST(Win32View, CompactPanelCoversTheWindowAndItsBarFillsWithProgress) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "the drawing is read from a shown window";
    Win32View view(GetModuleHandleW(nullptr));
    ASSERT_TRUE(view.Created());
    HWND w = view.window();
    view.SetText(Control::Label1, "Please select the drive to update");
    view.SetText(Control::Label2, "Model :");
    view.SetText(Control::Label3, "Current FW Version :");
    view.SetText(Control::Label4, "New FW Version :");
    view.SetText(Control::Label5, "MERETH SSD 512GB");
    view.SetText(Control::Label6, "S0614B0");
    view.SetText(Control::Label7, "S0614C0");
    view.Show();
    view.SetVisible(Control::cboDrives, false);
    view.ShowCompactPanel();
    test::Settle(w);

    RECT wr, cr;
    GetWindowRect(w, &wr);
    GetClientRect(w, &cr);
    // 160 pixels of client area at 96 DPI, the caption and frame on top of it.
    EXPECT_EQ(cr.bottom, Scale(160, view.dpi())) << "the client area's height";
    EXPECT_GT(wr.bottom - wr.top, cr.bottom) << "no caption above the panel";
    HWND panel = view.control(Control::Panel1);
    ASSERT_TRUE(IsWindowVisible(panel));
    RECT pr = test::ChildRect(w, panel);
    EXPECT_EQ(pr.left, 0);
    EXPECT_EQ(pr.top, 0);
    EXPECT_EQ(pr.right, cr.right);
    EXPECT_EQ(pr.bottom, cr.bottom);
    EXPECT_FALSE(IsWindowVisible(view.control(Control::Label8))) << "the diagnostic label stays hidden";
    HWND bar = view.control(Control::ProgressBar1);
    ASSERT_TRUE(IsWindowVisible(bar));
    PBRANGE range{};
    SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);

    // Nothing of the normal layout is reachable or drawn over the panel: at every point of the
    // client area the topmost visible child is the panel.
    for (int y = 2; y < cr.bottom; y += 6)
        for (int x = 2; x < cr.right; x += 6) {
            HWND top = ChildWindowFromPointEx(w, POINT{x, y}, CWP_SKIPINVISIBLE);
            ASSERT_EQ(top, panel) << "at (" << x << ", " << y << ")";
        }

    test::Capture shot(w);
    // The banner is hidden: its navy band does not show anywhere.
    EXPECT_EQ(shot.Count(cr, app::Rgb{10, 30, 90}), 0);
    // The three captions end at one column (all end in the same " :" glyph); a measured text
    // width and the drawn glyphs may differ by a pixel of rounding.
    auto ink_end = [&](Control c) { return shot.DarkBox(test::ChildRect(w, view.control(c))).right; };
    int right2 = ink_end(Control::Label2), right3 = ink_end(Control::Label3), right4 = ink_end(Control::Label4);
    ASSERT_GT(right3, 16 + 60) << "no caption drawn";
    EXPECT_NEAR(right2, right3, 1) << "\"Model :\" is not right-aligned with \"Current FW Version :\"";
    EXPECT_NEAR(right4, right3, 1) << "\"New FW Version :\" is not right-aligned with \"Current FW Version :\"";
    EXPECT_GT(test::ChildRect(w, view.control(Control::Label2)).left,
              test::ChildRect(w, view.control(Control::Label4)).left)
        << "the shorter caption starts further right";
    EXPECT_LE(right3, test::ChildRect(w, view.control(Control::Label5)).left) << "the captions run into the values";

    // The bar's fill grows with the position: none at 0, then in proportion to the full bar
    // (a bar drawn in blocks leaves gaps, so the full bar is the measure).
    RECT br = test::ChildRect(w, bar);
    COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const app::Rgb fill{GetRValue(highlight), GetGValue(highlight), GetBValue(highlight)};
    auto filled = [&](int position) {
        view.SetProgress(position);
        EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), position);
        test::Settle(w);
        return test::Capture(w).Count(br, fill);
    };
    int full = filled(100);
    ASSERT_GT(full, (br.right - br.left) * (br.bottom - br.top) / 2) << "the full bar is not drawn in the fill colour";
    struct Row {
        int position;
        double low, high;  // share of the full bar's fill
    } rows[] = {{0, 0.0, 0.0}, {20, 0.12, 0.28}, {50, 0.40, 0.60}, {80, 0.70, 0.90}, {100, 1.0, 1.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.position);
        double share = static_cast<double>(filled(row.position)) / full;
        EXPECT_GE(share, row.low);
        EXPECT_LE(share, row.high);
    }
}

}  // namespace
}  // namespace orvane::ui
