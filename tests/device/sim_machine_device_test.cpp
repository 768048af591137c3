// The device object on whole simulated machines: the transport open_device settles on for each
// kind of controller and bridge, the identify texts read through it, and drive faults.
#include "device/ata_builders.h"
#include "device/drive_description.h"
#include "device/sim_device_rig.h"
#include "discovery/sim_rig.h"

namespace orvane::test {
namespace {

using namespace orvane::device;
using nlohmann::json;
using platform::sim::LoadMachine;
using platform::sim::SimMachine;

struct Expected {
    const char* disk;  // part of the instance identifier
    uint8_t transport;
    const char* name;
    const char* model;
    const char* revision;
    const char* serial;
    const char* def;   // null: no vendor page, DEF is the revision
};

void ExpectDescribed(SimDevice& rig, const Expected& e) {
    SCOPED_TRACE(e.disk);
    const int index = rig.Index(e.disk);
    ASSERT_GE(index, 0);
    const DriveDescription d = DescribeDrive(*rig.dev, index);
    EXPECT_TRUE(d.opened);
    EXPECT_EQ(d.transport, e.transport);
    EXPECT_EQ(d.transport_name, e.name);
    EXPECT_EQ(d.identify_result, ATACMD_OK);
    EXPECT_EQ(d.model, Pad(e.model, 40));
    EXPECT_EQ(d.revision, Pad(e.revision, 8));
    EXPECT_EQ(d.serial, Pad(e.serial, 20));
    EXPECT_EQ(d.def, e.def ? e.def : Pad(e.revision, 8));
    EXPECT_EQ(d.def_from_page, e.def != nullptr);
    EXPECT_NE(rig.Log().find(std::string("PRO: ") + e.name + "\n"), std::string::npos);
}

TEST(SimMachineDevice, EveryTransportIsChosenAndIdentifies) {
    SimDevice rig(MachineFile("all_transports.json").dump());
    ASSERT_EQ(rig.dev->device_count(), 11);
    const Expected cases[] = {
        {"MERETH_SSD_512GB", 1, "ATA PASSTHROUGH", "MERETH SSD 512GB", "S0614B0", "MS512A0123456789", "GM802030"},
        {"MERETH_SSD_64GB_PATA", 2, "IDE PASS THROUGH", "MERETH SSD 64GB PATA", "P0210A1", "MP064B0000000001",
         "GP210031"},
        {"PROD_SSD_128GB_S", 3, "SCSI PASS THROUGH", "MERETH SSD 128GB S", "C0305B2", "MC128C0000000002", "GC305032"},
        {"PROD_MERETH_SSD_256", 4, "SIL PASS THROUGH", "MERETH SSD 256GB R", "R0411C3", "MR256D0000000003",
         "GR411033"},
        {"SAT0000000001", 5, "SAT ATA PASS THROUGH", "MERETH SSD 240GB U", "U0512D4", "MU240E0000000004", "GU512034"},
        {"JMB000000002", 6, "JMICRON", "MERETH SSD 120GB J", "J0613E5", "MJ120F0000000005", "GJ613035"},
        {"PL0000000003", 7, "PROLIFIC", "MERETH SSD 60GB P", "L0714F6", "ML060G0000000006", "GL714036"},
        {"SP0000000004", 8, "SUNPLUS", "MERETH SSD 32GB S", "N0815A7", "MN032H0000000007", "GN815037"},
        {"IO0000000005", 9, "IODATA", "MERETH SSD 16GB I", "D0916B8", "MD016J0000000008", "GD916038"},
        {"LG0000000006", 10, "LOGITEC", "MERETH SSD 8GB L", "T1017C9", "MT008K0000000009", "GT017039"},
        {"CY0000000007", 11, "CYPRESS", "MERETH SSD 4GB C", "Y1118D0", "MY004L0000000010", nullptr},
    };
    for (const Expected& e : cases) ExpectDescribed(rig, e);
}

TEST(SimMachineDevice, TheBuiltInMachineShowsTheRange) {
    SimDevice rig("{}");
    ASSERT_EQ(rig.dev->device_count(), 6);
    const Expected cases[] = {
        {"MERETH_SSD_512GB", 1, "ATA PASSTHROUGH", "MERETH SSD 512GB", "S0614B0", "MS512A0123456789", "GM802030"},
        {"HDD_1TB_7200", 1, "ATA PASSTHROUGH", "HDD 1TB 7200", "CC43", "WX21A3C5D7E9", nullptr},
        {"20200410000A", 5, "SAT ATA PASS THROUGH", "MERETH SSD 240GB", "U0512D4", "MU240E0000000004", "GU512034"},
        {"000000000123", 6, "JMICRON", "MERETH SSD 256GB", "J0613E5", "MJ256F0000000005", "GJ613035"},
        {"0123456789AB", 7, "PROLIFIC", "MERETH SSD 128GB", "L0714F6", "ML128G0000000006", "GL714036"},
    };
    for (const Expected& e : cases) ExpectDescribed(rig, e);
}

// A USB bridge answers the 0xCC block with CHECK CONDITION while the request succeeds; that is
// a failed command, and open_device reaches the drive through the bridge's own transport, tried
// first.
TEST(SimMachineDevice, BridgesThatFoolTransportThreeAreReachedFirstByTheirOwn) {
    const std::pair<const char*, uint8_t> bridges[] = {
        {"JMB000000002", kProtoJmicron}, {"PL0000000003", kProtoProlific}, {"SP0000000004", kProtoSunplus},
        {"IO0000000005", kProtoIodata},  {"LG0000000006", kProtoLogitec},
    };
    SimDevice rig(MachineFile("all_transports.json").dump());
    for (auto [disk, transport] : bridges) {
        SCOPED_TRACE(disk);
        const int index = rig.Index(disk);
        ASSERT_GE(index, 0);
        ASSERT_TRUE(rig.dev->open_device(index));
        EXPECT_EQ(rig.dev->protocol(), transport);

        // Over 0xCC the bridge answers CHECK CONDITION: the vendor write fails, so the read is
        // never sent, and IDENTIFY brings no data.
        rig.dev->set_protocol(kProtoScsi);
        const size_t before = rig.sim->storage().Requests().size();
        EXPECT_EQ(rig.dev->read_vendor_info(), ATACMD_ERR);
        EXPECT_EQ(rig.sim->storage().Requests().size(), before + 1);
        EXPECT_EQ(rig.dev->identify_device(), ATACMD_FAIL);  // word 2 never arrived
    }
    // The drive hangs on the JMicron bridge's slave port; the port was found before the probe used it.
    ASSERT_TRUE(rig.dev->open_device(rig.Index("JMB000000002")));
    EXPECT_EQ(rig.dev->iBridgePort, 1);
}

// A timed-out command answers 2 and lasts its timeout in simulated time.
TEST(SimMachineDevice, TimeoutsUseUpSimulatedTime) {
    struct Case {
        const char* disk;
        float timeout;   // fTimeout before the command
        double seconds;  // simulated time the request takes
    };
    const Case cases[] = {
        {"MERETH_SSD_512GB", 7.0f, 7.0},       // ATA PASSTHROUGH: TimeOutValue, whole seconds
        {"SAT0000000001", 9.5f, 9.0},          // SAT: the SCSI record's TimeOutValue
        {"PROD_MERETH_SSD_256", 3.0f, 120.0},  // SIL: the miniport header's fixed 120 s
    };
    json machine = MachineFile("all_transports.json");
    for (json& disk : machine["disks"])
        disk["drive"]["faults"] = json::array({json{{"command", 0xE4}, {"effect", "timeout"}}});
    // WMI's service already runs, so enumerating waits for nothing.
    machine["system"]["services"] = json{{"Winmgmt", json{{"state", "running"}}}};
    // A stopped clock: the jump is the timeout's own.
    SimDevice rig(machine.dump(), platform::sim::SimClock::kStopped);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.disk);
        ASSERT_TRUE(rig.dev->open_device(rig.Index(c.disk)));
        rig.dev->set_timeout(c.timeout);
        IdeRegs regs = MakeRegs(3, 0, 'R', 'P', 'E', 0, 0xE4);
        uint32_t length = 512;
        const double before = rig.sim->clock().Now();
        EXPECT_EQ(rig.dev->ata_command(regs, rig.dev->read_buffer(), nullptr, kDirIn, length), ATACMD_TIMEOUT);
        const double took = rig.sim->clock().Now() - before;
        EXPECT_GE(took, c.seconds);
        EXPECT_LT(took, c.seconds + 0.5);
    }
}

