#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_message_pump.h"
#include "system/hi_timer.h"

namespace orvane::platform::sim {
namespace {

using Real = std::chrono::steady_clock;

double RealSeconds(Real::time_point since) {
    return std::chrono::duration<double>(Real::now() - since).count();
}

TEST(SimClock, RunsAtItsSpeed) {
    for (double speed : {1.0, 50.0, 1000.0}) {
        SCOPED_TRACE(speed);
        SimClock clock(speed);
        EXPECT_EQ(clock.Frequency(), 10'000'000);
        // The real interval brackets the simulated ones, however the test's thread is descheduled.
        auto r0 = Real::now();
        int64_t c0 = clock.Counter();
        uint64_t k0 = clock.TickMs();
        EXPECT_GT(c0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        double sim = static_cast<double>(clock.Counter() - c0) / 1e7;
        double sim_ms = static_cast<double>(clock.TickMs() - k0);
        double real = RealSeconds(r0);
        EXPECT_GE(sim, 0.039 * speed);
        EXPECT_LE(sim, real * speed + 1e-6);
        // The tick counts the same time in whole milliseconds.
        EXPECT_GE(sim_ms / 1000.0, 0.039 * speed - 0.001);
        EXPECT_LE(sim_ms / 1000.0, real * speed + 0.001);
    }
}

// A stopped clock: real time adds nothing, each wait moves it to its end at once, and the
// pump's wait ends at a due timer and not at all with work pending.
TEST(SimClock, StoppedMovesOnlyByWaits) {
    SimClock clock(SimClock::kStopped);
    SimMessagePump pump(clock);
    const double t0 = clock.Now();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(clock.Now(), t0);
    struct Step {
        const char* what;
        std::function<void()> act;
        double at;  // simulated seconds since t0 afterwards
    } steps[] = {
        {"sleep", [&] { clock.SleepSeconds(2.0); }, 2.0},
        {"pump wait, nothing due", [&] { pump.Wait(1.5); }, 3.5},
        {"timer due before the wait's end", [&] { pump.SetTimer(1, 0.25, [] {}); pump.Wait(60.0); }, 3.75},
        {"the due timer ends the next wait at once", [&] { pump.Wait(60.0); }, 3.75},
        {"work pending", [&] { pump.KillTimer(1); pump.Post([] {}); pump.Wait(60.0); }, 3.75},
        {"nonsense waits", [&] { pump.Dispatch(); pump.Wait(-1.0); clock.SleepSeconds(std::nan("")); }, 3.75},
        {"a delay ends on its deadline", [&] { system::HiTimer(clock, &pump).DelayMs(700); }, 4.45},
        {"and without a pump", [&] { system::HiTimer(clock, nullptr).DelaySeconds(0.0105); }, 4.4605},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_NEAR(clock.Now() - t0, step.at, 1e-6) << step.what;
    }
}

TEST(SimClock, WithoutPerformanceCounter) {
    SimClock clock(10, false);
    EXPECT_EQ(clock.Frequency(), 0);
    EXPECT_EQ(clock.Counter(), 0);
    uint64_t k0 = clock.TickMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(clock.TickMs() - k0, 99u);
}

TEST(SimMessagePump, PostFromAnotherThreadEndsTheWait) {
    SimClock clock(1);
    SimMessagePump pump(clock);
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pump.Post([] {});
    });
    auto r0 = Real::now();
    pump.Wait(60.0);
    double real = RealSeconds(r0);
    poster.join();
    EXPECT_GE(real, 0.025);
    EXPECT_LT(real, 5.0);
    EXPECT_EQ(pump.Pending(), 1u);  // Wait does not dispatch
    pump.Dispatch();
    EXPECT_EQ(pump.Pending(), 0u);
}

TEST(SimMessagePump, WaitWithNothingPostedLastsItsSimulatedTime) {
    SimClock clock(100);
    SimMessagePump pump(clock);
    auto r0 = Real::now();
    pump.Wait(3.0);  // 30 ms real
    double real = RealSeconds(r0);
    EXPECT_GE(real, 0.029);
    EXPECT_LT(real, 1.0);
    // Something already pending: no wait at all.
    pump.Post([] {});
    r0 = Real::now();
    pump.Wait(1000.0);
    EXPECT_LT(RealSeconds(r0), 1.0);
}

TEST(SimMessagePump, DispatchRunsOnTheCallerInOrderAndOnlyWhatWasPending) {
    SimClock clock(1);
    SimMessagePump pump(clock);
    std::vector<int> ran;
    std::thread::id where;
    for (int i = 0; i < 3; ++i) {
        std::thread([&, i] { pump.Post([&, i] { ran.push_back(i); where = std::this_thread::get_id(); }); }).join();
    }
    // Work that posts work: the new item waits for the next Dispatch.
    std::function<void()> again = [&] { ran.push_back(9); pump.Post(again); };
    pump.Post(again);
    pump.Dispatch();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 9}));
    EXPECT_EQ(where, std::this_thread::get_id());
    EXPECT_EQ(pump.Pending(), 1u);
}

