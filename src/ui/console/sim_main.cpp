// orvane-sim: the program's logic on a simulated machine, with the window as console lines.
#include <cstdio>
#include <memory>

#include "app/run_program.h"
#include "package/package_block.h"
#include "ui/console/console_view.h"
#include "ui/sim_launcher.h"
#ifdef _WIN32
#include "platform/win32/win32_system_api.h"
#endif

namespace {

#ifdef _WIN32
std::unique_ptr<orvane::platform::SystemApi> RealSystem() {
    return std::make_unique<orvane::platform::win32::Win32SystemApi>();
}
#else
constexpr std::unique_ptr<orvane::platform::SystemApi> (*RealSystem)() = nullptr;
#endif

}  // namespace

int main(int argc, char** argv) {
    using namespace orvane;
    const ui::SimProgram program{"orvane-sim", true, RealSystem};
    return ui::LaunchSim(program, argc, argv, [](platform::sim::SimPlatform& sim, const ui::SimOptions& o) {
        ui::ConsoleView view(stdout, sim.pump(), o.answers, o.actions);
        app::AppContext ctx{sim.platform(), view, package::PackageBlockBytes(), package::PackageBlockSize(),
                            o.program_args, nullptr};
        return app::RunProgram(ctx);
    });
}
