// Erase and preformat runs on machines whose target drive carries volumes: locked and dismounted
// while the drive's data is destroyed and let go after, or the run refused with nothing sent
// when one of them is in use; a plain download leaves the volumes alone.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "package/package_layout.h"
#include "platform/records/pass_through.h"
#include "platform/sim/sim_writes.h"
#include "scenario/result_check.h"
#include "scenario/scenario_rig.h"
#include "scenario/truth_check.h"
#include "ui/console/user_actions.h"

namespace orvane::testing::scenario {
namespace {

namespace digit = package::digit;
namespace d = orvane::records;
using Strings = std::vector<std::string>;
using platform::sim::SimPartition;

constexpr const char* kSystemSerial = "MS512B0000000002";
constexpr const char* kInUse = "Volume E: is in use: close the programs that use it and try again.";
constexpr const char* kMaybeInUse =
    "Volume C: may lie on this drive and is in use: close the programs that use it and try again.";

// The target, disk 1 with these partitions, listed last so that it is the one selected; the
// system disk 0 before it carries C:, always in use.
json Machine2(json target_partitions, bool target_number_fails = false) {
    json target = SataDisk(1, kSerial);
    target["partitions"] = std::move(target_partitions);
    if (target_number_fails) target["failing_requests"] = {"device_number"};
    json system = SataDisk(0, kSystemSerial);
    system["partitions"] = json::parse(R"([{"size": 104857600, "boot": true},
                                           {"letter": "C", "size": 511946612736, "in_use": true}])");
    return Machine({target, system});
}

// A letterless recovery partition first, so that a refusal at E: must let go of a lock it took.
json Volumes(bool e_in_use) {
    return json::array({{{"type", 0x27}, {"size", 524288000}},
                        {{"letter", "E"}, {"size", 511000000000ULL}, {"in_use", e_in_use}}});
}

struct Row {
    const char* name;
    json machine;
    Strings args;             // "/S" runs alone; others press Update in the window
    std::vector<std::pair<int, char>> digits;
    int exit_code = 0;
    std::string refusal;      // the status and the box (in the window) of a refused run
    Strings has;              // log lines
    Strings lacks;
    // Each writing command that reached the target: its kind and whether every volume of the
    // target was locked and dismounted then ("preformat locked", "download free"). A preformat
    // job starts with the parallel-ATA handshake's buffer page, a vendor write.
    Strings writes;
    int locks = 0;            // per target volume afterwards: taken, dismounted, let go
};

const Row kRows[] = {
    // (a) no volumes: as before, with the log saying so.
    {"erase, no volumes", Machine2(json::array()), {"/S", "/ERASE"}, {}, 0, "",
     {"VOLUME_LOCK: disk 1", "VOLUME_LOCK: C: on another disk", "VOLUME_LOCK: no volume on the drive", "EraseAll START"},
     {"VOLUME_LOCK: 0 released"}, {"vendor-write free", "preformat free"}, 0},
    {"preformat before, no volumes", Machine2(json::array()), {}, {{digit::bBPreformat, '1'}}, 0, "",
     {"VOLUME_LOCK: no volume on the drive", "B_Preformat START"}, {}, {"vendor-write free", "preformat free", "download free", "commit free"}, 0},
    // (b) every volume free: held from before the first write to the end of the run.
    {"erase, volumes free", Machine2(Volumes(false)), {"/S", "/ERASE"}, {}, 0, "",
     {"VOLUME_LOCK: disk 1", "VOLUME_LOCK: \\\\?\\Volume{00000001-0000-0000-0000-000000000001}\\ locked and dismounted",
      "VOLUME_LOCK: E: locked and dismounted", "VOLUME_LOCK: C: on another disk", "EraseAll START", "VOLUME_LOCK: 2 released"},
     {}, {"vendor-write locked", "preformat locked"}, 1},
    {"preformat before, volumes free", Machine2(Volumes(false)), {}, {{digit::bBPreformat, '1'}}, 0, "",
     {"VOLUME_LOCK: E: locked and dismounted", "B_Preformat START", "VOLUME_LOCK: 2 released"}, {},
     {"vendor-write locked", "preformat locked", "download locked", "commit locked"}, 1},
    {"preformat after, volumes free", Machine2(Volumes(false)), {}, {{digit::Preformat, '1'}}, 0, "",
     {"VOLUME_LOCK: E: locked and dismounted", "ReBoot:1, AHCI:1, Preformat:1", "VOLUME_LOCK: 2 released"}, {},
     {"download locked", "commit locked", "vendor-write locked", "preformat locked"}, 1},
    // (c) E: in use: refused before anything reaches the drive; the recovery volume let go again.
    {"erase, E: in use, silent: no box", Machine2(Volumes(true)), {"/S", "/ERASE"}, {}, 1, kInUse,
     {"VOLUME_LOCK: E: refused (error 5)", "VOLUME_LOCK: 1 let go again", kInUse}, {"EraseAll START", "VOLUME_LOCK: 1 released"}, {}, 1},
    {"erase, E: in use, in the window", Machine2(Volumes(true)), {"/ERASE"}, {}, 1, kInUse,
     {"ERASE: confirmed", "VOLUME_LOCK: E: refused (error 5)"}, {"EraseAll START"}, {}, 1},
    {"preformat before, E: in use", Machine2(Volumes(true)), {}, {{digit::bBPreformat, '1'}}, 1, kInUse,
     {"VOLUME_LOCK: E: refused (error 5)"}, {"B_Preformat START", "Flash FW START"}, {}, 1},
    {"preformat after, E: in use", Machine2(Volumes(true)), {}, {{digit::Preformat, '1'}}, 1, kInUse,
     {"VOLUME_LOCK: E: refused (error 5)"}, {"Flash FW START"}, {}, 1},
    // (d) a plain download does not look at the volumes.
    {"plain download, E: in use", Machine2(Volumes(true)), {}, {}, 0, "", {"Flash FW START"}, {"VOLUME_LOCK: disk 1"},
     {"download free", "commit free"}, 0},
    // The target's disk number cannot be read: no volume can be ruled out, and C: is in use.
    {"erase, the drive's disk unknown", Machine2(Volumes(false), true), {"/ERASE"}, {}, 1, kMaybeInUse,
     {"VOLUME_LOCK: the drive's disk number is unknown: every volume counts as on it",
      "VOLUME_LOCK: E: locked and dismounted (its disk is unknown)", "VOLUME_LOCK: C: refused (error 5)"},
     {"EraseAll START"}, {}, 1},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class VolumeLockScenario : public ::testing::TestWithParam<Row> {};

TEST_P(VolumeLockScenario, Run) {
    const Row& row = GetParam();
    const std::string name = row.name;
    AppRun run([&](platform::sim::SimMachine& m) { LoadScenarioMachine(m, row.machine); });
    Package p;
    p.digits = row.digits;
    WritePackage(p, run.package);
    run.args = row.args;
    std::string result_path;
    run.args.push_back(ResultArgumentFor(run, result_path));
    const bool silent = !row.args.empty() && row.args[0] == "/S";
    // The erase question of a window run is answered Yes; the lock comes after it.
    if (!silent && !row.args.empty() && row.args[0] == "/ERASE") run.answers = {"yes"};
    if (!silent) {
        std::string error;
        ASSERT_TRUE(ui::ParseActions("press:Update", run.actions, error)) << error;
    }
    // Every command that writes to the target, with the state of its volumes as it arrives.
    auto writes = std::make_shared<Strings>();
    run.before_start = [writes](platform::sim::SimPlatform& sim) {
        sim.storage().AddHandler([writes](platform::sim::SimHardware&, platform::sim::SimIoTarget& t, uint32_t code,
                                          uint8_t* b, uint32_t in_len, uint32_t) -> std::optional<platform::IoResult> {
            if (!t.disk || t.partition >= 0 || t.disk->serial != kSerial || code != d::IOCTL_ATA_PASS_THROUGH ||
                in_len < sizeof(d::ATA_PASS_THROUGH_EX))
                return std::nullopt;
            d::ATA_PASS_THROUGH_EX apt;
            std::memcpy(&apt, b, sizeof apt);
            const uint8_t direction = apt.AtaFlags & d::ATA_FLAGS_DATA_IN ? 2 : apt.AtaFlags & d::ATA_FLAGS_DATA_OUT ? 4 : 0;
            const uint8_t* data = apt.DataTransferLength && apt.DataBufferOffset + apt.DataTransferLength <= in_len
                                      ? b + apt.DataBufferOffset
                                      : nullptr;
            const std::string kind =
                platform::sim::AtaWriteKind(apt.CurrentTaskFile, direction, data, data ? apt.DataTransferLength : 0);
            if (kind.empty()) return std::nullopt;
            bool held = !t.disk->partitions.empty();
            for (const SimPartition& v : t.disk->partitions) held = held && v.locked && !v.mounted;
            const std::string entry = kind + (held ? " locked" : " free");
            if (writes->empty() || writes->back() != entry) writes->push_back(entry);
            return std::nullopt;
        }, true);
    };

    const Outcome o = Capture(run, run.Run());
    const json result = ReadResultFile(result_path);

    EXPECT_EQ(o.exit_code, row.exit_code) << name;
    for (const std::string& l : row.has) EXPECT_TRUE(HasLine(o, l)) << name << ": the log lacks \"" << l << "\"";
    for (const std::string& l : row.lacks) EXPECT_FALSE(HasLine(o, l)) << name << ": the log has \"" << l << "\"";
    EXPECT_EQ(*writes, row.writes) << name;
    if (!row.refusal.empty()) {
        EXPECT_TRUE(HasStatus(o, row.refusal)) << name;
        EXPECT_EQ(HasBox(o, row.refusal), !silent) << name << ": a box in the window, none in a silent run";
        auto drive = FindDrive(o.drives, kSerial);
        ASSERT_TRUE(drive) << name;
        EXPECT_EQ(WritesText(*drive), "no writes") << name;
        ASSERT_TRUE(result.is_object()) << name;
        ASSERT_TRUE(result.contains("drives")) << name;
        for (const json& dr : result["drives"])
            if (dr.value("serial", "") == kSerial) {
                EXPECT_EQ(RowOutcome(dr), "refused: " + row.refusal) << name;
            }
    }
    // Afterwards every volume of the target was taken as often as the row says and is let go.
    const platform::sim::SimDisk& target = run.sim().hardware().storage.disks[0];
    for (const SimPartition& v : target.partitions) {
        const std::string which = name + (v.letter ? std::string(": ") + v.letter + ":" : ": recovery");
        EXPECT_FALSE(v.locked) << which;
        EXPECT_TRUE(v.mounted) << which;
        EXPECT_EQ(v.releases, v.locks) << which;
        // A volume in use is never locked; the others as often as the row says.
        EXPECT_EQ(v.locks, v.in_use ? 0 : row.locks) << which;
        EXPECT_EQ(v.dismounts, v.in_use ? 0 : row.locks) << which;
    }
    // The system disk's C: is never touched while the target's disk is known.
    const SimPartition& c = run.sim().hardware().storage.disks[1].partitions[1];
    EXPECT_EQ(c.locks + c.dismounts, 0) << name;
    ExpectReleasedKeepAwake(o, name);
    ExpectTruth(o, result, PackageFacts{p.new_fw}, name);
    ExpectSoundDocument(result, o, name);
    ShowLog(o, name);
}

INSTANTIATE_TEST_SUITE_P(Volumes, VolumeLockScenario, ::testing::ValuesIn(kRows), RowName<Row>);

// A machine file's "in_use" is read, and a saved machine keeps it.
TEST(VolumeLockMachine, InUseIsReadAndSavedAgain) {
    std::string error;
    platform::sim::SimMachine m;
    ASSERT_TRUE(platform::sim::LoadMachine(Machine2(Volumes(true)).dump(), m, error)) << error;
    ASSERT_EQ(m.storage.disks[0].partitions.size(), 2u);
    EXPECT_FALSE(m.storage.disks[0].partitions[0].in_use);
    EXPECT_TRUE(m.storage.disks[0].partitions[1].in_use);
    platform::sim::SimPlatform sim(m);
    const json saved = platform::sim::MachineToSave(Machine2(Volumes(true)).dump(), sim, true);
    platform::sim::SimMachine again;
    ASSERT_TRUE(platform::sim::LoadMachine(saved.dump(), again, error)) << error;
    EXPECT_TRUE(again.storage.disks[0].partitions[1].in_use);
    EXPECT_TRUE(again.storage.disks[1].partitions[1].in_use);
    EXPECT_FALSE(again.storage.disks[0].partitions[0].in_use);
    json bad = Machine2(json::parse(R"([{"letter": "E", "in_use": 1}])"));
    EXPECT_FALSE(platform::sim::LoadMachine(bad.dump(), again, error));
    EXPECT_NE(error.find("partitions[0].in_use"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvane::testing::scenario
