#include "platform/sim/sim_clock.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace orvane::platform::sim {

namespace {
// The machine has been up a while when the program starts, as a real one has: counters are never 0.
constexpr int64_t kUptimeNs = 60'000'000'000;
}  // namespace

SimClock::SimClock(double speed, bool performance_counter)
    : speed_(speed > 0 || speed == kStopped ? speed : 1.0),
      performance_counter_(performance_counter),
      origin_(std::chrono::steady_clock::now()) {}

double SimClock::Now() const {
    auto real = std::chrono::steady_clock::now() - origin_;
    double ns = std::chrono::duration<double, std::nano>(real).count() * speed_ +
                static_cast<double>(advanced_ns_.load());
    return ns / 1e9;
}

int64_t SimClock::Frequency() {
    return performance_counter_ ? kFrequency : 0;
}

int64_t SimClock::Counter() {
    if (!performance_counter_) return 0;
    return static_cast<int64_t>(Now() * kFrequency) + kUptimeNs / (1'000'000'000 / kFrequency);
}

uint64_t SimClock::TickMs() {
    return static_cast<uint64_t>(Now() * 1000) + static_cast<uint64_t>(kUptimeNs / 1'000'000);
}

void SimClock::Advance(double seconds) {
    if (seconds > 0) advanced_ns_ += static_cast<int64_t>(seconds * 1e9);
}

void SimClock::PassWait(double seconds) {
    // A wait that ended a hair short would be waited again for the rest, which rounds to nothing.
    if (seconds > 0) advanced_ns_ += std::max<int64_t>(1, static_cast<int64_t>(std::ceil(seconds * 1e9)));
}

std::chrono::nanoseconds SimClock::RealDuration(double seconds) const {
    if (!(seconds > 0)) return std::chrono::nanoseconds(0);
    // Capped at a day of real time: long enough for any wait, far from overflow.
    double ns = std::min(seconds / speed_ * 1e9, 86'400e9);
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

void SimClock::SleepSeconds(double seconds) {
    if (Stopped()) return PassWait(seconds);
    auto d = RealDuration(seconds);
    if (d.count() > 0) std::this_thread::sleep_for(d);
}

}  // namespace orvane::platform::sim
