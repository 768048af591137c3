// The real window over a simulated machine with two drives: while the first one takes its new
// firmware, events forged from another thread, as Windows delivers them, change neither the
// update's target nor anything the device object does.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/orvane_main.h"
#include "common/package_bytes.h"
#include "platform/sim/sim_platform.h"
#include "platform/win32/win32_message_pump.h"
#include "scenario/scenario_rig.h"
#include "ui/win32/win32_view.h"
#include "win32/window_input.h"

#include <commctrl.h>

namespace orvane::ui {
namespace {

namespace sc = testing::scenario;
using app::Control;
using test::BoxWatcher;
using test::Notify;
using Box = BoxWatcher::Box;

constexpr const char* kFirst = "MS512A0000000001";
constexpr const char* kSecond = "MS512B0000000002";
constexpr const wchar_t* kPowerDenied = L"Firmware is updating, all power change events are denied !";
constexpr const wchar_t* kUpdateRunning =
    L"A firmware update is in progress. Closing now would leave the drive with a half-written firmware image; "
    L"wait until the update has ended.";
const Box kFinishedBox{L"Information", L"Flash finished !"};

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Asks the window's thread, at its next look at its queue (the update's waits look all the
// time), and waits for the answer; nothing when none came.
std::optional<bool> AskWindowThread(platform::MessagePump& pump, std::function<bool()> question) {
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> got = answer->get_future();
    pump.Post([answer, question] { answer->set_value(question()); });
    if (got.wait_for(std::chrono::seconds(10)) != std::future_status::ready) return std::nullopt;
    return got.get();
}

// One event sent to the window while the update runs.
struct Forged {
    const char* name;
    std::function<LRESULT()> send;
    LRESULT answer;
    const char* refused;  // the handler its refusal line names; null: no refusal is logged
    const wchar_t* box;   // the warning it shows; null: none
    std::function<bool()> then = nullptr;  // the window's state right after it
};

// What the second thread saw of it.
struct Seen {
    LRESULT answer = -1;
    int refusals = 0;  // refusal lines it added to the log
    int named = 0;     // those naming its handler
    std::vector<Box> boxes;
    bool then = true;
    std::optional<bool> still_updating;
};

TEST(Win32UpdateRefusal, EventsForgedDuringAnUpdateNeitherMoveItNorTouchTheOtherDrive) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "the window's boxes need a display";
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("orvane-refusal-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(dir);
    platform::sim::SimMachine machine;
    std::string error;
    ASSERT_TRUE(platform::sim::LoadMachine(sc::Machine({sc::SataDisk(0, kFirst), sc::SataDisk(1, kSecond)}).dump(),
                                           machine, error))
        << error;
    machine.system.temp_dir = dir.string();
    // Real time: the update's waits are the window's chance to take the forged events.
    platform::sim::SimPlatform sim(machine, 1.0);
    platform::win32::Win32MessagePump pump;
    platform::Platform plat{sim.system(), sim.clock(), pump, &sim.storage(), &sim.tree(), &sim.wmi()};
    testing::PackageBytes package;
    package.AcceptAll();
    sc::WritePackage(sc::Package{}, package);
    Win32View view(GetModuleHandleW(nullptr));
    ASSERT_TRUE(view.Created());
    BoxWatcher watcher(GetCurrentThreadId());
    const std::filesystem::path log_file = dir / "ORVANE_DEBUG.txt";

    HWND w = view.window();
    HWND combo = view.control(Control::cboDrives), update = view.control(Control::cmdUpdate);
    HWND close = view.control(Control::cmdClose), bar = view.control(Control::ProgressBar1);
    LRESULT bar_before = 0;
    // The Update and Close rows come twice: as the window delivers them (the disabled and the
    // hidden button take no click), and with the window's own guard lifted, so that the click
    // reaches the logic, which must refuse it too.
    auto lifted = [&](HWND button, std::function<void(bool)> lift) {
        return [&w, button, lift] {
            lift(true);
            const LRESULT r = Notify(w, button, BN_CLICKED);
            lift(false);
            return r;
        };
    };
    const std::vector<Forged> rows = {
        {"another drive picked",
         [&] {
             SendMessageW(combo, CB_SETCURSEL, 1, 0);
             return Notify(w, combo, CBN_SELCHANGE);
         },
         0, "cboDrivesChange", nullptr, [&] { return SendMessageW(combo, CB_GETCURSEL, 0, 0) == 0; }},
        {"Update clicked while disabled", [&] { return Notify(w, update, BN_CLICKED); }, 0, nullptr, nullptr},
        {"Update clicked, enabled behind the logic's back",
         lifted(update, [&](bool on) { EnableWindow(update, on); }), 0, "cmdUpdateClick", nullptr},
        {"hidden Close clicked", [&] { return Notify(w, close, BN_CLICKED); }, 0, nullptr, nullptr},
        {"Close clicked, shown behind the logic's back",
         lifted(close, [&](bool on) { ShowWindow(close, on ? SW_SHOWNA : SW_HIDE); }), 0, "cmdCloseClick", nullptr},
        {"Timer1 (unattended start)", [&] { return SendMessageW(w, WM_TIMER, 1, 0); }, 0, "Timer1Timer", nullptr},
        {"tmrAutoFlash (automatic walk)", [&] { return SendMessageW(w, WM_TIMER, 3, 0); }, 0, "tmrAutoFlashTimer",
         nullptr},
        {"Timer2 (the progress bar still runs)",
         [&] {
             bar_before = SendMessageW(bar, PBM_GETPOS, 0, 0);
             return SendMessageW(w, WM_TIMER, 2, 0);
         },
         0, nullptr, nullptr, [&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) > bar_before; }},
        {"suspend query", [&] { return SendMessageW(w, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0); },
         BROADCAST_QUERY_DENY, nullptr, kPowerDenied},
        {"suspend", [&] { return SendMessageW(w, WM_POWERBROADCAST, PBT_APMSUSPEND, 0); }, BROADCAST_QUERY_DENY,
         nullptr, kPowerDenied},
        {"failed-query notice", [&] { return SendMessageW(w, WM_POWERBROADCAST, PBT_APMQUERYSUSPENDFAILED, 0); },
         TRUE, nullptr, nullptr},
        {"window closed", [&] { return SendMessageW(w, WM_CLOSE, 0, 0); }, 0, "FormClose", kUpdateRunning},
    };

