#pragma once
#include <cstdint>

#include "platform/clock.h"
#include "platform/message_pump.h"

namespace orvane::system {

// Stopwatch on the high-resolution counter, and the delays every wait of the program uses.
// One object per thread. A delay dispatches the pump's pending messages while it waits;
// on a worker thread (no pump) it only waits.
class HiTimer {
public:
    HiTimer(platform::Clock& clock, platform::MessagePump* pump);
    ~HiTimer();
    HiTimer(const HiTimer&) = delete;
    HiTimer& operator=(const HiTimer&) = delete;

    // With reset: stop a running stopwatch and forget the total first.
    void Start(bool reset = true);
    void Stop();
    // Seconds since the last Start, overhead removed, earlier intervals not included; 0 when stopped.
    double Elapsed();
    // All intervals since the last reset; while running, up to the last reading (Elapsed).
    double TotalSeconds() const;

    // Restart the stopwatch and wait, dispatching messages, until this much time has passed.
    void DelaySeconds(double seconds);
    void DelayMs(double ms);

    bool Running() const { return bRunning != 0; }
    // No high-resolution counter: the stopwatch runs on the coarse millisecond tick instead.
    bool Unavailable() const { return bUnavailable != 0; }
    int64_t Frequency() const { return iFrequency; }
    int64_t Overhead() const { return iOverhead; }

private:
    int64_t Read();
    int64_t Interval(int64_t to) const;
    void WaitUntil(double seconds);

    platform::Clock& clock_;
    platform::MessagePump* pump_;

    int64_t iCalStart = 0;
    int64_t iCalStop = 0;
    int64_t iCalTotal = 0;
    int64_t iFrequency = 0;
    int64_t iStart = 0;
    int64_t iStop = 0;
    int64_t iTotal = 0;
    int64_t iOverhead = 0;
    uint8_t bUnavailable = 0;
    // Kept apart from iStart: a counter may legitimately read 0 (a fresh simulated clock).
    uint8_t bRunning = 0;
};

}  // namespace orvane::system
