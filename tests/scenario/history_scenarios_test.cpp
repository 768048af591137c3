// Updates that end before anyone can know whether they worked, then the machine's restart and the
// next start: what the update history says of each, what that start shows, and what "/VERIFY" ends
// with. Each row is two whole runs on one machine, the second after a simulated restart.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/update_history.h"
#include "package/package_layout.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_restart.h"
#include "scenario/result_check.h"
#include "scenario/scenario_rig.h"

namespace orvane::testing::scenario {
namespace {

namespace fs = std::filesystem;
namespace digit = package::digit;

using Strings = std::vector<std::string>;

constexpr const char* kFailedBox = "An earlier firmware update did not take effect after the restart:";

struct Start {
    Strings args;
    std::string actions;
    Strings answers;
};

struct Row {
    const char* name;
    json machine;
    std::function<void(Package&)> package;
    Start first;
    // The machine as the first run left it, changed before the restart (a drive that reverts).
    std::function<void(json&)> before_restart = nullptr;
    Start second;
    std::string serial = kSerial;
    std::string state_after_first;   // the drive's newest history entry after each run
    std::string state_after_second;
    int second_exit = 0;
    bool failed_box = false;         // the second start shows the box of failed updates
    std::string detail = "";         // the entry's detail after the second run, when given
};

void NvmePackage(Package& p) {
    p.image = NvmeImage(10000, kNvmeNewFw);
    p.new_fw = kNvmeNewFw;
}
void Walk(Package& p) { p.digits.push_back({digit::bAutoFlashAll, '1'}); }

json NvmeWaiting() {
    json d = NvmeDisk();
    d["nvme"]["activate_status"] = 32;
    return Machine({d});
}

// The NVMe drive first, then the SATA drive: a walk whose first drive waits for the restart.
json NvmeThenSata() {
    json n = NvmeDisk();
    n["nvme"]["activate_status"] = 32;
    json sata = SataDisk(1, kSerial);
    sata["scsi_address"]["port"] = 5;
    return Machine({n, sata});
}

// The image waiting for the restart is lost: the drive comes back with its old firmware.
void NvmeReverts(json& m) {
    for (json& d : m["disks"]) {
        if (!d.contains("nvme")) continue;
        d["nvme"]["pending_slot"] = nullptr;
        for (json& s : d["nvme"]["slots"]) s["staged_revision"] = nullptr;
    }
}

void FlasherFails(json& m) { m["system"]["boot_flasher_fails"] = true; }

const Start kWindowUpdate{{}, "press:Update", {}};
const Start kNvmeUpdate{{}, "slot:1,press:Update", {}};
const Start kWindowStart{{}, "close", {}};
const Start kVerify{{"/VERIFY"}, "", {}};

const Row kRows[] = {
    {.name = "NVMe activation at the restart, then a start: verified", .machine = NvmeWaiting(),
     .package = NvmePackage, .first = kNvmeUpdate, .second = kWindowStart, .serial = kNvmeSerial,
     .state_after_first = "pending", .state_after_second = "verified"},
    {.name = "NVMe activation at the restart, the drive reverts: failed, shown in a box", .machine = NvmeWaiting(),
     .package = NvmePackage, .first = kNvmeUpdate, .before_restart = NvmeReverts, .second = kWindowStart,
     .serial = kNvmeSerial, .state_after_first = "pending", .state_after_second = "failed", .failed_box = true,
     .detail = "the drive still reports firmware N0812C1 after the restart"},
    {.name = "NVMe activation at the restart, the drive reverts: /VERIFY ends with 1", .machine = NvmeWaiting(),
     .package = NvmePackage, .first = kNvmeUpdate, .before_restart = NvmeReverts, .second = kVerify,
     .serial = kNvmeSerial, .state_after_first = "pending", .state_after_second = "failed", .second_exit = 1},
    {.name = "boot-time update, restart, /VERIFY: verified", .machine = Machine({SataDisk(0, kSerial)}),
     .package = BootPackage, .first = {{"/S"}, "", {"ok", "yes"}}, .second = kVerify,
     .state_after_first = "pending", .state_after_second = "verified"},
    {.name = "a boot-time flasher that fails: failed, /VERIFY ends with 1", .machine = Machine({SataDisk(0, kSerial)}),
     .package = BootPackage, .first = {{"/S"}, "", {"ok", "yes"}}, .before_restart = FlasherFails,
     .second = kVerify, .state_after_first = "pending", .state_after_second = "failed", .second_exit = 1,
     .detail = "the drive still reports firmware S0614B0 after the restart"},
    {.name = "a walk's NVMe drive waits for the restart: verified at the next start", .machine = NvmeThenSata(),
     .package = Walk, .first = {{}, "", {}}, .second = kWindowStart, .serial = kNvmeSerial,
     .state_after_first = "pending", .state_after_second = "verified"},
    {.name = "the drive is gone after the restart: still pending, one start counted, /VERIFY ends with 10",
     .machine = NvmeWaiting(), .package = NvmePackage, .first = kNvmeUpdate,
     .before_restart = [](json& m) { m["disks"] = json::array(); }, .second = kVerify, .serial = kNvmeSerial,
     .state_after_first = "pending", .state_after_second = "pending", .second_exit = 10},
    {.name = "a verified update stays verified; /VERIFY has nothing to decide", .machine = Machine({SataDisk(0, kSerial)}),
     .package = nullptr, .first = kWindowUpdate, .second = kVerify, .state_after_first = "verified",
     .state_after_second = "verified"},
    {.name = "ReBoot off: pending; the drive restarts with the new firmware: verified",
     .machine = Machine({SataDisk(0, kSerial)}), .package = [](Package& p) { p.digits.push_back({digit::ReBoot, '0'}); },
     .first = kWindowUpdate, .second = kVerify, .state_after_first = "pending", .state_after_second = "verified"},
};

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The newest entry of this serial in the history file.
std::optional<app::HistoryEntry> Newest(const fs::path& file, const std::string& serial) {
    const app::HistoryParse p = app::ParseHistory(ReadText(file));
    if (p.status != app::HistoryStatus::Ok) return std::nullopt;
    for (auto it = p.history.entries.rbegin(); it != p.history.entries.rend(); ++it)
        if (it->serial == serial) return *it;
    return std::nullopt;
}

// Both runs keep the machine's folders in one place, as a real machine keeps its disk.
void Folders(platform::sim::SimMachine& m, const fs::path& base) {
    m.system.program_data_dir = (base / "programdata").string();
    m.system.system_dir = (base / "system32").string();
    m.system.windows_dir = (base / "windows").string();
}

void Apply(AppRun& run, const Start& s) {
    run.args = s.args;
    run.answers = s.answers;
    if (!s.actions.empty()) {
        std::string error;
        ASSERT_TRUE(ui::ParseActions(s.actions, run.actions, error)) << error;
    }
}

class HistoryScenario : public ::testing::TestWithParam<Row> {};

TEST_P(HistoryScenario, UpdateRestartStart) {
    const Row& row = GetParam();
    const std::string name = row.name;
    static int n = 0;
    const fs::path base = fs::temp_directory_path() / ("orvane-history-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
    fs::remove_all(base);
    const fs::path history = base / "programdata" / "Orvane" / "history.json";
    Package p;
    if (row.package) row.package(p);

    json saved;
    {
        AppRun first([&](platform::sim::SimMachine& m) {
            LoadScenarioMachine(m, row.machine);
            Folders(m, base);
        });
        WritePackage(p, first.package);
        Apply(first, row.first);
        std::string result_path;
        first.args.push_back(ResultArgumentFor(first, result_path));
        const Outcome o = Capture(first, first.Run());
        const json doc = ReadResultFile(result_path);
        ExpectSoundDocument(doc, o, name);
        const auto entry = Newest(history, row.serial);
        ASSERT_TRUE(entry) << name << ": no history entry for " << row.serial << "\n" << ReadText(history);
        EXPECT_EQ(entry->state, row.state_after_first) << name << ": " << entry->detail;
        for (const json& d : doc["drives"])
            if (d["serial"] == row.serial) {
                EXPECT_EQ(d["history_state"], row.state_after_first) << name;
            }
        saved = platform::sim::MachineToSave(row.machine.dump(), first.sim(), true);
    }
    if (row.before_restart) row.before_restart(saved);

    AppRun second([&](platform::sim::SimMachine& m) {
        LoadScenarioMachine(m, saved);
        Folders(m, base);
    });
    WritePackage(p, second.package);
    Apply(second, row.second);
    std::string result_path;
    second.args.push_back(ResultArgumentFor(second, result_path));
    std::vector<std::string> restart;
    second.before_start = [&](platform::sim::SimPlatform& sim) {
        restart = platform::sim::RestartMachine(sim.hardware(), sim.system());
    };
    const Outcome o = Capture(second, second.Run());
    const json doc = ReadResultFile(result_path);
    std::string said;
    for (const std::string& l : restart) said += l + "\n";

    EXPECT_EQ(o.exit_code, row.second_exit) << name << "\n" << said;
    ExpectSoundDocument(doc, o, name);
    const auto entry = Newest(history, row.serial);
    ASSERT_TRUE(entry) << name;
    EXPECT_EQ(entry->state, row.state_after_second) << name << ": " << entry->detail << "\n" << said;
    if (!row.detail.empty()) {
        EXPECT_EQ(entry->detail, row.detail) << name;
    }
    if (row.state_after_second == "pending") {
        EXPECT_EQ(entry->starts_without_drive, 1) << name << ": the start after the restart counts";
    }
    EXPECT_EQ(HasBoxStarting(o, kFailedBox), row.failed_box) << name;
    const bool decided = row.state_after_first == "pending";
    ASSERT_EQ(doc["verification"].size(), decided ? 1u : 0u) << name << ": " << doc.dump(2);
    if (decided) {
        EXPECT_EQ(doc["verification"][0]["serial"], row.serial) << name;
        EXPECT_EQ(doc["verification"][0]["state"], row.state_after_second) << name;
        EXPECT_TRUE(HasLine(o, Starts("HISTORY: "))) << name << ": each change is a log line";
    }
    if (row.second.args == Strings{"/VERIFY"}) {
        EXPECT_EQ(doc["run"], "verify") << name;
        EXPECT_TRUE(o.boxes.empty()) << name << ": /VERIFY shows no box";
        EXPECT_FALSE(o.ever_shown) << name << ": /VERIFY shows no window";
        for (const json& d : doc["drives"])
            if (d["serial"] == row.serial && decided) {
                EXPECT_EQ(d["outcome"], row.state_after_second) << name;
            }
    }
    fs::remove_all(base);
}

INSTANTIATE_TEST_SUITE_P(Restart, HistoryScenario, ::testing::ValuesIn(kRows), RowName<Row>);

}  // namespace
}  // namespace orvane::testing::scenario

namespace orvane::testing::scenario {
namespace {

// What the history may not do to an update, and what an update may not do to the history.
TEST(HistoryFaults, TheUpdateStandsAndNoHistoryIsLost) {
    const std::string pending_entry = R"({"schema": 1, "entries": [{"time": "2026-01-04T10:00:00+01:00",
      "program_version": "3.1.10", "package_version": "V1", "model": "MERETH SSD 512GB",
      "serial": "MS512A0123456789", "transport": "ATA PASSTHROUGH", "device": "\\\\.\\PhysicalDrive0",
      "revision_before": "S0614A0", "target_revision": "S0614B0", "target_def": "", "method": "download",
      "download_flow": "", "nvme_slot": null, "nvme_commit_action": null, "state": "pending",
      "detail": "the drive was not read again after the download", "starts_without_drive": 0,
      "decided_time": "", "revision_found": null}]}
)";
    struct Case {
        const char* name;
        std::optional<std::string> before;  // the history file before the run
        std::function<void(platform::sim::SimMachine&)> edit;
        int exit_code;
        std::string outcome;       // the drive's in the result document
        json history_state;
        const char* log;           // a line of the log, from its start
        bool file_unchanged;       // the history file is byte for byte as before
        size_t entries_after;      // otherwise: how many entries it holds
    } cases[] = {
        {"the history cannot be written", std::nullopt,
         [](platform::sim::SimMachine& m) { m.system.unwritable_files = {"history.json.tmp"}; }, 0, "updated",
         nullptr, "HISTORY: not written (cannot write ", true, 0},
        {"its folder cannot be made", std::nullopt,
         [](platform::sim::SimMachine& m) { m.system.unwritable_files = {"Orvane"}; }, 0, "updated", nullptr,
         "HISTORY: cannot make C:\\ProgramData\\Orvane", true, 0},
        {"another copy runs: it neither decides nor writes", pending_entry,
         [](platform::sim::SimMachine& m) { m.system.instances_running = {"Orvane"}; }, 9, "", nullptr,
         "INSTANCE: another copy of Orvane is running", true, 0},
        {"a newer program's history is left alone", R"({"schema": 7, "entries": "not ours"})", nullptr, 0,
         "updated", nullptr, "HISTORY: C:\\ProgramData\\Orvane\\history.json has schema 7, newer than this", true, 0},
        {"a damaged history is set aside and a new one started", "{\"schema\": 1, \"entries\": [", nullptr, 0,
         "updated", "verified", "HISTORY: C:\\ProgramData\\Orvane\\history.json is damaged (", false, 1},
        // The drive already runs S0614B0: the earlier update is verified at this start, then the
        // new one is added.
        {"an earlier pending update is decided before this one is added", pending_entry, nullptr, 0, "updated",
         "verified", "HISTORY: MERETH SSD 512GB MS512A0123456789 (S0614B0, download of 2026-01-04T10:00:00+01:00): "
                     "pending -> verified", false, 2},
    };
    for (const Case& c : cases) {
        AppRun run([&](platform::sim::SimMachine& m) {
            LoadScenarioMachine(m, Machine({SataDisk(0, kSerial)}));
            if (c.edit) c.edit(m);
        });
        const fs::path file = fs::path(run.machine().system.temp_dir) / "orvane-sim" / "programdata" / "Orvane" /
                              "history.json";
        if (c.before) {
            fs::create_directories(file.parent_path());
            std::ofstream(file, std::ios::binary) << *c.before;
        }
        Package p;
        WritePackage(p, run.package);
        Apply(run, kWindowUpdate);
        std::string result_path;
        run.args.push_back(ResultArgumentFor(run, result_path));
        const Outcome o = Capture(run, run.Run());
        const json doc = ReadResultFile(result_path);
        EXPECT_EQ(o.exit_code, c.exit_code) << c.name;
        EXPECT_TRUE(HasLine(o, Starts(c.log))) << c.name << ": no line \"" << c.log << "\"\n" << o.log;
        if (!c.outcome.empty()) {
            ASSERT_EQ(doc["drives"].size(), 1u) << c.name;
            EXPECT_EQ(doc["drives"][0]["outcome"], c.outcome) << c.name;
            EXPECT_EQ(doc["drives"][0]["history_state"], c.history_state) << c.name;
        }
        if (c.file_unchanged) {
            EXPECT_EQ(fs::exists(file), c.before.has_value()) << c.name;
            if (c.before) {
                EXPECT_EQ(ReadText(file), *c.before) << c.name;
            }
        } else {
            const app::HistoryParse h = app::ParseHistory(ReadText(file));
            ASSERT_EQ(h.status, app::HistoryStatus::Ok) << c.name << ": " << h.why;
            EXPECT_EQ(h.history.entries.size(), c.entries_after) << c.name;
        }
        if (std::string(c.name).find("damaged") != std::string::npos) {
            int kept = 0;
            for (const auto& e : fs::directory_iterator(file.parent_path()))
                if (e.path().filename().string().rfind("history.json.damaged-", 0) == 0) {
                    ++kept;
                    EXPECT_EQ(ReadText(e.path()), *c.before) << c.name << ": the damaged file is kept as it was";
                }
            EXPECT_EQ(kept, 1) << c.name;
        }
    }
}

}  // namespace
}  // namespace orvane::testing::scenario

