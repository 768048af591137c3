// The simulator programs' shared command line: what each program takes, and its refusals as the
// program checks rely on them (the text on stderr and exit code 64).
#include <gtest/gtest.h>

#include "ui/sim_launcher.h"

namespace orvane::ui {
namespace {

using Strings = std::vector<std::string>;

std::unique_ptr<platform::SystemApi> NoSystem() { return nullptr; }

const SimProgram kConsole{"orvane-sim", true, nullptr};
const SimProgram kWindow{"orvane-simwin", false, NoSystem};

TEST(SimLauncher, ParsesEachProgramsOptions) {
    constexpr int kRun = -1;
    struct Row {
        const SimProgram* program;
        Strings args;
        int code;
        std::string said;  // the whole of it; for usage texts, how it starts
        std::function<void(const SimOptions&)> check = nullptr;
    } rows[] = {
        {&kConsole,
         {"--machine", "m.json", "--speed", "250", "--answers", "yes,no", "--actions", "select:2,press:Update",
          "--drive-state", "d.json", "--save-machine", "s.json", "--package", "--", "/S", "--speed"},
         kRun, "",
         [](const SimOptions& o) {
             EXPECT_EQ(o.machine_file, "m.json");
             EXPECT_EQ(o.speed, 250.0);
             EXPECT_EQ(o.answers, (Strings{"yes", "no"}));
             EXPECT_EQ(o.actions.size(), 2u);
             EXPECT_EQ(o.drive_state_file, "d.json");
             EXPECT_EQ(o.save_machine_file, "s.json");
             EXPECT_TRUE(o.show_package);
             EXPECT_FALSE(o.real_system);
             EXPECT_EQ(o.program_args, (Strings{"/S", "--speed"}));
         }},
        {&kConsole, {"--", "--help"}, kRun, "",
         [](const SimOptions& o) { EXPECT_EQ(o.program_args, Strings{"--help"}); }},
        {&kConsole, {"--speed", "0"}, 64, "orvane-sim: --speed needs a positive number\n"},
        {&kConsole, {"--speed", "2x"}, 64, "orvane-sim: --speed needs a positive number\n"},
        {&kConsole, {"--speed", "nan"}, 64, "orvane-sim: --speed needs a positive number\n"},
        {&kConsole, {"--speed", "1", "--machine"}, 64, "orvane-sim: --machine needs a value\n"},
        {&kConsole, {"--actions", "bogus"}, 64, "orvane-sim: --actions: action 1 'bogus': unknown action 'bogus'\n"},
        {&kConsole, {"--real-system"}, 64,
         "orvane-sim: --real-system needs the Windows build of orvane-sim: this one has no real Windows system to use\n"},
        {&kConsole, {"--help"}, 0, "usage: orvane-sim [--machine FILE] [--answers yes,no,...] [--actions LIST] [--speed N]"},
        {&kConsole, {"-x"}, 64, "orvane-sim: unknown option -x\nusage: orvane-sim [--machine FILE] [--answers"},
        {&kWindow, {"--real-system", "--speed", "1", "--drive-state", "d.json"}, kRun, "",
         [](const SimOptions& o) {
             EXPECT_TRUE(o.real_system);
             EXPECT_EQ(o.speed, 1.0);
             EXPECT_EQ(o.drive_state_file, "d.json");
         }},
        // The window takes no scripted user: not even a missing value is looked for.
        {&kWindow, {"--answers"}, 64, "orvane-simwin: unknown option --answers\nusage: orvane-simwin [--machine FILE] [--speed N]"},
        {&kWindow, {"--actions", "press:Update"}, 64, "orvane-simwin: unknown option --actions\n"},
        {&kWindow, {"-h"}, 0, "usage: orvane-simwin [--machine FILE] [--speed N] [--package]"},
        // The version is checked against the project's by the program check tool_options.sh.
        {&kConsole, {"--version"}, 0, "orvane-sim "},
        {&kWindow, {"--machine", "m.json", "--version"}, 0, "orvane-simwin "},
    };
    for (const Row& row : rows) {
        const std::string name = std::string(row.program->name) + " " + ::testing::PrintToString(row.args);
        SimOptions o;
        std::string said;
        const std::optional<int> code = ParseSimOptions(*row.program, row.args, o, said);
        EXPECT_EQ(code.value_or(kRun), row.code) << name;
        if (row.said.empty()) {
            EXPECT_EQ(said, "") << name;
        } else {
            EXPECT_EQ(said.substr(0, row.said.size()), row.said) << name;
        }
        if (row.check) row.check(o);
    }
}

TEST(SimLauncher, OnlyTheConsoleUsageTellsOfTheScriptedUser) {
    SimOptions o;
    std::string console, window;
    ParseSimOptions(kConsole, {"--help"}, o, console);
    ParseSimOptions(kWindow, {"--help"}, o, window);
    EXPECT_NE(console.find("  --actions LIST"), std::string::npos);
    EXPECT_NE(console.find(kActionsHelp), std::string::npos);
    EXPECT_EQ(window.find("--answers"), std::string::npos);
    EXPECT_EQ(window.find("--actions"), std::string::npos);
    EXPECT_NE(window.find("  --real-system   (Windows builds)"), std::string::npos);
}

}  // namespace
}  // namespace orvane::ui
