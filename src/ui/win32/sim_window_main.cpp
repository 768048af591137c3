// orvane-simwin: the program's logic and its real window, over the simulated machine. A test and
// demonstration program (not shipped): it shows on screen what orvane-sim prints as lines.
#include <memory>

#include "app/run_program.h"
#include "package/package_block.h"
#include "platform/win32/win32_message_pump.h"
#include "platform/win32/win32_system_api.h"
#include "ui/sim_launcher.h"
#include "ui/win32/win32_view.h"

namespace {

std::unique_ptr<orvane::platform::SystemApi> RealSystem() {
    return std::make_unique<orvane::platform::win32::Win32SystemApi>();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvane;
    const ui::SimProgram program{"orvane-simwin", false, RealSystem};
    return ui::LaunchSim(program, argc, argv, [](platform::sim::SimPlatform& sim, const ui::SimOptions& o) {
        // The machine's drives, system and clock; the real window and its thread's message queue,
        // so the window's messages and timers drive the logic as they do in the shipped program.
        platform::win32::Win32MessagePump pump;
        platform::Platform plat{sim.platform().system, sim.clock(), pump, &sim.storage(), &sim.tree(), &sim.wmi()};
        ui::Win32View view(GetModuleHandleW(nullptr));
        app::AppContext ctx{plat, view, package::PackageBlockBytes(), package::PackageBlockSize(), o.program_args,
                            nullptr};
        return app::RunProgram(ctx);
    });
}
