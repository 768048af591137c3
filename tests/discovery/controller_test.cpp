// The controller chain, the nearest identifiers and the refresh operations.
#include <string>
#include <vector>

#include "discovery/sim_rig.h"
#include "platform/sim/sim_machine.h"

namespace orvane::test {
namespace {

using discovery::TDevMgr;

TEST(DevMgrController, NearestAncestorWithBothIdentifiers) {
    Rig rig(json::object());  // the built-in machine
    ASSERT_TRUE(rig.mgr->enumerate_devices());
    struct {
        const char* disk;
        uint16_t vendor, device;
        const char* parent_service;
    } const cases[] = {
        {"MERETH_SSD_512GB", 0x8086, 0x2922, "storahci"},
        // the USB bridge, not the PCI host controller further up
        {"PROD_USB3_SSD", 0x152D, 0x2338, "USBSTOR"},
        {"PROD_SSD_240GB", 0x174C, 0x55AA, "USBSTOR"},
    };
    for (const auto& c : cases) {
        const discovery::DISK_NODE* n = rig.Node(c.disk);
        ASSERT_NE(n, nullptr) << c.disk;
        EXPECT_EQ(n->wVendorId, c.vendor) << c.disk;
        EXPECT_EQ(n->wDeviceId, c.device) << c.disk;
        ASSERT_NE(n->pParent, nullptr);
        EXPECT_STREQ(n->pParent->szService, c.parent_service);
    }
    // The chain runs to the root device.
    const discovery::ANCESTOR_NODE* a = rig.Node("PROD_USB3_SSD")->pParent.get();
    std::vector<std::string> chain;
    for (; a; a = a->pNext.get()) chain.emplace_back(a->szInstanceId);
    EXPECT_EQ(chain, (std::vector<std::string>{"USB\\VID_152D&PID_2338\\000000000123", "USB\\ROOT_HUB30\\4&2B1E3A2E&0&0",
                                               "PCI\\VEN_8086&DEV_A36D&SUBSYS_86941043&REV_10\\3&11583659&0&A0",
                                               "ACPI\\PNP0A08\\0", "HTREE\\ROOT\\0"}));
    const discovery::ANCESTOR_NODE* bridge = rig.Node("PROD_USB3_SSD")->pParent.get();
    EXPECT_STREQ(bridge->szDeviceDesc, "USB Mass Storage Device");
    EXPECT_STREQ(bridge->szLocation, "Port_#0002.Hub_#0001");
    EXPECT_EQ(bridge->ClassGuid.Data1, 0x36FC9E60u);  // USB class
}

TEST(DevMgrController, IdentifiersThatAreNotHexadecimalAreRefused) {
    json m = AhciMachine();
    m["controllers"][1]["instance_id"] = "PCI\\VEN_80G6&DEV_2922\\3&1&0&FA";
    m["disks"] = json::array({SataDisk("A", 0, {0, 0, 0, 0})});
    m["disks"][0]["controller"] = "PCI\\VEN_80G6&DEV_2922\\3&1&0&FA";
    Rig rig(m);
    ASSERT_TRUE(rig.mgr->enumerate_devices());
    const discovery::DISK_NODE& n = rig.mgr->node_list()[0];
    ASSERT_NE(n.pParent, nullptr);
    EXPECT_EQ(n.pParent->wVendorId, 0);
    EXPECT_EQ(n.pParent->wDeviceId, 0);
    EXPECT_EQ(n.wVendorId, 0);
    EXPECT_EQ(n.wDeviceId, 0);
}

TEST(DevMgrController, IsHexNumber) {
    struct {
        const char* text;
        bool hex;
    } const cases[] = {
        {"0x8086", true}, {"0X152d", true}, {"abcdef", true}, {"0", true},     {"0x", false},
        {"", false},      {"0x80G6", false}, {"12x0x3", false}, {"0x0x12", false}, {" 12", false},
    };
    for (const auto& c : cases) EXPECT_EQ(TDevMgr::is_hex_number(c.text), c.hex) << c.text;
}

// Two IDE controllers (the first fails to re-enumerate) and one SCSI adapter.
json RescanMachine(bool ide_fails) {
    json m = AhciMachine();
    m["controllers"].push_back(json{{"instance_id", "PCI\\VEN_1B4B&DEV_9172\\4&2&0&E0"},
                                    {"parent", "ACPI\\PNP0A08\\0"},
                                    {"class", "hdc"},
                                    {"service", "storahci"}});
    m["controllers"].push_back(json{{"instance_id", "PCI\\VEN_144D&DEV_A808\\4&3&0&D0"},
                                    {"parent", "ACPI\\PNP0A08\\0"},
                                    {"class", "scsiadapter"},
                                    {"service", "stornvme"}});
    m["controllers"][1]["reenumerate_fails"] = ide_fails;
    m["disks"] = json::array({SataDisk("A", 0, {0, 0, 0, 0})});
    return m;
}

TEST(DevMgrController, RescanStopsBeforeTheSCSIAdaptersAfterAnIDEFailure) {
    struct {
        bool ide_fails;
        bool result;
        std::vector<std::string> reenumerated;
    } const cases[] = {
        {false, true, {kAhci, "PCI\\VEN_1B4B&DEV_9172\\4&2&0&E0", "PCI\\VEN_144D&DEV_A808\\4&3&0&D0"}},
        // the other IDE controller still goes; the SCSI adapter does not
        {true, false, {"PCI\\VEN_1B4B&DEV_9172\\4&2&0&E0"}},
    };
    for (const auto& c : cases) {
        Rig rig(RescanMachine(c.ide_fails));
        EXPECT_EQ(rig.mgr->rescan_controllers(), c.result);
        EXPECT_EQ(rig.sim->tree().Reenumerated(), c.reenumerated);
    }
}

TEST(DevMgrController, RemoveDiskAndRescanBringItBack) {
    Rig rig(RescanMachine(false));
    const std::string id = Id("A", 0);
    EXPECT_FALSE(rig.mgr->remove_disk("SCSI\\DISK&VEN_&PROD_NONE\\1"));
    EXPECT_FALSE(rig.mgr->remove_disk("scsi\\disk&ven_&prod_a\\4&1&0&0"));  // compared exactly
    EXPECT_TRUE(rig.mgr->remove_disk(id.c_str()));
    EXPECT_EQ(rig.sim->tree().Removed(), std::vector<std::string>{id});
    EXPECT_EQ(rig.mgr->get_device_number("\\\\.\\PHYSICALDRIVE0"), -1);  // gone until the bus is looked at
    EXPECT_TRUE(rig.mgr->reenumerate_device(kAhci));
    EXPECT_EQ(rig.mgr->get_device_number("\\\\.\\PHYSICALDRIVE0"), 0);
    EXPECT_FALSE(rig.mgr->reenumerate_device("PCI\\VEN_FFFF&DEV_FFFF\\0"));
}

TEST(DevMgrController, RemoveWithoutIdentifierIsAlwaysTrue) {
    json m = RescanMachine(false);
    m["disks"][0]["remove_fails"] = true;
    Rig rig(m);
    EXPECT_TRUE(rig.mgr->remove_disk(nullptr));
    EXPECT_FALSE(rig.mgr->remove_disk(Id("A", 0).c_str()));
}

}  // namespace
}  // namespace orvane::test
