// A simulated disk whose drive takes firmware, seen from the machine: away from the
// enumeration while it restarts, back with the new identity, and the state a run leaves.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "device/nvme_firmware.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_drive_state.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_restart.h"

namespace orvane::platform::sim {
namespace {

const char kDisk512[] = "SCSI\\DISK&VEN_&PROD_MERETH_SSD_512GB\\4&2A4E2F0&0&000000";
const char kAhci[] = "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\\3&11583659&0&FA";

// "ORVSIMFW", "S0614C0 ", "GM802031", length 1,536.
const uint8_t kTag[28] = {'O', 'R', 'V', 'S', 'I', 'M', 'F', 'W', 'S', '0', '6', '1', '4', 'C',
                          '0', ' ', 'G', 'M', '8', '0', '2', '0', '3', '1', 0x00, 0x06, 0x00, 0x00};

struct Machine {
    SimMachine machine;
    std::unique_ptr<SimPlatform> sim;
    explicit Machine(const std::string& extra = "{}") {
        std::string error;
        EXPECT_TRUE(LoadMachine(extra, machine, error)) << error;  // over the built-in machine
        sim = std::make_unique<SimPlatform>(machine, 1.0);
    }
    SimDisk& Disk(const std::string& id) {
        for (SimDisk& d : sim->hardware().storage.disks)
            if (d.instance_id == id) return d;
        ADD_FAILURE() << "no disk " << id;
        return sim->hardware().storage.disks.front();
    }
    // Sends the whole tagged image in mode 3 and the final 7 (CL 0) straight to the drive.
    void Flash(const std::string& id) {
        SimAtaDrive& drive = Disk(id).drive_stack->drive();
        std::vector<uint8_t> image(1536, 0x5A);
        std::memcpy(image.data() + 64, kTag, sizeof kTag);
        const uint8_t chunk[7] = {3, 3, 0, 0, 0, 0, 0x92};
        ASSERT_EQ(drive.Execute(chunk, nullptr, 4, image.data(), 1536).status, 0x50);
        const uint8_t commit[7] = {7, 0, 0, 0, 0, 0, 0x92};
        ASSERT_EQ(drive.Execute(commit, nullptr, 0, nullptr, 0).status, 0x50);
    }
    bool Opens(const std::string& path, uint32_t& error) {
        return sim->storage().OpenReadWrite(path, error) != nullptr;
    }
    bool Located(const std::string& id) {
        uint32_t devinst = 0;
        return sim->tree().LocateDevNode(devinst, id, 0) == kCrSuccess;
    }
};

TEST(SimFirmwareDisk, RestartingDiskLeavesTheEnumerationAndComesBackUpdated) {
    Machine m;
    uint32_t error = 0;
    auto handle = m.sim->storage().OpenReadWrite("\\\\.\\PHYSICALDRIVE0", error);
    ASSERT_TRUE(handle);
    m.Flash(kDisk512);

    EXPECT_FALSE(m.Opens("\\\\.\\PHYSICALDRIVE0", error));
    EXPECT_EQ(error, 2u);
    EXPECT_FALSE(m.Located(kDisk512));
    uint32_t number[3] = {};
    EXPECT_EQ(handle->Control(0x2D1080, number, 0, sizeof number).last_error, 1617u);  // device number
    // A bus refresh does not bring back a drive that is still restarting.
    uint32_t ahci = 0, disk = 0;
    ASSERT_EQ(m.sim->tree().LocateDevNode(ahci, kAhci, 0), kCrSuccess);
    EXPECT_EQ(m.sim->tree().ReenumerateDevNode(ahci, 0), kCrSuccess);
    EXPECT_FALSE(m.Located(kDisk512));
    EXPECT_FALSE(DriveStateJson(m.sim->hardware())[3]["present"].get<bool>());

    m.sim->clock().Advance(3.9);
    EXPECT_FALSE(m.Opens("\\\\.\\PHYSICALDRIVE0", error));
    m.sim->clock().Advance(0.2);
    EXPECT_TRUE(m.Opens("\\\\.\\PHYSICALDRIVE0", error));
    EXPECT_EQ(m.sim->tree().LocateDevNode(disk, kDisk512, 0), kCrSuccess);
    EXPECT_EQ(m.Disk(kDisk512).revision, "S0614C0");  // the storage descriptor's revision follows
    EXPECT_EQ(m.Disk(kDisk512).drive_stack->drive().desc().def, "GM802031");
}

TEST(SimFirmwareDisk, DriveStateListsEveryDriveModel) {
    Machine m(R"({"disks": [], "controllers": []})");
    EXPECT_EQ(DriveStateJson(m.sim->hardware()), nlohmann::json::array());

    Machine b;
    const nlohmann::json before = DriveStateJson(b.sim->hardware());
    // Five ATA drives behind disks, the NVMe drive, and the two drives behind the RAID controller's phys.
    ASSERT_EQ(before.size(), 8u);
    EXPECT_EQ(before[3], nlohmann::json::parse(R"({"device_number": 0, "serial": "MS512A0123456789",
        "first_serial": "MS512A0123456789", "revision": "S0614B0", "def": "GM802030", "pending": null,
        "committed": 0, "preformats": 0, "chunks_refused": 0, "writes": [], "present": true})"));
    EXPECT_EQ(before[5], nlohmann::json::parse(R"({"device_number": 5, "serial": "MN1T0H0000000007",
        "first_serial": "MN1T0H0000000007", "revision": "N0812C1", "def": null, "pending": null,
        "committed": 0, "preformats": 0, "chunks_refused": 0, "writes": [], "present": true})"));
    EXPECT_EQ(before[7], nlohmann::json::parse(R"({"device_number": null, "csmi": {"scsi_port": 5, "phy": 3},
        "serial": "TQ512K7KW00B3", "first_serial": "TQ512K7KW00B3", "revision": "1.00", "def": null,
        "pending": null, "committed": 0, "preformats": 0, "chunks_refused": 0, "writes": [], "present": true})"));
    b.Flash(kDisk512);
    b.sim->clock().Advance(5);
    const nlohmann::json after = DriveStateJson(b.sim->hardware());
    EXPECT_EQ(after[3]["revision"], "S0614C0");
    EXPECT_EQ(after[3]["def"], "GM802031");
    EXPECT_EQ(after[3]["committed"], 1);
    EXPECT_EQ(after[3]["present"], true);
    EXPECT_EQ(after[3]["writes"], nlohmann::json::parse(R"([{"kind": "download", "count": 1},
        {"kind": "commit", "count": 1}])"));
}

TEST(SimFirmwareDisk, OtherSerialReachesTheDescriptor) {
    Machine m;
    m.Disk(kDisk512).drive_stack = std::make_shared<SimDriveStack>([&] {
        SimDriveDesc d = *m.Disk(kDisk512).drive;
        d.firmware->comes_back = SimFirmwareDesc::OtherSerial;
        d.firmware->other_serial = "MS512Z0000000001";
        return d;
    }(), std::function<void(double)>{}, [&] { return m.sim->clock().Now(); });
    m.Flash(kDisk512);
    m.sim->clock().Advance(5);
    uint32_t error = 0;
    EXPECT_TRUE(m.Opens("\\\\.\\PHYSICALDRIVE0", error));
    EXPECT_EQ(m.Disk(kDisk512).serial, "MS512Z0000000001");
    EXPECT_EQ(m.Disk(kDisk512).revision, "S0614C0");
}

// The NVMe drive's firmware requests, sent as its driver passes them on.
struct Nvme {
    Machine m;
    std::unique_ptr<StorageHandle> handle;
    std::vector<uint8_t> buf = std::vector<uint8_t>(device::kNvmeRequestSize);
    explicit Nvme(const std::string& nvme)
        : m(R"({"disks": [{"instance_id": "SCSI\\DISK&VEN_NVME&PROD_ONE\\0",
                 "controller": "PCI\\VEN_1B36&DEV_0010&SUBSYS_11001AF4&REV_02\\3&11583659&0&10",
                 "bus_type": "nvme", "revision": "OLD00002", "serial": "N1", "nvme": )" + nvme + "}]}") {
        uint32_t error = 0;
        handle = m.sim->storage().OpenReadWrite("\\\\.\\PHYSICALDRIVE0", error);
    }
    uint32_t Send() {
        EXPECT_TRUE(handle->Control(0x4D008, buf.data(), device::kNvmeRequestSize, device::kNvmeRequestSize).ok);
        return device::FirmwareReturnCode(buf.data());
    }
    uint32_t Update(const std::vector<uint8_t>& image, uint32_t action, uint8_t slot) {
        for (uint64_t at = 0; at < image.size(); at += device::kNvmeChunkSize) {
            device::FillFirmwareRequest(buf.data(), device::kNvmeRequestSize, 2);
            device::FillFirmwareDownload(buf.data(), image.data(), static_cast<uint32_t>(image.size()), at);
            if (uint32_t rc = Send()) return rc;
        }
        device::FillFirmwareRequest(buf.data(), device::kNvmeRequestSize, 3);
        device::FillFirmwareActivate(buf.data(), action, slot);
        return Send();
    }
    SimNvmeDrive& drive() { return *m.sim->hardware().storage.disks[0].nvme_drive; }
};

