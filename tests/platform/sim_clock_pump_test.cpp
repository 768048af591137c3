#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
        int64_t c0 = clock.Counter();
        uint64_t k0 = clock.TickMs();
        EXPECT_GT(c0, 0);
        auto r0 = Real::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        double real = RealSeconds(r0);
        double sim = static_cast<double>(clock.Counter() - c0) / 1e7;
        EXPECT_GE(sim, 0.039 * speed);
        EXPECT_LE(sim, (real + 0.005) * speed);
        double sim_ms = static_cast<double>(clock.TickMs() - k0);
        EXPECT_NEAR(sim_ms / 1000.0, sim, 0.002 * speed + 0.002);
    }
}

TEST(SimClock, SleepAndAdvance) {
    SimClock clock(100);
    double t0 = clock.Now();
    auto r0 = Real::now();
    clock.SleepSeconds(2.0);  // 20 ms of real time
    double real = RealSeconds(r0);
    EXPECT_GE(real, 0.019);
    EXPECT_LT(real, 0.5);
    EXPECT_GE(clock.Now() - t0, 2.0);
    double t1 = clock.Now();
    clock.Advance(3600);
    EXPECT_GE(clock.Now() - t1, 3600.0);
    EXPECT_LT(clock.Now() - t1, 3601.0);
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
    timer.DelaySeconds(100.0);
    double sim = clock.Now() - t0;
    double real = RealSeconds(r0);
    worker.join();
    EXPECT_GE(posted_at - t0, 2.0);
    EXPECT_GE(ran_at, posted_at) << "the posted work was not dispatched during the delay";
    EXPECT_LT(ran_at - t0, 100.0);
    EXPECT_GE(sim, 100.0);
    EXPECT_LT(sim, 100.0 + 0.05 * 1000);  // at most 50 ms of real lateness
    EXPECT_LT(real, 1.0);
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
