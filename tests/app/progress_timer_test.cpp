// The unattended window's progress bar: its ceilings per phase, its intervals, its end.
#include <gtest/gtest.h>

#include "app/auto_flash.h"
#include "platform/sim/sim_clock.h"

namespace orvane::app {
namespace {

// A bar of its own: ticks are given their time into the update.
struct Bar {
    platform::sim::SimClock clock{1.0};
    ProgressBar bar{clock, nullptr};
    explicit Bar(int phase) { bar.iPhase = phase; }
    // Ticks until the bar holds or `limit` ticks passed, each `t` seconds into the run.
    int RunUntilHeld(double t, int limit = 200) {
        int ticks = 0;
        while (ticks < limit && StepProgress(bar, t)) ++ticks;
        return ticks;
    }
};

TEST(ProgressTimer, EachPhaseHoldsTheBarAtItsCeiling) {
    struct Row {
        int phase;
        double t;     // seconds into the run
        int ceiling;  // the bar stops at this position
    } rows[] = {{1, 1, 76}, {2, 1, 86}, {3, 1, 91}, {4, 1, 96}, {3, 11, 91}, {4, 9, 96}};
    for (const Row& r : rows) {
        Bar b(r.phase);
        b.RunUntilHeld(r.t);
        EXPECT_EQ(b.bar.position, r.ceiling) << "phase " << r.phase;
        EXPECT_FALSE(StepProgress(b.bar, r.t)) << "phase " << r.phase << " holds";
        EXPECT_EQ(b.bar.position, r.ceiling);
    }
}

TEST(ProgressTimer, TheIntervalSlowsDownPastFortyAndFiftyFive) {
    struct Row {
        int phase;
        int from;      // the position before the tick
        double t;
        int interval;  // the next period afterwards
        int after;     // the position afterwards
    } rows[] = {
        {1, 40, 1, 100, 41},  {1, 41, 1, 500, 42},   {1, 55, 1, 500, 56},   {1, 56, 1, 1000, 57},
        {2, 60, 1, 500, 61},  {2, 61, 1, 1000, 62},  {3, 60, 1, 100, 61},   {3, 61, 1, 500, 62},
        {3, 81, 1, 1000, 82}, {3, 30, 11, 100, 81},  {4, 50, 7, 100, 51},   {4, 50, 9, 500, 51},
        {4, 91, 1, 1000, 92}, {5, 50, 1, 100, 51},   {5, 50, 10.5, 100, 100}, {0, 10, 20, 100, 11},
    };
    for (const Row& r : rows) {
        Bar b(r.phase);
        b.bar.position = r.from;
        EXPECT_TRUE(StepProgress(b.bar, r.t)) << r.phase << "/" << r.from;
        EXPECT_EQ(b.bar.iProgressInterval, r.interval) << r.phase << "/" << r.from;
        EXPECT_EQ(b.bar.position, r.after) << r.phase << "/" << r.from;
    }
}

TEST(ProgressTimer, PhaseFiveRunsToOneHundredOneStepATick) {
    Bar b(5);
    EXPECT_EQ(b.RunUntilHeld(1.0, 150), 150) << "phase 5 never holds";
    EXPECT_EQ(b.bar.position, 100);
}

}  // namespace
}  // namespace orvane::app
