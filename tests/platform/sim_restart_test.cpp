// The simulated machine's restart between two runs: what waits for it takes over, and a
// registered boot-time flasher updates the drive it names, once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "device/nvme_firmware.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_drive_state.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_restart.h"

namespace orvane::platform::sim {
namespace {

using nlohmann::json;
using namespace std::string_literals;
namespace fs = std::filesystem;

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// 1,536 bytes with the tag "ORVSIMFW", "S0614C0 ", "GM802031", length 1,536 at byte 64.
std::vector<uint8_t> AtaImage() {
    const uint8_t tag[28] = {'O', 'R', 'V', 'S', 'I', 'M', 'F', 'W', 'S', '0', '6', '1', '4', 'C',
                             '0', ' ', 'G', 'M', '8', '0', '2', '0', '3', '1', 0x00, 0x06, 0x00, 0x00};
    std::vector<uint8_t> image(1536, 0x5A);
    std::memcpy(image.data() + 64, tag, sizeof tag);
    return image;
}

// 5,000 bytes with the tag "ORVSIMFW", "N0901D2 ", blank DEF, length 5,000 at byte 4,200.
std::vector<uint8_t> NvmeImage() {
    const uint8_t tag[28] = {'O', 'R', 'V', 'S', 'I', 'M', 'F', 'W', 'N', '0', '9', '0', '1', 'D',
                             '2', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x88, 0x13, 0, 0};
    std::vector<uint8_t> image(5000, 0x21);
    std::memcpy(image.data() + 4200, tag, sizeof tag);
    return image;
}

// A flasher as the program leaves it: keys with their values patched in, NULs after each.
std::string Flasher(const std::string& sn1) {
    return "MZWIN7_X64;FW1=S0614B0 "s + std::string(40, '\0') + "SN1=" + sn1 + std::string(40, '\0') + "END";
}

void WriteHost(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// A machine over host folders of its own; each instance gets fresh ones unless told.
struct Rig {
    fs::path dir;
    std::unique_ptr<SimPlatform> sim;

    explicit Rig(json machine, const std::string& tag) {
        dir = fs::temp_directory_path() / ("orvane-restart-" + std::to_string(::getpid()) + "-" + tag);
        fs::remove_all(dir);
        machine["system"]["system_dir"] = (dir / "system32").string();
        machine["system"]["windows_dir"] = (dir / "windows").string();
        machine["system"]["program_data_dir"] = (dir / "programdata").string();
        Load(machine.dump());
    }
    void Load(const std::string& text) {
        SimMachine m;
        std::string error;
        EXPECT_TRUE(LoadMachine(text, m, error)) << error;
        sim = std::make_unique<SimPlatform>(m, 1.0);
    }
    ~Rig() {
        sim.reset();
        fs::remove_all(dir);
    }
    fs::path System() const { return sim->system().facts().system_dir; }
    void SetBootExecute(const std::string& bytes) {
        ASSERT_EQ(sim->system().RegSetMultiSz(kSessionManager, "BootExecute", {bytes.begin(), bytes.end()}),
                  RegWrite::Ok);
    }
    std::string BootExecute() const {
        auto v = sim->system().RegValue(kSessionManager, "BootExecute");
        return v ? std::string(v->bytes.begin(), v->bytes.end()) : "<none>";
    }
    SimAtaDrive& Ata(const std::string& serial) {
        for (SimDisk& d : sim->hardware().storage.disks)
            if (d.drive_stack && d.drive_stack->drive().desc().serial == serial) return d.drive_stack->drive();
        ADD_FAILURE() << "no drive " << serial;
        return sim->hardware().storage.disks[3].drive_stack->drive();
    }
    SimNvmeDrive& Nvme() { return *sim->hardware().storage.disks[5].nvme_drive; }
    // Sends the image and the activation to the NVMe drive as its driver passes them on.
    uint32_t NvmeUpdate(const std::vector<uint8_t>& image, uint32_t action, uint8_t slot) {
        std::vector<uint8_t> buf(device::kNvmeRequestSize);
        auto send = [&] {
            EXPECT_TRUE(Nvme().Control(buf.data(), device::kNvmeRequestSize, device::kNvmeRequestSize));
            return device::FirmwareReturnCode(buf.data());
        };
        for (uint64_t at = 0; at < image.size(); at += device::kNvmeChunkSize) {
            device::FillFirmwareRequest(buf.data(), device::kNvmeRequestSize, 2);
            device::FillFirmwareDownload(buf.data(), image.data(), static_cast<uint32_t>(image.size()), at);
            if (uint32_t rc = send()) return rc;
        }
        device::FillFirmwareRequest(buf.data(), device::kNvmeRequestSize, 3);
        device::FillFirmwareActivate(buf.data(), action, slot);
        return send();
    }
    // The whole image in one chunk of subcommand `mode` (3 or 0Eh), then the non-data `final`
    // subcommand with CL `cl` (none when final is 0).
    void AtaDownload(const std::string& serial, uint8_t mode, uint8_t final, uint8_t cl) {
        std::vector<uint8_t> image = AtaImage();
        const uint8_t chunk[7] = {mode, 3, 0, 0, 0, 0, 0x92};
        ASSERT_EQ(Ata(serial).Execute(chunk, nullptr, 4, image.data(), 1536).status, 0x50);
        const uint8_t commit[7] = {final, 0, 0, cl, 0, 0, 0x92};
        if (final) {
            ASSERT_EQ(Ata(serial).Execute(commit, nullptr, 0, nullptr, 0).status, 0x50);
        }
    }
};

json BuiltIn() { return json::parse(DefaultMachineJson()); }

// The drive state entries by serial.
std::map<std::string, json> BySerial(const json& states) {
    std::map<std::string, json> out;
    for (const json& s : states) out[s["serial"].get<std::string>()] = s;
    return out;
}

const std::string kCheckerAndOther = "autocheck autochk *\0othertool /x\0"s;

TEST(SimRestart, WhatWaitsForTheRestartAndTheBootTimeFlasher) {
    struct Case {
        const char* name;
        std::function<void(json&)> machine;    // edits of the built-in machine
        std::function<void(Rig&)> earlier;     // what the earlier run left
        std::string flasher_sn1;               // "": no flasher file in the system folder
        std::string boot_execute;              // "": as built in
        std::vector<std::string> lines;
        std::map<std::string, json> changed;   // serial: fields that differ afterwards; others stay whole
        std::string boot_execute_after;
    };
    const std::string with_flasher = kCheckerAndOther + "Ostrel FW.bin\0\0"s;
    const std::string checker_only = "autocheck autochk *\0\0"s;
    const Case cases[] = {
        {"an NVMe image pending activation becomes active",
         [](json& m) { m["disks"][5]["nvme"]["activate_status"] = "0x20"; },
         [](Rig& r) { EXPECT_EQ(r.NvmeUpdate(NvmeImage(), 3, 2), 0x20u); }, "", "",
         {"[restart] drive MN1T0H0000000007 now runs N0901D2 (was N0812C1)"},
         {{"MN1T0H0000000007", {{"revision", "N0901D2"}, {"pending", nullptr}, {"committed", 1}}}}, checker_only},
        {"an ATA drive comes back with its deferred image", nullptr,
         [](Rig& r) { r.AtaDownload("MS512A0123456789", 0x0E, 0, 0); }, "", "",
         {"[restart] drive MS512A0123456789 now runs S0614C0 (was S0614B0)"},
         {{"MS512A0123456789", {{"revision", "S0614C0"}, {"def", "GM802031"}, {"pending", nullptr}, {"committed", 1}}}},
         checker_only},
        {"the flasher writes to the drive it names", nullptr, nullptr, "MS512A0123456789    ", with_flasher,
         {"[restart] boot-time program othertool not run: no othertool.exe in the system folder",
          "[restart] boot-time flasher Ostrel wrote FW.bin (S0614C0) to drive MS512A0123456789; it runs S0614C0"},
         {{"MS512A0123456789",
           {{"revision", "S0614C0"}, {"def", "GM802031"}, {"committed", 1},
            {"writes", json::parse(R"([{"kind": "download", "count": 1}, {"kind": "commit", "count": 1}])")}}}},
         kCheckerAndOther + "\0"s},
        {"the flasher reaches a drive behind a RAID controller's phy",
         [](json& m) { m["controllers"][7]["csmi"]["phys"][3]["attached"]["drive"]["firmware"] = json::object(); },
         nullptr, "TQ512K7KW00B3", "Ostrel FW.bin\0autocheck autochk *\0\0"s,
         {"[restart] boot-time flasher Ostrel wrote FW.bin (S0614C0) to drive TQ512K7KW00B3; it runs S0614C0"},
         {{"TQ512K7KW00B3",
           {{"revision", "S0614C0"}, {"def", "GM802031"}, {"committed", 1},
            {"writes", json::parse(R"([{"kind": "download", "count": 1}, {"kind": "commit", "count": 1}])")}}}},
         checker_only},
        {"the flasher fails as the machine says", [](json& m) { m["system"]["boot_flasher_fails"] = true; }, nullptr,
         "MS512A0123456789    ", with_flasher,
         {"[restart] boot-time program othertool not run: no othertool.exe in the system folder",
          "[restart] boot-time flasher Ostrel failed: it reports a failure (system.boot_flasher_fails)"},
         {}, kCheckerAndOther + "\0"s},
        {"the flasher names no present drive", nullptr, nullptr, "MS999X0000000000    ",
         "Ostrel FW.bin\0othertool /x\0\0"s,
         {"[restart] boot-time flasher Ostrel failed: no drive has the serial number \"MS999X0000000000\"",
          "[restart] boot-time program othertool not run: no othertool.exe in the system folder"},
         {}, "othertool /x\0\0"s},
        {"the flasher names the NVMe drive", nullptr, nullptr, "MN1T0H0000000007    ", with_flasher,
         {"[restart] boot-time program othertool not run: no othertool.exe in the system folder",
          "[restart] boot-time flasher Ostrel failed: drive MN1T0H0000000007 is an NVMe drive, which it cannot "
          "update"},
         {}, kCheckerAndOther + "\0"s},
        {"the flasher names a drive that takes no firmware", nullptr, nullptr, "TQ256K7KW00A1", with_flasher,
         {"[restart] boot-time program othertool not run: no othertool.exe in the system folder",
          "[restart] boot-time flasher Ostrel failed: drive TQ256K7KW00A1: the drive takes no firmware"},
         {}, kCheckerAndOther + "\0"s},
        {"an entry whose program is missing stays", nullptr, nullptr, "", with_flasher,
         {"[restart] boot-time program othertool not run: no othertool.exe in the system folder",
          "[restart] boot-time program Ostrel not run: no Ostrel.exe in the system folder"},
         {}, with_flasher},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        json machine = BuiltIn();
        if (c.machine) c.machine(machine);
        Rig r(machine, std::to_string(n++));
        if (c.earlier) c.earlier(r);
        if (!c.boot_execute.empty()) r.SetBootExecute(c.boot_execute);
        if (!c.flasher_sn1.empty()) {
            WriteHost(r.System() / "Ostrel.exe", Flasher(c.flasher_sn1));
            const std::vector<uint8_t> fw = AtaImage();
            WriteHost(r.System() / "FW.bin", std::string(fw.begin(), fw.end()));
        }
        const auto before = BySerial(DriveStateJson(r.sim->hardware()));
        EXPECT_EQ(RestartMachine(r.sim->hardware(), r.sim->system()), c.lines);
        const auto after = BySerial(DriveStateJson(r.sim->hardware()));
        ASSERT_EQ(after.size(), before.size());
        for (const auto& [serial, state] : before) {
            json expected = state;
            if (auto it = c.changed.find(serial); it != c.changed.end()) expected.update(it->second);
            EXPECT_EQ(after.at(serial), expected) << serial;
        }
        EXPECT_EQ(r.BootExecute(), c.boot_execute_after);
    }
}

// A run leaves an NVMe image pending activation, an ATA image committed for the restart and a
// registered flasher; the saved machine, loaded again, restarts into all three.
TEST(SimRestart, ASavedMachineKeepsWhatWaitsForTheRestart) {
    json machine = BuiltIn();
    machine["disks"][5]["nvme"]["activate_status"] = "0x20";
    Rig first(machine, "save");
    EXPECT_EQ(first.NvmeUpdate(NvmeImage(), 3, 2), 0x20u);
    first.AtaDownload("MS512A0123456789", 3, 7, 1);  // 7 with CL 1: at the next restart
    first.SetBootExecute("autocheck autochk *\0Ostrel FW.bin\0\0"s);
    WriteHost(first.System() / "Ostrel.exe", Flasher("WX21A3C5D7E9"));
    const std::vector<uint8_t> fw = AtaImage();
    WriteHost(first.System() / "FW.bin", std::string(fw.begin(), fw.end()));
    const json saved = MachineToSave(machine.dump(), *first.sim, true);
    EXPECT_EQ(saved["disks"][5]["nvme"]["slots"][1],
              json::parse(R"({"number": 2, "read_only": false, "revision": "N0812C1", "staged_revision": "N0901D2"})"));
    EXPECT_EQ(saved["disks"][5]["nvme"]["pending_slot"], 2);
    EXPECT_EQ(saved["disks"][3]["drive"]["firmware"]["pending"], json::parse(R"({"revision": "S0614C0", "def": "GM802031"})"));

    // Loaded without a restart, nothing has changed yet.
    Rig second(BuiltIn(), "save-load");
    second.Load(saved.dump());
    EXPECT_EQ(second.System(), first.System());
    EXPECT_EQ(second.Nvme().ActiveRevision(), "N0812C1");
    EXPECT_EQ(second.Nvme().PendingRevision(), "N0901D2");
    EXPECT_EQ(second.Ata("MS512A0123456789").desc().revision, "S0614B0");
    EXPECT_EQ(MachineToSave(saved.dump(), *second.sim, true), saved) << "saved again unchanged";

    const std::vector<std::string> lines = RestartMachine(second.sim->hardware(), second.sim->system());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "[restart] drive MS512A0123456789 now runs S0614C0 (was S0614B0)",
                         "[restart] drive MN1T0H0000000007 now runs N0901D2 (was N0812C1)",
                         "[restart] boot-time flasher Ostrel wrote FW.bin (S0614C0) to drive WX21A3C5D7E9; it runs "
                         "S0614C0",
                     }));
    EXPECT_EQ(second.Nvme().ActiveRevision(), "N0901D2");
    EXPECT_EQ(second.Nvme().state().pending_slot, 0xFF);
    EXPECT_EQ(second.Ata("MS512A0123456789").desc().def, "GM802031");
    EXPECT_EQ(second.sim->hardware().storage.disks[5].revision, "N0901D2") << "the descriptor follows";
    EXPECT_EQ(second.BootExecute(), "autocheck autochk *\0\0"s);
    // A second restart finds nothing left to do.
    EXPECT_EQ(RestartMachine(second.sim->hardware(), second.sim->system()), std::vector<std::string>{});
}

TEST(SimRestart, MachineFileRefusesBadPendingImages) {
    const struct {
        const char* disk;
        const char* error;
    } cases[] = {
        {R"("drive": {"firmware": {"pending": {"def": "X"}}})", "disks[0].drive.firmware.pending.revision: needed"},
        {R"("drive": {"firmware": {"pending": {"revision": "123456789"}}})",
         "disks[0].drive.firmware.pending.revision: longer than 8 characters"},
        {R"("drive": {"firmware": {"pending": {"revision": "A", "when": 1}}})",
         "disks[0].drive.firmware.pending.when: unknown field"},
        {R"("nvme": {"slots": [{"staged_revision": 7}]})", "disks[0].nvme.slots[0].staged_revision: expected a string"},
    };
    for (const auto& c : cases) {
        SimMachine m;
        std::string error;
        const std::string text = R"({"disks": [{"instance_id": "X\\1", "controller": "ACPI\\PNP0A08\\0", )" +
                                 std::string(c.disk) + "}]}";
        EXPECT_FALSE(LoadMachine(text, m, error)) << c.disk;
        EXPECT_EQ(error, c.error) << c.disk;
    }
}

}  // namespace
}  // namespace orvane::platform::sim
