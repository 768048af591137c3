#include "platform/sim/sim_platform.h"

namespace orvane::platform::sim {

SimPlatform::SimPlatform(const SimMachine& machine, double speed)
    : machine_(machine),
      clock_(speed, machine.system.performance_counter),
      pump_(clock_),
      system_(machine_, clock_),
      platform_{system_, clock_, pump_} {}

}  // namespace orvane::platform::sim
