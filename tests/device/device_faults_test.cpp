// Faults in device access on simulated machines: a disk that vanishes between the enumeration
// and the open, a probe that must not settle on a transport that cannot serve the disk, and
// miniport commands that must reach the drive that was opened.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "device/drive_description.h"
#include "device/identify.h"
#include "device/sim_device_rig.h"
#include "discovery/sim_rig.h"
#include "platform/sim/sim_drive.h"

namespace orvane::test {
namespace {

using namespace orvane::device;
using nlohmann::json;
using platform::sim::SimDisk;
using platform::sim::SimVanish;

// The transport each disk of all_transports.json is reached by.
struct DiskTransport {
    const char* disk;  // part of the instance identifier
    uint8_t transport;
};
constexpr DiskTransport kAllTransports[] = {
    {"MERETH_SSD_512GB", kProtoAta}, {"MERETH_SSD_64GB_PATA", kProtoIde}, {"PROD_SSD_128GB_S", kProtoScsi},
    {"PROD_MERETH_SSD_256", kProtoSil}, {"SAT0000000001", kProtoSat},     {"JMB000000002", kProtoJmicron},
    {"PL0000000003", kProtoProlific},   {"SP0000000004", kProtoSunplus},  {"IO0000000005", kProtoIodata},
    {"LG0000000006", kProtoLogitec},    {"CY0000000007", kProtoCypress},
};

SimDisk& DiskOf(SimDevice& rig, const std::string& part) {
    for (SimDisk& d : rig.sim->hardware().storage.disks)
        if (d.instance_id.find(part) != std::string::npos) return d;
    ADD_FAILURE() << "no disk " << part;
    return rig.sim->hardware().storage.disks.at(0);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Found by the enumeration, gone when opened: the open fails with the system's error and sends
// nothing; a command then tries to reopen, fails and sends nothing either; once the disk is back
// it opens on its own transport again.
TEST(VanishedDisk, OpeningItOnEveryTransportSendsNothing) {
    SimDevice rig(MachineFile("all_transports.json").dump());
    for (const DiskTransport& c : kAllTransports) {
        SCOPED_TRACE(c.disk);
        const int index = rig.Index(c.disk);
        ASSERT_GE(index, 0);
        SimDisk& disk = DiskOf(rig, c.disk);
        disk.vanish = SimVanish{disk.opens, -1, 5.0};  // gone from the next open, back 5 s later
        const size_t requests = rig.sim->storage().Requests().size();
        const size_t probes = Count(rig.Log(), "PRO: ");

        EXPECT_FALSE(rig.dev->open_device(index));
        EXPECT_FALSE(rig.dev->device_open());
        EXPECT_EQ(rig.dev->dwLastError, 2u);
        EXPECT_EQ(rig.dev->protocol(), kProtoNone);

        // Every command path checks the handle.
        rig.dev->set_protocol(c.transport);
        IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
        uint32_t length = 512;
        EXPECT_EQ(rig.dev->ata_command(regs, rig.dev->read_buffer(), nullptr, kDirIn, length), ATACMD_FAIL);
        const uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
        length = 36;
        EXPECT_EQ(rig.dev->scsi_command(inquiry, 6, kDirIn, length, rig.dev->read_buffer()), ATACMD_FAIL);
        EXPECT_EQ(rig.dev->jmicron_read_regs(0x720F, rig.dev->read_buffer(), 1), ATACMD_FAIL);
        EXPECT_EQ(rig.sim->storage().Requests().size(), requests);
        EXPECT_EQ(Count(rig.Log(), "PRO: "), probes);

        rig.sim->clock().Advance(5.0);
        ASSERT_TRUE(rig.dev->open_device(index));
        EXPECT_EQ(rig.dev->protocol(), c.transport);
        EXPECT_EQ(rig.dev->identify_device(), ATACMD_OK);
    }
}

// The machine file's "vanish": the disk goes after the enumeration's opens, two opens are
// refused, the third finds it back. A handle opened before it went fails its requests.
TEST(VanishedDisk, DescribedInTheMachineFile) {
    json machine = MachineFile("all_transports.json");
    const int jmicron = 5;
    ASSERT_NE(machine["disks"][jmicron]["instance_id"].get<std::string>().find("JMB000000002"), std::string::npos);
    int enumeration_opens = 0;
    {
        SimDevice counting(machine.dump());
        enumeration_opens = DiskOf(counting, "JMB000000002").opens;
    }
    ASSERT_GT(enumeration_opens, 0);
    machine["disks"][jmicron]["vanish"] = json{{"after_opens", enumeration_opens + 1}, {"back_after_refused_opens", 2}};
    SimDevice rig(machine.dump());
    const int index = rig.Index("JMB000000002");
    ASSERT_TRUE(rig.dev->open_device(index));  // the last open that succeeds
    EXPECT_EQ(rig.dev->protocol(), kProtoJmicron);

    // Another open finds it gone; the open handle's requests fail as the device is removed.
    uint32_t error = 0;
    EXPECT_EQ(rig.sim->storage().OpenReadWrite(rig.machine.storage.disks[jmicron].device_path, error), nullptr);
    EXPECT_EQ(error, 2u);
    EXPECT_EQ(rig.dev->identify_device(), ATACMD_FAIL);
    EXPECT_EQ(rig.dev->dwLastError, 1617u);

    // The command's reopen is the second refused open; it leaves no transport, so the next
    // command is refused without a reopen until the disk is opened again.
    rig.dev->close_device();
    EXPECT_EQ(rig.dev->identify_device(), ATACMD_FAIL);
    EXPECT_FALSE(rig.dev->device_open());
    EXPECT_EQ(rig.dev->protocol(), kProtoNone);
    ASSERT_TRUE(rig.dev->open_device(index));
    EXPECT_EQ(rig.dev->protocol(), kProtoJmicron);
    EXPECT_EQ(rig.dev->iBridgePort, 1);
    EXPECT_EQ(rig.dev->identify_device(), ATACMD_OK);
}

// A SATA disk whose driver refuses ATA pass-through but translates SAT: the 0xCC block ends in
// CHECK CONDITION / ILLEGAL REQUEST while the request succeeds. That is a failed command, so the
// probe goes on to SAT, and the disk identifies.
TEST(ProbeOrder, AnIllegal0xCCBlockDoesNotStopTheProbeBeforeSat) {
    json machine = AhciMachine();
    json disk = SataDisk("NO_ATA_PT", 0, {0, 0, 0, 0});
    disk["drive"] = json{{"model", "MERETH SSD 1TB"}, {"revision", "V1"}, {"serial", "S0001"}, {"def", "GV100001"},
                         {"attach", "ata"}, {"refuse", json::array({"ata", "ata_direct"})}};
    machine["disks"].push_back(disk);
    SimDevice rig(machine.dump());
    const DriveDescription d = DescribeDrive(*rig.dev, 0);
    EXPECT_TRUE(d.opened);
    EXPECT_EQ(d.transport, kProtoSat);
    EXPECT_EQ(d.identify_result, ATACMD_OK);
    EXPECT_EQ(d.model, Pad("MERETH SSD 1TB", 40));
    EXPECT_EQ(d.def, "GV100001");
    EXPECT_NE(rig.Log().find("PRO: SAT ATA PASS THROUGH\n"), std::string::npos);
    // The 0xCC answer is logged as the error it is.
    EXPECT_NE(rig.Log().find("ATACMD_ERR : status: 02, sensekey:05 \n"), std::string::npos);

    // On transport 3 the drive's commands fail and return nothing.
    rig.dev->set_protocol(kProtoScsi);
    rig.dev->read_buffer()[4] = 0x5A;
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    uint32_t length = 512;
    EXPECT_EQ(rig.dev->ata_command(regs, rig.dev->read_buffer(), nullptr, kDirIn, length), ATACMD_ERR);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(rig.dev->read_buffer()[4], 0x5A);
    EXPECT_EQ(rig.dev->Sense.sense_key(), 0x05);
    EXPECT_EQ(rig.dev->Sense.asc(), 0x20);
}

// A controller whose driver does carry the 0xCC block keeps transport 3, and a drive error
// it reports as ABORTED COMMAND is an error, not a success.
TEST(ProbeOrder, AControllerThatCarriesThe0xCCBlockKeepsTransportThree) {
    json machine = MachineFile("all_transports.json");
    machine["disks"][2]["drive"]["faults"] = json::array({json{{"command", 0xE4}, {"effect", "error"}}});
    SimDevice rig(machine.dump());
    ASSERT_TRUE(rig.dev->open_device(rig.Index("PROD_SSD_128GB_S")));
    EXPECT_EQ(rig.dev->protocol(), kProtoScsi);
    EXPECT_EQ(rig.dev->identify_device(), ATACMD_OK);
    EXPECT_EQ(rig.dev->vendor_read_buffer(3, 0), ATACMD_ERR);
    EXPECT_EQ(rig.dev->Sense.sense_key(), 0x0B);
}

// Two drives behind one "CMD_IDE " miniport, at targets 0 and 1. Whichever way the second is
// opened (by its path, after the first was current, or by a path the list does not hold), its
// commands reach it and the first drive receives none.
TEST(MiniportAddress, CommandsReachTheDriveThatWasOpened) {
    json machine = MachineFile("all_transports.json");
    json second = machine["disks"][3];
    ASSERT_EQ(second["drive"]["attach"], "sil");
    second["instance_id"] = "SCSI\\DISK&VEN_RAID&PROD_MERETH_SSD_128\\5&3C4D5E6F&0&010";
    second.erase("comment");
    second["device_number"] = 11;
    second["scsi_address"]["target"] = 1;
    second["drive"] = json{{"model", "MERETH SSD 128GB R"}, {"revision", "R0500A1"}, {"serial", "MR128E0000000011"},
                           {"def", "GR500011"}, {"attach", "sil"}};
    machine["disks"].push_back(second);
    SimDevice rig(machine.dump());
    const int first = rig.Index("PROD_MERETH_SSD_256");
    const int second_index = rig.Index("PROD_MERETH_SSD_128");
    ASSERT_GE(first, 0);
    ASSERT_GE(second_index, 0);
    const std::string second_path(discovery::FieldView(rig.dev->device_entry(second_index)->szDevicePath));
    auto& first_drive = DiskOf(rig, "PROD_MERETH_SSD_256").drive_stack->drive();
    auto& second_drive = DiskOf(rig, "PROD_MERETH_SSD_128").drive_stack->drive();

    auto expect_second = [&](const char* how) {
        SCOPED_TRACE(how);
        EXPECT_EQ(rig.dev->protocol(), kProtoSil);
        const size_t first_seen = first_drive.history.size();
        const size_t second_seen = second_drive.history.size();
        ASSERT_EQ(rig.dev->identify_device(), ATACMD_OK);
        EXPECT_EQ(IdentifyText(rig.dev->read_buffer(), kIdModelOffset, kIdModelLength), Pad("MERETH SSD 128GB R", 40));
        EXPECT_EQ(first_drive.history.size(), first_seen);
        EXPECT_EQ(second_drive.history.size(), second_seen + 1);
    };
    const size_t first_before = first_drive.history.size();
    ASSERT_TRUE(rig.dev->open_device(0, second_path.c_str(), kOpenAta));
    expect_second("by path on a fresh object");
    EXPECT_EQ(first_drive.history.size(), first_before);  // the probe too reached the second drive only

    ASSERT_TRUE(rig.dev->open_device(first));
    ASSERT_EQ(rig.dev->identify_device(), ATACMD_OK);
    EXPECT_EQ(IdentifyText(rig.dev->read_buffer(), kIdModelOffset, kIdModelLength), Pad("MERETH SSD 256GB R", 40));
    ASSERT_TRUE(rig.dev->open_device(0, second_path.c_str(), kOpenAta));
    expect_second("by path while the first is the current entry");

    // A command after a close reopens what was opened, not the current entry (the first drive).
    rig.dev->close_device();
    {
        const size_t first_seen = first_drive.history.size();
        ASSERT_EQ(rig.dev->identify_device(), ATACMD_OK);
        EXPECT_EQ(IdentifyText(rig.dev->read_buffer(), kIdModelOffset, kIdModelLength), Pad("MERETH SSD 128GB R", 40));
        EXPECT_EQ(first_drive.history.size(), first_seen);
    }

    ASSERT_TRUE(rig.dev->open_device(first));
    ASSERT_TRUE(rig.dev->open_device(0, "\\\\.\\PhysicalDrive11", kOpenAta));
    rig.dev->set_protocol(kProtoSil);
    expect_second("by a path the list does not hold: the address the driver gives");

    ASSERT_TRUE(rig.dev->open_device(second_index));
    expect_second("by index");
}

TEST(VanishedDisk, AWrongDescriptionIsRefusedAtLoad) {
    const std::pair<json, const char*> cases[] = {
        {json::object(), "disks[0].vanish.after_opens: missing"},
        {json{{"after_opens", -1}}, "disks[0].vanish.after_opens: expected a whole number from 0 to 1000000"},
        {json{{"after_opens", 1}, {"back_after_seconds", "soon"}},
         "disks[0].vanish.back_after_seconds: expected a number of seconds from 0 to 1000000000"},
        {json{{"after_opens", 1}, {"back", 2}}, "disks[0].vanish.back: unknown field"},
    };
    for (const auto& [vanish, message] : cases) {
        json machine = AhciMachine();
        json disk = SataDisk("D", 0);
        disk["vanish"] = vanish;
        machine["disks"].push_back(disk);
        platform::sim::SimMachine m;
        std::string error;
        EXPECT_FALSE(platform::sim::LoadMachine(machine.dump(), m, error)) << vanish.dump();
        EXPECT_EQ(error, message);
    }
}

}  // namespace
}  // namespace orvane::test
