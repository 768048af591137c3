// Disk information records (WMI and the fallback) and the drive-letter map.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "discovery/sim_rig.h"

namespace orvane::test {
namespace {

using discovery::DISK_INFO;
using discovery::DRIVE_LETTER_ENTRY;

// Hands back fixed instances for each class.
class FakeWmi : public platform::Wmi {
public:
    std::map<std::string, std::vector<platform::WmiInstance>> classes;
    platform::WmiStatus Query(const std::string& query, bool, bool read_values,
                              std::vector<platform::WmiInstance>& out) override {
        auto it = classes.find(query);
        if (it == classes.end()) return {false, platform::WmiStep::ExecQuery, 0};
        out = it->second;
        return {true, platform::WmiStep::None, 0};
    }
};

TEST(DevMgrWmi, RecordsFromWmiGoToTheNodeWithTheSameDeviceNumber) {
    json m = AhciMachine();
    json a = SataDisk("A", 0, {0, 0, 0, 0});
    a["partitions"] = json::array({json{{"type", 7}, {"letter", "C"}, {"size", 1000}}});
    json b = SataDisk("B", 1, {0, 1, 0, 0});
    b["wmi"] = json{{"Index", ""}};  // empty: -1, matches no node
    json c = SataDisk("C", 2, {0, 2, 0, 0});
    c["wmi"] = json{{"FirmwareRevision", "ABCDEFGHIJ"}, {"Size", "12x"}, {"Model", std::string(80, 'M')}};
    m["disks"] = json::array({a, b, c});
    m["wmi_counts_extra_disk"] = true;  // a record without a node is dropped
    Rig rig(m);
    ASSERT_TRUE(rig.mgr->enumerate_devices());
    const DISK_INFO* ia = rig.Node("PROD_A")->pInfo.get();
    ASSERT_NE(ia, nullptr);
    EXPECT_STREQ(ia->DeviceID, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_STREQ(ia->InterfaceType, "IDE");
    EXPECT_EQ(ia->Index, 0);
    EXPECT_EQ(ia->Partitions, 1u);
    EXPECT_EQ(ia->TotalHeads, 255u);
    EXPECT_EQ(ia->BytesPerSector, 512u);
    EXPECT_EQ(ia->TotalCylinders, 121601u);  // 1000204886016 / (255 * 63 * 512), rounded down
    EXPECT_EQ(ia->Size, 1000202273280ull);
    EXPECT_EQ(rig.Node("PROD_A")->DriveLetters['C' - 'A'], 1);

    EXPECT_EQ(rig.Node("PROD_B")->pInfo, nullptr);

    const DISK_INFO* ic = rig.Node("PROD_C")->pInfo.get();
    ASSERT_NE(ic, nullptr);
    EXPECT_EQ(std::string(ic->FirmwareRevision, 8), "ABCDEFGH");
    EXPECT_EQ(ic->Size, 0u);
    EXPECT_EQ(std::string(ic->Model), std::string(63, 'M'));
}

TEST(DevMgrWmi, FallbackRecordsWhenWmiIsUnavailable) {
    json m = AhciMachine();
    json a = SataDisk("A", 3, {1, 2, 3, 4});
    a["geometry"] = json{{"cylinders", 1000}, {"tracks_per_cylinder", 16}, {"sectors_per_track", 63}, {"bytes_per_sector", 4096}};
    a["signature"] = 0xCAFE;
    a["partitions"] = json::array({json{{"type", 7}, {"letter", "C"}}, json{{"type", 5}}, json{{"type", 0x0C}}});
    json b = SataDisk("B", 40);  // a number no PHYSICALDRIVE path of 0 to 25 answers to
    m["disks"] = json::array({a, b});
    m["wmi_unavailable"] = true;
    Rig rig(m);
    ASSERT_TRUE(rig.mgr->enumerate_devices());
    EXPECT_EQ(rig.mgr->iExpectedCount, 2);  // from the interface count
    const DISK_INFO* ia = rig.Node("PROD_A")->pInfo.get();
    ASSERT_NE(ia, nullptr);
    EXPECT_EQ(ia->TotalHeads, 255u);
    EXPECT_EQ(ia->TotalCylinders, 1000u);
    EXPECT_EQ(ia->TotalTracks, 16000u);
    EXPECT_EQ(ia->TotalSectors, 1008000u);
    EXPECT_EQ(ia->Size, 4128768000ull);
    EXPECT_EQ(ia->Partitions, 2u);  // the extended entry is not a recognized partition
    EXPECT_EQ(ia->Signature, 0xCAFEu);
    EXPECT_EQ(ia->SCSIPort, 1);
    EXPECT_EQ(ia->SCSIBus, 2);
    EXPECT_EQ(ia->SCSITargetId, 3);
    EXPECT_EQ(ia->SCSILogicalUnit, 4);
    EXPECT_STREQ(ia->DeviceID, "\\\\.\\PHYSICALDRIVE3");
    EXPECT_EQ(ia->Index, 3);
    EXPECT_STREQ(ia->InterfaceType, "SCSI");
    EXPECT_STREQ(ia->Model, "");
    EXPECT_EQ(std::string(ia->FirmwareRevision, 8), std::string(8, '\0'));
    EXPECT_EQ(rig.Node("PROD_A")->DriveLetters['C' - 'A'], 0);

    const DISK_INFO* ib = rig.Node("PROD_B")->pInfo.get();
    ASSERT_NE(ib, nullptr);
    EXPECT_STREQ(ib->DeviceID, "");
    EXPECT_EQ(ib->Index, 40);
    EXPECT_EQ(ib->SCSIPort, -1);
    EXPECT_EQ(ib->SCSITargetId, -1);
}

platform::WmiInstance Pair(const std::string& name, const std::string& value) { return {{name, value}}; }

std::string Antecedent(const std::string& disk) {
    return "\\\\HOST\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #" + disk + ", Partition #0\"";
}
std::string Dependent(const std::string& letter) {
    return "\\\\HOST\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"" + letter + ":\"";
}

TEST(DevMgrWmi, DriveLetterMap) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> pairs;  // disk text, letter text
        int extra_dependents;
        bool result;
        std::vector<std::pair<int, char>> set;  // flags expected, all others clear
    };
    const Case cases[] = {
        {"letters by disk", {{"0", "C"}, {"1", "D"}, {"0", "E"}}, 0, true, {{0, 'C'}, {1, 'D'}, {0, 'E'}}},
        {"a lower-case letter marks the upper-case one", {{"2", "f"}}, 0, true, {{2, 'F'}}},
        {"disk 30 is skipped, 25 kept", {{"30", "G"}, {"25", "H"}}, 0, true, {{25, 'H'}}},
        {"a negative disk is not followed", {{"-1", "G"}, {"1", "H"}}, 0, true, {{1, 'H'}}},
        {"lists of different lengths", {{"0", "C"}}, 1, false, {}},
        {"a disk that is not a number ends the walk", {{"0", "C"}, {"x1", "D"}, {"1", "E"}}, 0, false, {{0, 'C'}}},
        {"no letter: nothing but the disk number", {{"4", "*"}}, 0, true, {}},
    };
    for (const Case& c : cases) {
        Rig rig(AhciMachine());
        FakeWmi wmi;
        auto& rows = wmi.classes["Select * from Win32_LogicalDiskToPartition"];
        for (const auto& [disk, letter] : c.pairs)
            rows.push_back({{"Antecedent", Antecedent(disk)}, {"Dependent", Dependent(letter)}});
        for (int i = 0; i < c.extra_dependents; ++i) rows.push_back(Pair("Dependent", Dependent("Z")));
        rig.sim->platform().wmi = &wmi;
        DRIVE_LETTER_ENTRY map[26];
        for (auto& e : map) std::fill(std::begin(e.Letters), std::end(e.Letters), uint8_t{0xAB});
        EXPECT_EQ(rig.mgr->map_drive_letters(map, 26), c.result) << c.name;
        for (int d = 0; d < 26; ++d)
            for (int l = 0; l < 26; ++l) {
                bool want = false;
                for (const auto& [dd, ll] : c.set) want |= dd == d && ll == 'A' + l;
                EXPECT_EQ(map[d].Letters[l], want ? 1 : 0) << c.name << " disk " << d << " letter " << char('A' + l);
            }
    }
}

TEST(DevMgrWmi, ArrayValuesArriveJoined) {
    Rig rig(AhciMachine());
    FakeWmi wmi;
    wmi.classes["Select * from Win32_DiskDrive"] = {{{"Capabilities", "3, 4"}, {"Index", "0"}}};
    rig.sim->platform().wmi = &wmi;
    std::vector<std::string> list;
    int count = 0;
    ASSERT_TRUE(rig.mgr->wmi_query("Win32_DiskDrive", &list, &count, nullptr));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(list, (std::vector<std::string>{"Capabilities=3, 4", "Index=0"}));
    list.clear();
    ASSERT_TRUE(rig.mgr->wmi_query("Win32_DiskDrive", &list, nullptr, "Index"));
    EXPECT_EQ(list, std::vector<std::string>{"Index=0"});
    EXPECT_FALSE(rig.mgr->wmi_query("Win32_Nothing", &list, &count, nullptr));
}

TEST(DevMgrWmi, WinmgmtIsStartedUnlessThisIsAPreinstallEnvironment) {
    struct {
        const char* name;
        json system;
        bool answers;
    } const cases[] = {
        {"stopped, started on demand", json::object(), true},
        {"preinstallation environment",
         json{{"registry", {{"SYSTEM\\CurrentControlSet\\Control\\MiniNT", json::object()}}}}, false},
        {"cannot be started", json{{"services", {{"Winmgmt", {{"state", "stopped"}, {"start_type", "disabled"}}}}}},
         false},
    };
    for (const auto& c : cases) {
        json m = AhciMachine();
        m["disks"] = json::array({SataDisk("A", 0, {0, 0, 0, 0})});
        if (!c.system.empty()) m["system"] = c.system;
        Rig rig(m);
        EXPECT_EQ(rig.mgr->count_disks(), 1) << c.name;  // the fallback counts the interfaces
        EXPECT_EQ(rig.sim->wmi().Queries().size(), c.answers ? 1u : 0u) << c.name;
    }
}

}  // namespace
}  // namespace orvane::test
