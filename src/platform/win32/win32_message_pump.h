#pragma once
#include <functional>
#include <memory>

#include "platform/message_pump.h"

namespace orvane::platform::win32 {

// The calling thread's message queue. Construct, Dispatch and Wait on the thread whose windows it
// serves; Post and Quit work from any thread. A Wait ends on time to a fraction of a millisecond:
// on a high-resolution timer, or else with the 1 ms timer resolution it holds while it lives.
class Win32MessagePump : public MessagePump {
public:
    Win32MessagePump();
    ~Win32MessagePump() override;
    Win32MessagePump(const Win32MessagePump&) = delete;
    Win32MessagePump& operator=(const Win32MessagePump&) = delete;

    void Dispatch() override;
    void Wait(double max_seconds) override;
    bool WaitEndsOnTime() const override;
    void Post(std::function<void()> work) override;
    void Quit() override;
    bool Quitting() const override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::platform::win32
