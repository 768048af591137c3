#pragma once
// Waitable timers that end a wait on time to a fraction of a millisecond. Included only by the
// Win32 layer's .cpp files.
#include <windows.h>

#include "platform/win32/win32_handles.h"

namespace orvane::platform::win32 {

// A high-resolution timer (Windows 10 1803 and later); before that, a plain one, which fires on
// the system timer's next tick after its due time. Empty when neither can be made.
UniqueHandle MakeWaitTimer(bool* high_resolution = nullptr);

// Arms the timer to fire once, `seconds` from now (at least 100 ns).
bool ArmTimer(HANDLE timer, double seconds);

// A wait's millisecond timeout that never ends before `seconds`, capped at a day.
DWORD TimeoutMs(double seconds);

}  // namespace orvane::platform::win32
