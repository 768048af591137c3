#include "ui/sim_launcher.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "package/package_block.h"
#include "package/package_info.h"
#include "package/package_json.h"
#include "platform/sim/exit_guard_system_api.h"
#include "platform/sim/sim_drive_state.h"
#include "platform/sim/sim_restart.h"
#include "orvane_version.h"

namespace orvane::ui {

namespace {

std::string Usage(const SimProgram& p) {
    const bool console = p.console_view;
    std::string s = std::string("usage: ") + p.name + " [--machine FILE]" +
                    (console ? " [--answers yes,no,...] [--actions LIST]" : "") +
                    " [--speed N] [--package] [--drive-state FILE] [--save-machine FILE]"
                    " [--restart] [--real-system] [-- program arguments]\n"
                    "       " + p.name + " --version | --help\n"
                    "  --machine FILE  simulated machine description (JSON); default: the built-in machine\n";
    if (console)
        s += "  --answers LIST  answers for the message boxes in turn, then Yes/OK; ANSWER@SECONDS: answered\n"
             "                  after that much simulated time\n"
             "  --actions LIST  act as the user (and the system) on the window, e.g. select:2,press:Update\n";
    s += "  --speed N       simulated time runs N times faster\n"
         "  --package       print the package this program carries, as JSON, and exit\n"
         "  --drive-state FILE  when the program ends, write the drives' firmware state there (JSON)\n"
         "  --save-machine FILE  when the program ends, write the machine with its drives as they stand\n"
         "                  (for --machine of a later run)\n"
         "  --restart       the machine restarts before the program starts: images waiting for the\n"
         "                  restart take over, then each boot-time flasher in BootExecute runs once\n"
         "                  (\"[restart] ...\" lines say what happened)\n"
         "  --real-system   (Windows builds) the disks stay simulated, the system is this one:\n"
         "                  its directories, registry, version and programs; a forced restart\n"
         "                  or shutdown is only recorded\n"
         "  -- ARGS         the program's own: /S /ERASE /T:path /C:port,address /LIST /RESULT:path\n";
    if (console) s += kActionsHelp;
    return s;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) out.push_back(item);
    return out;
}

int ShowPackage(const SimProgram& program) {
    package::ParseResult parsed = package::ParsePackage(package::PackageBlockBytes(), package::PackageBlockSize());
    if (!parsed.ok) {
        std::fprintf(stderr, "%s: malformed package: %s\n", program.name, parsed.error.c_str());
        return 4;
    }
    std::printf("%s\n", package::DescribePackage(parsed.info).dump(2).c_str());
    return 0;
}

// The machine's description in `text` (the built-in one without a file) and the machine it makes;
// false after saying on stderr what is wrong.
bool LoadMachineFile(const SimProgram& program, const std::string& file, std::string& text,
                     platform::sim::SimMachine& machine) {
    text = platform::sim::DefaultMachineJson();
    if (!file.empty()) {
        std::error_code ec;
        if (std::filesystem::is_directory(file, ec)) {
            std::fprintf(stderr, "%s: machine file %s: is a folder, not a file\n", program.name, file.c_str());
            return false;
        }
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot read machine file %s\n", program.name, file.c_str());
            return false;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        text = ss.str();
    }
    std::string error;
    if (platform::sim::LoadMachine(text, machine, error)) return true;
    if (file.empty())
        std::fprintf(stderr, "%s: the built-in machine: %s\n", program.name, error.c_str());
    else
        std::fprintf(stderr, "%s: machine file %s: %s\n", program.name, file.c_str(), error.c_str());
    return false;
}

void WriteRunFiles(const SimProgram& program, const SimOptions& o, const std::string& machine_text,
                   platform::sim::SimPlatform& sim) {
    if (!o.drive_state_file.empty()) {
        std::ofstream out(o.drive_state_file, std::ios::binary);
        out << platform::sim::DriveStateJson(sim.hardware()).dump(2) << "\n";
        if (!out) std::fprintf(stderr, "%s: cannot write %s\n", program.name, o.drive_state_file.c_str());
    }
    if (!o.save_machine_file.empty()) {
        const nlohmann::json saved = platform::sim::MachineToSave(machine_text, sim, !o.real_system);
        std::ofstream out(o.save_machine_file, std::ios::binary);
        out << saved.dump(2) << "\n";
        if (!out || saved.is_null())
            std::fprintf(stderr, "%s: cannot write %s\n", program.name, o.save_machine_file.c_str());
    }
}

// Forced restarts and shutdowns are never done by these programs: they show what was asked.
void PrintExitRequests(const std::vector<platform::ExitKind>& kinds, const std::vector<bool>& direct) {
    for (size_t i = 0; i < kinds.size(); ++i)
        std::printf("[system] forced %s%s recorded, not done\n",
                    kinds[i] == platform::ExitKind::Reboot ? "restart" : "shutdown",
                    i < direct.size() && direct[i] ? " (without privilege)" : "");
}

}  // namespace