namespace orvane::testing::scenario {
namespace {

// The user reads the "Flash finished !" box for five simulated minutes: the log's total time
// counts them, the document's duration, the program's work, does not.
TEST(ResultDuration, TheTimeABoxWaitsIsNotTheUpdates) {
    AppRun run([](platform::sim::SimMachine& m) { LoadScenarioMachine(m, Machine({SataDisk(0, kSerial)})); });
    Package p;
    WritePackage(p, run.package);
    Apply(run, Start{{}, "press:Update", {"ok@300"}});
    std::string result_path;
    run.args.push_back(ResultArgumentFor(run, result_path));
    const Outcome o = Capture(run, run.Run());
    const json doc = ReadResultFile(result_path);
    ASSERT_EQ(o.exit_code, 0);
    ASSERT_TRUE(HasBox(o, "Flash finished !")) << o.log;
    double total = -1;
    for (const std::string& l : o.log_lines)
        if (l.rfind("Flash Total Time : ", 0) == 0) total = std::stod(l.substr(19));
    EXPECT_GE(total, 300.0) << "the log's total includes the box";
    ASSERT_EQ(doc["drives"].size(), 1u);
    ASSERT_TRUE(doc["drives"][0]["duration_seconds"].is_number()) << doc.dump(2);
    const double work = doc["drives"][0]["duration_seconds"].get<double>();
    EXPECT_GT(work, 1.0) << "the download and the restart take simulated seconds";
    EXPECT_LT(work, total - 299.0) << "the box's five minutes are not the update's";
}

}  // namespace
}  // namespace orvane::testing::scenario
