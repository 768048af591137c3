#include "system/services.h"

#include <gtest/gtest.h>

#include "common/fake_system_api.h"
#include "system/fake_clock.h"

namespace orvane::system {
namespace {

using platform::kServiceQuery;
using platform::kServiceRunning;
using platform::kServiceStart;
using platform::kServiceStartPending;
using platform::kServiceStop;
using platform::kServiceStopped;
using platform::kServiceStopPending;
using test::FakeClock;
using test::FakePump;
using test::FakeService;
using test::FakeSystemApi;

TEST(IsServiceRunning, StateAndFailures) {
    const struct {
        const char* name;
        bool exists;
        uint32_t state;
        bool query_ok;
        bool expect;
    } rows[] = {
        {"running", true, kServiceRunning, true, true},
        {"stopped", true, kServiceStopped, true, false},
        {"starting", true, kServiceStartPending, true, false},
        {"query fails", true, kServiceRunning, false, false},
        {"no such service", false, kServiceRunning, true, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        if (r.exists) {
            api.services["Winmgmt"].state = r.state;
            api.services["Winmgmt"].query_ok = r.query_ok;
        }
        EXPECT_EQ(IsServiceRunning(api, "Winmgmt"), r.expect);
        if (r.exists) {
            EXPECT_EQ(api.services["Winmgmt"].last_access, uint32_t{kServiceQuery});
        }
        EXPECT_EQ(api.open_service_handles, 0);
    }
}

struct ServiceCase {
    const char* name;
    bool start;     // start, else stop
    int seconds;    // budget
    FakeService svc;
    bool expect;
    int polls;        // status queries after the first one
    double elapsed;   // clock time the call took
    int requests;     // StartServiceA / ControlService calls
};

FakeService Svc(uint32_t state, std::optional<double> settle, uint32_t hint = 0, bool request_ok = true) {
    FakeService s;
    s.state = state;
    s.settle_seconds = settle;
    s.wait_hint_ms = hint;
    s.start_ok = s.stop_ok = request_ok;
    return s;
}

TEST(SetServiceState, PollingTable) {
    const ServiceCase cases[] = {
        {"start: already running", true, 20, Svc(kServiceRunning, 0.0), true, 0, 0, 0},
        {"start: takes 1 s within 2 s", true, 2, Svc(kServiceStopped, 1.0), true, 2, 1.0, 1},
        {"start: never gets there", true, 2, Svc(kServiceStopped, std::nullopt), false, 4, 2.0, 1},
        {"start: takes 3 s, 2 s budget", true, 2, Svc(kServiceStopped, 3.0), false, 4, 2.0, 1},
        {"start: request refused", true, 20, Svc(kServiceStopped, 0.0, 0, false), false, 0, 0, 1},
        {"stop: already stopped", false, 20, Svc(kServiceStopped, 0.0), true, 0, 0, 0},
        {"stop: 1 s, 200 ms hint", false, 3, Svc(kServiceRunning, 1.0, 200), true, 5, 1.0, 1},
        // The budget counts polls: short hints shorten it.
        {"stop: 1 s, 200 ms hint, 2 s budget", false, 2, Svc(kServiceRunning, 1.0, 200), false, 4, 0.8, 1},
        {"stop: 1 s, hint capped at 500 ms", false, 2, Svc(kServiceRunning, 1.0, 3000), true, 2, 1.0, 1},
        {"stop: no hint polls every 500 ms", false, 2, Svc(kServiceRunning, 1.0, 0), true, 2, 1.0, 1},
        {"stop: never, 1 s budget", false, 1, Svc(kServiceRunning, std::nullopt, 500), false, 2, 1.0, 1},
        {"stop: request refused", false, 20, Svc(kServiceRunning, 0.0, 0, false), false, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        FakePump pump(clock);
        FakeSystemApi api;
        api.now = [&] { return clock.t; };
        api.services["Winmgmt"] = c.svc;
        double t0 = clock.t;
        EXPECT_EQ(SetServiceState(api, clock, &pump, "Winmgmt", c.start, c.seconds), c.expect);
        const FakeService& s = api.services["Winmgmt"];
        EXPECT_EQ(s.queries - 1, c.polls);
        EXPECT_NEAR(clock.t - t0, c.elapsed, 0.01);
        EXPECT_EQ(c.start ? s.starts : s.stops, c.requests);
        EXPECT_EQ(c.start ? s.stops : s.starts, 0);
        EXPECT_EQ(s.last_access, uint32_t{kServiceQuery} | (c.start ? kServiceStart : kServiceStop));
        EXPECT_EQ(api.open_service_handles, 0) << "a handle was left open";
        if (c.elapsed > 0) {
            EXPECT_GT(pump.dispatches, 0) << "the wait did not keep the window alive";
        }
    }
}

TEST(SetServiceState, AlreadyChangingIsWaitedForNotRequestedAgain) {
    const struct {
        const char* name;
        bool start;
        uint32_t pending, done;
    } rows[] = {
        {"start pending", true, kServiceStartPending, kServiceRunning},
        {"stop pending", false, kServiceStopPending, kServiceStopped},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeClock clock;
        FakeSystemApi api;
        api.now = [&] { return clock.t; };
        FakeService& s = api.services["Winmgmt"];
        s.target = r.done;
        s.until = clock.t + 0.7;
        EXPECT_TRUE(SetServiceState(api, clock, nullptr, "Winmgmt", r.start, 2));
        EXPECT_EQ(s.starts + s.stops, 0);
        EXPECT_EQ(api.open_service_handles, 0);
    }
}

TEST(SetServiceState, MissingServiceOrFailedQuery) {
    FakeClock clock;
    FakeSystemApi api;
    EXPECT_FALSE(SetServiceState(api, clock, nullptr, "Winmgmt", true, 20));
    api.services["Winmgmt"].query_ok = false;
    EXPECT_FALSE(SetServiceState(api, clock, nullptr, "Winmgmt", true, 20));
    EXPECT_EQ(api.services["Winmgmt"].starts, 0);
    EXPECT_EQ(api.open_service_handles, 0);
    EXPECT_EQ(api.service_opens, 1);
}

}  // namespace
}  // namespace orvane::system
