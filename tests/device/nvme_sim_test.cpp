// Simulated NVMe drives: their firmware interface as a controller answers it, and the device
// object's update against them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/device_fixture.h"
#include "device/nvme_firmware.h"
#include "device/sim_device_rig.h"

namespace orvane::test {
namespace {

using namespace orvane::device;
using platform::sim::SimNvmeDrive;

constexpr const char* kBuiltInNvme = "MERETH_SSD_1TB";

SimNvmeDrive& DriveOf(SimDevice& rig, const std::string& part) {
    for (auto& d : rig.sim->hardware().storage.disks)
        if (d.instance_id.find(part) != std::string::npos && d.nvme_drive) return *d.nvme_drive;
    ADD_FAILURE() << "no NVMe disk " << part;
    static SimNvmeDrive none{{}};
    return none;
}

// Opens the disk as the scan does: kind 16, by its interface path.
bool OpenNvme(SimDevice& rig, const std::string& part) {
    const int i = rig.Index(part);
    if (i < 0) return false;
    const std::string path(discovery::FieldView(rig.dev->device_entry(i)->szDevicePath));
    return rig.dev->open_device(i, path.c_str(), kOpenNvme);
}

NvmeFirmwareInfo Info(SimDevice& rig) {
    std::vector<uint8_t> buf(kNvmeRequestSize);
    EXPECT_TRUE(rig.dev->DeviceGetFirmwareInfo(buf.data(), kNvmeRequestSize, false));
    EXPECT_EQ(FirmwareReturnCode(buf.data()), 0u);
    return ParseFirmwareInfo(buf.data() + 52, kNvmeRequestSize - 52);
}

// A machine of one NVMe disk on the inbox driver, with the given "nvme" object.
std::string OneNvme(const std::string& nvme) {
    return R"({"controllers": [{"instance_id": "PCI\\NVME\\0", "class": "scsiadapter", "service": "stornvme"}],
               "disks": [{"instance_id": "SCSI\\DISK&VEN_NVME&PROD_ONE\\0", "controller": "PCI\\NVME\\0",
                          "bus_type": "nvme", "nvme": )" +
           nvme + "}]}";
}

TEST(SimNvme, BuiltInDriveAnswersItsSlots) {
    SimDevice rig("{}");
    const int i = rig.Index(kBuiltInNvme);
    ASSERT_GE(i, 0);
    const discovery::DISK_NODE& n = *rig.dev->device_entry(i);
    EXPECT_EQ(n.bBusType, 17);
    ASSERT_TRUE(n.pParent);
    EXPECT_EQ(discovery::FieldView(n.pParent->szService), "stornvme");
    ASSERT_TRUE(OpenNvme(rig, kBuiltInNvme));
    std::vector<uint8_t> buf(kNvmeRequestSize);
    ASSERT_TRUE(rig.dev->DeviceGetFirmwareInfo(buf.data(), kNvmeRequestSize, true));
    EXPECT_EQ(HexOf(buf.data() + 20, 4), "00 00 00 00");
    EXPECT_EQ(HexOf(buf.data() + 52, 48),
              "01 00 00 00 10 00 00 00 01 02 02 FF 00 00 00 00 "
              "01 01 00 00 00 00 00 00 4E 30 38 31 32 41 30 00 "
              "02 00 00 00 00 00 00 00 4E 30 38 31 32 43 31 00");
    EXPECT_EQ(rig.Log(),
              "(NVMe) CreateFile OK\n"
              "DeviceGetFirmwareInfo - before deviceioctrl\nDeviceGetFirmwareInfo - after deviceioctrl\n"
              "<< Firmware Information >>\nSupport upgrade command: Yes\nSlot Count: 2\nCurrent Active Slot: 2\n"
              "Pending Active Slot: No \n"
              "Slot Number: 1\nSlot Read Only: Yes\nRevision: N0812A0 \n"
              "Slot Number: 2\nSlot Read Only: No\nRevision: N0812C1 \n");
}

TEST(SimNvme, UpdateTakesTheImageAndItsRevision) {
    SimDevice rig("{}");
    ASSERT_TRUE(OpenNvme(rig, kBuiltInNvme));
    std::vector<uint8_t> image(10000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    std::memcpy(&image[256], "N0901D2", 8);  // where the built-in drive reads the revision
    ASSERT_TRUE(rig.dev->nvme_flash_firmware(image.data(), 10000, 3, 1));  // slot 1 is read-only
    EXPECT_FALSE(rig.dev->nvme_restart_required());

    const auto& reqs = DriveOf(rig, kBuiltInNvme).requests();
    ASSERT_EQ(reqs.size(), 5u);
    const std::pair<uint64_t, uint64_t> pieces[] = {{0, 4096}, {4096, 4096}, {8192, 4096}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(reqs[k + 1].function, 2u);
        EXPECT_EQ(reqs[k + 1].offset, pieces[k].first);
        EXPECT_EQ(reqs[k + 1].length, pieces[k].second);
        EXPECT_EQ(reqs[k + 1].refusal, "");
    }
    EXPECT_EQ(reqs[4].function, 3u);
    EXPECT_EQ(reqs[4].slot, 2);
    EXPECT_EQ(reqs[4].commit_action, 3u);
    EXPECT_EQ(reqs[4].status, 0u);

    // Found again with the new revision in the slot that runs.
    const NvmeFirmwareInfo info = Info(rig);
    EXPECT_EQ(info.active_slot, 2);
    EXPECT_EQ(info.pending_slot, 0xFF);
    const auto rev = ActiveSlotRevision(info);
    ASSERT_TRUE(rev);
    EXPECT_EQ(std::string(rev->data(), 8), std::string("N0901D2", 8));
    EXPECT_EQ(RevisionText(info.slots[0]), "N0812A0");
}

TEST(SimNvme, ActivateAnswersTheDescribedStatus) {
    struct Case {
        const char* status;
        bool ok, restart;
        uint8_t active, pending;
        const char* slot2;  // revision afterwards
    };
    const Case cases[] = {
        {"0", true, false, 2, 0xFF, "NEXT0001"},
        {"0x20", true, true, 1, 2, "NEXT0001"},
        {"1", false, false, 1, 0xFF, "OLD00002"},
        {"6", false, false, 1, 0xFF, "OLD00002"},
        {"7", false, false, 1, 0xFF, "OLD00002"},
        {"0x10", false, false, 1, 0xFF, "OLD00002"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        SimDevice rig(OneNvme(std::string(R"({"active_slot": 1, "next_revision": "NEXT0001", "activate_status": ")") +
                              c.status + R"(", "slots": [{"revision": "OLD00001"}, {"revision": "OLD00002"}]})"));
        ASSERT_TRUE(OpenNvme(rig, "PROD_ONE"));
        const std::vector<uint8_t> image(64, 0x42);
        EXPECT_EQ(rig.dev->nvme_flash_firmware(image.data(), 64, 3, 2), c.ok);
        EXPECT_EQ(rig.dev->nvme_restart_required(), c.restart);
        const NvmeFirmwareInfo info = Info(rig);
        EXPECT_EQ(info.active_slot, c.active);
        EXPECT_EQ(info.pending_slot, c.pending);
        ASSERT_EQ(info.slots.size(), 2u);
        EXPECT_EQ(RevisionText(info.slots[1]), c.slot2);
    }
}

// Requests sent straight to the simulated controller, as a driver would pass them on.
struct Controller {
    SimDevice rig{OneNvme(R"({"slots": [{"read_only": true, "revision": "RO000001"}, {"revision": "RW000002"}],
                              "active_slot": 2})")};
    std::unique_ptr<platform::StorageHandle> handle;
    std::vector<uint8_t> buf = std::vector<uint8_t>(kNvmeRequestSize);

    Controller() {
        uint32_t error = 0;
        handle = rig.sim->storage().OpenReadWrite(std::string(discovery::FieldView(
                                                      rig.dev->device_entry(0)->szDevicePath)),
                                                  error);
    }
    // A download of `length` image bytes (0x5A) declared at `offset`; the ReturnCode.
    uint32_t Download(uint64_t offset, uint64_t length) {
        FillFirmwareRequest(buf.data(), kNvmeRequestSize, 2);
        const uint8_t image[kNvmeChunkSize] = {};
        FillFirmwareDownload(buf.data(), image, 0, offset);
        std::memcpy(buf.data() + 52 + 16, &length, 8);
        return Send();
    }
    uint32_t Activate(uint32_t action, uint8_t slot) {
        FillFirmwareRequest(buf.data(), kNvmeRequestSize, 3);
        FillFirmwareActivate(buf.data(), action, slot);
        return Send();
    }
    uint32_t Send() {
        const IoResult io = handle->Control(0x4D008, buf.data(), kNvmeRequestSize, kNvmeRequestSize);
        EXPECT_TRUE(io.ok);
        return FirmwareReturnCode(buf.data());
    }
    SimNvmeDrive& drive() { return DriveOf(rig, "PROD_ONE"); }
};

TEST(SimNvme, ControllerRefusesWhatARealOneRefuses) {
    struct Step {
        uint64_t offset, length;
        uint32_t status;
        const char* refusal;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        size_t image;  // bytes held afterwards
    };
    const Case cases[] = {
        {"in order", {{0, 4096, 0, ""}, {4096, 4096, 0, ""}, {8192, 1024, 0, ""}}, 9216},
        {"gap", {{0, 4096, 0, ""}, {8192, 4096, 3, "gap"}}, 4096},
        {"first piece not at 0", {{4096, 4096, 3, "gap"}}, 0},
        {"overlap", {{0, 4096, 0, ""}, {4096, 4096, 0, ""}, {4096, 4096, 3, "overlap"}}, 8192},
        {"overlap by a word", {{0, 4096, 0, ""}, {4092, 4096, 3, "overlap"}}, 4096},
        {"misaligned offset", {{0, 4096, 0, ""}, {4098, 4096, 3, "misaligned"}}, 4096},
        {"misaligned length", {{0, 4094, 3, "misaligned"}}, 0},
        {"offset 0 starts again", {{0, 4096, 0, ""}, {4096, 4096, 0, ""}, {0, 1024, 0, ""}}, 1024},
        {"longer than carried", {{0, 4100, 3, "record"}}, 0},
        {"empty piece", {{0, 0, 3, "record"}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Controller ctl;
        for (const Step& s : c.steps) {
            EXPECT_EQ(ctl.Download(s.offset, s.length), s.status);
            EXPECT_EQ(ctl.drive().requests().back().refusal, s.refusal);
        }
        EXPECT_EQ(ctl.drive().image().size(), c.image);
    }
}

TEST(SimNvme, ActivationOfReadOnlyOrMissingSlotsIsRefused) {
    struct Case {
        const char* name;
        bool download;
        uint32_t action;
        uint8_t slot;
        uint32_t status;
        const char* refusal;
    };
    const Case cases[] = {
        {"read-only slot", true, 3, 1, 6, "read-only slot"},
        {"slot beyond the count", true, 3, 3, 6, "no such slot"},
        {"slot 0", true, 3, 0, 6, "no such slot"},
        {"nothing downloaded", false, 3, 2, 7, "no image"},
        {"activate the read-only slot's own image", false, 2, 1, 0, ""},
        {"unknown commit action", true, 9, 2, 3, "record"},
        {"writable slot", true, 1, 2, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Controller ctl;
        if (c.download) {
            ASSERT_EQ(ctl.Download(0, 4096), 0u);
        }
        EXPECT_EQ(ctl.Activate(c.action, c.slot), c.status);
        EXPECT_EQ(ctl.drive().requests().back().refusal, c.refusal);
    }
}

TEST(SimNvme, VariantsMachine) {
    SimDevice rig(MachineFile("nvme_variants.json").dump());
    ASSERT_EQ(rig.dev->device_count(), 3);

    // The vendor driver does not know the firmware interface.
    const int vendor = rig.Index("PROD_VENDOR");
    ASSERT_GE(vendor, 0);
    EXPECT_EQ(discovery::FieldView(rig.dev->device_entry(vendor)->pParent->szService), "mrthnvme");
    ASSERT_TRUE(OpenNvme(rig, "PROD_VENDOR"));
    std::vector<uint8_t> buf(kNvmeRequestSize);
    EXPECT_FALSE(rig.dev->DeviceGetFirmwareInfo(buf.data(), kNvmeRequestSize, true));
    EXPECT_EQ(rig.dev->last_error_text(), "<1> -- Incorrect function.");
    EXPECT_NE(rig.Log().find("Get Firmware Information Failed: <1> -- Incorrect function.\n"), std::string::npos);

    // Without upgrade support nothing is downloaded, whatever slot is asked for.
    ASSERT_TRUE(OpenNvme(rig, "PROD_NO_UPGRADE"));
    const std::vector<uint8_t> image(64, 1);
    for (uint32_t slot : {1u, 2u, 3u}) EXPECT_FALSE(rig.dev->nvme_flash_firmware(image.data(), 64, 3, slot));
    for (const auto& r : DriveOf(rig, "PROD_NO_UPGRADE").requests()) EXPECT_EQ(r.function, 1u);

    // SlotCount 1, ActiveSlot 2: the first entry's revision.
    ASSERT_TRUE(OpenNvme(rig, "PROD_ONE_SLOT"));
    const NvmeFirmwareInfo info = Info(rig);
    EXPECT_EQ(info.slot_count, 1);
    EXPECT_EQ(info.active_slot, 2);
    const auto rev = ActiveSlotRevision(info);
    ASSERT_TRUE(rev);
    EXPECT_EQ(std::string(rev->data(), 8), "S1000001");
}

TEST(SimNvme, MachineFileErrorsNameTheField) {
    struct Case {
        const char* nvme;
        const char* error;
    };
    const Case cases[] = {
        {R"({"slots": [{"revision": "TOOLONG01"}]})", "disks[0].nvme.slots[0].revision: longer than 8 characters"},
        {R"({"slots": [{"number": 1}, {"number": 1}]})", "disks[0].nvme.slots[1].number: the same slot number twice"},
        {R"({"activate_status": "0xZ"})", "disks[0].nvme.activate_status: expected a number or \"0x..\" text"},
        {R"({"active_slot": 256})", "disks[0].nvme.active_slot: expected a whole number from 0 to 255"},
        {R"({"revision_offset": 0, "next_revision": "A"})",
         "disks[0].nvme.next_revision: give revision_offset or next_revision, not both"},
        {R"({"slot": []})", "disks[0].nvme.slot: unknown field"},
    };
    for (const Case& c : cases) {
        platform::sim::SimMachine m;
        std::string error;
        EXPECT_FALSE(platform::sim::LoadMachine(OneNvme(c.nvme), m, error)) << c.nvme;
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
}  // namespace orvane::test
