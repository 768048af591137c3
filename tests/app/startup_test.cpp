#include <gtest/gtest.h>

#include "app/app_fixture.h"
#include "scenario/result_check.h"

namespace orvane::app {
namespace {

using testing::AppRun;
using Strings = std::vector<std::string>;

constexpr const char* kNoFirmware = "No F/W in executable !";
constexpr const char* kAccessDenied = "Access denied ! You must have administrator privilege to flash SSD.";
constexpr const char* kDeviceFailed = "Device object initialize failed !";

// A machine whose one drive takes the firmware of sc::Package: a run that reaches the update
// updates it (and asks for the restart).
namespace sc = testing::scenario;
std::function<void(platform::sim::SimMachine&)> OneTarget(bool other_copy) {
    return [other_copy](platform::sim::SimMachine& m) {
        const std::string temp = m.system.temp_dir, module = m.system.module_file;
        std::string error;
        ASSERT_TRUE(platform::sim::LoadMachine(sc::Machine({sc::SataDisk(0, sc::kSerial)}).dump(), m, error))
            << error;
        m.system.temp_dir = temp;
        m.system.module_file = module;
        if (other_copy) m.system.instances_running = {"Orvane"};
    };
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(StartUp, ExitCodesAndTheirBoxes) {
    struct Row {
        const char* name;
        int8_t fw_count;
        Strings args;
        bool unattended;
        bool admin;
        bool device_fails;
        int code;
        Strings boxes;
        bool shown;
    } rows[] = {
        {"stored package", 1, {}, false, true, false, 0, {}, true},
        {"no firmware", 0, {}, false, true, false, 4, {kNoFirmware}, false},
        {"no firmware, silent", 0, {"/S"}, false, true, false, 4, {}, false},
        {"no firmware wins over rights", 0, {}, false, false, false, 4, {kNoFirmware}, false},
        {"device object fails", 1, {}, false, true, true, 1, {kDeviceFailed}, false},
        {"device object fails, silent", 1, {"/S"}, false, true, true, 1, {}, false},
        {"not an administrator", 1, {}, false, false, false, 1, {kAccessDenied}, false},
        {"not an administrator, silent", 1, {"/s"}, false, false, false, 1, {}, false},
        {"unattended without arguments", 1, {}, true, true, false, 2, {}, false},
        {"unattended without a target", 1, {"/S", "hello"}, true, true, false, 2, {}, false},
        // A bad "/C:" sets 8 and the start-up goes on: the CSMI scan it asked for finds no drive.
        {"unattended with a bad /C:", 1, {"/C:two,ABC"}, true, true, false, 3, {}, false},
        {"unattended with /C: and no address", 1, {"/C:2"}, true, true, false, 3, {}, false},
        {"unattended with a target", 1, {"/T:\\\\.\\PhysicalDrive1"}, true, true, false, 0, {}, true},
        {"unattended, bad /C:, no rights", 1, {"/C:2,XYZ"}, true, false, false, 3, {kAccessDenied}, false},
    };
    for (const Row& row : rows) {
        AppRun run([&](platform::sim::SimMachine& m) {
            m.system.admin = row.admin ? platform::AdminCheck::Member : platform::AdminCheck::NotMember;
        });
        run.package.FWCount(row.fw_count);
        if (row.unattended) run.package.Digit(19, '1');
        run.args = row.args;
        run.device_fails = row.device_fails;
        EXPECT_EQ(run.Run(), row.code) << row.name;
        EXPECT_EQ(run.BoxTexts(), row.boxes) << row.name;
        EXPECT_EQ(run.view().shown(), false) << row.name << ": the window is closed at the end";
        std::string log = run.Log();
        std::string tail = "EXIT_ERROR: 0x" + std::to_string(row.code) + "\n\n";
        EXPECT_TRUE(EndsWith(log, tail)) << row.name << ": log ends with\n" << log;
        // None of these starts the silent update, so none says it does.
        EXPECT_EQ(log.find("MainForm: 5"), std::string::npos) << row.name;
        EXPECT_EQ(run.view().ever_shown(), row.shown) << row.name;
    }
}

TEST(StartUp, CaptionAndLabels) {
    struct Row {
        const char* name;
        bool unattended;
        int8_t language;
        const char* caption;
        const char* label1;
        bool system_menu;
    } rows[] = {
        {"stored package", false, 0, "Mereth Orvane Utility for Windows (v3.1.10)", "Please select target device",
         true},
        {"unattended", true, 0, "Updating firmware", "Please select target device", false},
        {"Chinese", false, 1, "Mereth Orvane Utility for Windows (v3.1.10)", "請選擇要更新的裝置", true},
        {"Chinese unattended", true, 1, "Updating firmware", "請選擇要更新的裝置", false},
        {"language 2 is English", false, 2, "Mereth Orvane Utility for Windows (v3.1.10)",
         "Please select target device", true},
    };
    for (const Row& row : rows) {
        AppRun run;
        if (row.unattended) run.package.Digit(19, '1');
        run.package.Byte(9320, static_cast<uint8_t>(row.language));
        run.args = {"/T:x"};
        run.StartUp();
        EXPECT_EQ(run.view().caption(), row.caption) << row.name;
        EXPECT_EQ(run.view().text(Control::Label1), row.label1) << row.name;
        EXPECT_EQ(run.view().system_menu(), row.system_menu) << row.name;
    }
    AppRun english;
    english.package.FWCount(0);  // the labels as set before anything is selected
    english.StartUp();
    EXPECT_EQ(english.view().text(Control::lblUpdateMsg), "it will be updated from");
    EXPECT_EQ(english.view().text(Control::lblTo), "To");
    EXPECT_EQ(english.view().text(Control::lblMsg), "Message");
    EXPECT_EQ(english.view().text(Control::cmdUpdate), "Update");
    EXPECT_EQ(english.view().text(Control::cmdClose), "Close");
}

TEST(StartUp, ChineseSetCoversTheStartUpMessagesButNotTheCaptions) {
    AppRun run([](platform::sim::SimMachine& m) { m.system.admin = platform::AdminCheck::NotMember; });
    run.package.Byte(9320, 1);
    run.Run();
    ASSERT_EQ(run.view().boxes().size(), 1u);
    EXPECT_NE(run.view().boxes()[0].text, kAccessDenied);
    EXPECT_NE(run.view().boxes()[0].caption, "Error ...");

    AppRun none;
    none.package.Byte(9320, 1).FWCount(0);
    none.Run();
    ASSERT_EQ(none.view().boxes().size(), 1u);
    EXPECT_NE(none.view().boxes()[0].text, kNoFirmware);
}

TEST(StartUp, MalformedPackageIsRefusedBeforeAnythingElse) {
    AppRun run;
    run.package.Digit(26, 'x');
    EXPECT_EQ(run.Run(), 4);
    ASSERT_EQ(run.view().boxes().size(), 1u);
    EXPECT_NE(run.view().boxes()[0].text.find("bWinFlash"), std::string::npos) << run.view().boxes()[0].text;
    EXPECT_NE(run.Log().find("PACKAGE_ERROR: "), std::string::npos);

    AppRun silent;
    silent.package.FWCount(20);
    silent.args = {"/S"};
    EXPECT_EQ(silent.Run(), 4);
    EXPECT_TRUE(silent.view().boxes().empty());
}

TEST(StartUp, CommandLineTargetsReachTheWindowState) {
    AppRun run;
    run.package.Digit(19, '1');
    run.args = {"/C: 2 ,ABC"};
    TOrvaneMain& main = run.StartUp();
    EXPECT_EQ(main.Address().gScanType, 1);
    EXPECT_EQ(main.Address().m_ScsiPort, 2);
    // The SAS address as given shows in the log; the scan may re-read it afterwards.
    EXPECT_EQ(run.Log().rfind("/C: _/C: 2 ,ABC\n\nSCSI_PORT:2, INDEX:0, PORT:0, SAS_ADDR: 0000000000000ABC\n\n", 0), 0u);

    AppRun path;
    path.package.Digit(19, '1');
    path.args = {"/S", "xx/T: \\\\.\\PhysicalDrive3 "};
    TOrvaneMain& m2 = path.StartUp();
    EXPECT_EQ(m2.Address().m_DevPath, "\\\\.\\PhysicalDrive3");
    EXPECT_TRUE(m2.Silent());
    EXPECT_EQ(path.Log().rfind("DEV_PATH:\\\\.\\PhysicalDrive3\n\n", 0), 0u);
}

// A second copy and a command line the run will not honour end the run before the device object
// enumerates the disks: nothing is opened, and the result document says why, listing no drive.
TEST(StartUp, EndsBeforeAnyDriveIsTouched) {
    using package::digit::bAutoStart;
    using package::digit::bUnattended;
    const std::string kPhysical0 = "/T:\\\\.\\PhysicalDrive0";
    const std::string kTargetRefused = "The argument \"" + kPhysical0 +
                                       "\" names a target, but only an unattended package takes one. "
                                       "Nothing was updated.";
    const std::string kAnother = "INSTANCE: another copy of Orvane is running";
    struct Row {
        const char* name;
        bool other_copy;
        std::vector<int> digits;  // options set to 1
        Strings args;
        int code;
        Strings boxes;
        std::string line;  // the log line that says why
    } rows[] = {
        {"second copy, /S", true, {}, {"/S"}, 9, {}, kAnother},
        {"second copy, bAutoStart", true, {bAutoStart}, {}, 9, {}, kAnother},
        {"second copy, unattended with a target", true, {bUnattended}, {"/S", kPhysical0}, 9, {}, kAnother},
        {"second copy at the window", true, {}, {}, 9, {}, kAnother},
        // The other copy decides first: a bad argument of a second copy changes nothing.
        {"second copy with a refused target", true, {}, {kPhysical0}, 9, {}, kAnother},
        {"/T: to a plain package, /S", false, {}, {"/S", kPhysical0}, 2, {},
         "COMMAND_LINE_REFUSED: " + kTargetRefused},
        {"/T: to a plain package at the window", false, {}, {kPhysical0}, 2, {kTargetRefused},
         "COMMAND_LINE_REFUSED: " + kTargetRefused},
        {"/T: to a plain bAutoStart package, /S", false, {bAutoStart}, {"/S", kPhysical0}, 2, {kTargetRefused},
         "COMMAND_LINE_REFUSED: " + kTargetRefused},
        {"/C: to a plain package", false, {}, {"/s", "/C:2,ABC"}, 2, {},
         "COMMAND_LINE_REFUSED: The argument \"/C:2,ABC\" names a target, but only an unattended package takes "
         "one. Nothing was updated."},
        {"unknown argument, /S", false, {}, {"/ERASE", "-Q", "/S"}, 2, {},
         "COMMAND_LINE_REFUSED: Unknown argument \"-Q\". Nothing was updated."},
        {"unknown argument, unattended with a target", false, {bUnattended}, {"/S", kPhysical0, "/Force"}, 2, {},
         "COMMAND_LINE_REFUSED: Unknown argument \"/Force\". Nothing was updated."},
        {"lower-case /t: with /S", false, {}, {"/S", "/t:x"}, 2, {},
         "COMMAND_LINE_REFUSED: Unknown argument \"/t:x\". Nothing was updated."},
    };
    for (const Row& row : rows) {
        AppRun run(OneTarget(row.other_copy));
        sc::WritePackage(sc::Package{}, run.package);
        for (int d : row.digits) run.package.Digit(d, '1');
        std::string path;
        run.args = row.args;
        run.args.push_back(sc::ResultArgumentFor(run, path));
        const sc::Outcome o = sc::Capture(run, run.Run());
        EXPECT_EQ(o.exit_code, row.code) << row.name;
        EXPECT_EQ(run.BoxTexts(), row.boxes) << row.name;
        EXPECT_TRUE(sc::HasLine(o, row.line)) << row.name << ": no line '" << row.line << "' in\n" << o.log;
        EXPECT_EQ(run.sim().storage().OpenCount(), 0) << row.name;
        for (const sc::DriveState& d : o.drives) {
            EXPECT_TRUE(d.commands.empty()) << row.name << ": " << d.commands.size() << " commands reached " << d.serial;
            EXPECT_EQ(d.committed, 0) << row.name << ": " << d.serial;
            EXPECT_FALSE(d.pending) << row.name << ": " << d.serial;
        }
        EXPECT_TRUE(o.restarts.empty()) << row.name;
        EXPECT_FALSE(o.ever_shown) << row.name;
        EXPECT_FALSE(sc::HasLine(o, "MainForm: 5")) << row.name;
        EXPECT_EQ(o.log_lines.back(), "") << row.name;
        EXPECT_EQ(o.log_lines[o.log_lines.size() - 2], "EXIT_ERROR: 0x" + std::to_string(row.code)) << row.name;
        const bool forward = run.Transcript().find("[instance] another copy is running: Orvane brought forward\n") !=
                             std::string::npos;
        EXPECT_EQ(forward, row.other_copy) << row.name << ": the other copy's window is brought forward";
        const sc::json doc = sc::ReadResultFile(path);
        sc::ExpectSoundDocument(doc, o, row.name);
        EXPECT_TRUE(doc.is_object() && doc["drives"].empty()) << row.name << ": " << doc.dump();
    }
}

// The first copy takes the mutex and goes on: with "/S" or bAutoStart to the update, at the
// window with an unknown argument only logged (the user is there to see what is listed).
TEST(StartUp, FirstCopyTakesTheMutexAndGoesOn) {
    using package::digit::bAutoStart;
    using package::digit::bUnattended;
    struct Row {
        const char* name;
        std::vector<int> digits;  // options set to 1
        Strings args;
        Strings lines;
        bool shown;
        bool updates;  // the drive took the firmware
    } rows[] = {
        {"/S", {}, {"/S"}, {"MainForm: 5"}, false, true},
        {"bAutoStart", {bAutoStart}, {}, {"MainForm: 5"}, false, true},
        {"unattended with a target, /S", {bUnattended}, {"/S", "/T:\\\\.\\PhysicalDrive0"}, {"MainForm: 5"},
         false, true},
        {"unknown arguments at the window", {}, {"-S", "/t:x"},
         {"COMMAND_LINE: unknown argument \"-S\"", "COMMAND_LINE: unknown argument \"/t:x\"", "MainForm: 4"}, true,
         false},
    };
    for (const Row& row : rows) {
        AppRun run(OneTarget(false));
        sc::WritePackage(sc::Package{}, run.package);
        for (int d : row.digits) run.package.Digit(d, '1');
        run.args = row.args;
        const sc::Outcome o = sc::Capture(run, run.Run());
        EXPECT_EQ(o.exit_code, 0) << row.name;
        EXPECT_TRUE(run.sim().system().MutexExists("Orvane")) << row.name;
        EXPECT_GT(run.sim().storage().OpenCount(), 0) << row.name;
        for (const std::string& line : row.lines) EXPECT_TRUE(sc::HasLine(o, line)) << row.name << ": " << line;
        EXPECT_FALSE(sc::HasLine(o, sc::Starts("INSTANCE:"))) << row.name;
        EXPECT_FALSE(sc::HasLine(o, sc::Starts("COMMAND_LINE_REFUSED:"))) << row.name;
        EXPECT_EQ(o.ever_shown, row.shown) << row.name;
        const auto drive = sc::FindDrive(o.drives, sc::kSerial);
        ASSERT_TRUE(drive) << row.name;
        EXPECT_EQ(drive->committed, row.updates ? 1 : 0) << row.name << "\n" << o.log;
    }
}

TEST(StartUp, UnattendedWindowStartsTheUpdateTimer) {
    AppRun run;
    run.package.Digit(19, '1');
    run.args = {"/T:\\\\.\\PhysicalDrive0"};
    TOrvaneMain& main = run.StartUp();
    main.FormCreate();
    EXPECT_TRUE(run.view().close_greyed());
    main.FormShow();
    EXPECT_NE(run.Log().find("FormShow: 1\n"), std::string::npos);
    EXPECT_EQ(main.Progress().iPhase, 0);
}

TEST(DebugLog, RunsAppendAndLinesKeepTheirOwnEnds) {
    AppRun run;
    run.package.FWCount(0);
    run.Run();
    TOrvaneMain& main = run.StartUp();
    main.LogLine("ThreadDone ok \n");
    main.LogLine("cboDrivesChange: 2");
    EXPECT_EQ(run.Log(), "EXIT_ERROR: 0x4\n\nThreadDone ok \n\ncboDrivesChange: 2\n");
}

TEST(StatusLine, HoldsOneTextAndStaysOutOfTheUnattendedWindow) {
    AppRun run;
    TOrvaneMain& main = run.StartUp();
    main.ShowStatus("Flashing ...");
    main.ShowStatus("Done");
    EXPECT_EQ(run.view().status(), "Done");

    AppRun unattended;
    unattended.package.Digit(19, '1');
    unattended.args = {"/T:x"};
    TOrvaneMain& m2 = unattended.StartUp();
    m2.ShowStatus("Flashing ...");
    EXPECT_EQ(unattended.view().status(), "");
}

}  // namespace
}  // namespace orvane::app
