#pragma once
#include <windows.h>

namespace orvane::platform::win32 {

// Whether a folder with this owner and DACL stands so that only Administrators and SYSTEM may
// change it or what it holds: a privileged owner (Administrators, SYSTEM, or the process's own
// user where the file system records no other), a DACL, and no other trustee allowed any right
// to write, delete or change permissions.
bool StandsProtected(PSECURITY_DESCRIPTOR sd);

}  // namespace orvane::platform::win32
