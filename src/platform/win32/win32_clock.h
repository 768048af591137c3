#pragma once
#include "platform/clock.h"

namespace orvane::platform::win32 {

// QueryPerformanceCounter, with GetTickCount64 for machines without one.
class Win32Clock : public Clock {
public:
    Win32Clock();
    int64_t Frequency() override { return frequency_; }
    int64_t Counter() override;
    uint64_t TickMs() override;
    // On a high-resolution timer: Sleep and the C++ library's sleeps go in whole milliseconds
    // and end on the system timer's tick. Safe from any thread.
    void SleepSeconds(double seconds) override;

private:
    int64_t frequency_ = 0;
};

}  // namespace orvane::platform::win32