    std::optional<bool> updating;
    bool combo_enabled = true, update_enabled = true, slot_enabled = true, action_enabled = true;
    std::vector<Seen> seen;
    {
        app::AppContext ctx{plat, view, package.data(), package.size(), {}, nullptr};
        app::TOrvaneMain main(ctx);
        main.FormCreate();
        ASSERT_FALSE(main.EndRequested());
        view.Show();
        main.FormShow();
        main.FormActivate();
        ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
        EXPECT_EQ(SendMessageW(w, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE) << "idle: the query passes";
        EXPECT_EQ(watcher.Seen(), std::vector<Box>{}) << "no box before the update";
        // The user picks the first drive.
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
        Notify(w, combo, CBN_SELCHANGE);
        ASSERT_TRUE(IsWindowEnabled(update));

        std::atomic<bool> clicked{false}, forged{false};
        std::thread forger([&] {
            // Once the update holds its target, every event goes in while it runs.
            while (!clicked && !(updating = AskWindowThread(pump, [&] { return main.Updating(); })).value_or(false))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (updating.value_or(false)) {
                combo_enabled = IsWindowEnabled(combo);
                update_enabled = IsWindowEnabled(update);
                slot_enabled = IsWindowEnabled(view.control(Control::cboFwSlot));
                action_enabled = IsWindowEnabled(view.control(Control::cboCommitAction));
                for (const Forged& row : rows) {
                    const std::string log_before = ReadText(log_file);
                    const size_t boxes_before = watcher.Seen().size();
                    Seen s;
                    s.answer = row.send();
                    const std::string log_after = ReadText(log_file);
                    const std::string refusal = "refused, an update is running";
                    s.refusals = Count(log_after, refusal) - Count(log_before, refusal);
                    if (row.refused) {
                        const std::string line = std::string(row.refused) + ": " + refusal;
                        s.named = Count(log_after, line) - Count(log_before, line);
                    }
                    const std::vector<Box> all = watcher.Seen();
                    for (size_t i = boxes_before; i < all.size(); ++i)
                        if (all[i] != kFinishedBox) s.boxes.push_back(all[i]);
                    if (row.then) s.then = row.then();
                    s.still_updating = AskWindowThread(pump, [&] { return main.Updating(); });
                    seen.push_back(s);
                }
            }
            forged = true;
        });
        // The click runs the whole update inside this call; its waits take the forged events.
        Notify(w, update, BN_CLICKED);
        clicked = true;
        // The forger may still be sending: keep taking its messages. The update ended the
        // program's loop; that quit message goes here, or it would end the next test's loops.
        while (!forged) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) continue;
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            Sleep(5);
        }
        forger.join();
        EXPECT_TRUE(IsWindowEnabled(combo)) << "the list is given back after the update";
        EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0) << "the list shows the updated drive";
        main.FormDestroy();
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    watcher.Stop();

    ASSERT_TRUE(updating.value_or(false)) << "the update never reported itself running";
    EXPECT_FALSE(combo_enabled) << "the drive list stays enabled during the update";
    EXPECT_FALSE(update_enabled) << "Update stays enabled during the update";
    EXPECT_FALSE(slot_enabled) << "the firmware slot list stays enabled during the update";
    EXPECT_FALSE(action_enabled) << "the commit action list stays enabled during the update";
    ASSERT_EQ(seen.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const Forged& row = rows[i];
        const Seen& s = seen[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(s.still_updating, std::optional<bool>(true)) << "handled after the update had ended";
        EXPECT_EQ(s.answer, row.answer);
        EXPECT_EQ(s.refusals, row.refused ? 1 : 0);
        EXPECT_EQ(s.named, row.refused ? 1 : 0);
        const std::vector<Box> warning = row.box ? std::vector<Box>{Box{L"Warning", row.box}} : std::vector<Box>{};
        EXPECT_EQ(s.boxes, warning);
        EXPECT_TRUE(s.then) << "the window's state afterwards";
    }

    // The first drive took the image; the second was never sent a download, nor anything erased.
    const std::vector<sc::DriveState> drives = sc::ReadDrives(sim);
    const std::optional<sc::DriveState> first = sc::FindDrive(drives, kFirst), second = sc::FindDrive(drives, kSecond);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->revision, sc::kNewFw);
    EXPECT_EQ(first->committed, 1);
    EXPECT_GT(sc::Sent(*first, sc::kDownloadMicrocode), 0);
    EXPECT_EQ(second->revision, sc::kOldFw);
    EXPECT_EQ(second->committed, 0);
    EXPECT_EQ(sc::Sent(*second, sc::kDownloadMicrocode), 0);
    EXPECT_EQ(first->preformats + second->preformats, 0);
    const std::string log = ReadText(log_file);
    EXPECT_EQ(Count(log, "Windows Flash START"), 1) << "one update ran";
    EXPECT_EQ(Count(log, "Flash finished !"), 1);
    EXPECT_EQ(Count(log, "refused, an update is running"), 6);
    const std::vector<Box> boxes = watcher.Seen();
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), kFinishedBox), 1) << "the update reported its end once";

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace orvane::ui
