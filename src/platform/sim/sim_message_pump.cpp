#include "platform/sim/sim_message_pump.h"

namespace orvane::platform::sim {

void SimMessagePump::Dispatch() { work_.RunPending(); }

void SimMessagePump::Wait(double max_seconds) { work_.WaitFor(clock_.RealDuration(max_seconds)); }

void SimMessagePump::Post(std::function<void()> work) { work_.Push(std::move(work)); }

void SimMessagePump::Quit() { quitting_ = true; }

bool SimMessagePump::Quitting() const { return quitting_; }

size_t SimMessagePump::Pending() const { return work_.Size(); }

}  // namespace orvane::platform::sim
