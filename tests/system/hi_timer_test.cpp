#include "system/hi_timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "system/fake_clock.h"

namespace orvane::system {
namespace {

using test::FakeClock;
using test::FakePump;

// Counter at 1000 counts per second; the constructor's four readings cost 10 counts of overhead.
struct Step {
    char op;          // S Start(reset), A Start(false), P Stop, E Elapsed, T TotalSeconds
    std::vector<int64_t> reads;  // what the counter answers during the operation
    double expect;    // for E and T
};

struct StopwatchCase {
    const char* name;
    std::vector<Step> steps;
};

std::unique_ptr<HiTimer> Calibrated(FakeClock& clock) {
    clock.script = {1000, 1001, 1002, 1010};
    return std::make_unique<HiTimer>(clock, nullptr);
}

TEST(HiTimer, CalibrationMeasuresStartStopOverhead) {
    FakeClock clock(1000);
    auto timer = Calibrated(clock);
    EXPECT_EQ(timer->Overhead(), 10);
    EXPECT_EQ(clock.counter_reads, 4);
    EXPECT_FALSE(timer->Running());
    EXPECT_EQ(timer->TotalSeconds(), 0.0);
}

TEST(HiTimer, StopwatchSequences) {
    const std::vector<StopwatchCase> cases = {
        {"interval less overhead", {{'S', {5000}, 0}, {'P', {5250}, 0}, {'T', {}, 0.240}}},
        {"start without reset accumulates",
         {{'S', {1000}, 0}, {'P', {1100}, 0}, {'A', {2000}, 0}, {'P', {2050}, 0}, {'T', {}, 0.130}}},
        {"start with reset forgets the total",
         {{'S', {1000}, 0}, {'P', {1100}, 0}, {'S', {2000}, 0}, {'P', {2050}, 0}, {'T', {}, 0.040}}},
        {"reset while running stops first, then starts afresh",
         {{'S', {1000}, 0}, {'S', {1500, 1600}, 0}, {'P', {1700}, 0}, {'T', {}, 0.090}}},
        {"elapsed covers only the running interval",
         {{'S', {1000}, 0}, {'P', {1100}, 0}, {'A', {2000}, 0}, {'E', {2100}, 0.090}, {'T', {}, 0.180}, {'P', {2200}, 0},
          {'T', {}, 0.280}}},
        {"elapsed is 0 when stopped", {{'S', {1000}, 0}, {'P', {1100}, 0}, {'E', {3000}, 0}, {'T', {}, 0.090}}},
        {"total while running uses the last reading",
         {{'S', {1000}, 0}, {'E', {1200}, 0.190}, {'T', {}, 0.190}, {'T', {}, 0.190}}},
        {"total right after a restart has no stale interval",
         {{'S', {1000}, 0}, {'P', {1100}, 0}, {'A', {5000}, 0}, {'T', {}, 0.090}}},
        {"interval shorter than the overhead counts as nothing", {{'S', {1000}, 0}, {'P', {1004}, 0}, {'T', {}, 0}}},
        {"a second stop changes nothing", {{'S', {1000}, 0}, {'P', {1100}, 0}, {'P', {9000}, 0}, {'T', {}, 0.090}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock(1000);
        auto timer = Calibrated(clock);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            SCOPED_TRACE("step " + std::to_string(i) + " " + s.op);
            clock.script.assign(s.reads.begin(), s.reads.end());
            switch (s.op) {
                case 'S': timer->Start(true); break;
                case 'A': timer->Start(false); break;
                case 'P': timer->Stop(); break;
                case 'E': EXPECT_NEAR(timer->Elapsed(), s.expect, 1e-9); break;
                case 'T': EXPECT_NEAR(timer->TotalSeconds(), s.expect, 1e-9); break;
            }
            EXPECT_TRUE(clock.script.empty()) << "the operation read the counter fewer times than expected";
        }
    }
}

TEST(HiTimer, DelayWithPumpSleepsInTheWaitAndEndsOnTime) {
    FakeClock clock;
    FakePump pump(clock);
    HiTimer timer(clock, &pump);
    double t0 = clock.t;
    timer.DelayMs(200);
    double took = clock.t - t0;
    EXPECT_GE(took, 0.200);
    EXPECT_LT(took, 0.2005);
    ASSERT_FALSE(pump.waits.empty());
    double slept = 0;
    for (double w : pump.waits) {
        EXPECT_GT(w, 0);
        EXPECT_LE(w, 0.200);
        slept += w;
    }
    // Nearly all of it asleep; only the last couple of milliseconds on the counter.
    EXPECT_GT(slept, 0.195);
    EXPECT_LT(clock.counter_reads, 5000);
    EXPECT_GE(pump.dispatches, 2);
    EXPECT_FALSE(timer.Running());
    EXPECT_NEAR(timer.TotalSeconds(), 0.200, 0.0005);
}

// Waiting must not cost a core: whatever the message wait's precision, a delay ends on time,
// looks at the message queue only a few times, and finishes asleep on the clock rather than in
// a loop of dispatches (each one a round trip to the window system).
TEST(HiTimer, DelaysEndOnTimeWithoutSpinningWhateverTheWaitsPrecision) {
    struct Row {
        const char* pump;
        double wait_error;  // seconds each uninterrupted message wait ends late (+) or early (-)
        bool on_time;       // what the pump claims of its waits
    } pumps[] = {
        {"precise", 0.0, false},
        {"late by 0.6 ms", 0.0006, false},
        {"late past the deadline", 0.004, false},
        {"early by 0.9 ms", -0.0009, false},
        {"on time, as it says", 0.0, true},
        {"said on time, late by 0.6 ms", 0.0006, true},
        {"said on time, early by 0.9 ms", -0.0009, true},
    };
    for (const Row& p : pumps) {
        for (double ms : {0.3, 1.0, 2.5, 10.0, 500.0, 5000.0}) {
            SCOPED_TRACE(std::string(p.pump) + ", " + std::to_string(ms) + " ms");
            FakeClock clock;
            FakePump pump(clock);
            pump.wait_error = p.wait_error;
            pump.on_time = p.on_time;
            HiTimer timer(clock, &pump);
            int reads0 = clock.counter_reads;
            double t0 = clock.t;
            timer.DelayMs(ms);
            double took = clock.t - t0;
            EXPECT_GE(took, ms / 1000.0) << "ended early";
            EXPECT_LT(took, ms / 1000.0 + std::max(p.wait_error, 0.0) + 0.00002);
            EXPECT_LE(pump.dispatches, 4);
            EXPECT_LE(clock.counter_reads - reads0, 12) << "the delay spun on the counter";
            double asleep = 0;  // as the fakes let time pass: each wait off by its error
            for (double w : pump.waits) asleep += std::max(0.0, w + p.wait_error);
            for (double s : clock.sleeps) asleep += s;
            EXPECT_GE(asleep, ms / 1000.0 - 0.0001) << "not asleep for the delay";
            // Everything but the last millisecond is spent where messages wake the thread.
            if (ms >= 2.5 && p.wait_error <= 0) {
                double in_pump = 0;
                for (double w : pump.waits) in_pump += w;
                EXPECT_GE(in_pump, ms / 1000.0 - 0.0011);
            }
        }
    }
}

// A pump whose waits end on time is waited on once, to the deadline: no last stretch on the clock
// (two more round trips to the window system on every delay).
TEST(HiTimer, APumpThatEndsOnTimeIsWaitedOnToTheDeadline) {
    for (double ms : {0.3, 10.0, 5000.0}) {
        SCOPED_TRACE(std::to_string(ms) + " ms");
        FakeClock clock;
        FakePump pump(clock);
        pump.on_time = true;
        HiTimer timer(clock, &pump);
        double t0 = clock.t;
        timer.DelayMs(ms);
        EXPECT_GE(clock.t - t0, ms / 1000.0);
        EXPECT_LT(clock.t - t0, ms / 1000.0 + 0.00002);
        ASSERT_EQ(pump.waits.size(), 1u);
        EXPECT_NEAR(pump.waits[0], ms / 1000.0, 0.00001);
        EXPECT_EQ(pump.dispatches, 1);
        double on_clock = 0;
        for (double s : clock.sleeps) on_clock += s;
        EXPECT_LT(on_clock, 0.00001) << "a last stretch slept on the clock";
    }
    // Woken by posted work, it dispatches it and waits for the rest as without such a timer.
    FakeClock clock;
    FakePump pump(clock);
    pump.on_time = true;
    HiTimer timer(clock, &pump);
    double t0 = clock.t;
    int ran = 0;
    pump.arrivals.emplace(t0 + 0.004, [&] { ++ran; });
    timer.DelayMs(10);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(pump.waits.size(), 2u);
    EXPECT_GE(clock.t - t0, 0.010);
    EXPECT_LT(clock.t - t0, 0.01002);
}

TEST(HiTimer, DelayDispatchesWorkPostedWhileWaiting) {
    FakeClock clock;
    FakePump pump(clock);
    HiTimer timer(clock, &pump);
    double t0 = clock.t;
    std::vector<double> ran_at;
    pump.arrivals.emplace(t0 + 0.050, [&] { ran_at.push_back(clock.t - t0); });
    pump.arrivals.emplace(t0 + 0.120, [&] { ran_at.push_back(clock.t - t0); });
    pump.arrivals.emplace(t0 + 0.500, [&] { ran_at.push_back(clock.t - t0); });  // after the delay
    timer.DelaySeconds(0.2);
    ASSERT_EQ(ran_at.size(), 2u);
    EXPECT_NEAR(ran_at[0], 0.050, 0.001);
    EXPECT_NEAR(ran_at[1], 0.120, 0.001);
    EXPECT_GE(clock.t - t0, 0.200);
    EXPECT_LT(clock.t - t0, 0.2005);
}

TEST(HiTimer, DelayWithoutPumpSleepsOnTheClock) {
    FakeClock clock;
    HiTimer timer(clock, nullptr);
    double t0 = clock.t;
    timer.DelaySeconds(1.0);
    EXPECT_GE(clock.t - t0, 1.0);
    EXPECT_LT(clock.t - t0, 1.0005);
    ASSERT_FALSE(clock.sleeps.empty());
    EXPECT_GT(clock.sleeps[0], 0.99);
    EXPECT_LE(clock.sleeps[0], 1.0);
}

TEST(HiTimer, WithoutPerformanceCounterRunsOnTheTickAndDelaysEnd) {
    FakeClock clock(0);
    FakePump pump(clock);
    HiTimer timer(clock, &pump);
    EXPECT_TRUE(timer.Unavailable());
    double t0 = clock.t;
    timer.DelayMs(50);
    EXPECT_GE(clock.t - t0, 0.049);  // the tick counts whole milliseconds
    EXPECT_LT(clock.t - t0, 0.052);
    EXPECT_EQ(clock.counter_reads, 0);
    EXPECT_GT(clock.tick_reads, 0);
    EXPECT_NEAR(timer.TotalSeconds(), 0.050, 0.002);
}

TEST(HiTimer, NonsenseDurationsDoNotWait) {
    for (double s : {0.0, -1.0, std::nan("")}) {
        SCOPED_TRACE(s);
        FakeClock clock;
        FakePump pump(clock);
        HiTimer timer(clock, &pump);
        double t0 = clock.t;
        timer.DelaySeconds(s);
        EXPECT_LT(clock.t - t0, 0.001);
        EXPECT_TRUE(pump.waits.empty());
    }
}

}  // namespace
}  // namespace orvane::system
