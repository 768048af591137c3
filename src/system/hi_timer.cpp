#include "system/hi_timer.h"

#include <algorithm>

namespace orvane::system {

namespace {
// The message wait may end about a millisecond off where the system has no high-resolution
// timer: it is asked to end this much before the deadline, and what is left (up to twice this)
// is slept on the clock.
constexpr double kFinalStretch = 0.001;
}  // namespace

HiTimer::HiTimer(platform::Clock& clock, platform::MessagePump* pump) : clock_(clock), pump_(pump) {
    iFrequency = clock_.Frequency();
    if (iFrequency <= 0) {
        // Without a performance counter every reading would be 0 and no delay would ever end.
        bUnavailable = 1;
        iFrequency = 1000;
    }
    // Overhead: what a start, a stop and the readings between them cost.
    iStart = Read();
    bRunning = 1;
    iCalStart = Read();
    iCalStop = Read();
    iCalTotal = iCalStop - iCalStart;
    Stop();
    iOverhead = iTotal;
    iStart = iStop = iTotal = 0;
}

HiTimer::~HiTimer() {
    if (bRunning) Stop();
}

int64_t HiTimer::Read() {
    return bUnavailable ? static_cast<int64_t>(clock_.TickMs()) : clock_.Counter();
}

// A reading older than the start (no reading since Start) or an interval shorter than the
// overhead counts as nothing rather than as negative time.
int64_t HiTimer::Interval(int64_t to) const {
    return std::max<int64_t>(0, to - iStart - iOverhead);
}

void HiTimer::Start(bool reset) {
    if (reset) {
        if (bRunning) Stop();
        iTotal = 0;
    }
    iStart = Read();
    bRunning = 1;
}

void HiTimer::Stop() {
    iStop = Read();
    if (bRunning) iTotal += Interval(iStop);
    iStart = 0;
    bRunning = 0;
}

double HiTimer::Elapsed() {
    iStop = Read();
    if (!bRunning) return 0;
    return static_cast<double>(Interval(iStop)) / static_cast<double>(iFrequency);
}

double HiTimer::TotalSeconds() const {
    int64_t counts = iTotal;
    if (bRunning) counts += Interval(iStop);
    return static_cast<double>(counts) / static_cast<double>(iFrequency);
}

void HiTimer::WaitUntil(double seconds) {
    if (pump_) {
        // A wait that ends on time runs to the deadline itself: every look at the queue and every
        // timer armed is a round trip to the window system, and the last stretch would add two.
        bool on_time = pump_->WaitEndsOnTime();
        for (;;) {
            pump_->Dispatch();
            double remaining = seconds - Elapsed();
            if (on_time) {
                if (remaining <= 0) return;
                pump_->Wait(remaining);
                remaining = seconds - Elapsed();
                if (remaining <= 0) return;
                // A hair short (the stopwatch's own overhead): the rest on the clock, without
                // looking at the queue again.
                if (remaining <= kFinalStretch / 10) break;
                // Woken well before the end (work, a message, or a wait less exact than it said):
                // the rest as with any other wait.
                on_time = false;
                continue;
            }
            if (remaining <= 2 * kFinalStretch) break;
            pump_->Wait(remaining - kFinalStretch);
        }
    }
    // The last stretch sleeps on the clock and does not dispatch: every look at the message
    // queue is a round trip to the window system, and a spin of them burns a core.
    for (double remaining; (remaining = seconds - Elapsed()) > 0;) clock_.SleepSeconds(remaining);
}

void HiTimer::DelaySeconds(double seconds) {
    Start(true);
    // A negative or NaN duration must not turn into an endless wait.
    WaitUntil(seconds > 0 ? seconds : 0);
    Stop();
}

void HiTimer::DelayMs(double ms) {
    DelaySeconds(ms / 1000.0);
}

}  // namespace orvane::system
