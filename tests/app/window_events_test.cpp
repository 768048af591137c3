// The window's events reach the logic through the console view: the scripted user, the
// system's power messages and the timers in simulated time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/app_fixture.h"
#include "package/package_layout.h"
#include "ui/console/user_actions.h"

namespace orvane::app {
namespace {

using testing::AppRun;
using Strings = std::vector<std::string>;

constexpr const char* kPowerDenied = "Firmware is updating, all power change events are denied !";

std::vector<ui::UserAction> Script(const std::string& text) {
    std::vector<ui::UserAction> actions;
    std::string error;
    EXPECT_TRUE(ui::ParseActions(text, actions, error)) << text << ": " << error;
    return actions;
}

// The log's lines without the empty ones.
Strings LogLines(const std::string& log) {
    Strings out;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out.push_back(line);
        start = end + 1;
    }
    return out;
}

Strings LinesStartingWith(const std::string& log, const std::string& head) {
    Strings out;
    for (const std::string& line : LogLines(log))
        if (line.rfind(head, 0) == 0) out.push_back(line);
    return out;
}

TEST(WindowEvents, PowerQueryDuringAnUpdateIsDeniedThroughTheConsoleView) {
    // The events reach the window while the update waits (its already-latest pause) or after it.
    struct Row {
        const char* actions;
        const char* answer;  // the view's answer, as its transcript shows it
        size_t denials;      // boxes saying so
    } rows[] = {
        {"power:query-suspend", "[power] event 0x0000 -> TRUE", 0},
        {"press:Update,power:query-suspend", "[power] event 0x0000 -> BROADCAST_QUERY_DENY", 1},
        {"press:Update,power:0x4", "[power] event 0x0004 -> BROADCAST_QUERY_DENY", 1},
        {"press:Update,power:query-suspend-failed", "[power] event 0x0002 -> TRUE", 0},
    };
    for (const Row& row : rows) {
        AppRun run;
        run.actions = Script(row.actions);
        run.Run();
        EXPECT_NE(run.Transcript().find(row.answer), std::string::npos) << row.actions << "\n" << run.Transcript();
        size_t denials = 0;
        for (const BoxRequest& box : run.view().boxes()) {
            if (box.text != kPowerDenied) continue;
            ++denials;
            EXPECT_EQ(box.caption, "Warning");
            EXPECT_EQ(box.icon, BoxIcon::Information);
            EXPECT_TRUE(box.topmost);
        }
        EXPECT_EQ(denials, row.denials) << row.actions;
    }
}

TEST(WindowEvents, AStartedTimerFiresItsHandlerAtItsInterval) {
    struct Row {
        const char* name;
        int digit;  // the option that starts it
        Timer timer;
        double interval;
        const char* log_line;
    } rows[] = {
        // With nothing selected the update they start stops at once.
        {"unattended start", 19, Timer::Timer1, 2.5, "cmdUpdateClick: no drive to update"},
        // The walk selects every item itself; the build's placeholder image is refused at once.
        {"automatic flash", 4, Timer::tmrAutoFlash, 2.0, "INDEX: 0, NEXT: 1"},
    };
    for (const Row& row : rows) {
        AppRun run;
        run.speed = platform::sim::SimClock::kStopped;  // simulated time moves by Advance alone
        run.package.Digit(row.digit, '1').Digit(package::digit::bFOld, '1');
        // Only the unattended package takes a target.
        if (row.digit == package::digit::bUnattended) run.args = {"/T:\\\\.\\PhysicalDrive0"};
        TOrvaneMain& main = run.StartUp();
        main.FormShow();
        main.FormActivate();
        ASSERT_TRUE(run.view().timer_running(row.timer)) << row.name;
        run.view().SelectItem(Control::cboDrives, -1);
        platform::sim::SimPlatform& sim = run.sim();

        sim.clock().Advance(row.interval - 0.4);
        sim.pump().Dispatch();
        EXPECT_TRUE(run.view().timer_running(row.timer)) << row.name << ": fired early";
        EXPECT_TRUE(LinesStartingWith(run.Log(), row.log_line).empty()) << row.name;

        sim.clock().Advance(0.5);
        sim.pump().Dispatch();
        EXPECT_FALSE(run.view().timer_running(row.timer)) << row.name << ": it fires once";
        EXPECT_EQ(LinesStartingWith(run.Log(), row.log_line), Strings{row.log_line}) << row.name;
    }
}

TEST(WindowEvents, ScriptedClicksReachTheUpdateHandler) {
    std::filesystem::path image = std::filesystem::temp_directory_path() / "orvane-events-fw.bin";
    std::ofstream(image) << "image";
    const std::string file = image.string();
    const std::string missing = file + ".missing";
    // The normal path's first line, and the engineering path's answer.
    const std::string normal = "iVisualStyle:";
    struct Row {
        std::string actions;
        size_t normal_runs;
        size_t dialogs;
        bool flashed_file;  // the engineering path ran its job and answered with its box
        int exit_code;
    } rows[] = {
        // The stored package's revision 1.02 is below every simulated drive's: already latest.
        {"press:Update", 1, 0, false, 0},
        {"press:Update,press:Update", 1, 0, false, 0},  // the first update ends the program
        {"press:Close", 0, 0, false, 0},                 // the hidden button
        // Five bytes of text are no firmware: the drive refuses them, and the exit code says so.
        {"press:Update+Ctrl+Shift+K,file:" + file, 0, 1, true, 1},
        {"press:Update+Shift+Ctrl+F9,file:" + file, 0, 1, true, 1},
        {"press:Update+Ctrl+Shift+K,cancel", 0, 1, false, 0},
        {"press:Update+Ctrl+Shift+K,file:" + missing, 0, 1, false, 0},  // the dialog takes only a file that exists
        {"press:Update+Ctrl+Shift+K", 0, 1, false, 0},                  // nothing answers: cancelled
        {"press:Update+Ctrl+K,file:" + file, 1, 0, false, 0},           // Shift missing: the normal path
        {"press:Update+Ctrl+Shift", 1, 0, false, 0},
        {"file:" + file + ",press:Update", 1, 0, false, 0},  // no dialog open yet: ignored
        {"close,press:Update", 0, 0, false, 0},             // the window is gone
    };
    for (const Row& row : rows) {
        AppRun run;
        run.actions = Script(row.actions);
        EXPECT_EQ(run.Run(), row.exit_code) << row.actions;
        EXPECT_EQ(LinesStartingWith(run.Log(), normal).size(), row.normal_runs) << row.actions;
        EXPECT_EQ(LinesStartingWith(run.Log(), "bUseFWExt=false,This drive is the latest firmware").size(),
                  row.normal_runs)
            << row.actions;
        ASSERT_EQ(run.view().dialogs().size(), row.dialogs) << row.actions;
        if (row.dialogs) {
            EXPECT_EQ(run.view().dialogs()[0].filter, "Firmware Files (*.BIN) |*.BIN");
            EXPECT_EQ(run.view().dialogs()[0].default_ext, "BIN");
            EXPECT_TRUE(run.view().dialogs()[0].must_exist);
        }
        size_t answers = 0;
        for (const std::string& text : run.BoxTexts()) answers += text == "Flash OK!" || text == "Flash Failed!";
        EXPECT_EQ(answers, row.flashed_file ? 1u : 0u) << row.actions;
        EXPECT_EQ(LogLines(run.Log()).back(), "EXIT_ERROR: 0x" + std::to_string(row.exit_code)) << row.actions;
    }
    std::filesystem::remove(image);

    // The automatic mode disables Update when the window activates: the press does nothing.
    AppRun automatic;
    automatic.package.Digit(4, '1');
    automatic.actions = Script("press:Update");
    automatic.Run();
    EXPECT_EQ(LinesStartingWith(automatic.Log(), "INDEX: 0, NEXT: 1").size(), 1u);
}

// The view's side alone: which input reaches which event, and what a window would ignore.
struct Recorder : WindowEvents {
    explicit Recorder(const View& v, platform::sim::SimClock& c) : view(v), clock(c) {}
    const View& view;
    platform::sim::SimClock& clock;
    Strings calls;
    double last_at = 0;
    void Note(const std::string& call) {
        calls.push_back(call);
        last_at = clock.Now();
    }
    void cmdUpdateClick() override { Note("cmdUpdateClick"); }
    void cmdCloseClick() override { Note("cmdCloseClick"); }
    void cboDrivesChange() override { Note("cboDrivesChange:" + std::to_string(view.SelectedItem(Control::cboDrives))); }
    void Timer1Timer() override { Note("Timer1Timer"); }
    void Timer2Timer() override { Note("Timer2Timer"); }
    void tmrAutoFlashTimer() override { Note("tmrAutoFlashTimer"); }
    uint32_t OnPowerBroadcast(uint32_t event) override {
        Note("OnPowerBroadcast:" + std::to_string(event));
        return 0;
    }
    void FormClose() override { Note("FormClose"); }
};

TEST(ConsoleView, IgnoresWhatAWindowWouldIgnore) {
    platform::sim::SimClock clock(1000);
    platform::sim::SimMessagePump pump(clock);
    ui::ConsoleView view(nullptr, pump);
    Recorder rec(view, clock);
    view.SetEvents(&rec);

    struct Step {
        const char* name;
        std::function<void()> setup;
        std::function<bool()> act;
        bool taken;
        Strings calls;
    } steps[] = {
        {"before the window shows", nullptr, [&] { return view.Press(Control::cmdUpdate); }, false, {}},
        {"the power message reaches a hidden window", nullptr,
         [&] { return view.PowerBroadcast(0) == 1; }, true, {"OnPowerBroadcast:0"}},
        {"Update", [&] { view.Show(); }, [&] { return view.Press(Control::cmdUpdate); }, true, {"cmdUpdateClick"}},
        {"hidden Close", nullptr, [&] { return view.Press(Control::cmdClose); }, false, {}},
        {"disabled Update", [&] { view.SetEnabled(Control::cmdUpdate, false); },
         [&] { return view.Press(Control::cmdUpdate); }, false, {}},
        {"hidden Update", [&] { view.SetEnabled(Control::cmdUpdate, true); view.SetVisible(Control::cmdUpdate, false); },
         [&] { return view.Press(Control::cmdUpdate); }, false, {}},
        {"an empty drive list", nullptr, [&] { return view.Pick(Control::cboDrives, 0); }, false, {}},
        {"a drive", [&] { view.SetItems(Control::cboDrives, {"a", "b", "c"}); },
         [&] { return view.Pick(Control::cboDrives, 2); }, true, {"cboDrivesChange:2"}},
        {"past the last drive", nullptr, [&] { return view.Pick(Control::cboDrives, 3); }, false, {}},
        {"a disabled drive list", [&] { view.SetEnabled(Control::cboDrives, false); },
         [&] { return view.Pick(Control::cboDrives, 1); }, false, {}},
        {"the hidden slot list", [&] { view.SetItems(Control::cboFwSlot, {"1", "2"}); },
         [&] { return view.Pick(Control::cboFwSlot, 1); }, false, {}},
        {"the shown slot list: no event", [&] { view.SetVisible(Control::cboFwSlot, true); },
         [&] { return view.Pick(Control::cboFwSlot, 1) && view.SelectedItem(Control::cboFwSlot) == 1; }, true, {}},
        {"close", nullptr, [&] { return view.Close(); }, true, {"FormClose"}},
        {"close without a close command", [&] { view.GreyCloseCommand(); }, [&] { return view.Close(); }, false, {}},
    };
    for (const Step& step : steps) {
        rec.calls.clear();
        if (step.setup) step.setup();
        EXPECT_EQ(step.act(), step.taken) << step.name;
        EXPECT_EQ(rec.calls, step.calls) << step.name;
    }
    EXPECT_EQ(view.SelectedItem(Control::cboDrives), 2) << "an ignored pick changes nothing";
    view.SetEvents(nullptr);
}

TEST(ConsoleView, ForgedMessagesReachTheLogicWhateverTheControlsState) {
    platform::sim::SimClock clock(1000);
    platform::sim::SimMessagePump pump(clock);
    std::FILE* out = std::tmpfile();
    ASSERT_TRUE(out);
    ui::ConsoleView view(out, pump, {},
                         Script("!press:Update+Ctrl+K,press:Update,!select:1,!select:5,select:0,!slot:1,timer:Timer1,"
                                "timer:tmrAutoFlash,!timer:Timer2,!press:Close,!close,close"));
    Recorder rec(view, clock);
    view.SetEvents(&rec);
    view.SetItems(Control::cboDrives, {"a", "b"});
    view.SetItems(Control::cboFwSlot, {"1", "2"});
    view.SetEnabled(Control::cmdUpdate, false);
    view.SetEnabled(Control::cboDrives, false);
    view.GreyCloseCommand();
    view.Show();
    for (int i = 0; i < 100 && view.actions_left() > 0; ++i) pump.Dispatch();
    EXPECT_EQ(rec.calls, (Strings{"cmdUpdateClick", "cboDrivesChange:1", "cboDrivesChange:-1", "Timer1Timer",
                                  "tmrAutoFlashTimer", "Timer2Timer", "cmdCloseClick", "FormClose"}));
    EXPECT_EQ(view.SelectedItem(Control::cboFwSlot), 1) << "the hidden list took the forged pick";
    EXPECT_EQ(view.SelectedItem(Control::cboDrives), -1) << "a forged pick past the end selects none";

    std::rewind(out);
    Strings lines;
    char buf[512];
    while (std::fgets(buf, sizeof buf, out)) {
        std::string line(buf);
        line.pop_back();
        for (const char* head : {"[forged]", "[press]", "[pick]", "[close]"})
            if (line.rfind(head, 0) == 0) lines.push_back(line);
    }
    std::fclose(out);
    EXPECT_EQ(lines, (Strings{
                         "[forged] press cmdUpdate holding Ctrl+K (cmdUpdate is disabled)",
                         "[press] cmdUpdate ignored: cmdUpdate is disabled",
                         "[forged] pick cboDrives item 1: b (cboDrives is disabled)",
                         "[forged] pick cboDrives item 5: none selected, it has 2 items (cboDrives is disabled)",
                         "[pick] cboDrives item 0 ignored: cboDrives is disabled",
                         "[forged] pick cboFwSlot item 1: 2 (cboFwSlot is hidden)",
                         "[forged] timer Timer1 (not running)",
                         "[forged] timer tmrAutoFlash (not running)",
                         "[forged] timer Timer2 (not running)",
                         "[forged] press cmdClose (cmdClose is hidden)",
                         "[forged] close (the window has no close command)",
                         "[close] ignored: the window has no close command",
                     }));
    view.SetEvents(nullptr);
}

TEST(ConsoleView, ScriptRunsInOrderWithWaitsInSimulatedTime) {
    platform::sim::SimClock clock(platform::sim::SimClock::kStopped);
    platform::sim::SimMessagePump pump(clock);
    ui::ConsoleView view(nullptr, pump, {}, Script("press:Update,wait:1500,power:4,wait:500,close,press:Update"));
    Recorder rec(view, clock);
    view.SetEvents(&rec);
    double t0 = clock.Now();
    view.Show();
    std::vector<double> at;
    // Dispatch until the close arrives (the recorder does not end the loop itself).
    for (int i = 0; i < 10000 && (rec.calls.empty() || rec.calls.back() != "FormClose"); ++i) {
        size_t before = rec.calls.size();
        pump.Dispatch();
        if (rec.calls.size() != before) at.push_back(rec.last_at - t0);
        pump.Wait(1.0);
    }
    EXPECT_EQ(rec.calls, (Strings{"cmdUpdateClick", "OnPowerBroadcast:4", "FormClose"}));
    ASSERT_EQ(at.size(), 3u);
    EXPECT_NEAR(at[0], 0.0, 1e-6);
    EXPECT_NEAR(at[1], 1.5, 1e-6);
    EXPECT_NEAR(at[2], 2.0, 1e-6);
    EXPECT_EQ(view.actions_left(), 1u) << "the press after the close was not taken yet";
    view.SetEvents(nullptr);
}

TEST(UserActions, ParsesEachKindAndNamesTheBadItem) {
    std::vector<ui::UserAction> a;
    std::string error;
    ASSERT_TRUE(ui::ParseActions(
        "select:2,slot:0,commit:3,press:update+ctrl+SHIFT+k,file:C:\\fw\\new.BIN,cancel,wait:250,"
        "power:resume-automatic,power:0x8013,close,press:Close+F9,!select:7,!press:Update+K,timer:TMRAUTOFLASH,"
        "!timer:Timer2,!close",
        a, error))
        << error;
    ASSERT_EQ(a.size(), 16u);
    using K = ui::UserAction::Kind;
    EXPECT_EQ(a[0].kind, K::Select);
    EXPECT_EQ(a[0].control, Control::cboDrives);
    EXPECT_EQ(a[0].index, 2);
    EXPECT_EQ(a[1].control, Control::cboFwSlot);
    EXPECT_EQ(a[2].control, Control::cboCommitAction);
    EXPECT_EQ(a[2].index, 3);
    EXPECT_EQ(a[3].kind, K::Press);
    EXPECT_EQ(a[3].control, Control::cmdUpdate);
    EXPECT_EQ(a[3].keys, (std::vector<Key>{Key::Control, Key::Shift, Key::K}));
    EXPECT_EQ(a[4].kind, K::File);
    EXPECT_EQ(a[4].file, "C:\\fw\\new.BIN") << "a value may hold colons";
    EXPECT_EQ(a[5].kind, K::Cancel);
    EXPECT_EQ(a[6].kind, K::Wait);
    EXPECT_DOUBLE_EQ(a[6].seconds, 0.25);
    EXPECT_EQ(a[7].kind, K::Power);
    EXPECT_EQ(a[7].power_event, 0x12u);
    EXPECT_EQ(a[8].power_event, 0x8013u);
    EXPECT_EQ(a[9].kind, K::Close);
    EXPECT_EQ(a[10].control, Control::cmdClose);
    EXPECT_EQ(a[10].keys, std::vector<Key>{Key::F9});
    for (size_t i = 0; i < 11; ++i) EXPECT_FALSE(a[i].forged) << a[i].text;
    // Forged: the same messages from another program; a timer message always is.
    for (size_t i = 11; i < 16; ++i) EXPECT_TRUE(a[i].forged) << a[i].text;
    EXPECT_EQ(a[11].kind, K::Select);
    EXPECT_EQ(a[11].control, Control::cboDrives);
    EXPECT_EQ(a[11].index, 7);
    EXPECT_EQ(a[12].kind, K::Press);
    EXPECT_EQ(a[12].keys, std::vector<Key>{Key::K});
    EXPECT_EQ(a[13].kind, K::Timer);
    EXPECT_EQ(a[13].timer, Timer::tmrAutoFlash);
    EXPECT_EQ(a[14].timer, Timer::Timer2);
    EXPECT_EQ(a[15].kind, K::Close);
}

TEST(UserActions, RejectsBadItems) {
    struct Row {
        const char* text;
        const char* error;
    } rows[] = {
        {"", "action 1 '': empty action"},
        {"press:Update,,close", "action 2 '': empty action"},
        {"press:Updat", "action 1 'press:Updat': no button 'Updat' (Update, Close)"},
        {"press:Update+Alt", "action 1 'press:Update+Alt': no key 'Alt' (Ctrl, Shift, K, F9)"},
        {"press:Update+", "action 1 'press:Update+': no key '' (Ctrl, Shift, K, F9)"},
        {"press", "action 1 'press': 'press' needs a value (press:...)"},
        {"select:-1", "action 1 'select:-1': the item number must be a whole number from 0 (at most 4 digits)"},
        {"select:12345", "action 1 'select:12345': the item number must be a whole number from 0 (at most 4 digits)"},
        {"wait:1.5", "action 1 'wait:1.5': the wait is a whole number of milliseconds (at most 9 digits)"},
        {"power:nap", "action 1 'power:nap': no power event 'nap' (a name from --help, or a number)"},
        {"power:4294967296", "action 1 'power:4294967296': no power event '4294967296' (a name from --help, or a number)"},
        {"power:0x1FFFFFFFF", "action 1 'power:0x1FFFFFFFF': no power event '0x1FFFFFFFF' (a name from --help, or a number)"},
        {"close:now", "action 1 'close:now': 'close' takes no value"},
        {"file:", "action 1 'file:': 'file' needs a value (file:...)"},
        {"jump:3", "action 1 'jump:3': unknown action 'jump'"},
        {"!wait:5", "action 1 '!wait:5': 'wait' cannot be forged (select, slot, commit, press, close, timer)"},
        {"!power:4", "action 1 '!power:4': 'power' cannot be forged (select, slot, commit, press, close, timer)"},
        {"!", "action 1 '!': '' cannot be forged (select, slot, commit, press, close, timer)"},
        {"!!press:Update", "action 1 '!!press:Update': '!press' cannot be forged (select, slot, commit, press, close, timer)"},
        {"timer:Timer3", "action 1 'timer:Timer3': no timer 'Timer3' (Timer1, Timer2, tmrAutoFlash)"},
        {"timer", "action 1 'timer': 'timer' needs a value (timer:...)"},
        {"!close:now", "action 1 '!close:now': 'close' takes no value"},
    };
    for (const Row& row : rows) {
        std::vector<ui::UserAction> a;
        std::string error;
        EXPECT_FALSE(ui::ParseActions(row.text, a, error)) << row.text;
        EXPECT_EQ(error, row.error);
        EXPECT_TRUE(a.empty()) << row.text;
    }
}

}  // namespace
}  // namespace orvane::app
