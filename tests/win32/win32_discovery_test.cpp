// TDevMgr over the real Win32 layers, under Wine: WMI's two disks and their letters, the
// empty disk interface set, and the per-disk probes on what Wine exposes.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "discovery/dev_mgr.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_device_tree.h"
#include "platform/win32/win32_message_pump.h"
#include "platform/win32/win32_storage_io.h"
#include "platform/win32/win32_system_api.h"
#include "platform/win32/win32_wmi.h"

namespace orvane::discovery {
namespace {

using namespace platform::win32;

constexpr char kDisk0[] = "\\\\.\\PhysicalDrive0";

struct Win32Rig {
    Win32SystemApi system;
    Win32Clock clock;
    Win32MessagePump pump;
    Win32StorageIo storage;
    Win32DeviceTree tree;
    Win32Wmi wmi;
    platform::Platform platform{system, clock, pump, &storage, &tree, &wmi};
    std::vector<std::string> log;
    TDevMgr mgr{platform, &pump, [this](const std::string& l) { log.push_back(l); }};
};

TEST(Win32Discovery, ManagerBindsTheRequiredEntryPoints) {
    Win32Rig rig;
    EXPECT_FALSE(rig.mgr.setup_api_missing());
    for (int i = 0; i < platform::kRequiredSetupEntries; ++i)
        EXPECT_TRUE(rig.mgr.bound_entry_points()[i]) << platform::kSetupEntryNames[i];
    EXPECT_EQ(rig.mgr.bIsNT, 1);
}

TEST(Win32Discovery, CountsDisksThroughWmi) {
    Win32Rig rig;
    EXPECT_EQ(rig.mgr.count_disks(), 2);
    std::vector<std::string> models;
    int count = -1;
    ASSERT_TRUE(rig.mgr.wmi_query("Win32_DiskDrive", &models, &count, "Model"));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(models, (std::vector<std::string>{"Model=Wine Disk Drive", "Model=Wine Disk Drive"}));
}

TEST(Win32Discovery, DiskDriveRecords) {
    Win32Rig rig;
    std::vector<std::unique_ptr<DISK_INFO>> list;
    ASSERT_TRUE(rig.mgr.query_disk_drives(list));
    ASSERT_EQ(list.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const DISK_INFO& info = *list[i];
        EXPECT_EQ(info.Index, i);
        EXPECT_EQ(FieldView(info.Model), "Wine Disk Drive");
        EXPECT_EQ(FieldView(info.InterfaceType), "IDE");
    }
}

TEST(Win32Discovery, DriveLettersOnWinesDisks) {
    Win32Rig rig;
    DRIVE_LETTER_ENTRY map[kLetterMapSize];
    ASSERT_TRUE(rig.mgr.map_drive_letters(map, kLetterMapSize));
    // Wine: Disk #0 holds C:, Disk #1 holds Z:, nothing else.
    for (int disk = 0; disk < kLetterMapSize; ++disk) {
        for (int l = 0; l < 26; ++l) {
            bool want = (disk == 0 && l == 'C' - 'A') || (disk == 1 && l == 'Z' - 'A');
            EXPECT_EQ(map[disk].Letters[l], want ? 1 : 0) << "disk " << disk << " letter " << char('A' + l);
        }
    }
    EXPECT_EQ(map[1].dwDiskNumber, 1u);
}

TEST(Win32Discovery, EnumerationRunsAllPassesOverTheEmptyInterfaceSet) {
    Win32Rig rig;
    DISK_NODE scratch[kPhysicalDrivesProbed];
    EXPECT_EQ(rig.mgr.enum_disk_interfaces(GUID_DEVINTERFACE_DISK, scratch, kPhysicalDrivesProbed), 0);

    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(rig.mgr.enumerate_devices());
    auto secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // WMI counts two disks the interfaces never show: all passes run, and the list stays empty.
    EXPECT_EQ(rig.mgr.iExpectedCount, 2);
    EXPECT_EQ(rig.mgr.node_count(), 0);
    EXPECT_TRUE(rig.mgr.left_out().empty());
    EXPECT_LT(secs, 60.0);
}

TEST(Win32Discovery, ProbesOnDiskZero) {
    Win32Rig rig;
    EXPECT_EQ(rig.mgr.get_device_number(kDisk0), 0);
    EXPECT_EQ(rig.mgr.get_device_number("\\\\.\\OrvaneNoSuchDevice"), -1);
    std::string drive;
    ASSERT_TRUE(rig.mgr.find_physical_drive(kDisk0, drive));
    EXPECT_EQ(drive, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(rig.mgr.get_bus_type(kDisk0), BusTypeScsi);
    // Wine refuses the address and adapter requests.
    SCSI_ADDRESS a{};
    EXPECT_FALSE(rig.mgr.get_scsi_address(kDisk0, a));
    uint32_t max_transfer = 1, max_pages = 1;
    rig.mgr.get_adapter_limits(kDisk0, max_transfer, max_pages);
    EXPECT_EQ(max_transfer, 0u);
    EXPECT_EQ(max_pages, 0u);

    uint32_t err = 0;
    auto disk = rig.storage.OpenReadWrite(kDisk0, err);
    ASSERT_TRUE(disk) << err;
    DISK_GEOMETRY g;
    ASSERT_TRUE(rig.mgr.get_drive_geometry(disk.get(), g));
    EXPECT_EQ(g.BytesPerSector, 512u);
}

TEST(Win32Discovery, TreeOperationsEndCleanlyWhereWineHasNoAnswer) {
    Win32Rig rig;
    // Wine's configuration manager locates no device: no chain, nothing re-enumerated.
    EXPECT_EQ(rig.mgr.build_ancestor_chain("PCI\\VEN_8086&DEV_2922\\0"), nullptr);
    EXPECT_FALSE(rig.mgr.reenumerate_device("PCI\\VEN_8086&DEV_2922\\0"));
    EXPECT_FALSE(rig.mgr.remove_disk("SCSI\\DISK&VEN_ORVANE&PROD_NONE\\0"));
    DISK_NODE found[kMaxListedDisks];
    int n = rig.mgr.list_class_devices(GUID_DEVCLASS_HDC, found);
    EXPECT_GE(n, 0);
    EXPECT_LE(n, kMaxListedDisks);
}

}  // namespace
}  // namespace orvane::discovery
