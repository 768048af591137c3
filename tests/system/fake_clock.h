#pragma once
// A clock that moves only when asked, and a pump whose waits advance it.
#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "platform/message_pump.h"

namespace orvane::test {

class FakeClock : public platform::Clock {
public:
    explicit FakeClock(int64_t frequency = 1'000'000) : frequency(frequency) {}

    int64_t frequency;
    double t = 100.0;              // seconds
    double read_step = 1e-6;       // every reading costs this much time
    std::deque<int64_t> script;    // Counter() answers these first, as they are
    int counter_reads = 0;
    int tick_reads = 0;
    std::vector<double> sleeps;

    int64_t Frequency() override { return frequency; }
    int64_t Counter() override {
        ++counter_reads;
        if (!script.empty()) {
            int64_t v = script.front();
            script.pop_front();
            return v;
        }
        t += read_step;
        return static_cast<int64_t>(std::llround(t * static_cast<double>(frequency)));
    }
    uint64_t TickMs() override {
        ++tick_reads;
        t += read_step;
        return static_cast<uint64_t>(t * 1000);
    }
    void SleepSeconds(double s) override {
        sleeps.push_back(s);
        t += s;
    }
};

class FakePump : public platform::MessagePump {
public:
    explicit FakePump(FakeClock& clock) : clock_(clock) {}

    int dispatches = 0;
    std::vector<double> waits;
    // Work that "another thread" posts at a given clock time; a wait ends early when it arrives.
    std::multimap<double, std::function<void()>> arrivals;
    bool quitting = false;
    // Added to every wait that nothing interrupts: negative wakes early, positive late.
    double wait_error = 0;
    // What the pump says of its waits (a high-resolution timer), true or not.
    bool on_time = false;

    void Dispatch() override {
        ++dispatches;
        while (!queue_.empty()) {
            auto w = std::move(queue_.front());
            queue_.pop_front();
            w();
        }
    }
    void Wait(double max_seconds) override {
        waits.push_back(max_seconds);
        double until = clock_.t + max_seconds;
        if (!arrivals.empty() && arrivals.begin()->first < until) {
            clock_.t = std::max(clock_.t, arrivals.begin()->first);
            queue_.push_back(std::move(arrivals.begin()->second));
            arrivals.erase(arrivals.begin());
            return;
        }
        clock_.t = std::max(clock_.t, until + wait_error);
    }
    bool WaitEndsOnTime() const override { return on_time; }
    void Post(std::function<void()> work) override { queue_.push_back(std::move(work)); }
    void Quit() override { quitting = true; }
    bool Quitting() const override { return quitting; }

private:
    FakeClock& clock_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace orvane::test
