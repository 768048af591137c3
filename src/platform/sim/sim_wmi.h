#pragma once
#include <string>
#include <vector>

#include "platform/sim/sim_storage.h"
#include "platform/wmi.h"

namespace orvane::platform::sim {

// WMI over the simulated machine: Win32_DiskDrive from the disks (their "wmi" texts replace
// the derived ones) and Win32_LogicalDiskToPartition from the partitions' letters.
class SimWmi : public Wmi {
public:
    // available: the machine's "system.wmi"; the storage's "wmi_unavailable" also turns it off.
    SimWmi(SimHardware& hw, bool available);
    WmiStatus Query(const std::string& query, bool connect_max_wait, bool read_values,
                    std::vector<WmiInstance>& out) override;
    std::vector<std::string> Queries() const;

private:
    SimHardware& hw_;
    bool available_;
    std::vector<std::string> queries_;
};

}  // namespace orvane::platform::sim
