#pragma once
#include <cstdint>

namespace orvane::app {

enum class Timer { Timer1, Timer2, tmrAutoFlash };

// The main window's timers as designed.
constexpr unsigned TimerIntervalMs(Timer t) {
    switch (t) {
        case Timer::Timer1: return 2500;
        case Timer::Timer2: return 100;
        case Timer::tmrAutoFlash: return 2000;
    }
    return 0;
}

// PBT_APMQUERYSUSPEND, PBT_APMQUERYSUSPENDFAILED and the refusal answer, as Windows numbers them.
constexpr uint32_t kPbtApmQuerySuspend = 0x0000;
constexpr uint32_t kPbtApmQuerySuspendFailed = 0x0002;
constexpr uint32_t kBroadcastQueryDeny = 0x424D5144;

// Everything the main window raises, as its handlers are named. Both views deliver their
// events through this one interface; the main window's logic implements it.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    virtual void cmdUpdateClick() = 0;
    virtual void cmdCloseClick() = 0;
    virtual void cboDrivesChange() = 0;
    virtual void Timer1Timer() = 0;
    virtual void Timer2Timer() = 0;
    virtual void tmrAutoFlashTimer() = 0;
    // The answer the window gives to the power-broadcast message (0: none of its own).
    virtual uint32_t OnPowerBroadcast(uint32_t event) = 0;
    // The user closes the window (title bar, Alt+F4, the system menu).
    virtual void FormClose() = 0;
};

inline void RaiseTimer(WindowEvents& events, Timer t) {
    switch (t) {
        case Timer::Timer1: events.Timer1Timer(); break;
        case Timer::Timer2: events.Timer2Timer(); break;
        case Timer::tmrAutoFlash: events.tmrAutoFlashTimer(); break;
    }
}

}  // namespace orvane::app
