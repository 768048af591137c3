#include "system/services.h"

#include <algorithm>

#include "system/hi_timer.h"

namespace orvane::system {

namespace {

constexpr double kPollMs = 500;

// Poll until the service reaches `want`; `hinted` sleeps the service's wait hint (capped) instead
// of the fixed interval. The handle closes when the caller's owner goes.
bool PollFor(platform::ServiceHandle& svc, HiTimer& timer, uint32_t want, int seconds, bool hinted,
             uint32_t wait_hint_ms) {
    for (int i = 0; i < 2 * seconds; ++i) {
        double ms = kPollMs;
        // A service that gives no hint would otherwise be polled back to back, and the whole
        // budget would pass in an instant.
        if (hinted && wait_hint_ms != 0) ms = std::min<double>(wait_hint_ms, kPollMs);
        timer.DelayMs(ms);
        platform::ServiceStatus st;
        if (!svc.Query(st)) return false;
        if (st.dwCurrentState == want) return true;
        wait_hint_ms = st.dwWaitHint;
    }
    return false;
}

}  // namespace

bool KeyExists(platform::SystemApi& api, const std::string& path) {
    return api.RegKeyExists(path);
}

bool IsPreinstallEnvironment(platform::SystemApi& api) {
    return KeyExists(api, "\\SYSTEM\\CurrentControlSet\\Control\\MiniNT");
}

bool IsServiceRunning(platform::SystemApi& api, const std::string& name) {
    auto svc = api.OpenService(name, platform::kServiceQuery);
    if (!svc) return false;
    platform::ServiceStatus st;
    return svc->Query(st) && st.dwCurrentState == platform::kServiceRunning;
}

bool SetServiceState(platform::SystemApi& api, platform::Clock& clock, platform::MessagePump* pump,
                     const std::string& name, bool start, int seconds) {
    uint32_t access = platform::kServiceQuery | (start ? platform::kServiceStart : platform::kServiceStop);
    auto svc = api.OpenService(name, access);
    if (!svc) return false;
    platform::ServiceStatus st;
    if (!svc->Query(st)) return false;
    HiTimer timer(clock, pump);

    if (start) {
        if (st.dwCurrentState == platform::kServiceRunning) return true;
        if (st.dwCurrentState == platform::kServiceStopped) {
            if (!svc->Start()) return false;
        } else if (st.dwCurrentState != platform::kServiceStartPending) {
            return false;  // stopping or paused: not ours to start
        }
        return PollFor(*svc, timer, platform::kServiceRunning, seconds, false, 0);
    }

    if (st.dwCurrentState == platform::kServiceStopped) return true;
    if (st.dwCurrentState != platform::kServiceStopPending) {
        if (!svc->ControlStop(st)) return false;
        if (st.dwCurrentState == platform::kServiceStopped) return true;
    }
    return PollFor(*svc, timer, platform::kServiceStopped, seconds, true, st.dwWaitHint);
}

}  // namespace orvane::system
