#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/message_pump.h"
#include "platform/sim/sim_clock.h"

namespace orvane::platform::sim {

// The window thread's queue on the simulated machine: posted work runs in Dispatch.
class SimMessagePump : public MessagePump {
public:
    explicit SimMessagePump(SimClock& clock) : clock_(clock) {}

    void Dispatch() override;
    void Wait(double max_seconds) override;
    void Post(std::function<void()> work) override;
    void Quit() override;
    bool Quitting() const override;

    size_t Pending() const;

private:
    SimClock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
    bool quitting_ = false;
};

}  // namespace orvane::platform::sim
