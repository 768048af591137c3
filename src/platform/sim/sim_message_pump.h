#pragma once
#include <atomic>
#include <functional>

#include "platform/message_pump.h"
#include "platform/work_queue.h"
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
    WorkQueue work_;
    std::atomic<bool> quitting_{false};
};

}  // namespace orvane::platform::sim
