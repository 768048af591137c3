#pragma once
#include <functional>

namespace orvane::platform {

// The window thread's message queue: what delays dispatch while they wait.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    // Dispatch everything pending now (the framework's ProcessMessages).
    virtual void Dispatch() = 0;
    // Sleep until something is pending or max_seconds of clock time have passed,
    // without dispatching it.
    virtual void Wait(double max_seconds) = 0;
    // True when a Wait that nothing wakes ends at its time, not a tick after nor before it: a
    // delay can then wait to its deadline in one go.
    virtual bool WaitEndsOnTime() const { return false; }
    // Queue work for the pump's thread; safe from any thread.
    virtual void Post(std::function<void()> work) = 0;
    // Ask the message loop to end (PostQuitMessage); Quitting() reports it.
    virtual void Quit() = 0;
    virtual bool Quitting() const = 0;
};

}  // namespace orvane::platform
