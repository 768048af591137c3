// Enumeration on simulated machines: order, passes, limits and the setup services.
#include <string>
#include <vector>

#include "discovery/setup_property.h"
#include "discovery/sim_rig.h"

namespace orvane::test {
namespace {

struct SortCase {
    const char* name;
    json disks;                          // in enumeration order
    std::vector<std::string> expected;   // instance ids in list order
};

TEST(DevMgrScan, SortsBySCSIAddress) {
    json unopenable = SataDisk("LOCKED", 3, {0, 2, 0, 0});
    unopenable["cannot_open"] = true;
    const SortCase cases[] = {
        {"port, path, target and lun weigh in that order",
         json::array({SataDisk("A", 0, {1, 0, 0, 0}), SataDisk("B", 1, {0, 15, 15, 15}), SataDisk("C", 2, {0, 0, 1, 0}),
                      SataDisk("D", 3, {0, 0, 0, 2})}),
         {Id("D", 3), Id("C", 2), Id("B", 1), Id("A", 0)}},
        {"equal addresses: the later-enumerated first",
         json::array({SataDisk("A", 0, {0, 1, 0, 0}), SataDisk("B", 1, {0, 1, 0, 0}), SataDisk("C", 2, {0, 0, 0, 0})}),
         {Id("C", 2), Id("B", 1), Id("A", 0)}},
        {"disks without an address follow, in enumeration order",
         json::array({SataDisk("A", 0), SataDisk("B", 1, {2, 0, 0, 0}), SataDisk("C", 2), SataDisk("D", 3, {1, 0, 0, 0})}),
         {Id("D", 3), Id("B", 1), Id("A", 0), Id("C", 2)}},
        {"a disk that cannot be opened sorts with key 0",
         json::array({SataDisk("A", 0, {0, 0, 0, 1}), SataDisk("B", 1), unopenable}),
         {Id("LOCKED", 3), Id("A", 0), Id("B", 1)}},
    };
    for (const SortCase& c : cases) {
        json m = AhciMachine();
        m["disks"] = c.disks;
        Rig rig(m);
        ASSERT_TRUE(rig.mgr->enumerate_devices()) << c.name;
        EXPECT_EQ(rig.Order(), c.expected) << c.name;
    }
}

TEST(DevMgrScan, UnopenableDiskKeepsDefaultProbeValues) {
    json m = AhciMachine();
    json d = SataDisk("LOCKED", 0, {1, 2, 3, 4});
    d["cannot_open"] = true;
    m["disks"] = json::array({d});
    m["wmi_unavailable"] = true;
    Rig rig(m);
    ASSERT_TRUE(rig.mgr->enumerate_devices());
    const discovery::DISK_NODE& n = rig.mgr->node_list()[0];
    EXPECT_EQ(n.bHasScsiAddress, 1);
    EXPECT_EQ(n.ScsiAddress.PortNumber + n.ScsiAddress.PathId + n.ScsiAddress.TargetId + n.ScsiAddress.Lun, 0);
    EXPECT_EQ(n.bDeviceNumber, 0xFF);
    EXPECT_EQ(n.bBusType, 0);
    EXPECT_EQ(n.dwMaxTransferLength, 0u);
    EXPECT_EQ(std::string(discovery::FieldView(n.SerialNumberText)), "");
    EXPECT_EQ(n.pInfo, nullptr);
}

TEST(DevMgrScan, PassesRepeatUntilTheCountsAgreeAtMostEleven) {
    struct {
        bool extra;
        int passes;
    } const cases[] = {{false, 1}, {true, 11}};
    for (const auto& c : cases) {
        json m = AhciMachine();
        m["disks"] = json::array({SataDisk("A", 0, {0, 0, 0, 0}), SataDisk("B", 1, {0, 1, 0, 0})});
        m["wmi_counts_extra_disk"] = c.extra;
        Rig rig(m);
        ASSERT_TRUE(rig.mgr->enumerate_devices());
        EXPECT_EQ(rig.mgr->iExpectedCount, c.extra ? 3 : 2);
        EXPECT_EQ(rig.mgr->node_count(), 2);  // the disks found stand
        EXPECT_EQ(rig.AddressRequests(), 2 * c.passes) << "extra " << c.extra;
    }
}

TEST(DevMgrScan, SixteenDisksAreListedTheRestLoggedAsLeftOut) {
    json m = AhciMachine();
    for (int i = 0; i < 18; ++i) m["disks"].push_back(SataDisk("D" + std::to_string(i), i, {0, 17 - i, 0, 0}));
    Rig rig(m);
    ASSERT_TRUE(rig.mgr->enumerate_devices());
    EXPECT_EQ(rig.mgr->node_count(), 16);
    EXPECT_EQ(rig.AddressRequests(), 18);  // one pass: all 18 were found
    // The lowest addresses are kept: D17 (path 0) first, D2 (path 15) last.
    EXPECT_EQ(rig.Order().front(), Id("D17", 17));
    EXPECT_EQ(rig.Order().back(), Id("D2", 2));
    ASSERT_EQ(rig.mgr->left_out().size(), 2u);
    ASSERT_EQ(rig.log.size(), 2u);
    EXPECT_NE(rig.log[0].find("left out"), std::string::npos);
    EXPECT_NE(rig.log[0].find("prod_d1#"), std::string::npos) << rig.log[0];
}

TEST(DevMgrScan, ZeroDisksCountedMeansAnEmptyList) {
    json m = AhciMachine();
    m["disks"] = json::array({SataDisk("A", 0, {0, 0, 0, 0})});
    m["disks"][0]["device_number"] = -1;  // WMI lists only disks with a number
    Rig rig(m);
    EXPECT_TRUE(rig.mgr->enumerate_devices());
    EXPECT_EQ(rig.mgr->iExpectedCount, 0);
    EXPECT_EQ(rig.mgr->node_count(), 0);
}

TEST(DevMgrScan, SetupServicesMissing) {
    struct {
        json missing;
        bool ok;
    } const cases[] = {
        {true, false},
        {json::array({"CM_Get_Parent"}), false},
        {json::array({"SetupDiGetClassImageList"}), false},  // required though the scan never calls it
        {json::array({"CM_Get_First_Log_Conf", "CM_Free_Log_Conf_Handle"}), true},
    };
    for (const auto& c : cases) {
        json m = AhciMachine();
        m["disks"] = json::array({SataDisk("A", 0, {0, 0, 0, 0})});
        m["setup_services_missing"] = c.missing;
        Rig rig(m);
        EXPECT_EQ(rig.mgr->setup_api_missing(), !c.ok) << c.missing.dump();
        EXPECT_EQ(rig.mgr->enumerate_devices(), c.ok) << c.missing.dump();
        EXPECT_EQ(rig.mgr->node_count(), c.ok ? 1 : 0);
        EXPECT_EQ(rig.mgr->rescan_controllers(), c.ok);
    }
}

// A property's first string never runs past the value, and an empty value may have no buffer.
TEST(DevMgrScan, FirstStringStaysInsideTheValue) {
    const uint8_t two[] = {'a', 'b', 0, 'c'};
    const uint8_t unterminated[] = {'x', 'y', 'z'};
    EXPECT_EQ(discovery::FirstString(two, sizeof two), "ab");
    EXPECT_EQ(discovery::FirstString(unterminated, sizeof unterminated), "xyz");
    EXPECT_EQ(discovery::FirstString(unterminated, 2), "xy");
    EXPECT_EQ(discovery::FirstString(nullptr, 0), "");
}

TEST(DevMgrScan, PropertiesTakeTheFirstStringAndAreCutToTheirFields) {
    json m = AhciMachine();
    json d = SataDisk("A", 0, {0, 0, 0, 0});
    d["hardware_ids"] = json::array({"SCSI\\DiskA_________REV0", "SCSI\\Disk", "GenDisk"});
    d["compatible_ids"] = json::array({"SCSI\\Disk", "SCSI\\RAW"});
    d["friendly_name"] = std::string(300, 'F');
    d["serial"] = "0123456789ABCDEFGHIJKLMN";  // 24 characters into a 20-character field
    m["disks"] = json::array({d});
    Rig rig(m);
    ASSERT_TRUE(rig.mgr->enumerate_devices());
    const discovery::DISK_NODE& n = rig.mgr->node_list()[0];
    EXPECT_STREQ(n.szHardwareId, "SCSI\\DiskA_________REV0");
    EXPECT_STREQ(n.szCompatibleId, "SCSI\\Disk");
    EXPECT_EQ(std::string(n.szFriendlyName), std::string(259, 'F'));
    EXPECT_EQ(std::string(n.SerialNumberText, 20), "0123456789ABCDEFGHIJ");
    EXPECT_EQ(std::string(n.ProductRevisionText, 4), "REV0");
    EXPECT_STREQ(n.szEnumerator, "SCSI");
    EXPECT_STREQ(n.szService, "disk");
    // {4d36e967-e325-11ce-bfc1-08002be10318}, the disk drive class
    EXPECT_EQ(n.ClassGuid.Data1, 0x4D36E967u);
    EXPECT_EQ(n.ClassGuid.Data4[7], 0x18);
    EXPECT_EQ(n.dwMaxTransferLength, 0x20000u);
    EXPECT_EQ(n.dwMaxPhysicalPages, 33u);
}

}  // namespace
}  // namespace orvane::test
