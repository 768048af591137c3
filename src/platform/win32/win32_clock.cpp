#include "platform/win32/win32_clock.h"

#include <windows.h>

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

}  // namespace orvane::platform::win32
