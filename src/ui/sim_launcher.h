#pragma once
// What the programs that run the logic on a simulated machine share: their command line, the
// machine it names, and what a run leaves behind when it ends. Each program makes only its view.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "platform/system_api.h"
#include "ui/console/user_actions.h"

namespace orvane::ui {

inline constexpr int kSimUsageError = 64;

struct SimProgram {
    const char* name;           // starts its messages and its usage line
    bool console_view = false;  // its view takes --answers and --actions
    // The real system layer for --real-system; null where the build has none.
    std::unique_ptr<platform::SystemApi> (*real_system)() = nullptr;
};

struct SimOptions {
    std::string machine_file;  // empty: the built-in machine
    std::vector<std::string> answers;
    std::vector<UserAction> actions;
    double speed = 1.0;
    bool show_package = false;
    bool real_system = false;
    bool restart = false;       // the machine restarts before the program starts
    std::string drive_state_file, save_machine_file;
    std::vector<std::string> program_args;
};

// The arguments after the program's name. Nullopt: run. Otherwise the exit code, with what to
// write in `said`: on stdout for 0 (the usage for --help, the version for --version), else on
// stderr (what is wrong; exit 64, apart from the program's own exit codes, 2 among them).
std::optional<int> ParseSimOptions(const SimProgram& program, const std::vector<std::string>& args, SimOptions& out,
                                   std::string& said);

// The program's view over the machine: runs the logic and returns its exit code.
using SimView = std::function<int(platform::sim::SimPlatform& sim, const SimOptions& options)>;

// The whole program: the command line, --package, the machine, the run in `view`, then the
// files asked for, the forced exits recorded and the "[exit] N" line.
int LaunchSim(const SimProgram& program, int argc, char** argv, const SimView& view);

}  // namespace orvane::ui
