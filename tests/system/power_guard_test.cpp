// When the machine's power may not carry a firmware update to its end.
#include <gtest/gtest.h>

#include "system/power_guard.h"

namespace orvane::system {
namespace {

struct PowerRow {
    const char* name;
    std::optional<platform::PowerStatus> status;
    bool refused;
};

const PowerRow kPowerRows[] = {
    {"the call failed", std::nullopt, false},
    {"desktop, no system battery", platform::PowerStatus{1, 128, 255}, false},
    {"desktop on a UPS: no system battery, no mains", platform::PowerStatus{0, 128, 0}, false},
    {"on battery at 24 %", platform::PowerStatus{0, 2, 24}, true},
    {"on battery at 25 %", platform::PowerStatus{0, 1, 25}, false},
    {"on battery at 0 %", platform::PowerStatus{0, 4, 0}, true},
    {"on battery, charge unknown", platform::PowerStatus{0, 1, 255}, false},
    {"on battery, every flag unknown but the charge low", platform::PowerStatus{0, 255, 10}, true},
    {"charger plugged in at 3 %, critical", platform::PowerStatus{1, 4 | 8, 3}, false},
    {"charger state unknown at 10 %", platform::PowerStatus{255, 2, 10}, false},
    {"charger state unknown, critical", platform::PowerStatus{255, 4, 255}, true},
    {"on battery at 80 % but reported critical", platform::PowerStatus{0, 4, 80}, true},
    {"battery flags unknown, charger unknown", platform::PowerStatus{255, 255, 255}, false},
};

TEST(PowerGuard, RefusesOnlyABatteryThatMayDieHalfway) {
    for (const PowerRow& row : kPowerRows) {
        const PowerVerdict v = JudgePower(row.status);
        EXPECT_EQ(v.refused, row.refused) << row.name << " (" << v.log << ")";
        EXPECT_EQ(v.reason.empty(), !row.refused) << row.name;
        if (v.refused) {
            EXPECT_NE(v.reason.find("Plug the charger in"), std::string::npos) << row.name;
        }
    }
}

}  // namespace
}  // namespace orvane::system