std::vector<uint8_t> NvmeImage() {
    // "ORVSIMFW", "N0901D2 ", blank DEF, length 5,000 (0x1388).
    const uint8_t tag[28] = {'O', 'R', 'V', 'S', 'I', 'M', 'F', 'W', 'N', '0', '9', '0', '1', 'D',
                             '2', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x88, 0x13, 0, 0};
    std::vector<uint8_t> image(5000, 0x21);
    std::memcpy(image.data() + 4200, tag, sizeof tag);
    return image;
}

TEST(SimFirmwareDisk, NvmeActivationAsAControllerAnswers) {
    struct Case {
        const char* status;
        const char* restart;    // restart_seconds, "" none
        bool away;              // right after the activation
        const char* active;     // active revision once any restart is over
        const char* pending;    // "" none
        const char* after_restart;  // active revision after the machine restarts
    };
    const Case cases[] = {
        {"0", "", false, "N0901D2", "", "N0901D2"},
        {"0", "2", true, "N0901D2", "", "N0901D2"},
        {"0x20", "2", false, "OLD00002", "N0901D2", "N0901D2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.status) + " restart " + c.restart);
        std::string nvme = std::string(R"({"active_slot": 2, "revision_offset": 0, "activate_status": ")") + c.status +
                           R"(", "slots": [{"read_only": true, "revision": "OLD00001"}, {"revision": "OLD00002"}])";
        if (*c.restart) nvme += std::string(R"(, "restart_seconds": )") + c.restart;
        Nvme n(nvme + "}");
        ASSERT_TRUE(n.handle);
        EXPECT_EQ(n.Update(NvmeImage(), 3, 2), std::stoul(c.status, nullptr, 0));
        uint32_t error = 0;
        EXPECT_EQ(!n.m.Opens("\\\\.\\PHYSICALDRIVE0", error), c.away);
        n.m.sim->clock().Advance(3);
        EXPECT_TRUE(n.m.Opens("\\\\.\\PHYSICALDRIVE0", error));
        EXPECT_EQ(n.drive().ActiveRevision(), c.active);
        EXPECT_EQ(n.drive().PendingRevision().value_or(""), c.pending);
        EXPECT_EQ(n.m.sim->hardware().storage.disks[0].revision, c.active);
        RestartDrives(n.m.sim->hardware());
        EXPECT_EQ(n.drive().ActiveRevision(), c.after_restart);
        EXPECT_EQ(n.drive().state().active_slot, 2);
        EXPECT_EQ(n.drive().state().pending_slot, 0xFF);
        EXPECT_EQ(n.drive().committed(), 1);
    }
}

