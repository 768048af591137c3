#pragma once
#include <cstdint>

namespace orvane::platform {

// Monotonic high-resolution counter (QueryPerformanceCounter on Windows).
class Clock {
public:
    virtual ~Clock() = default;
    // Counts per second; 0 when the machine has no high-resolution counter.
    virtual int64_t Frequency() = 0;
    virtual int64_t Counter() = 0;
    // Coarse millisecond tick (GetTickCount64), the fallback when Frequency() is 0.
    virtual uint64_t TickMs() = 0;
};

}  // namespace orvane::platform
