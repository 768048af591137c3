// orvane-sim: the program's logic on a simulated machine, with the window as console lines.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_program.h"
#include "package/package_block.h"
#include "package/package_info.h"
#include "package/package_json.h"
#include "platform/sim/exit_guard_system_api.h"
#include "platform/sim/sim_drive_state.h"
#include "platform/sim/sim_platform.h"
#include "ui/console/console_view.h"
#include "ui/console/user_actions.h"
#ifdef _WIN32
#include "platform/win32/win32_system_api.h"
#endif

namespace {

constexpr int kUsageError = 64;

void Usage() {
    std::fprintf(stderr,
                 "usage: orvane-sim [--machine FILE] [--answers yes,no,...] [--actions LIST] [--speed N]"
                 " [--package] [--drive-state FILE] [--save-machine FILE]"
                 " [--real-system] [-- program arguments]\n"
                 "  --machine FILE  simulated machine description (JSON); default: the built-in machine\n"
                 "  --answers LIST  answers for the message boxes in turn, then Yes/OK\n"
                 "  --actions LIST  act as the user (and the system) on the window, e.g. select:2,press:Update\n"
                 "  --speed N       simulated time runs N times faster\n"
                 "  --package       print the package this program carries, as JSON, and exit\n"
                 "  --drive-state FILE  when the program ends, write the drives' firmware state there (JSON)\n"
                 "  --save-machine FILE  when the program ends, write the machine with its drives as they stand\n"
                 "                  (for --machine of a later run)\n"
                 "  --real-system   (Windows builds) the disks stay simulated, the system is this one:\n"
                 "                  its directories, registry, version and programs; a forced restart\n"
                 "                  or shutdown is only recorded\n"
                 "  -- ARGS         the program's own: /S /ERASE /T:path /C:port,address /LIST /RESULT:path\n"
                 "%s",
                 orvane::ui::kActionsHelp);
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) out.push_back(item);
    return out;
}

// Forced restarts and shutdowns are never done by this program: it shows what was asked.
void PrintExitRequests(const std::vector<orvane::platform::ExitKind>& kinds, const std::vector<bool>& direct) {
    for (size_t i = 0; i < kinds.size(); ++i)
        std::printf("[system] forced %s%s recorded, not done\n",
                    kinds[i] == orvane::platform::ExitKind::Reboot ? "restart" : "shutdown",
                    i < direct.size() && direct[i] ? " (without privilege)" : "");
}

}  // namespace

