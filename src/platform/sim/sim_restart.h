#pragma once
// The simulated machine's restart between two runs: what the power cycle does to the drives, then
// the boot-time flashers Windows runs once from BootExecute before the desktop.
#include <string>
#include <vector>

#include "platform/sim/sim_storage.h"

namespace orvane::platform::sim {

class SimSystemApi;

// Power cycle of the drives: pending images take over, restarts end (CSMI drives too), disks
// removed from the device tree are enumerated again.
void RestartDrives(SimHardware& hw);

// The whole restart: the drives, then every BootExecute entry other than the disk checker's
// whose program "<name>.exe" is in the (native) system folder. A program carrying the "SN1="
// setting is a flasher: it writes the image its entry names to the ATA drive with that serial
// number (unless the machine's boot flasher fails) and removes its own entry. Returns one
// "[restart] ..." line per change or failure, in order.
std::vector<std::string> RestartMachine(SimHardware& hw, SimSystemApi& system);

}  // namespace orvane::platform::sim
