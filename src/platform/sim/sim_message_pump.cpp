#include "platform/sim/sim_message_pump.h"

#include <algorithm>
#include <vector>

namespace orvane::platform::sim {

void SimMessagePump::Dispatch() {
    work_.RunPending();
    FireDueTimers();
}

void SimMessagePump::FireDueTimers() {
    // By id, each due timer once; a handler may kill or restart any timer, this one included.
    std::vector<int> due;
    {
        std::lock_guard<std::mutex> lock(timers_mutex_);
        double now = clock_.Now();
        for (const auto& [id, t] : timers_)
            if (now >= t.due) due.push_back(id);
    }
    for (int id : due) {
        std::function<void()> fire;
        {
            std::lock_guard<std::mutex> lock(timers_mutex_);
            auto it = timers_.find(id);
            double now = clock_.Now();
            if (it == timers_.end() || now < it->second.due) continue;
            // The next period counts from this firing, as a window timer's does.
            it->second.due = now + it->second.interval;
            fire = it->second.fire;
        }
        if (fire) fire();
    }
}

std::optional<double> SimMessagePump::NextDue() const {
    std::lock_guard<std::mutex> lock(timers_mutex_);
    std::optional<double> next;
    for (const auto& [id, t] : timers_)
        if (!next || t.due < *next) next = t.due;
    return next;
}

void SimMessagePump::Wait(double max_seconds) {
    if (std::optional<double> due = NextDue()) max_seconds = std::min(max_seconds, *due - clock_.Now());
    if (clock_.Stopped()) {
        if (work_.Size() == 0) clock_.PassWait(max_seconds);
        return;
    }
    work_.WaitFor(clock_.RealDuration(max_seconds));
}

void SimMessagePump::Post(std::function<void()> work) { work_.Push(std::move(work)); }

void SimMessagePump::SetTimer(int id, double seconds, std::function<void()> fire) {
    std::lock_guard<std::mutex> lock(timers_mutex_);
    timers_[id] = TimerEntry{seconds, clock_.Now() + seconds, std::move(fire)};
}

void SimMessagePump::KillTimer(int id) {
    std::lock_guard<std::mutex> lock(timers_mutex_);
    timers_.erase(id);
}

bool SimMessagePump::TimerRunning(int id) const {
    std::lock_guard<std::mutex> lock(timers_mutex_);
    return timers_.count(id) != 0;
}

bool SimMessagePump::AnyTimer() const {
    std::lock_guard<std::mutex> lock(timers_mutex_);
    return !timers_.empty();
}

void SimMessagePump::Quit() { quitting_ = true; }

bool SimMessagePump::Quitting() const { return quitting_; }

size_t SimMessagePump::Pending() const { return work_.Size(); }

}  // namespace orvane::platform::sim