TEST(SimMachineDevice, FaultsReachTheProbeAndTheCommands) {
    // The first vendor write ends with ERR, so the first probe settles on IDENTIFY; every signed
    // READ BUFFER ends with status 0x7F, which transport 1 counts as success.
    json machine = AhciMachine();
    json disk = SataDisk("FAULTY", 0, {0, 0, 0, 0});
    disk["drive"] = json{{"model", "FAULTY"},
                         {"revision", "F1"},
                         {"serial", "S1"},
                         {"def", "GF000001"},
                         {"faults", json::array({json{{"command", 0xFF}, {"features", 0xFC}, {"effect", "error"},
                                                      {"times", 1}},
                                                 json{{"command", 0xE4}, {"effect", "status_7f"}}})}};
    machine["disks"].push_back(disk);
    SimDevice rig(machine.dump());
    ASSERT_TRUE(rig.dev->open_device(0));
    EXPECT_EQ(rig.dev->protocol(), kProtoAta);
    EXPECT_EQ(rig.dev->bLastStatus, 0x51);
    EXPECT_NE(rig.Log().find("ATA Status Register: 0x51\n"), std::string::npos);
    EXPECT_EQ(rig.dev->read_vendor_info(), ATACMD_OK);  // the fault hit once only
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rig.dev->read_buffer()), 8), "GF000001");
    EXPECT_EQ(rig.dev->vendor_read_buffer(3, 0), ATACMD_OK);
    EXPECT_EQ(rig.dev->OutRegs.bCommandReg, 0x7F);
}

