// orvane-simwin: the program's logic and its real window, over the simulated machine. A test and
// demonstration program (not shipped): it shows on screen what orvane-sim prints as lines.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_program.h"
#include "package/package_block.h"
#include "platform/sim/sim_platform.h"
#include "platform/win32/win32_message_pump.h"
#include "ui/win32/win32_view.h"

namespace {

constexpr int kUsageError = 64;

void Usage() {
    std::fprintf(stderr,
                 "usage: orvane-simwin [--machine FILE] [--speed N] [-- program arguments]\n"
                 "  --machine FILE  simulated machine description (JSON); default: the built-in machine\n"
                 "  --speed N       simulated time runs N times faster\n");
}

bool ReadFile(const std::string& path, std::string& text) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvane;
    std::string machine_file;
    double speed = 1.0;
    std::vector<std::string> program_args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            program_args.assign(argv + i + 1, argv + argc);
            break;
        }
        if ((a == "--machine" || a == "--speed") && i + 1 >= argc) {
            std::fprintf(stderr, "orvane-simwin: %s needs a value\n", a.c_str());
            return kUsageError;
        }
        if (a == "--machine") {
            machine_file = argv[++i];
        } else if (a == "--speed") {
            char* end = nullptr;
            speed = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(speed > 0)) {
                std::fprintf(stderr, "orvane-simwin: --speed needs a positive number\n");
                return kUsageError;
            }
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            std::fprintf(stderr, "orvane-simwin: unknown option %s\n", a.c_str());
            Usage();
            return kUsageError;
        }
    }

    std::string text = platform::sim::DefaultMachineJson();
    if (!machine_file.empty() && !ReadFile(machine_file, text)) {
        std::fprintf(stderr, "orvane-simwin: cannot read machine file %s\n", machine_file.c_str());
        return kUsageError;
    }
    platform::sim::SimMachine machine;
    std::string error;
    if (!platform::sim::LoadMachine(text, machine, error)) {
        std::fprintf(stderr, "orvane-simwin: machine: %s\n", error.c_str());
        return kUsageError;
    }

    // The machine's drives, system and clock; the real window and its thread's message queue,
    // so the window's messages and timers drive the logic as they do in the shipped program.
    platform::sim::SimPlatform sim(machine, speed);
    platform::win32::Win32MessagePump pump;
    platform::Platform plat{sim.system(), sim.clock(), pump, &sim.storage(), &sim.tree(), &sim.wmi()};
    ui::Win32View view(GetModuleHandleW(nullptr));
    app::AppContext ctx{plat, view, package::PackageBlockBytes(), package::PackageBlockSize(),
                        std::move(program_args), nullptr};
    int code = app::RunProgram(ctx);
    std::printf("[exit] %d\n", code);
    return code;
}
