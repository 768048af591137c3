// The device object and the simulated RAID controllers: the drives behind CSMI phys identify
// through STP, and what the controller refuses ends as a failed command.
#include <cstring>

#include "device/identify.h"
#include "device_fixture.h"
#include "sim_device_rig.h"

namespace orvane::test {
namespace {

using namespace orvane::device;

constexpr int kBuiltInRaidPort = 5;

// Aims the device at a phy entry of the table the port reported, as the scan does.
void Aim(TAtaDevice& dev, const records::CSMI_SAS_PHY_ENTITY& e) {
    uint32_t address[2];
    std::memcpy(address, e.Attached.bSASAddress, sizeof address);
    dev.set_phy(e.Identify.bPhyIdentifier);
    dev.set_port(e.bPortIdentifier);
    dev.set_sas_address(address[0], address[1]);
}

std::string Model(TAtaDevice& dev) { return IdentifyText(dev.read_buffer(), kIdModelOffset, kIdModelLength); }

// Opens the port and reads its table, as the scan does before it aims at a phy.
records::CSMI_SAS_PHY_INFO OpenPort(SimDevice& sd, int port) {
    records::CSMI_SAS_PHY_INFO info{};
    EXPECT_TRUE(sd.dev->open_device(port, nullptr, kOpenCsmi));
    EXPECT_TRUE(sd.dev->get_phy_info(info));
    return info;
}

TEST(CsmiSim, BuiltInRaidControllerTable) {
    SimDevice sd(platform::sim::DefaultMachineJson());
    const records::CSMI_SAS_PHY_INFO info = OpenPort(sd, kBuiltInRaidPort);
    EXPECT_EQ(info.bNumberOfPhys, 5);
    const std::string log = sd.Log();
    for (const char* line : {"  Name:        \"sasraid\"\n", "  Description: \"SAS/SATA RAID Controller Driver\"\n",
                             "  Revision:    5.2\n", "CSMI_SAS_PHY_INFO: NumberOfPhys=5, max_number_of_phys=32\n",
                             "Phy[0] Port:   0x00\n  Type:        0x10, 0x10\n  InitProto:   0x0e, 0x00\n"
                             "  TargetProto: 0x00, 0x01\n  PhyIdent:    0x00, 0x00\n"
                             "  SASAddress(Identify):  50 01 e3 b0 00 a1 00 00,   "
                             "SASAddress(Attached):  50 01 e3 b0 00 a1 01 00\n",
                             "Phy[2] Port:   0x02\n  Type:        0x10, 0x00\n",
                             "Phy[3] Port:   0x03\n  Type:        0x10, 0x10\n  InitProto:   0x0e, 0x00\n"
                             "  TargetProto: 0x00, 0x04\n",
                             "Phy[4] Port:   0x04\n  Type:        0x10, 0x10\n  InitProto:   0x0e, 0x00\n"
                             "  TargetProto: 0x00, 0x08\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\nin\n" << log;
    // The unused entry between used ones is not listed.
    EXPECT_EQ(log.find("Phy[1]"), std::string::npos);
    EXPECT_EQ(info.Phy[1].Identify.bDeviceType, 0);
}

TEST(CsmiSim, BothBuiltInDrivesIdentifyThroughStp) {
    SimDevice sd(platform::sim::DefaultMachineJson());
    const records::CSMI_SAS_PHY_INFO info = OpenPort(sd, kBuiltInRaidPort);
    struct Case {
        int entry;
        const char* model;
        const char* serial;
    } cases[] = {{0, "TOLBERN TQ-256K7KW", "TQ256K7KW00A1"}, {3, "TOLBERN TQ-512K7KW", "TQ512K7KW00B3"}};
    auto& controllers = sd.sim->hardware().storage.controllers;
    auto raid = std::find_if(controllers.begin(), controllers.end(), [](const auto& c) { return c.csmi_port != nullptr; });
    ASSERT_NE(raid, controllers.end());
    auto& port = *raid->csmi_port;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Aim(*sd.dev, info.Phy[c.entry]);
        EXPECT_EQ(sd.dev->identify_device(), ATACMD_OK);
        EXPECT_EQ(Model(*sd.dev), Pad(c.model, 40));
        EXPECT_EQ(IdentifyText(sd.dev->read_buffer(), kIdSerialOffset, kIdSerialLength), Pad(c.serial, 20));
        EXPECT_EQ(HexOf(&sd.dev->OutRegs.bFeaturesReg, 8), "00 01 00 00 00 A0 50 00");
        ASSERT_NE(port.drive(c.entry), nullptr);
        EXPECT_EQ(port.drive(c.entry)->history.size(), 1u);
    }
    EXPECT_NE(sd.Log().find("(CSMI) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0, OK=1\n"), std::string::npos);
}

// STP that reaches no SATA drive, and a drive's own error: each a failed command with its reason.
TEST(CsmiSim, WhatTheControllerRefuses) {
    SimDevice sd(platform::sim::DefaultMachineJson());
    const records::CSMI_SAS_PHY_INFO info = OpenPort(sd, kBuiltInRaidPort);
    struct Case {
        const char* what;
        int entry;
        uint8_t phy_override;
        bool wrong_address;
        const char* reason;
    } cases[] = {
        {"the SAS drive", 4, 0, false, "CSMI STP ReturnCode=2009: "},
        {"a phy with nothing attached", 2, 0, false, "CSMI STP ReturnCode=2008: "},
        {"a SATA drive at another SAS address", 0, 0, true, "CSMI STP ReturnCode=2008: "},
        {"a phy the controller does not have", 0, 9, false, "CSMI STP ReturnCode=2002: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Aim(*sd.dev, info.Phy[c.entry]);
        if (c.phy_override) sd.dev->set_phy(c.phy_override);
        if (c.wrong_address) sd.dev->set_sas_address(1, 2);
        uint8_t data[512] = {};
        IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
        uint32_t length = sizeof data;
        EXPECT_EQ(sd.dev->ata_command(regs, data, nullptr, kDirIn, length), ATACMD_ERR);
        EXPECT_NE(sd.Log().find(c.reason), std::string::npos) << sd.Log();
    }
    // The drive aborts the vendor page (it has none): ERR and ABORT come back in the status FIS.
    Aim(*sd.dev, info.Phy[0]);
    sd.dev->bLastStatus = 0;
    EXPECT_EQ(sd.dev->read_vendor_info(), ATACMD_ERR);
    EXPECT_EQ(sd.dev->bLastStatus, 0x51);
    EXPECT_EQ(sd.dev->OutRegs.bFeaturesReg, 0x04);
    EXPECT_NE(sd.Log().find("CSMI STP Status Register: 0x51, Error Register: 0x4\n"), std::string::npos);
}

TEST(CsmiSim, ControllerOnlyMachine) {
    SimDevice sd(MachineFile("csmi_only.json").dump());
    // The one disk is a RAID volume: no transport reaches a drive through it.
    ASSERT_EQ(sd.dev->device_count(), 1);
    sd.dev->set_vendor_probe(false);
    EXPECT_TRUE(sd.dev->open_device(0));
    EXPECT_EQ(sd.dev->protocol(), kProtoNone);

    const records::CSMI_SAS_PHY_INFO info = OpenPort(sd, 0);
    const char* models[] = {"TOLBERN TQ-256K7KW", "TOLBERN TQ-1T0K7KW"};
    for (int e = 0; e < 2; ++e) {
        Aim(*sd.dev, info.Phy[e]);
        EXPECT_EQ(sd.dev->identify_device(), ATACMD_OK);
        EXPECT_EQ(Model(*sd.dev), Pad(models[e], 40));
    }
    // Vendor commands travel too: the first drive's page, the second drive's READ BUFFER that
    // times out once (error 121, the controller's 60 s used up) and then answers.
    Aim(*sd.dev, info.Phy[0]);
    EXPECT_EQ(sd.dev->read_vendor_info(), ATACMD_OK);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sd.dev->read_buffer()), 8), "GT102000");
    Aim(*sd.dev, info.Phy[1]);
    const double before = sd.sim->clock().Now();
    EXPECT_EQ(sd.dev->vendor_read_buffer(0, 1), ATACMD_TIMEOUT);
    EXPECT_GE(sd.sim->clock().Now() - before, 60.0);
    EXPECT_EQ(sd.dev->vendor_read_buffer(0, 1), ATACMD_OK);
}

TEST(CsmiSim, ThirtyThreePhysAreRefused) {
    SimDevice sd(MachineFile("csmi_33_phys.json").dump());
    ASSERT_TRUE(sd.dev->open_device(0, nullptr, kOpenCsmi));
    records::CSMI_SAS_PHY_INFO info{};
    EXPECT_FALSE(sd.dev->get_phy_info(info));
    const std::string log = sd.Log();
    EXPECT_NE(log.find("Error! NumberOfPhys=33 > max_number_of_phys=32\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Phy["), std::string::npos) << log;
    EXPECT_EQ(log.find("CSMI_SAS_PHY_INFO: NumberOfPhys"), std::string::npos) << log;
}

// A port without a CSMI driver (the AHCI controller) answers no CSMI request.
TEST(CsmiSim, PortWithoutCsmiDriver) {
    SimDevice sd(platform::sim::DefaultMachineJson());
    ASSERT_TRUE(sd.dev->open_device(0, nullptr, kOpenCsmi));
    records::CSMI_SAS_PHY_INFO info{};
    EXPECT_FALSE(sd.dev->get_phy_info(info));
    EXPECT_NE(sd.Log().find("(CSMI) CreateFile OK\ncsmi_ioctl ERR=0x1\n"), std::string::npos) << sd.Log();
    EXPECT_FALSE(sd.dev->open_device(6, nullptr, kOpenCsmi));
}

}  // namespace
}  // namespace orvane::test
