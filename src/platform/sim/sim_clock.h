#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/clock.h"

namespace orvane::platform::sim {

// Simulated time runs `speed` times faster than real time; Advance jumps ahead at once.
class SimClock : public Clock {
public:
    static constexpr int64_t kFrequency = 10'000'000;
    // This speed stops the clock: real time adds nothing, and the one thread that runs waits
    // without waiting, a sleep and the pump's wait moving the clock to their end at once. A run
    // then takes the same simulated time however busy the machine is. Not for runs with a
    // worker thread: the window's waits would run on while the worker works.
    static constexpr double kStopped = 0.0;

    explicit SimClock(double speed = 1.0, bool performance_counter = true);

    int64_t Frequency() override;
    int64_t Counter() override;
    uint64_t TickMs() override;
    void SleepSeconds(double seconds) override;

    // Simulated seconds since the machine started.
    double Now() const;
    double Speed() const { return speed_; }
    void Advance(double seconds);
    bool Stopped() const { return speed_ == kStopped; }
    // A stopped clock's wait of this long, over at once: to its end or, rounded up, just past it.
    void PassWait(double seconds);
    // Real time that stands for this much simulated time.
    std::chrono::nanoseconds RealDuration(double seconds) const;

private:
    double speed_;
    bool performance_counter_;
    std::chrono::steady_clock::time_point origin_;
    std::atomic<int64_t> advanced_ns_{0};
};

}  // namespace orvane::platform::sim