TEST(SimMessagePump, QuitFromAnotherThread) {
    SimClock clock(1);
    SimMessagePump pump(clock);
    EXPECT_FALSE(pump.Quitting());
    std::thread([&] { pump.Quit(); }).join();
    EXPECT_TRUE(pump.Quitting());
}

// The stopwatch's delays on the simulated machine: simulated seconds in real milliseconds, with
// a worker's completion delivered through the pump while the window's thread waits.
TEST(SimMessagePump, HiTimerDelaysRunInSimulatedTime) {
    SimClock clock(1000);
    SimMessagePump pump(clock);
    system::HiTimer timer(clock, &pump);
    std::atomic<double> posted_at{0};
    double ran_at = 0;
    double t0 = clock.Now();
    std::thread worker([&] {
        system::HiTimer wt(clock, nullptr);
        wt.DelaySeconds(2.0);  // 2 ms real, no pump on this thread
        posted_at = clock.Now();
        pump.Post([&] { ran_at = clock.Now(); });
    });
    auto r0 = Real::now();
    // 300 ms of real time: room for a busy machine to start the worker late.
    timer.DelaySeconds(300.0);
    double sim = clock.Now() - t0;
    double real = RealSeconds(r0);
    worker.join();
    EXPECT_GE(posted_at - t0, 2.0);
    EXPECT_GE(ran_at, posted_at) << "the posted work was not dispatched during the delay";
    EXPECT_LT(ran_at - t0, 300.0);
    EXPECT_GE(sim, 300.0);
    // Real lateness is the machine's: a descheduled thread is tens of milliseconds late. This
    // catches a delay that waits whole periods too long, not the scheduler.
    EXPECT_LT(sim, 300.0 + 0.5 * 1000);
    EXPECT_LT(real, 2.0);
}

// Window timers in simulated time: each fires once it is due, its next period counting from
// that firing; Advance moves the clock so the checks do not race real time.
TEST(SimMessagePump, TimersFireWhenDueInSimulatedTime) {
    SimClock clock(1);
    SimMessagePump pump(clock);
    std::vector<int> fired;
    pump.SetTimer(1, 2.0, [&] { fired.push_back(1); });
    pump.SetTimer(2, 0.5, [&] { fired.push_back(2); });
    struct Step {
        double advance;
        std::vector<int> expect;
    } steps[] = {
        {0.6, {2}},      // 0.6 s: timer 2 once, though it is due again only at 1.1 s
        {0.0, {}},       // nothing is due twice without time passing
        {0.8, {2}},      // 1.4 s
        {0.8, {1, 2}},   // 2.2 s: timer 1 at last; both in one Dispatch, by id
        {1.5, {2}},      // 3.7 s: timer 1 next due at 4.2 s
        {0.6, {1, 2}},   // 4.3 s
    };
    for (const Step& step : steps) {
        fired.clear();
        clock.Advance(step.advance);
        pump.Dispatch();
        EXPECT_EQ(fired, step.expect) << "after " << step.advance;
    }
    // Setting a running timer starts its period again; a killed one stays silent.
    pump.SetTimer(1, 2.0, [&] { fired.push_back(1); });
    pump.KillTimer(2);
    EXPECT_TRUE(pump.TimerRunning(1));
    EXPECT_FALSE(pump.TimerRunning(2));
    fired.clear();
    clock.Advance(1.5);
    pump.Dispatch();
    EXPECT_EQ(fired, std::vector<int>{});
    clock.Advance(0.6);
    pump.Dispatch();
    EXPECT_EQ(fired, std::vector<int>{1});
}

TEST(SimMessagePump, ATimerRunsAfterPostedWorkAndMayStopItself) {
    SimClock clock(1);
    SimMessagePump pump(clock);
    std::vector<std::string> ran;
    pump.SetTimer(7, 0.1, [&] {
        ran.push_back("timer");
        pump.KillTimer(7);
    });
    pump.Post([&] { ran.push_back("work"); });
    clock.Advance(0.2);
    pump.Dispatch();
    clock.Advance(0.2);
    pump.Dispatch();
    EXPECT_EQ(ran, (std::vector<std::string>{"work", "timer"}));
    EXPECT_FALSE(pump.AnyTimer());
}

TEST(SimMessagePump, WaitEndsWhenATimerFallsDue) {
    SimClock clock(100);
    SimMessagePump pump(clock);
    int fired = 0;
    pump.SetTimer(1, 2.0, [&] { ++fired; });  // 20 ms real
    auto r0 = Real::now();
    double t0 = clock.Now();
    pump.Wait(3600.0);
    EXPECT_LT(RealSeconds(r0), 5.0);
    EXPECT_GE(clock.Now() - t0, 1.99);
    pump.Dispatch();
    EXPECT_EQ(fired, 1);
}

}  // namespace
}  // namespace orvane::platform::sim
