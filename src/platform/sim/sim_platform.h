#pragma once
#include <memory>

#include "platform/platform.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_device_tree.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_message_pump.h"
#include "platform/sim/sim_storage_io.h"
#include "platform/sim/sim_system_api.h"
#include "platform/sim/sim_wmi.h"

namespace orvane::platform::sim {

// The simulated machine as one bundle of thin layers. Create it on the thread that plays
// the window's thread: the pump belongs to that thread.
class SimPlatform {
public:
    // speed: simulated seconds per real second. system: the system layer the program talks
    // to instead of the simulated one (the disks stay simulated); null for the simulated one.
    SimPlatform(const SimMachine& machine, double speed = 1.0, SystemApi* system = nullptr);

    Platform& platform() { return platform_; }
    SimClock& clock() { return clock_; }
    SimMessagePump& pump() { return pump_; }
    // The simulated system layer (left unused when the program was given another).
    SimSystemApi& system() { return system_; }
    SimHardware& hardware() { return hardware_; }
    SimStorageIo& storage() { return storage_; }
    SimDeviceTree& tree() { return tree_; }
    SimWmi& wmi() { return wmi_; }
    const SimMachine& machine() const { return machine_; }

private:
    SimMachine machine_;
    SimClock clock_;
    SimMessagePump pump_;
    SimSystemApi system_;
    SimHardware hardware_;
    SimStorageIo storage_;
    SimDeviceTree tree_;
    SimWmi wmi_;
    Platform platform_;
};

// The machine to save when a run ends: the description it ran from (`described_text`, JSON; the
// built-in machine's disks and controllers where it has none) with the drives as they stand, the
// registry and, for the simulated system, its host folders, so that a later run (restarted or
// not) finds what this one left. Null when the description is not JSON.
nlohmann::json MachineToSave(const std::string& described_text, SimPlatform& sim, bool simulated_system);

}  // namespace orvane::platform::sim
