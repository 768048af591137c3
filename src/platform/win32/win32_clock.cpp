#include "platform/win32/win32_clock.h"

#include <windows.h>

#include "platform/win32/win32_precise_timer.h"

namespace orvane::platform::win32 {

Win32Clock::Win32Clock() {
    LARGE_INTEGER f;
    if (QueryPerformanceFrequency(&f) && f.QuadPart > 0) frequency_ = f.QuadPart;
}

int64_t Win32Clock::Counter() {
    LARGE_INTEGER c;
    if (!frequency_ || !QueryPerformanceCounter(&c)) return 0;
    return c.QuadPart;
}

uint64_t Win32Clock::TickMs() {
    return GetTickCount64();
}

void Win32Clock::SleepSeconds(double seconds) {
    if (!(seconds > 0)) return;
    // One timer per thread: the clock is shared by every thread's stopwatch, and making a timer
    // for each sleep costs two more round trips to the system.
    struct ThreadTimer {
        bool high_resolution = false;
        UniqueHandle timer = MakeWaitTimer(&high_resolution);
    };
    thread_local ThreadTimer mine;
    if (mine.high_resolution && ArmTimer(mine.timer.get(), seconds) &&
        WaitForSingleObject(mine.timer.get(), TimeoutMs(seconds) + 50) == WAIT_OBJECT_0)
        return;
    // Older systems: whole milliseconds short of the end, then give the rest of the time slice
    // away; callers that need the exact end check the counter and ask again.
    DWORD ms = static_cast<DWORD>(seconds * 1000.0);
    if (ms >= 2)
        Sleep(ms - 1);
    else
        SwitchToThread();
}

}  // namespace orvane::platform::win32
