#include "platform/sim/sim_platform.h"

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

}  // namespace orvane::platform::sim
