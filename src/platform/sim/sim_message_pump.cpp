#include "platform/sim/sim_message_pump.h"

namespace orvane::platform::sim {

void SimMessagePump::Dispatch() {
    // Only what is pending now: work that posts more work must not keep one Dispatch going forever.
    size_t n;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        n = queue_.size();
    }
    for (; n > 0; --n) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return;
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        if (work) work();
    }
}

void SimMessagePump::Wait(double max_seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    posted_.wait_for(lock, clock_.RealDuration(max_seconds), [&] { return !queue_.empty(); });
}

void SimMessagePump::Post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
    }
    posted_.notify_all();
}

void SimMessagePump::Quit() {
    std::lock_guard<std::mutex> lock(mutex_);
    quitting_ = true;
}

bool SimMessagePump::Quitting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return quitting_;
}

size_t SimMessagePump::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

}  // namespace orvane::platform::sim
