#include "platform/win32/win32_precise_timer.h"

#include <cmath>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace orvane::platform::win32 {

namespace {
constexpr double kDaySeconds = 86400.0;
}  // namespace

UniqueHandle MakeWaitTimer(bool* high_resolution) {
    UniqueHandle timer(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                              TIMER_MODIFY_STATE | SYNCHRONIZE));
    if (high_resolution) *high_resolution = static_cast<bool>(timer);
    if (!timer) timer = UniqueHandle(CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_MODIFY_STATE | SYNCHRONIZE));
    return timer;
}

bool ArmTimer(HANDLE timer, double seconds) {
    if (!timer) return false;
    double units = seconds > kDaySeconds ? kDaySeconds * 1e7 : seconds * 1e7;
    LARGE_INTEGER due;
    // Negative: relative to now, in 100 ns units.
    due.QuadPart = -(units >= 1.0 ? static_cast<LONGLONG>(std::ceil(units)) : 1);
    return SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != 0;
}

DWORD TimeoutMs(double seconds) {
    if (!(seconds > 0)) return 0;
    if (seconds >= kDaySeconds) return static_cast<DWORD>(kDaySeconds * 1000);
    return static_cast<DWORD>(std::ceil(seconds * 1000.0));
}

}  // namespace orvane::platform::win32
