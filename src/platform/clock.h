#pragma once
#include <chrono>
#include <cstdint>
#include <thread>

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
    // Sleep about this many seconds of this clock's time without a message queue. It may end
    // somewhat early or late (a system without a fine timer): HiTimer checks the counter.
    // A simulated clock that runs faster than real time sleeps correspondingly less.
    virtual void SleepSeconds(double seconds) {
        if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
};

}  // namespace orvane::platform
