#pragma once
#include <cstdint>

#include "platform/system_api.h"

namespace orvane::system {

// Platform facts and the forced restart and shutdown.
class OSInfo {
public:
    explicit OSInfo(platform::SystemApi& api);

    // Forced: applications are not asked. True when the system accepted the request.
    bool ExitSystem(platform::ExitKind kind);
    bool Reboot() { return ExitSystem(platform::ExitKind::Reboot); }
    bool Shutdown() { return ExitSystem(platform::ExitKind::Shutdown); }

    uint8_t bIsNT = 0;
    uint8_t bIsNT4 = 0;

private:
    platform::SystemApi& api_;
};

}  // namespace orvane::system
