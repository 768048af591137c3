// The unattended window's progress timer: its ceilings per phase, its intervals, its stop.
#include <gtest/gtest.h>

#include "app/app_fixture.h"

namespace orvane::app {
namespace {

using testing::AppRun;

// An unattended run's window after its start-up, with the update not started.
struct Unattended {
    Unattended() {
        run.speed = 1.0;  // simulated time moves by Advance; real time adds only a little
        run.package.Digit(19, '1');  // bUnattended
        run.args = {"/T:\\\\.\\PhysicalDrive0"};
        main = &run.StartUp();
    }
    // One tick of Timer2 after `seconds` of simulated time.
    void Tick(double seconds = 0.1) {
        run.sim().clock().Advance(seconds);
        main->Timer2Timer();
    }
    AppRun run;
    TOrvaneMain* main = nullptr;
};

TEST(ProgressTimer, EachPhaseHoldsTheBarBelowItsCeiling) {
    struct Row {
        int phase;
        int ceiling;  // the bar stops at this position
    } rows[] = {{1, 76}, {2, 86}, {3, 91}, {4, 96}};
    for (const Row& r : rows) {
        Unattended u;
        u.main->m_ProgressTimer.Start(true);
        u.main->iPhase = r.phase;
        // Phase 3 and 4 change their pace by time; ticks 0.1 s apart keep the run younger than 8 s.
        for (int i = 0; i < 200; ++i) u.Tick(0.01);
        EXPECT_EQ(u.main->m_Progress, r.ceiling) << "phase " << r.phase;
        EXPECT_TRUE(u.run.view().timer_running(Timer::Timer2)) << "phase " << r.phase << ": the timer goes on";
        EXPECT_FALSE(u.main->EndRequested());
    }
}

TEST(ProgressTimer, TheIntervalSlowsDownPastForty) {
    Unattended u;
    u.main->m_ProgressTimer.Start(true);
    u.main->iPhase = 1;
    while (u.main->m_Progress < 41) u.Tick();
    EXPECT_EQ(u.main->iProgressInterval, 100);
    u.Tick();  // at 41: the next period is half a second
    EXPECT_EQ(u.main->iProgressInterval, 500);
    while (u.main->m_Progress < 56) u.Tick();
    u.Tick();
    EXPECT_EQ(u.main->iProgressInterval, 1000);
    // Label8 shows the phase, the interval of the tick and the position: this tick still ran at
    // half a second, the next one at a second.
    EXPECT_EQ(u.run.view().text(Control::Label8), "1 | 500 | 57");
    u.Tick();
    EXPECT_EQ(u.run.view().text(Control::Label8), "1 | 1000 | 58");
}

TEST(ProgressTimer, PhaseFiveRunsToTheEndAndEndsTheProgram) {
    Unattended u;
    u.main->m_ProgressTimer.Start(true);
    u.main->iPhase = 5;
    int ticks = 0;
    while (!u.main->EndRequested() && ticks < 200) {
        u.Tick(0.05);
        ++ticks;
    }
    EXPECT_EQ(u.main->m_Progress, 100);
    EXPECT_EQ(ticks, 100);  // one step per tick while the run is younger than 10 s
    EXPECT_FALSE(u.run.view().timer_running(Timer::Timer2));
}

TEST(ProgressTimer, AtTheEndTheBarWaitsForTheUpdateToFinish) {
    // The restart question comes after phase 5 is set: the bar must not end the program under it.
    Unattended u;
    u.main->m_ProgressTimer.Start(true);
    u.main->iPhase = 5;
    u.main->m_bUpdating = true;
    u.Tick(10.5);
    EXPECT_EQ(u.main->m_Progress, 100);
    EXPECT_FALSE(u.main->EndRequested());
    EXPECT_TRUE(u.run.view().timer_running(Timer::Timer2));
    u.main->m_bUpdating = false;
    u.Tick();
    EXPECT_TRUE(u.main->EndRequested());
}

TEST(ProgressTimer, PhaseFiveJumpsToTheEndOnceTheRunIsOlderThanTenSeconds) {
    Unattended u;
    u.main->m_ProgressTimer.Start(true);
    u.main->iPhase = 5;
    u.Tick(10.5);
    EXPECT_EQ(u.main->m_Progress, 100);
    EXPECT_TRUE(u.main->EndRequested());
}

TEST(ProgressTimer, AClosingRunStopsTheBarAndSaysWhy) {
    Unattended u;
    u.main->m_ProgressTimer.Start(true);
    u.main->iPhase = 1;
    u.Tick();
    const int at = u.main->m_Progress;
    u.main->iErrorLevel = 1;
    u.main->m_bClosing = true;
    u.Tick();
    EXPECT_EQ(u.run.view().text(Control::Label8), "STOP UPDATE: 1");
    EXPECT_EQ(u.main->m_Progress, at);
    EXPECT_FALSE(u.run.view().timer_running(Timer::Timer2));
}

}  // namespace
}  // namespace orvane::app
