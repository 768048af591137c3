#include "platform/sim/sim_platform.h"

#include "platform/sim/sim_drive_state.h"

namespace orvane::platform::sim {

SimPlatform::SimPlatform(const SimMachine& machine, double speed, SystemApi* system)
    : machine_(machine),
      clock_(speed, machine.system.performance_counter),
      pump_(clock_),
      system_(machine_, clock_),
      hardware_(machine_.storage),
      storage_(hardware_),
      tree_(hardware_),
      wmi_(hardware_, machine_.system.wmi),
      platform_{system ? *system : system_, clock_, pump_, &storage_, &tree_, &wmi_} {
    hardware_.clock = &clock_;
    InstallDriveHandlers(storage_, hardware_);
}

nlohmann::json MachineToSave(const std::string& described_text, SimPlatform& sim, bool simulated_system) {
    nlohmann::json described = nlohmann::json::parse(described_text, nullptr, false);
    if (!described.is_object()) return nullptr;
    // A machine file without its own disks or controllers runs on the built-in machine's: saved
    // with them, the drives behind a controller's phys keep their state too.
    const nlohmann::json built_in = nlohmann::json::parse(DefaultMachineJson());
    for (const char* part : {"disks", "controllers"})
        if (!described.contains(part)) described[part] = built_in[part];
    // The registry and the folders too: a boot-time update leaves its registration there and its
    // flasher and image in the system folder.
    nlohmann::json& system = described["system"];
    system["registry"] = sim.system().RegistryJson();
    if (simulated_system) {
        system["system_dir"] = sim.system().facts().system_dir;
        system["windows_dir"] = sim.system().facts().windows_dir;
        system["program_data_dir"] = sim.system().facts().program_data_dir;
        // The clock goes on from where this run left it: a later start knows whether the
        // machine restarted since an update.
        system.update(sim.system().ClockJson());
    }
    return MachineAsItStands(std::move(described), sim.hardware());
}

}  // namespace orvane::platform::sim
