#include "system/os_info.h"

namespace orvane::system {

OSInfo::OSInfo(platform::SystemApi& api) : api_(api) {
    platform::OsVersion v;
    if (api_.GetVersionBasic(v)) {
        bIsNT = v.dwPlatformId == platform::kPlatformNT;
        bIsNT4 = bIsNT && v.dwMajorVersion == 4;
    }
}

bool OSInfo::ExitSystem(platform::ExitKind kind) {
    if (!bIsNT) return api_.ExitWindowsForced(kind);
    return api_.ForcedExit(kind) == platform::ExitResult::Done;
}

}  // namespace orvane::system
