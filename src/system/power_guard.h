#pragma once
#include <optional>
#include <string>

#include "platform/system_api.h"

namespace orvane::system {

// Below this charge, on battery, a firmware update may be cut off halfway.
inline constexpr int kMinimumBatteryPercent = 25;

// Whether the machine's power can carry a command that changes a drive to its end. A desktop
// (no system battery), a charger that is plugged in and a charge the system does not know are
// not reasons to refuse; a low charge with the charger unplugged, or a critical battery without
// the charger, are.
struct PowerVerdict {
    bool refused = false;
    std::string reason;  // the user's message when refused
    std::string log;     // "AC=.. FLAG=.. PERCENT=..", for the debug log
};
PowerVerdict JudgePower(const std::optional<platform::PowerStatus>& status);

}  // namespace orvane::system