int main(int argc, char** argv) {
    std::string machine_file;
    std::vector<std::string> answers;
    std::vector<orvane::ui::UserAction> actions;
    double speed = 1.0;
    bool show_package = false;
    [[maybe_unused]] bool real_system = false;
    std::string drive_state_file;
    std::string save_machine_file;
    std::vector<std::string> program_args;

    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            program_args.assign(argv + i + 1, argv + argc);
            break;
        }
        if ((a == "--machine" || a == "--answers" || a == "--actions" || a == "--speed" ||
             a == "--drive-state" || a == "--save-machine") && i + 1 >= argc) {
            std::fprintf(stderr, "orvane-sim: %s needs a value\n", a.c_str());
            return kUsageError;
        }
        if (a == "--machine") {
            machine_file = argv[++i];
        } else if (a == "--answers") {
            answers = Split(argv[++i]);
        } else if (a == "--actions") {
            std::string error;
            if (!orvane::ui::ParseActions(argv[++i], actions, error)) {
                std::fprintf(stderr, "orvane-sim: --actions: %s\n", error.c_str());
                return kUsageError;
            }
        } else if (a == "--speed") {
            char* end = nullptr;
            speed = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(speed > 0)) {
                std::fprintf(stderr, "orvane-sim: --speed needs a positive number\n");
                return kUsageError;
            }
        } else if (a == "--save-machine") {
            save_machine_file = argv[++i];
        } else if (a == "--drive-state") {
            drive_state_file = argv[++i];
        } else if (a == "--package") {
            show_package = true;
        } else if (a == "--real-system") {
#ifdef _WIN32
            real_system = true;
#else
            std::fprintf(stderr, "orvane-sim: --real-system needs the Windows build of orvane-sim: this one has"
                                 " no real Windows system to use\n");
            return kUsageError;
#endif
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            std::fprintf(stderr, "orvane-sim: unknown option %s\n", a.c_str());
            Usage();
            return kUsageError;
        }
    }

    using namespace orvane;
    if (show_package) {
        package::ParseResult parsed =
            package::ParsePackage(package::PackageBlockBytes(), package::PackageBlockSize());
        if (!parsed.ok) {
            std::fprintf(stderr, "orvane-sim: malformed package: %s\n", parsed.error.c_str());
            return 4;
        }
        std::printf("%s\n", package::DescribePackage(parsed.info).dump(2).c_str());
        return 0;
    }

    std::string text = platform::sim::DefaultMachineJson();
    if (!machine_file.empty()) {
        std::error_code ec;
        if (std::filesystem::is_directory(machine_file, ec)) {
            std::fprintf(stderr, "orvane-sim: machine file %s: is a folder, not a file\n", machine_file.c_str());
            return kUsageError;
        }
        std::ifstream in(machine_file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "orvane-sim: cannot read machine file %s\n", machine_file.c_str());
            return kUsageError;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        text = ss.str();
    }
    platform::sim::SimMachine machine;
    std::string error;
    if (!platform::sim::LoadMachine(text, machine, error)) {
        if (machine_file.empty())
            std::fprintf(stderr, "orvane-sim: the built-in machine: %s\n", error.c_str());
        else
            std::fprintf(stderr, "orvane-sim: machine file %s: %s\n", machine_file.c_str(), error.c_str());
        return kUsageError;
    }

    std::unique_ptr<platform::SystemApi> real;
    std::unique_ptr<platform::sim::ExitGuardSystemApi> guarded;
#ifdef _WIN32
    if (real_system) {
        real = std::make_unique<platform::win32::Win32SystemApi>();
        guarded = std::make_unique<platform::sim::ExitGuardSystemApi>(*real);
    }
#endif
    platform::sim::SimPlatform sim(machine, speed, guarded.get());
    ui::ConsoleView view(stdout, sim.pump(), answers, actions);
    app::AppContext ctx{sim.platform(), view, package::PackageBlockBytes(), package::PackageBlockSize(),
                        program_args, nullptr};
    int code = app::RunProgram(ctx);
    if (!drive_state_file.empty()) {
        std::ofstream out(drive_state_file, std::ios::binary);
        out << platform::sim::DriveStateJson(sim.hardware()).dump(2) << "\n";
        if (!out) std::fprintf(stderr, "orvane-sim: cannot write %s\n", drive_state_file.c_str());
    }
    if (!save_machine_file.empty()) {
        nlohmann::json described = nlohmann::json::parse(text, nullptr, false);
        // A machine file without its own disks runs on the built-in machine's.
        if (described.is_object() && !described.contains("disks"))
            described["disks"] = nlohmann::json::parse(platform::sim::DefaultMachineJson())["disks"];
        // The registry too: a boot-time update leaves its registration there.
        if (described.is_object()) described["system"]["registry"] = sim.system().RegistryJson();
        std::ofstream out(save_machine_file, std::ios::binary);
        out << platform::sim::MachineAsItStands(described, sim.hardware()).dump(2) << "\n";
        if (!out || described.is_discarded())
            std::fprintf(stderr, "orvane-sim: cannot write %s\n", save_machine_file.c_str());
    }
    if (guarded)
        PrintExitRequests(guarded->ExitRequests(), guarded->ExitDirect());
    else
        PrintExitRequests(sim.system().exit_requests, sim.system().exit_direct);
    std::printf("[exit] %d\n", code);
    return code;
}