std::optional<int> ParseSimOptions(const SimProgram& program, const std::vector<std::string>& args, SimOptions& out,
                                   std::string& said) {
    const std::string name = program.name;
    const bool console = program.console_view;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            out.program_args.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        const bool takes_value = a == "--machine" || a == "--speed" || a == "--drive-state" ||
                                 a == "--save-machine" || (console && (a == "--answers" || a == "--actions"));
        if (takes_value && i + 1 >= args.size()) {
            said = name + ": " + a + " needs a value\n";
            return kSimUsageError;
        }
        if (a == "--machine") {
            out.machine_file = args[++i];
        } else if (console && a == "--answers") {
            out.answers = Split(args[++i]);
        } else if (console && a == "--actions") {
            std::string error;
            if (!ParseActions(args[++i], out.actions, error)) {
                said = name + ": --actions: " + error + "\n";
                return kSimUsageError;
            }
        } else if (a == "--speed") {
            const char* text = args[++i].c_str();
            char* end = nullptr;
            out.speed = std::strtod(text, &end);
            if (end == text || *end != '\0' || !(out.speed > 0)) {
                said = name + ": --speed needs a positive number\n";
                return kSimUsageError;
            }
        } else if (a == "--save-machine") {
            out.save_machine_file = args[++i];
        } else if (a == "--drive-state") {
            out.drive_state_file = args[++i];
        } else if (a == "--restart") {
            out.restart = true;
        } else if (a == "--package") {
            out.show_package = true;
        } else if (a == "--real-system") {
            if (!program.real_system) {
                said = name + ": --real-system needs the Windows build of " + name +
                       ": this one has no real Windows system to use\n";
                return kSimUsageError;
            }
            out.real_system = true;
        } else if (a == "--help" || a == "-h") {
            said = Usage(program);
            return 0;
        } else if (a == "--version") {
            said = name + " " + ORVANE_VERSION + "\n";
            return 0;
        } else {
            said = name + ": unknown option " + a + "\n" + Usage(program);
            return kSimUsageError;
        }
    }
    // The boot-time flashers live in the simulated system's registry and folder, not in this one's.
    if (out.restart && out.real_system) {
        said = name + ": --restart needs the simulated system, not --real-system\n";
        return kSimUsageError;
    }
    return std::nullopt;
}

int LaunchSim(const SimProgram& program, int argc, char** argv, const SimView& view) {
    SimOptions o;
    std::string said;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (std::optional<int> code = ParseSimOptions(program, args, o, said)) {
        std::fputs(said.c_str(), *code == 0 ? stdout : stderr);
        return *code;
    }
    if (o.show_package) return ShowPackage(program);

    std::string text;
    platform::sim::SimMachine machine;
    if (!LoadMachineFile(program, o.machine_file, text, machine)) return kSimUsageError;

    std::unique_ptr<platform::SystemApi> real;
    std::unique_ptr<platform::sim::ExitGuardSystemApi> guarded;
    if (o.real_system) {
        real = program.real_system();
        guarded = std::make_unique<platform::sim::ExitGuardSystemApi>(*real);
    }
    platform::sim::SimPlatform sim(machine, o.speed, guarded.get());
    if (o.restart)
        for (const std::string& line : platform::sim::RestartMachine(sim.hardware(), sim.system()))
            std::printf("%s\n", line.c_str());
    const int code = view(sim, o);
    WriteRunFiles(program, o, text, sim);
    if (guarded)
        PrintExitRequests(guarded->ExitRequests(), guarded->ExitDirect());
    else
        PrintExitRequests(sim.system().exit_requests, sim.system().exit_direct);
    std::printf("[exit] %d\n", code);
    return code;
}

}  // namespace orvane::ui
