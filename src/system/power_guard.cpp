#include "system/power_guard.h"

#include "text/format.h"

namespace orvane::system {

namespace {
constexpr uint8_t kAcOffline = 0, kAcOnline = 1;
constexpr uint8_t kFlagCritical = 4, kFlagNoBattery = 128, kUnknown = 255;

const char* const kLowBattery =
    "The battery is at %u %% and the charger is unplugged. A firmware update that is cut off by a flat battery "
    "can leave the drive unusable. Plug the charger in and start the update again. Nothing was sent to the drive.";
const char* const kCriticalBattery =
    "The battery is reported critical and the charger is not plugged in. A firmware update that is cut off by a "
    "flat battery can leave the drive unusable. Plug the charger in and start the update again. Nothing was sent "
    "to the drive.";
}  // namespace

PowerVerdict JudgePower(const std::optional<platform::PowerStatus>& status) {
    PowerVerdict v;
    if (!status) {
        v.log = "power status unknown";
        return v;
    }
    const platform::PowerStatus& s = *status;
    v.log = text::Format("AC=%u FLAG=%u PERCENT=%u", s.ac_line, s.battery_flag, s.battery_percent);
    const bool battery_known = s.battery_flag != kUnknown;
    if (battery_known && (s.battery_flag & kFlagNoBattery)) return v;
    if (battery_known && (s.battery_flag & kFlagCritical) && s.ac_line != kAcOnline) {
        v.refused = true;
        v.reason = kCriticalBattery;
    } else if (s.ac_line == kAcOffline && s.battery_percent != kUnknown && s.battery_percent < kMinimumBatteryPercent) {
        v.refused = true;
        v.reason = text::Format(kLowBattery, s.battery_percent);
    }
    return v;
}

}  // namespace orvane::system