TEST(SimMachineDevice, ADiskWithoutADriveModelIsOpenedWithNoTransport) {
    json machine = AhciMachine();
    machine["disks"].push_back(SataDisk("BARE", 0, {0, 0, 0, 0}));
    SimDevice rig(machine.dump());
    const DriveDescription d = DescribeDrive(*rig.dev, 0);
    EXPECT_TRUE(d.opened);
    EXPECT_EQ(d.transport, kProtoNone);
    EXPECT_EQ(d.transport_name, "SYSTEM NOT SUPPORT");
    EXPECT_EQ(d.identify_result, ATACMD_FAIL);
    EXPECT_NE(rig.Log().find("PRO: SYSTEM NOT SUPPORT\n"), std::string::npos);
}

TEST(SimMachineDevice, AWrongDriveObjectIsRefusedAtLoad) {
    const std::pair<json, const char*> cases[] = {
        {json{{"attach", "firewire"}}, "disks[0].drive.attach: expected one of ata, ide, scsi_vendor, sil, usb"},
        {json{{"modle", "X"}}, "disks[0].drive.modle: unknown field"},
        {json{{"model", std::string(41, 'M')}}, "disks[0].drive.model: longer than 40 characters"},
        {json{{"word2", 0x10000}}, "disks[0].drive.word2: out of range"},
        {json{{"refuse", json::array({"ata", "sata"})}}, "disks[0].drive.refuse: unknown request \"sata\""},
        {json{{"faults", json::array({json{{"effect", "explode"}}})}},
         "disks[0].drive.faults[0].effect: expected one of error, timeout, status_7f"},
        {json{{"sil_version", json::array({2})}}, "disks[0].drive.sil_version: expected [major, minor]"},
    };
    for (const auto& [drive, message] : cases) {
        json machine = AhciMachine();
        json disk = SataDisk("D", 0);
        disk["drive"] = drive;
        machine["disks"].push_back(disk);
        SimMachine m;
        std::string error;
        EXPECT_FALSE(LoadMachine(machine.dump(), m, error)) << drive.dump();
        EXPECT_EQ(error, message);
    }
}

}  // namespace
}  // namespace orvane::test
