// A controller's "csmi" object in the machine file: what it describes, and refusals that name
// the field.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "platform/sim/sim_machine.h"

namespace orvane::platform::sim {
namespace {

using nlohmann::json;

// A machine with one RAID controller whose "csmi" object is `csmi`.
std::string Machine(const json& csmi, bool with_port = true) {
    json c = {{"instance_id", "PCI\\VEN_1E3B&DEV_0510\\0"}, {"class", "scsiadapter"}, {"csmi", csmi}};
    if (with_port) c["scsi_port"] = 2;
    return json{{"controllers", json::array({c})}, {"disks", json::array()}}.dump();
}

TEST(SimCsmi, ReadsThePhyTable) {
    const json csmi = json::parse(R"({
        "name": "sasraid", "revision": [5, 2, 7], "number_of_phys": 33,
        "phys": [
          {"sas_address": "0x5001E3B000A10000",
           "attached": {"target": "stp", "sas_address": "5001e3b000a10103", "phy": 1, "drive": {"model": "M"}}},
          null,
          {"phy": 7, "port": 1, "type": 32, "initiator": "ssp", "attached": {"type": "end_device", "target": 8}}
        ]})");
    SimMachine m;
    std::string error;
    ASSERT_TRUE(LoadMachine(Machine(csmi), m, error)) << error;
    const SimCsmiDesc& d = *m.storage.controllers.at(0).csmi;
    EXPECT_EQ(d.name, "sasraid");
    EXPECT_EQ(d.major, 5);
    EXPECT_EQ(d.minor, 2);
    EXPECT_EQ(d.build, 7);
    EXPECT_EQ(d.reported_phys, 33);
    ASSERT_EQ(d.phys.size(), 3u);
    // Defaults: an end device with the initiator protocols SSP, STP, SMP; phy and port = entry.
    const SimCsmiPhy& p0 = d.phys[0];
    EXPECT_EQ(p0.own.device_type, 0x10);
    EXPECT_EQ(p0.own.initiator_protocol, 0x0E);
    EXPECT_EQ(p0.own.phy_identifier, 0);
    EXPECT_EQ(p0.port_identifier, 0);
    EXPECT_EQ(p0.own.sas_address, (std::array<uint8_t, 8>{0x50, 0x01, 0xE3, 0xB0, 0x00, 0xA1, 0x00, 0x00}));
    EXPECT_EQ(p0.attached.device_type, 0x10);
    EXPECT_EQ(p0.attached.target_protocol, 0x04);
    EXPECT_EQ(p0.attached.phy_identifier, 1);
    EXPECT_EQ(p0.attached.sas_address[7], 0x03);
    ASSERT_TRUE(p0.drive.has_value());
    EXPECT_EQ(p0.drive->model, "M");
    EXPECT_EQ(d.phys[1].own.device_type, 0);  // null: an unused entry
    const SimCsmiPhy& p2 = d.phys[2];
    EXPECT_EQ(p2.own.device_type, 0x20);
    EXPECT_EQ(p2.own.initiator_protocol, 0x08);
    EXPECT_EQ(p2.own.phy_identifier, 7);
    EXPECT_EQ(p2.port_identifier, 1);
    EXPECT_EQ(p2.attached.target_protocol, 0x08);
    EXPECT_FALSE(p2.drive.has_value());
}

TEST(SimCsmi, RefusalsNameTheField) {
    struct Case {
        const char* csmi;
        bool with_port;
        const char* error;
    } cases[] = {
        {R"({})", false, "controllers[0].csmi: a CSMI driver needs the controller's scsi_port"},
        {R"({"driver": "x"})", true, "controllers[0].csmi.driver: unknown field"},
        {R"({"revision": [5]})", true, "controllers[0].csmi.revision: expected [major, minor, build, release] (2 to 4 numbers)"},
        {R"({"number_of_phys": 256})", true, "controllers[0].csmi.number_of_phys: expected a whole number from 0 to 255"},
        {R"({"phys": [{"sas_address": "5001e3b0"}]})", true,
         "controllers[0].csmi.phys[0].sas_address: expected 16 hexadecimal digits"},
        {R"({"phys": [null, {"attached": {"target": "fc"}}]})", true,
         "controllers[0].csmi.phys[1].attached.target: expected sata, smp, stp, ssp or a number"},
        {R"({"phys": [{"attached": {"target": "ssp", "drive": {"model": "M"}}}]})", true,
         "controllers[0].csmi.phys[0].attached.drive: only a SATA or STP device carries a drive"},
        {R"({"phys": [{"attached": {"drive": {"attach": "pci"}}}]})", true,
         "controllers[0].csmi.phys[0].attached.drive.attach: expected one of ata, ide, scsi_vendor, sil, usb"},
        {R"({"phys": [{"type": "switch"}]})", true,
         "controllers[0].csmi.phys[0].type: expected none, end_device, edge_expander, fanout_expander or a number"},
    };
    for (const Case& c : cases) {
        SimMachine m;
        std::string error;
        EXPECT_FALSE(LoadMachine(Machine(json::parse(c.csmi), c.with_port), m, error)) << c.csmi;
        EXPECT_EQ(error, c.error);
    }
    SimMachine m;
    std::string error;
    json phys = json::array();
    for (int i = 0; i < 33; ++i) phys.push_back(nullptr);
    EXPECT_FALSE(LoadMachine(Machine(json{{"phys", phys}}), m, error));
    EXPECT_EQ(error, "controllers[0].csmi.phys: more than 32 entries");
}

}  // namespace
}  // namespace orvane::platform::sim
