// The disk report (/LIST) on simulated machines: what reaches the drives, and the disks it lists.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/list_report.h"
#include "discovery/sim_rig.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_platform.h"
#include "ui/console/console_view.h"

namespace orvane::test {
namespace {

using nlohmann::json;

json TransportsMachine() {
    const auto path = std::filesystem::path(__FILE__).parent_path().parent_path() / "device" / "machines" /
                      "all_transports.json";
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return json::parse(ss.str());
}

// One /LIST run; the console report comes back as text.
struct ListRun {
    explicit ListRun(const json& machine_json) {
        std::string error;
        EXPECT_TRUE(platform::sim::LoadMachine(machine_json.dump(), machine, error)) << error;
        dir = std::filesystem::path(::testing::TempDir()) /
              ("orvane_list_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        machine.system.temp_dir = dir.string();
        sim = std::make_unique<platform::sim::SimPlatform>(machine, 10000);
    }
    ~ListRun() { std::filesystem::remove_all(dir); }

    std::string Run() {
        ui::ConsoleView view(nullptr, sim->pump());
        app::AppContext ctx{sim->platform(), view, nullptr, 0, {"/LIST"}, nullptr};
        std::FILE* out = std::tmpfile();
        EXPECT_EQ(app::RunListReport(ctx, out), 0);
        std::string text;
        std::rewind(out);
        for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
        std::fclose(out);
        return text;
    }

    platform::sim::SimMachine machine;
    std::filesystem::path dir;
    std::unique_ptr<platform::sim::SimPlatform> sim;
};

// On every kind of controller and bridge the drives receive IDENTIFY and nothing else: no
// vendor command (FFh) reaches a drive of any maker, yet each transport is still found.
TEST(ListReport, DrivesReceiveIdentifyOnly) {
    ListRun run(TransportsMachine());
    const std::string report = run.Run();
    EXPECT_NE(report.find("Disks: 11\n"), std::string::npos);
    for (const char* line : {"  Transport: 1 (ATA PASSTHROUGH)\n", "  Transport: 2 (IDE PASS THROUGH)\n",
                             "  Transport: 3 (SCSI PASS THROUGH)\n", "  Transport: 4 (SIL PASS THROUGH)\n",
                             "  Transport: 5 (SAT ATA PASS THROUGH)\n", "  Transport: 6 (JMICRON)\n",
                             "  Transport: 7 (PROLIFIC)\n", "  Transport: 8 (SUNPLUS)\n", "  Transport: 9 (IODATA)\n",
                             "  Transport: 10 (LOGITEC)\n", "  Transport: 11 (CYPRESS)\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line;
    EXPECT_EQ(report.find("DEF:"), std::string::npos);
    for (const platform::sim::SimDisk& disk : run.sim->hardware().storage.disks) {
        SCOPED_TRACE(disk.instance_id);
        ASSERT_TRUE(disk.drive_stack);
        const auto& history = disk.drive_stack->drive().history;
        EXPECT_FALSE(history.empty());
        for (const auto& [cmd, fr] : history) EXPECT_EQ(cmd, 0xEC) << "features " << int(fr);
    }
}

// More disks than the list holds: the device object's own list is reported, and the disks it
// left out are named on the console as in the log.
TEST(ListReport, NamesTheDisksTheListLeftOut) {
    json machine = AhciMachine();
    for (int i = 0; i < 17; ++i) machine["disks"].push_back(SataDisk("D" + std::to_string(i), i, {0, 0, i, 0}));
    ListRun run(machine);
    const std::string report = run.Run();
    EXPECT_NE(report.find("Disks: 16\n"), std::string::npos);
    EXPECT_NE(report.find("Disk 15: "), std::string::npos);
    EXPECT_EQ(report.find("Disk 16: "), std::string::npos);
    const std::string left = "Disk list holds 16 disks; left out: ";
    ASSERT_NE(report.find(left), std::string::npos) << report;
    EXPECT_NE(report.find(left + "\\\\?\\scsi#disk&ven_&prod_d16#4&1&0&16#"), std::string::npos) << report;
    // Every disk without a drive model still opens, with no transport.
    size_t none = 0;
    for (size_t at = report.find("  Transport: 0 (SYSTEM NOT SUPPORT)\n"); at != std::string::npos;
         at = report.find("  Transport: 0 (SYSTEM NOT SUPPORT)\n", at + 1))
        ++none;
    EXPECT_EQ(none, 16u);
}

// Drives behind a RAID controller are reported through its CSMI port, with IDENTIFY alone.
TEST(ListReport, DrivesBehindCsmiPorts) {
    ListRun run(json::parse(platform::sim::DefaultMachineJson()));
    const std::string report = run.Run();
    const std::string want =
        "CSMI port 5: \"sasraid\", \"SAS/SATA RAID Controller Driver\", revision 5.2, 5 phys\n"
        "  Phy 0, port 0, SATA: TOLBERN TQ-256K7KW, revision 1.02, serial TQ256K7KW00A1\n"
        "  Phy 3, port 3, STP: TOLBERN TQ-512K7KW, revision 1.00, serial TQ512K7KW00B3\n";
    EXPECT_NE(report.find(want), std::string::npos) << report;
    // The AHCI, USB and NVMe ports open but have no CSMI driver; ports 6 to 15 do not open.
    for (int port : {0, 1, 2, 3, 4})
        EXPECT_NE(report.find("CSMI port " + std::to_string(port) + ": no CSMI phy table\n"), std::string::npos);
    EXPECT_EQ(report.find("CSMI port 6"), std::string::npos);
    auto& controllers = run.sim->hardware().storage.controllers;
    auto raid = std::find_if(controllers.begin(), controllers.end(), [](const auto& c) { return c.csmi_port != nullptr; });
    ASSERT_NE(raid, controllers.end());
    auto& csmi = *raid->csmi_port;
    for (int entry : {0, 3}) {
        ASSERT_NE(csmi.drive(entry), nullptr);
        const auto& history = csmi.drive(entry)->history;
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].first, 0xEC);
    }
}

}  // namespace
}  // namespace orvane::test