TEST(SimFirmwareDisk, MachineFileRefusesBadFirmwareObjects) {
    struct Case {
        const char* firmware;
        const char* error;
    };
    const Case cases[] = {
        {R"({"modes": 3})", "disks[0].drive.firmware.modes: expected a list of subcommands"},
        {R"({"max_chunk_sectors": 256})", "disks[0].drive.firmware.max_chunk_sectors: out of range"},
        {R"({"restart_seconds": -1})",
         "disks[0].drive.firmware.restart_seconds: expected a number of seconds from 0 to 1000000"},
        {R"({"comes_back": "later"})",
         "disks[0].drive.firmware.comes_back: expected one of new, old, other_serial, never"},
        {R"({"comes_back": "other_serial"})",
         "disks[0].drive.firmware.other_serial: needed with \"comes_back\": \"other_serial\""},
        {R"({"pata": 1})", "disks[0].drive.firmware.pata: expected true or false"},
        {R"({"speed": 1})", "disks[0].drive.firmware.speed: unknown field"},
    };
    for (const Case& c : cases) {
        SimMachine m;
        std::string error;
        const std::string text = std::string(R"({"controllers": [{"instance_id": "C"}], "disks": [
            {"instance_id": "D", "controller": "C", "drive": {"firmware": )") + c.firmware + "}}]}";
        EXPECT_FALSE(LoadMachine(text, m, error));
        EXPECT_EQ(error, c.error);
    }
    SimMachine m;
    std::string error;
    ASSERT_TRUE(LoadMachine(DefaultMachineJson(), m, error)) << error;
    ASSERT_TRUE(m.storage.disks[3].drive->firmware);
    EXPECT_EQ(m.storage.disks[3].drive->firmware->restart_seconds, 4);
    EXPECT_EQ(m.storage.disks[3].drive->firmware->modes, (std::vector<uint8_t>{3, 7, 14, 15}));
}

}  // namespace
}  // namespace orvane::platform::sim
