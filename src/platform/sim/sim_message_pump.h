#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "platform/message_pump.h"
#include "platform/work_queue.h"
#include "platform/sim/sim_clock.h"

namespace orvane::platform::sim {

// The window thread's queue on the simulated machine: posted work runs in Dispatch, and then
// every timer that is due in simulated time, as WM_TIMER follows posted messages.
class SimMessagePump : public MessagePump {
public:
    explicit SimMessagePump(SimClock& clock) : clock_(clock) {}
    SimClock& clock() { return clock_; }

    void Dispatch() override;
    void Wait(double max_seconds) override;
    void Post(std::function<void()> work) override;
    void Quit() override;
    bool Quitting() const override;

    size_t Pending() const;

    // SetTimer/KillTimer of the window thread: `fire` runs in Dispatch each time `seconds` of
    // simulated time have passed since the start or the last firing, until the timer is killed.
    // Setting a running id starts it again. A Wait ends when a timer falls due.
    void SetTimer(int id, double seconds, std::function<void()> fire);
    void KillTimer(int id);
    bool TimerRunning(int id) const;
    bool AnyTimer() const;

private:
    struct TimerEntry {
        double interval;
        double due;
        std::function<void()> fire;
    };
    void FireDueTimers();
    std::optional<double> NextDue() const;

    SimClock& clock_;
    WorkQueue work_;
    std::atomic<bool> quitting_{false};
    mutable std::mutex timers_mutex_;
    std::map<int, TimerEntry> timers_;
};

}  // namespace orvane::platform::sim
