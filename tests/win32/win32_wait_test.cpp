// The window thread's wait under Wine: it sleeps for the whole time asked when nothing comes, wakes
// for posted work, window messages and window timers, and the delays built on it cost next to no
// processor time.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_message_pump.h"
#include "system/hi_timer.h"

#include <windows.h>

#include "win32/process_times.h"

namespace orvane::platform::win32 {
namespace {

using Seconds = std::chrono::duration<double>;

double Since(std::chrono::steady_clock::time_point t0) {
    return Seconds(std::chrono::steady_clock::now() - t0).count();
}

using test::ProcessCpuSeconds;

void DrainQueue() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// A plain window of the test thread, to receive timers and posted messages.
class TestWindow {
public:
    TestWindow() {
        hwnd_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                nullptr);
    }
    ~TestWindow() {
        if (hwnd_) DestroyWindow(hwnd_);
    }
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

TEST(Win32MessagePump, WaitWithNothingArrivingLastsTheWholeTime) {
    Win32MessagePump pump;
    DrainQueue();
    for (double s : {0.0003, 0.0009, 0.0025, 0.010, 0.100}) {
        SCOPED_TRACE(std::to_string(s * 1000) + " ms");
        auto t0 = std::chrono::steady_clock::now();
        pump.Wait(s);
        double took = Since(t0);
        // The timer and the counter may disagree by a few microseconds. Lateness is bounded
        // loosely: on a busy machine every wake-up comes a few milliseconds late.
        EXPECT_GE(took, s - 0.00005) << "the wait ended early";
        EXPECT_LT(took, s + 0.030) << "the wait overslept";
    }
}

TEST(Win32MessagePump, WaitWakesForPostedWorkMessagesAndTimers) {
    Win32MessagePump pump;
    TestWindow window;
    ASSERT_TRUE(window.get());
    DrainQueue();
    struct Row {
        const char* name;
        double wake_after;  // when the thing arrives
        std::function<std::thread()> arrange;
    };
    auto later = [](double s, std::function<void()> f) {
        return std::thread([s, f] {
            std::this_thread::sleep_for(Seconds(s));
            f();
        });
    };
    HWND w = window.get();
    Row rows[] = {
        {"work posted from another thread", 0.05, [&] { return later(0.05, [&] { pump.Post([] {}); }); }},
        {"a message posted to a window", 0.05,
         [&] { return later(0.05, [w] { PostMessageW(w, WM_USER + 7, 0, 0); }); }},
        {"a window timer falling due", 0.06,
         [&] {
             SetTimer(w, 42, 60, nullptr);
             return std::thread([] {});
         }},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto t0 = std::chrono::steady_clock::now();
        std::thread arriving = row.arrange();
        pump.Wait(2.0);
        double took = Since(t0);
        arriving.join();
        KillTimer(w, 42);
        EXPECT_GE(took, row.wake_after - 0.005);
        EXPECT_LT(took, row.wake_after + 0.1) << "the wait did not wake";
        pump.Dispatch();
    }
}

// 50 delays of 10 ms: each ends on time and the whole costs a small share of a core. The old
// final spin of dispatches cost about a fifth of a core here.
TEST(Win32HiTimer, ShortDelaysEndOnTimeAndCostLittle) {
    Win32Clock clock;
    Win32MessagePump pump;
    system::HiTimer timer(clock, &pump);
    DrainQueue();
    double late_sum = 0;
    double cpu0 = ProcessCpuSeconds();
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i) {
        auto d0 = std::chrono::steady_clock::now();
        timer.DelayMs(10);
        double took = Since(d0);
        ASSERT_GE(took, 0.010) << "delay " << i << " ended early";
        late_sum += took - 0.010;
    }
    double wall = Since(t0);
    double cpu = ProcessCpuSeconds() - cpu0;
    RecordProperty("cpu_permille", static_cast<int>(cpu / wall * 1000));
    RecordProperty("mean_late_us", static_cast<int>(late_sum / 50 * 1e6));
    EXPECT_LT(cpu / wall, 0.08) << cpu << " s of processor time in " << wall << " s";
    EXPECT_LT(late_sum / 50, 0.010) << "the delays end late";
}

// A worker thread's delays have no message queue: they sleep on the clock alone, on time.
TEST(Win32HiTimer, WorkerThreadDelaysSleepOnTheClock) {
    Win32Clock clock;
    std::vector<double> took;
    double cpu = 0, wall = 0;
    std::thread([&] {
        system::HiTimer timer(clock, nullptr);
        double cpu0 = ProcessCpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        // About a second in all: the process's processor time counts in ticks of 10 ms or more,
        // which a short run would turn into a large share.
        for (int round = 0; round < 6; ++round) {
            for (double ms : {0.5, 3.0, 10.0, 10.0, 10.0, 120.0}) {
                auto d0 = std::chrono::steady_clock::now();
                timer.DelayMs(ms);
                took.push_back(Since(d0) - ms / 1000.0);
            }
        }
        wall = Since(t0);
        cpu = ProcessCpuSeconds() - cpu0;
    }).join();
    for (double late : took) {
        EXPECT_GE(late, 0.0) << "a delay ended early";
        EXPECT_LT(late, 0.030);
    }
    EXPECT_LT(cpu / wall, 0.08);
}

}  // namespace
}  // namespace orvane::platform::win32
