// Whole update runs with faults injected into the simulated drives: what each run reports, and
// what the drive holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "package/package_layout.h"
#include "scenario/result_check.h"
#include "scenario/scenario_rig.h"
#include "scenario/truth_check.h"
#include "ui/console/user_actions.h"

namespace orvane::testing::scenario {
namespace {

namespace digit = package::digit;
using Strings = std::vector<std::string>;

std::string Ret(const char* code) {
    return std::string("ATACMD_RET: ") + code + "       //0=OK, 1=ERR, 2=TIMEOUT, 0xFE=FAIL, 0xFF=SYS NOT SUPPORT";
}

constexpr const char* kFinished = "Flash finished !";
constexpr const char* kLatest = "This drive is the latest firmware.";
constexpr const char* kRefusedTransport =
    "this connection cannot carry a firmware download; connect the drive to a SATA port";
constexpr const char* kBootGuard =
    "Because this tool contains erase function and the SSD you selected is primary boot drive.\nOrvane "
    "recommends that you back up your data before flashing and let your SSD be as a secondary drive.";
constexpr const char* kFatal = "Fatal error is found, please return this drive to the vendor !";
constexpr const char* kPowerDenied = "Firmware is updating, all power change events are denied !";
constexpr const char* kAtaErr = "ERROR: ATACMD_ERR, STATUS_REGISTER:0x51";
constexpr const char* kTimeoutText = "There is something wrong, please check your drive !";
constexpr const char* kOtherSerial = "MS512A9999999999";
constexpr const char* kOpenFailed =
    "the drive could not be opened for the update; check its connection and run the program again";
// Our own wording: the issue asks for a failure that says so, not for a text.
constexpr const char* kNotFoundAgain =
    "the drive was not found again after the update; check it after restarting the computer";

// The target drive with these changes to its "drive" object (a JSON merge patch).
json Target(const char* drive_patch = "{}") {
    json d = SataDisk(0, kSerial);
    d["drive"].merge_patch(json::parse(drive_patch));
    return Machine({d});
}

json Usb(const char* bridge, const char* drive_patch = "{}") {
    json d = UsbDisk(bridge, kSerial);
    d["drive"].merge_patch(json::parse(drive_patch));
    return Machine({d});
}

json Nvme(const char* nvme_patch = "{}") {
    json d = NvmeDisk();
    d["nvme"].merge_patch(json::parse(nvme_patch));
    return Machine({d});
}

// The preformat's second command (FFh/FDh) fails; the scan's three DEF-page reads use the same
// command and pass, and so do the re-find's three.
constexpr const char* kPreformatFails = R"({"faults": [{"command": 255, "features": 253, "effect": "error", "skip": 3}]})";
constexpr const char* kPreformatFailsAfterRefind =
    R"({"faults": [{"command": 255, "features": 253, "effect": "error", "skip": 6}]})";

void NothingSent(const Outcome& o, const std::string& name) {
    auto d = FindDrive(o.drives, kSerial);
    ASSERT_TRUE(d) << name;
    EXPECT_EQ(Sent(*d, kDownloadMicrocode), 0) << name << ": no chunk may reach the drive";
}

// Three drives on the AHCI controller; the second errors on every download command.
json ThreeDrives(bool second_fails) {
    json b = SataDisk(1, "MS512B0000000002");
    if (second_fails) b["drive"]["faults"] = json::parse(R"([{"command": 146, "effect": "error"}])");
    return Machine({SataDisk(0, "MS512A0000000001"), b, SataDisk(2, "MS512C0000000003")});
}

// Two drives on the AHCI controller, the first with these changes to its "drive" object.
json TwoDrives(const char* first_patch = "{}", const char* second_patch = "{}") {
    json a = SataDisk(0, "MS512A0000000001");
    json b = SataDisk(1, "MS512B0000000002");
    a["drive"].merge_patch(json::parse(first_patch));
    b["drive"].merge_patch(json::parse(second_patch));
    return Machine({a, b});
}

// The NVMe drive first, answering its activation with 20h (the new firmware runs after a
// restart), then a SATA drive.
json NvmeThenSata() {
    json n = NvmeDisk();
    n["nvme"]["activate_status"] = 32;
    json sata = SataDisk(1, kSerial);
    sata["scsi_address"]["port"] = 5;  // listed after the NVMe drive's port 4
    return Machine({n, sata});
}

// No download command reached this drive.
std::function<void(const Outcome&, const std::string&)> Untouched(const char* serial) {
    return [serial](const Outcome& o, const std::string& n) {
        auto d = FindDrive(o.drives, serial);
        ASSERT_TRUE(d) << n;
        EXPECT_EQ(Sent(*d, kDownloadMicrocode), 0) << n << ": " << serial << " was written to";
        EXPECT_EQ(d->committed, 0) << n;
        EXPECT_EQ(d->preformats, 0) << n;
    };
}

constexpr const char* kRebootQuestion =
    "Reboot Confirmation:\nThe drive will not properly function until you shut down and reboot the system. If you "
    "continue to reboot the system now, press Yes button. Or if you do not reboot now but manually do later, press "
    "No button.\n";

std::function<void(Package&)> Opt(std::vector<std::pair<int, char>> digits) {
    return [digits](Package& p) { p.digits.insert(p.digits.end(), digits.begin(), digits.end()); };
}

void NvmePackage(Package& p) {
    p.image = NvmeImage(10000, kNvmeNewFw);
    p.new_fw = kNvmeNewFw;
}

// Where a failed download leaves the bar depends on how much simulated time its retries took,
// which real time stretches on a busy machine; what the logic decides does not: each tick is of
// the download's phase (76 at most) or of the failure's wait after it (86 at most), never of
// the phases of a finished update, and the stop leaves the bar where the last tick put it.
void ExpectBarStoppedInTheDownload(const Outcome& o, const std::string& n) {
    int last_phase = 0, last_position = -1;
    for (const std::string& tick : o.label8_history) {
        int phase = 0, position = 0;
        unsigned interval = 0;
        if (std::sscanf(tick.c_str(), "%d | %u | %d", &phase, &interval, &position) != 3) continue;
        EXPECT_TRUE(phase == 1 || phase == 2) << n << ": a tick of phase " << phase << " (" << tick << ")";
        EXPECT_GE(phase, last_phase) << n << ": the phase went back (" << tick << ")";
        EXPECT_LE(position, phase == 1 ? 76 : 86) << n << ": past the phase's ceiling (" << tick << ")";
        last_phase = phase;
        last_position = position;
    }
    ASSERT_GE(last_position, 0) << n << ": the bar never moved";
    EXPECT_EQ(o.progress.back(), last_position) << n << ": the bar moved after its stop";
}

// The machine's power as GetSystemPowerStatus reports it.
std::function<void(platform::sim::SimMachine&)> Power(uint8_t ac_line, uint8_t battery_flag, uint8_t percent) {
    return [=](platform::sim::SimMachine& m) { m.system.power = {ac_line, battery_flag, percent}; };
}
constexpr const char* kLowBattery24 =
    "The battery is at 24 % and the charger is unplugged. A firmware update that is cut off by a flat battery can "
    "leave the drive unusable. Plug the charger in and start the update again. Nothing was sent to the drive.";
constexpr const char* kCriticalBattery =
    "The battery is reported critical and the charger is not plugged in. A firmware update that is cut off by a "
    "flat battery can leave the drive unusable. Plug the charger in and start the update again. Nothing was sent "
    "to the drive.";

// The simulated target disk as a question names it after its model and serial.
constexpr const char* kEraseDiskFacts = ", 512.1 GB, drive letters E: G:";

bool HasViewLine(const Outcome& o, const std::string& line) {
    return std::find(o.view_lines.begin(), o.view_lines.end(), line) != o.view_lines.end();
}

struct Row {
    const char* name;
    json machine = Target();
    std::function<void(platform::sim::SimMachine&)> edit = nullptr;
    std::function<void(Package&)> package = nullptr;
    Strings args = {};
    std::string actions = "press:Update";
    Strings answers = {};  // the boxes' answers, in order; then Yes/OK
    size_t file_size = 0;  // the engineering path's file ("{FILE}" in the actions)
    int exit_code = 0;
    std::string status = "";  // the last status shown
    std::string box = "";     // a box the run shows
    std::vector<LogLine> has = {};
    std::vector<LogLine> lacks = {};
    std::string serial = kSerial;
    std::string revision = "";  // the target's revision afterwards
    int committed = -1;         // images the target took
    int pending = -1;
    std::function<void(const Outcome&, const std::string&)> more = nullptr;
};

// A download that went through, the drive came back with the new firmware and was verified.
const std::vector<LogLine> kVerified = {
    "Windows Flash START", "Flash FW START", "BinSize: 0xA000", "max_sector=1", Ret("0x0"),
    "ReBoot:1, AHCI:1, Preformat:0", "SCAN DEVICES", "FIND DEVICES...1",
    "SN0: MS512A0123456789     | MS512A0123456789    ", "FW_CMP_1:(0) S0614C0  | S0614C0 ",
    "FW_CMP_2:(0) AM802031 | AM802031 ", Dated("Start UpdateFW , max_sector=1, bIsNvme=0, fwslot=1, commit action=3"),
    Dated("End of UpdateFW , max_sector=1 "), "ThreadDone ok ", Starts("Flash Total Time : "),
};

std::vector<LogLine> With(std::vector<LogLine> a, const std::vector<LogLine>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<LogLine> Retries(int from, int to) {
    // The chunk size after attempt i fails, from the ladder 1, 1, 64 x6, 8, 7, 4, 1, 64.
    static const int kNext[] = {0, 1, 64, 64, 64, 64, 64, 64, 8, 7, 4, 1, 64, 8};
    std::vector<LogLine> out;
    for (int i = from; i <= to; ++i)
        out.push_back(Dated("retry" + std::to_string(i) + " : max_sector=" + std::to_string(kNext[i]) + " "));
    return out;
}

const Row kRows[] = {
    // --- the download itself
    {.name = "clean update", .exit_code = 0, .box = kFinished, .has = kVerified, .lacks = Retries(1, 1),
     .revision = kNewFw, .committed = 1},
    {.name = "error at chunk 5, the second attempt goes through",
     .machine = Target(R"({"faults": [{"command": 146, "features": 3, "effect": "error", "skip": 4, "times": 1}]})"),
     .box = kFinished, .has = With(kVerified, Retries(1, 1)), .lacks = Retries(2, 2), .revision = kNewFw,
     .committed = 1},
    {.name = "timeout at chunk 3, the second attempt goes through",
     .machine = Target(R"({"faults": [{"command": 146, "features": 3, "effect": "timeout", "skip": 2, "times": 1}]})"),
     .box = kFinished, .has = With(kVerified, Retries(1, 1)), .lacks = Retries(2, 2), .revision = kNewFw,
     .committed = 1},
    {.name = "error at the activating subcommand 7, then through",
     .machine = Target(R"({"faults": [{"command": 146, "features": 7, "effect": "error", "times": 1}]})"),
     .box = kFinished, .has = With(kVerified, Retries(1, 1)), .revision = kNewFw},
    {.name = "chunk limit of 7 sectors: the ladder steps down to 7",
     .machine = Target(R"({"firmware": {"max_chunk_sectors": 7},
                           "faults": [{"command": 146, "effect": "error", "times": 2}]})"),
     .box = kFinished,
     .has = With(Retries(1, 9), {Dated("End of UpdateFW , max_sector=7 "), Ret("0x0"), "FW_CMP_1:(0) S0614C0  | S0614C0 "}),
     .lacks = Retries(10, 10), .revision = kNewFw, .committed = 1},
    {.name = "an error on every attempt: 13 attempts",
     .machine = Target(R"({"faults": [{"command": 146, "effect": "error"}]})"), .exit_code = 1, .status = kAtaErr,
     // ReBoot is set: the drive is looked for again, and found with its old firmware.
     .has = With(Retries(1, 13), {Dated("End of UpdateFW , max_sector=8 "), Ret("0x1"), kAtaErr, "SCAN DEVICES",
                                  "FW_CMP_1:(-1) S0614B0  | S0614C0 "}),
     .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_EQ(CountLines(o, Starts("20")), 15) << n << ": start, 13 retries, end";
     }},
    {.name = "a timeout on every attempt",
     .machine = Target(R"({"faults": [{"command": 146, "effect": "timeout"}]})"), .exit_code = 1,
     .status = kTimeoutText, .has = With(Retries(13, 13), {Ret("0x2"), kTimeoutText}), .revision = kOldFw,
     .committed = 0},
    {.name = "enterprise flow (mode 2)", .machine = Target(R"({"firmware": {"modes": [14, 15]}})"),
     .package = [](Package& p) { p.flash_mode = 2; }, .box = kFinished,
     .has = {"Enterprise flash flow (mode Eh/Fh): Reboot=1, Bootcode=0, iFlashMode=2, max_sector=1",
             "Enterprise (mode Eh) start !", "Enterprise (mode Eh/Fh) Finished !", Ret("0x0")},
     .revision = kNewFw, .committed = 1},
    {.name = "enterprise flow to a drive that knows only modes 3 and 7",
     .machine = Target(R"({"firmware": {"modes": [3, 7]}})"), .package = [](Package& p) { p.flash_mode = 2; },
     .exit_code = 1, .status = kAtaErr, .has = {"Enterprise UpdateBoot (mode Eh) failed !", Ret("0x1")},
     .revision = kOldFw, .committed = 0},
    {.name = "DEF text G... forces the mode-3 download", .machine = Target(R"({"def": "GM802030"})"),
     .package = [](Package& p) { p.fw_ext = "GM802031"; p.image = TaggedImage(40960, kNewFw, "GM802031"); },
     .box = kFinished,
     .has = {"iFlashMode=0,DEF0=GM80203 [1st digit:G]", "CTL - iFlashMode=mode3 (1)",
             "Normal flash (mode3/mode7): Reboot=1, Bootcode=0, iFlashMode=1, max_sector=1", Ret("0x0")},
     .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(Sent(*d, kDownloadMicrocode, 7), 0) << n << ": mode 3 sends no activating subcommand";
         EXPECT_EQ(Sent(*d, kDownloadMicrocode, 3), 80) << n << ": 80 one-sector chunks";
     }},
    {.name = "DEF text of 6 characters keeps mode 0", .machine = Target(R"({"def": "GM8020"})"),
     .box = kFinished, .lacks = {"CTL - iFlashMode=mode3 (1)"}, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(Sent(*d, kDownloadMicrocode, 7), 1) << n;
     }},

    // --- the restart and the re-find
    {.name = "the drive never comes back", .machine = Target(R"({"firmware": {"comes_back": "never"}})"),
     .exit_code = 1, .status = kNotFoundAgain, .has = {Ret("0x0"), "SCAN BUS"}, .lacks = {"FW_CMP_1:(0) S0614C0  | S0614C0 "},
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_EQ(CountLines(o, "SCAN DEVICES"), 3) << n;
         EXPECT_FALSE(HasBox(o, kFinished)) << n;
     }},
    {.name = "the drive comes back with its old firmware",
     .machine = Target(R"({"firmware": {"comes_back": "old"}})"), .exit_code = 1,
     .status = "the drive still reports firmware S0614B0",
     .has = {Ret("0x0"), "the drive still reports firmware S0614B0"}, .revision = kOldFw,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_FALSE(HasBox(o, kFinished)) << n; }},
    {.name = "the drive comes back with another serial number",
     .machine = Target(R"({"firmware": {"comes_back": "other_serial", "other_serial": "MS512A9999999999"}})"),
     .exit_code = 1, .status = kNotFoundAgain, .has = {Ret("0x0"), "SCAN BUS", "SN0: MS512A9999999999     | MS512A0123456789    "},
     .serial = kOtherSerial,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_EQ(CountLines(o, "SCAN DEVICES"), 3) << n;
         EXPECT_FALSE(HasBox(o, kFinished)) << n;
     }},
    {.name = "new revision, other DEF text: success without verification",
     .package = [](Package& p) { p.image = TaggedImage(40960, kNewFw, "AM802099"); }, .box = kFinished,
     .has = {"FW_CMP_1:(0) S0614C0  | S0614C0 "}, .lacks = {"FW_CMP_2:(0) AM802031 | AM802031 "},
     .revision = kNewFw, .committed = 1},
    {.name = "ReBoot off: no re-find, the image waits for the restart",
     .package = Opt({{digit::ReBoot, '0'}}), .box = kFinished, .has = {Ret("0x0"), "ReBoot:0, AHCI:1, Preformat:0"},
     .lacks = {"SCAN DEVICES"}, .revision = kOldFw, .pending = 1},

    // --- transports
    {.name = "SAT bridge carries the download", .machine = Usb("sat"), .box = kFinished, .has = {Ret("0x0")},
     .revision = kNewFw, .committed = 1},
    {.name = "I-O DATA bridge cannot carry a download", .machine = Usb("iodata"), .edit = BridgeVendor("04BB"),
     .exit_code = 1,
     .status = kRefusedTransport, .revision = kOldFw, .committed = 0, .more = NothingSent},
    {.name = "Logitec bridge cannot carry a download", .machine = Usb("logitec"), .edit = BridgeVendor("0789"),
     .exit_code = 1,
     .status = kRefusedTransport, .revision = kOldFw, .committed = 0, .more = NothingSent},
    {.name = "Cypress bridge cannot carry a download", .machine = Usb("cypress"), .edit = BridgeVendor("04B4"),
     .exit_code = 1,
     .status = kRefusedTransport, .revision = kOldFw, .committed = 0, .more = NothingSent},
    {.name = "a bridge that drops sense data: a failing drive stays a failure",
     .machine = Usb("sat", R"({"sense": "fixed", "faults": [{"command": 146, "effect": "error"}]})"),
     .exit_code = 1, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_FALSE(HasBox(o, kFinished)) << n; }},
    {.name = "a bridge that drops sense data: a good download still verifies",
     .machine = Usb("sat", R"({"sense": "fixed"})"), .box = kFinished, .revision = kNewFw, .committed = 1},

    // --- NVMe
    {.name = "NVMe activate 0", .machine = Nvme(), .package = NvmePackage, .actions = "slot:1,press:Update",
     .box = kFinished,
     .has = {"Firmware activate succeeded ", Dated("Start UpdateFW , max_sector=1, bIsNvme=1, fwslot=2, commit action=3")},
     .serial = kNvmeSerial, .revision = kNvmeNewFw},
    {.name = "NVMe activate 0x20: success asking for the restart", .machine = Nvme(R"({"activate_status": 32})"),
     .package = NvmePackage, .actions = "slot:1,press:Update",
     .has = {"Firmware activate succeeded. PLEASE REBOOT COMPUTER "}, .serial = kNvmeSerial, .pending = 1,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_FALSE(o.restarts.empty()) << n << ": the restart was asked for and answered Yes";
     }},
    {.name = "NVMe activate 1", .machine = Nvme(R"({"activate_status": 1})"), .package = NvmePackage,
     .actions = "slot:1,press:Update", .exit_code = 1, .has = {"Firmware activate, error returned "},
     .serial = kNvmeSerial, .revision = kNvmeOldFw},
    {.name = "NVMe activate 2", .machine = Nvme(R"({"activate_status": 2})"), .package = NvmePackage,
     .actions = "slot:1,press:Update", .exit_code = 1,
     .has = {"FirmwareUpgrade - firmware activate parameter error. srbControl->ReturnCode 2"},
     .serial = kNvmeSerial, .revision = kNvmeOldFw},
    {.name = "NVMe activate 6", .machine = Nvme(R"({"activate_status": 6})"), .package = NvmePackage,
     .actions = "slot:1,press:Update", .exit_code = 1, .has = {"Firmware activate, slot number invalid "}, .serial = kNvmeSerial,
     .revision = kNvmeOldFw},
    {.name = "NVMe activate 7", .machine = Nvme(R"({"activate_status": 7})"), .package = NvmePackage,
     .actions = "slot:1,press:Update", .exit_code = 1, .has = {"Firmware activate, invalid firmware image "},
     .serial = kNvmeSerial, .revision = kNvmeOldFw},
    {.name = "NVMe activate, another code", .machine = Nvme(R"({"activate_status": 153})"),
     .package = NvmePackage, .actions = "slot:1,press:Update", .exit_code = 1,
     .has = {"Firmware activate, unexpected error. srbControl->ReturnCode 153"}, .serial = kNvmeSerial,
     .revision = kNvmeOldFw},
    {.name = "NVMe without a writable slot", .machine = Nvme(R"({"upgrade_support": false})"),
     .package = NvmePackage, .actions = "slot:1,press:Update", .exit_code = 1,
     .has = {"No writable firmware slot "}, .serial = kNvmeSerial, .revision = kNvmeOldFw,
     .more = [](const Outcome& o, const std::string& n) {
         ASSERT_FALSE(o.statuses.empty()) << n;
         EXPECT_EQ(o.statuses.back().rfind("ERROR: ATACMD_FAIL, ERROR_CODE: 0x", 0), 0u) << n;
     }},
    {.name = "NVMe on Windows 7", .machine = Nvme(),
     .edit = [](platform::sim::SimMachine& m) {
         m.system.version.dwMajorVersion = 6;
         m.system.version.dwMinorVersion = 1;
         m.system.version.dwBuildNumber = 7601;
     },
     .package = NvmePackage, .actions = "slot:1,press:Update", .exit_code = 7, .serial = kNvmeSerial,
     .revision = kNvmeOldFw,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_TRUE(HasBoxStarting(o, "Windows8.1 / Server2012R2 above is required for NVMe device (ERR:")) << n;
     }},

    // --- checks before the download
    {.name = "fatal-error state", .machine = Target(R"({"def": "KT715131", "fatal": true})"), .exit_code = 1,
     .box = kFatal, .revision = kOldFw, .committed = 0},
    {.name = "boot-drive guard",
     .edit = [](platform::sim::SimMachine& m) {
         m.storage.disks[0].partitions = {platform::sim::SimPartition{7, 'C', 511946612736ULL, false}};
     },
     .package = Opt({{digit::Preformat, '1'}}), .exit_code = 3, .box = kBootGuard, .revision = kOldFw,
     .committed = 0},
    {.name = "latest: bNFlashAuto and the same revision", .machine = Target(R"({"revision": "S0614C0"})"),
     .package = Opt({{digit::bNFlashAuto, '1'}}), .status = kLatest,
     .has = {"FW compare size: 7", "bUseFWExt=false,This drive is the latest firmware"}, .committed = 0},
    {.name = "latest: bFOld clear and a newer drive", .machine = Target(R"({"revision": "S0614D0"})"),
     .status = kLatest, .has = {"bUseFWExt=false,This drive is the latest firmware"}, .revision = "S0614D0",
     .committed = 0},
    {.name = "bFOld set: a newer drive is taken back", .machine = Target(R"({"revision": "S0614D0"})"),
     .package = Opt({{digit::bFOld, '1'}}), .box = kFinished, .lacks = {"bUseFWExt=false,This drive is the latest firmware"},
     .revision = kNewFw, .committed = 1},
    {.name = "latest: bUseFWExt and the same DEF text", .machine = Target(R"({"def": "AM802031"})"),
     .package = Opt({{digit::bUseFWExt, '1'}, {digit::bNFlashAuto, '1'}}), .status = kLatest,
     .has = {"bUseFWExt=true,This drive is the latest firmware"}, .committed = 0},

    // --- preformat and erase
    {.name = "preformat before", .package = Opt({{digit::bBPreformat, '1'}}), .box = kFinished,
     .has = {"B_Preformat START", Dated("Preformat ...")}, .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(d->preformats, 1) << n;
     }},
    {.name = "preformat before fails: nothing is sent", .machine = Target(kPreformatFails), .package = Opt({{digit::bBPreformat, '1'}}),
     .exit_code = 1, .has = {Starts("BPF_ERROR:0x")}, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(Sent(*d, kDownloadMicrocode), 0) << n;
     }},
    {.name = "preformat after", .package = Opt({{digit::Preformat, '1'}}), .box = kFinished,
     .has = {"ReBoot:1, AHCI:1, Preformat:1"}, .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(d->preformats, 1) << n;
     }},
    {.name = "preformat after fails", .machine = Target(kPreformatFailsAfterRefind),
     .package = Opt({{digit::Preformat, '1'}}), .exit_code = 1, .has = {Starts("APF_ERROR:0x")},
     .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_FALSE(HasBox(o, kFinished)) << n; }},
    {.name = "PATA drive: its own preformat", .machine = Target(R"({"firmware": {"pata": true}})"),
     .package = Opt({{digit::Preformat, '1'}}), .box = kFinished, .has = {Dated("PATA drive detected. "), Dated("PATA_Preformat")},
     .revision = kNewFw, .committed = 1},
    {.name = "erase", .args = {"/S", "/ERASE"}, .exit_code = 0, .status = "Erasing ...",
     .has = {"EraseAll START"}, .lacks = {"Flash FW START"}, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(d->preformats, 1) << n;
         EXPECT_FALSE(o.ever_shown) << n;
     }},
    {.name = "erase fails", .machine = Target(kPreformatFails),
     .args = {"/S", "/ERASE"}, .exit_code = 1, .has = {"EraseAll START", Starts("ERASE_ERROR:0x")},
     .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         ASSERT_FALSE(o.statuses.empty()) << n;
         EXPECT_EQ(o.statuses.back().rfind("ERASE ERROR:0x", 0), 0u) << n;
     }},

    // --- the battery: a laptop that may die halfway is refused before anything reaches the drive
    {.name = "on battery at 24 %: refused, nothing sent", .edit = Power(0, 0, 24), .exit_code = 11,
     .box = kLowBattery24, .has = {"POWER_REFUSED: AC=0 FLAG=0 PERCENT=24"}, .lacks = {"Windows Flash START"},
     .revision = kOldFw, .committed = 0, .more = NothingSent},
    {.name = "on battery at 25 %: updated", .edit = Power(0, 0, 25), .box = kFinished,
     .has = {"POWER: AC=0 FLAG=0 PERCENT=25"}, .revision = kNewFw, .committed = 1},
    {.name = "charger plugged in at 5 %: updated", .edit = Power(1, 2 | 8, 5), .box = kFinished,
     .revision = kNewFw, .committed = 1},
    {.name = "critical battery, charger state unknown: refused", .edit = Power(255, 4, 255), .exit_code = 11,
     .box = kCriticalBattery, .has = {"POWER_REFUSED: AC=255 FLAG=4 PERCENT=255"}, .revision = kOldFw,
     .committed = 0, .more = NothingSent},
    {.name = "unknown charge on battery: updated", .edit = Power(0, 255, 255), .box = kFinished,
     .revision = kNewFw, .committed = 1},
    {.name = "low battery: no preformat either", .edit = Power(0, 1, 10), .package = Opt({{digit::bBPreformat, '1'}}),
     .exit_code = 11, .lacks = {"B_Preformat START"}, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(d->preformats, 0) << n;
     }},
    {.name = "low battery: no erase, and no box with /S", .edit = Power(0, 1, 10), .args = {"/S", "/ERASE"},
     .exit_code = 11, .has = {"POWER_REFUSED: AC=0 FLAG=1 PERCENT=10"}, .lacks = {"EraseAll START"},
     .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(d->preformats, 0) << n;
         EXPECT_TRUE(o.boxes.empty()) << n;
     }},

    // --- what the user who watches is asked and told
    {.name = "erase in the window: the disk is named, No is the default", .machine = [] {
         json d = SataDisk(0, kSerial);
         d["partitions"] = json::parse(R"([{"type": 7, "letter": "E", "size": 256000000000},
                                           {"type": 7, "letter": "G", "size": 256000000000}])");
         return Machine({d});
     }(), .args = {"/ERASE"}, .exit_code = 1,
     .has = {"ERASE: not confirmed"}, .lacks = {"EraseAll START"}, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         ASSERT_EQ(o.boxes.size(), 1u) << n << ": the question only, no box after it";
         EXPECT_EQ(o.boxes[0].caption, "Erase drive") << n;
         EXPECT_TRUE(o.boxes[0].default_no) << n;
         EXPECT_EQ(o.boxes[0].text, std::string("All data on this disk will be destroyed and cannot be recovered:\n\n") +
                                        kModel + ", serial " + kSerial + kEraseDiskFacts + "\n\nErase it now?") << n;
         EXPECT_EQ(FindDrive(o.drives, kSerial)->preformats, 0) << n;
         EXPECT_TRUE(HasViewLine(o, "[label] cmdUpdate: Erase")) << n;
         EXPECT_TRUE(HasViewLine(o, "[label] lblUpdateMsg: All data on this drive will be erased")) << n;
         EXPECT_TRUE(HasViewLine(o, "[hide] lblNewFW")) << n;
     }},
    {.name = "erase in the window, confirmed", .args = {"/ERASE"}, .answers = {"yes"}, .status = "Erasing ...",
     .has = {"ERASE: confirmed", "EraseAll START"}, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_EQ(FindDrive(o.drives, kSerial)->preformats, 1) << n; }},
    {.name = "a failed download in the window says so before the window goes",
     .machine = Target(R"({"faults": [{"command": 146, "effect": "error"}]})"), .exit_code = 1,
     .has = {Ret("0x1")}, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         ASSERT_FALSE(o.boxes.empty()) << n;
         const app::BoxRequest& b = o.boxes.back();
         EXPECT_EQ(b.caption, "Firmware update failed") << n;
         EXPECT_EQ(b.text.rfind(std::string(kModel) + " (" + kSerial + "):\n" + kAtaErr +
                                    "\n\nThe drive's state is unknown. Do not turn the computer off or disconnect "
                                    "the drive. Run the update again; if it fails again, contact the drive's vendor."
                                    "\n\nThe log: ", 0), 0u) << n << ": " << b.text;
         EXPECT_NE(b.text.find("ORVANE_DEBUG.txt"), std::string::npos) << n << ": the log's path";
     }},
    {.name = "a refusal in the window says the drive is unchanged",
     .package = [](Package& p) { p.image.assign(40960, 0); }, .exit_code = 1, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         ASSERT_EQ(o.boxes.size(), 1u) << n;
         EXPECT_EQ(o.boxes[0].caption, "Firmware not updated") << n;
         EXPECT_NE(o.boxes[0].text.find("holds no firmware (all of its 40960 bytes are 0x00): nothing was sent\n\n"
                                        "Nothing was sent to the drive: it is unchanged.\n\nThe log: "),
                   std::string::npos) << n << ": " << o.boxes[0].text;
     }},
    {.name = "a failure with /S shows no box",
     .machine = Target(R"({"faults": [{"command": 146, "effect": "error"}]})"), .args = {"/S"}, .actions = "",
     .exit_code = 1, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_TRUE(o.boxes.empty()) << n; }},
    {.name = "NVMe: the read-only slot is marked and the first writable one chosen", .machine = Nvme(),
     .package = NvmePackage, .box = kFinished,
     .has = {Dated("Start UpdateFW , max_sector=1, bIsNvme=1, fwslot=2, commit action=3")},
     .lacks = {Dated("Firmware slot 1 is read only, use slot 2 ")}, .serial = kNvmeSerial, .revision = kNvmeNewFw,
     .more = [](const Outcome& o, const std::string& n) {
         for (const char* line : {"[label] lblFwSlot: Firmware slot", "[label] lblCommitAction: Activation",
                                  "[items] cboFwSlot: \"1 (read-only)\" \"2\"", "[select] cboFwSlot: 1",
                                  "[select] cboCommitAction: 3"})
             EXPECT_TRUE(HasViewLine(o, line)) << n << ": no " << line;
     }},
    {.name = "unattended: the bar is full before the restart question",
     .package = Opt({{digit::bUnattended, '1'}, {digit::bAskReboot, '1'}}), .args = {"/T:\\\\.\\PhysicalDrive0"},
     .actions = "", .answers = {"no"}, .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         std::string last_progress;
         for (const std::string& l : o.view_lines) {
             if (l.rfind("[progress] ", 0) == 0) last_progress = l;
             if (l.find("Reboot Confirmation") != std::string::npos) break;
         }
         EXPECT_EQ(last_progress, "[progress] 100") << n;
     }},

    // --- the window and the system around the update
    {.name = "a power query during the download is refused", .actions = "press:Update,power:query-suspend",
     .box = kPowerDenied, .has = kVerified, .revision = kNewFw, .committed = 1},
    {.name = "closing the window during the download is refused", .actions = "press:Update,close",
     .box = kFinished, .has = kVerified, .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         ASSERT_GE(o.boxes.size(), 2u) << n << ": a refusal before the end";
         EXPECT_NE(o.boxes.front().text, kFinished) << n;
     }},
    {.name = "the debug log cannot be written",
     .edit = [](platform::sim::SimMachine& m) {
         std::filesystem::create_directories(std::filesystem::path(m.system.temp_dir) / "ORVANE_DEBUG.txt");
     },
     .box = kFinished, .revision = kNewFw, .committed = 1},
    {.name = "/S success ends without a window", .args = {"/S"}, .actions = "", .status = "Done !",
     .has = kVerified, .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_FALSE(o.ever_shown) << n; }},
    {.name = "/S failure ends without a window",
     .machine = Target(R"({"faults": [{"command": 146, "effect": "error"}]})"), .args = {"/S"}, .actions = "",
     .exit_code = 1, .status = kAtaErr, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_FALSE(o.ever_shown) << n; }},
    {.name = "/S without administrator rights runs no update",
     .edit = [](platform::sim::SimMachine& m) { m.system.admin = platform::AdminCheck::NotMember; },
     .args = {"/S"}, .actions = "", .exit_code = 1, .lacks = {"Windows Flash START"}, .revision = kOldFw,
     .committed = 0},
    {.name = "/S with the restart question: restarted after the log is complete",
     .package = Opt({{digit::bAskReboot, '1'}}), .args = {"/S"}, .actions = "", .status = "Done !",
     .has = {Starts("Flash Total Time : "), "EXIT_ERROR: 0x0"}, .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_EQ(o.restarts.size(), 1u) << n; }},

    // --- unattended
    {.name = "unattended success: the bar reaches 100", .package = Opt({{digit::bUnattended, '1'}}),
     .args = {"/T:\\\\.\\PhysicalDrive0"}, .actions = "", .has = {"FormShow: 1", Ret("0x0")},
     .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         ASSERT_FALSE(o.progress.empty()) << n;
         EXPECT_EQ(o.progress.back(), 100) << n;
         for (size_t i = 1; i < o.progress.size(); ++i) EXPECT_GE(o.progress[i], o.progress[i - 1]) << n;
     }},
    {.name = "unattended failure: STOP UPDATE",
     .machine = Target(R"({"faults": [{"command": 146, "effect": "error"}]})"),
     .package = Opt({{digit::bUnattended, '1'}}), .args = {"/T:\\\\.\\PhysicalDrive0"}, .actions = "",
     .exit_code = 1, .has = {Ret("0x1")}, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_EQ(o.label8, "STOP UPDATE: 1") << n;
         ASSERT_FALSE(o.progress.empty()) << n;
         ExpectBarStoppedInTheDownload(o, n);
     }},

    // --- the automatic walk
    {.name = "automatic walk, the second of three fails", .machine = ThreeDrives(true),
     .package = Opt({{digit::bAutoFlashAll, '1'}}), .actions = "", .exit_code = 1, .status = "1 of 3 drives failed",
     .has = {"INDEX: 0, NEXT: 1", "INDEX: 1, NEXT: 1", "INDEX: 2, NEXT: 0", Ret("0x1"), "1 of 3 drives failed"},
     .serial = "MS512C0000000003", .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_TRUE(HasStatus(o, "Next")) << n;
         EXPECT_TRUE(HasStatus(o, kAtaErr)) << n;
         auto first = FindDrive(o.drives, "MS512A0000000001");
         auto second = FindDrive(o.drives, "MS512B0000000002");
         ASSERT_TRUE(first && second) << n;
         EXPECT_EQ(first->committed, 1) << n;
         EXPECT_EQ(second->committed, 0) << n;
         EXPECT_EQ(second->revision, kOldFw) << n;
     }},
    {.name = "automatic walk, all three succeed", .machine = ThreeDrives(false),
     .package = Opt({{digit::bAutoFlashAll, '1'}}), .actions = "", .box = kFinished,
     .has = {"INDEX: 0, NEXT: 1", "INDEX: 1, NEXT: 1", "INDEX: 2, NEXT: 0"}, .serial = "MS512C0000000003",
     .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         int next = 0;
         for (const auto& s : o.statuses) next += s == "Next";
         EXPECT_EQ(next, 2) << n;
         for (const char* serial : {"MS512A0000000001", "MS512B0000000002", "MS512C0000000003"}) {
             auto d = FindDrive(o.drives, serial);
             ASSERT_TRUE(d) << n << ": " << serial;
             EXPECT_EQ(d->committed, 1) << n << ": " << serial;
         }
     }},

    // --- the update owns its drive: events during it cannot change the target
    {.name = "a selection during the update does not change its drive", .machine = TwoDrives(),
     .actions = "select:0,press:Update,select:1,wait:3000,select:1", .box = kFinished,
     .has = {"SN0: MS512A0000000001     | MS512A0000000001    "}, .serial = "MS512A0000000001", .revision = kNewFw,
     .committed = 1, .more = Untouched("MS512B0000000002")},
    {.name = "forged events during the update are refused", .machine = TwoDrives(),
     .actions = "select:0,press:Update,wait:100,!select:1,!press:Update,!press:Update+Ctrl+Shift+K,timer:Timer1,"
                "timer:tmrAutoFlash,!press:Close",
     .box = kFinished,
     .has = {"cboDrivesChange: refused, an update is running", "cmdUpdateClick: refused, an update is running",
             "Timer1Timer: refused, an update is running", "tmrAutoFlashTimer: refused, an update is running",
             "cmdCloseClick: refused, an update is running"},
     .serial = "MS512A0000000001", .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_EQ(CountLines(o, "cmdUpdateClick: refused, an update is running"), 2) << n << ": the click and the chord";
         EXPECT_EQ(CountLines(o, "iVisualStyle:0, iFlashMode:0, bNFlashAuto:0, bFOld:0, iFlashMode:0"), 1) << n;
         Untouched("MS512B0000000002")(o, n);
     }},
    {.name = "a press before the walk starts runs no update of its own", .machine = TwoDrives(),
     .package = Opt({{digit::bAutoFlashAll, '1'}}), .actions = "select:0,press:Update", .box = kFinished,
     .has = {"INDEX: 0, NEXT: 1", "INDEX: 1, NEXT: 0"}, .serial = "MS512B0000000002", .revision = kNewFw,
     .committed = 1,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_EQ(CountLines(o, "Windows Flash START"), 2) << n << ": one update per drive";
         for (const char* serial : {"MS512A0000000001", "MS512B0000000002"}) {
             auto d = FindDrive(o.drives, serial);
             ASSERT_TRUE(d) << n;
             EXPECT_EQ(d->committed, 1) << n << ": " << serial;
         }
     }},

    // --- every outcome matches the drive
    {.name = "walk: a drive before the last comes back with its old firmware",
     .machine = TwoDrives(R"({"firmware": {"comes_back": "old"}})"), .package = Opt({{digit::bAutoFlashAll, '1'}}),
     .actions = "", .exit_code = 1, .status = "1 of 2 drives failed",
     .has = {"WALK_VERIFY: MS512A0000000001 | failed: the drive still reports firmware S0614B0"},
     .serial = "MS512B0000000002", .revision = kNewFw, .committed = 1},
    {.name = "walk: a drive before the last does not come back",
     .machine = TwoDrives(R"({"firmware": {"comes_back": "never"}})"), .package = Opt({{digit::bAutoFlashAll, '1'}}),
     .actions = "", .exit_code = 1, .status = "1 of 2 drives failed",
     .has = {"WALK_VERIFY: MS512A0000000001 | not found again"}, .serial = "MS512B0000000002", .revision = kNewFw,
     .committed = 1},
    {.name = "walk: the last drive fails before its download, the first is still verified",
     .machine = TwoDrives("{}", R"({"def": "KT715131", "fatal": true})"), .package = Opt({{digit::bAutoFlashAll, '1'}}),
     .actions = "", .exit_code = 1, .box = kFatal,
     .has = {"SCAN DEVICES", "WALK_VERIFY: MS512A0000000001 | updated"}, .serial = "MS512A0000000001",
     .revision = kNewFw, .committed = 1},
    {.name = "walk: an NVMe drive that activates at the restart asks for it at the walk's end",
     .machine = NvmeThenSata(),
     .package = Opt({{digit::bAutoFlashAll, '1'}}), .actions = "", .box = kRebootQuestion,
     .has = {"Firmware activate succeeded. PLEASE REBOOT COMPUTER "}, .revision = kNewFw, .committed = 1,
     .more = [](const Outcome& o, const std::string& n) { EXPECT_EQ(o.restarts.size(), 1u) << n; }},
    {.name = "an error at every activation, yet the drive runs the new firmware: found and verified",
     .machine = Target(R"({"faults": [{"command": 146, "features": 7, "effect": "error"}]})"), .box = kFinished,
     .has = {Ret("0x1"), "SCAN DEVICES", "FW_CMP_2:(0) AM802031 | AM802031 "}, .revision = kNewFw},
    {.name = "a transport refusal comes before the preformat", .machine = Usb("iodata"), .edit = BridgeVendor("04BB"),
     .package = Opt({{digit::bBPreformat, '1'}}), .exit_code = 1, .status = kRefusedTransport,
     .lacks = {"B_Preformat START"}, .revision = kOldFw, .committed = 0, .more = Untouched(kSerial)},
    {.name = "/T: lists its drive once in the result file", .machine = ThreeDrives(false),
     .package = Opt({{digit::bUnattended, '1'}}), .args = {"/T:\\\\.\\PhysicalDrive0"}, .actions = "",
     .serial = "MS512A0000000001", .revision = kNewFw, .committed = 1},
    {.name = "a declined warning updates nothing and says so", .package = [](Package& p) { p.visual_style = 4; },
     .actions = "", .answers = {"no"}, .exit_code = 0, .has = {"WARNING: declined by the user; nothing was updated"},
     .lacks = {"Windows Flash START"}, .revision = kOldFw, .committed = 0},
    {.name = "the build's placeholder image is never sent",
     .package = [](Package& p) { p.image.assign(40960, 0); }, .exit_code = 1,
     .status = "the firmware image of slot 0 holds no firmware (all of its 40960 bytes are 0x00): nothing was sent",
     .revision = kOldFw, .committed = 0, .more = Untouched(kSerial)},
    {.name = "an activation answered 7Fh without a restart to check it is retried",
     .machine = Target(R"({"faults": [{"command": 146, "features": 7, "effect": "status_7f", "times": 1}]})"),
     .package = Opt({{digit::ReBoot, '0'}}), .box = kFinished, .has = With(Retries(1, 1), {Ret("0x0")}),
     .lacks = Retries(2, 2)},
    {.name = "a drive that cannot be opened when selected is refused as such", .machine = [] {
         json d = SataDisk(0, kSerial);
         d["vanish"] = {{"after_opens", 3}};  // the scan's three opens, then none
         return Machine({d});
     }(),
     .exit_code = 1, .status = kOpenFailed, .revision = kOldFw, .committed = 0, .more = Untouched(kSerial)},
    {.name = "a DEF text of seven characters writes no NUL into the log", .machine = Nvme(), .package = NvmePackage,
     .actions = "slot:1,press:Update", .box = kFinished, .has = {"iFlashMode=0,DEF=N0812C1 [1st digit:N]"},
     .serial = kNvmeSerial, .revision = kNvmeNewFw,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_EQ(o.log.find('\0'), std::string::npos) << n;
     }},

    // --- the engineering path
    {.name = "engineering path: Flash OK!", .actions = "press:Update+Ctrl+Shift+K,file:{FILE}",
     .file_size = 40960, .box = "Flash OK!", .has = {Starts("Flash Total Time : ")}, .lacks = {"Windows Flash START"}},
    {.name = "engineering path: Flash Failed!",
     .machine = Target(R"({"faults": [{"command": 146, "effect": "error"}]})"),
     .actions = "press:Update+Ctrl+Shift+K,file:{FILE}", .file_size = 40960, .exit_code = 1, .box = "Flash Failed!",
     .revision = kOldFw, .committed = 0},
    {.name = "engineering path: a file above the buffer is refused",
     .actions = "press:Update+Ctrl+Shift+K,file:{FILE}", .file_size = 524289, .exit_code = 1, .revision = kOldFw, .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(Sent(*d, kDownloadMicrocode), 0) << n;
         EXPECT_EQ(o.boxes.size(), 1u) << n << ": the refusal";
     }},
    {.name = "engineering path: cancelled", .actions = "press:Update+Ctrl+Shift+F9,cancel", .revision = kOldFw,
     .committed = 0,
     .more = [](const Outcome& o, const std::string& n) {
         EXPECT_TRUE(o.boxes.empty()) << n;
         auto d = FindDrive(o.drives, kSerial);
         ASSERT_TRUE(d) << n;
         EXPECT_EQ(Sent(*d, kDownloadMicrocode), 0) << n;
     }},
};

// A failing row names itself, not its bytes.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class UpdateScenario : public ::testing::TestWithParam<Row> {};

TEST_P(UpdateScenario, Run) {
    const Row& row = GetParam();
    const std::string name = row.name;
    AppRun run([&](platform::sim::SimMachine& m) {
        LoadScenarioMachine(m, row.machine);
        if (row.edit) row.edit(m);
    });
    Package p;
    if (row.package) row.package(p);
    WritePackage(p, run.package);
    run.args = row.args;
    run.answers = row.answers;
    std::string result_path;
    run.args.push_back(ResultArgumentFor(run, result_path));

    std::string actions = row.actions;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("orvane-scenario-" + std::to_string(::getpid()) + ".bin");
    if (row.file_size) {
        std::vector<uint8_t> image = TaggedImage(row.file_size, kNewFw, kNewDef);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
        actions.replace(actions.find("{FILE}"), 6, file.string());
    }
    if (!actions.empty()) {
        std::string error;
        ASSERT_TRUE(ui::ParseActions(actions, run.actions, error)) << name << ": " << error;
    }

    const Outcome o = Capture(run, run.Run());
    std::filesystem::remove(file);
    const json result = ReadResultFile(result_path);

    EXPECT_EQ(o.exit_code, row.exit_code) << name;
    if (!row.status.empty()) {
        ASSERT_FALSE(o.statuses.empty()) << name << ": no status shown";
        EXPECT_EQ(o.statuses.back(), row.status) << name;
    }
    if (!row.box.empty()) {
        EXPECT_TRUE(HasBox(o, row.box)) << name << ": no box \"" << row.box << "\"";
    }
    for (const LogLine& l : row.has) EXPECT_TRUE(HasLine(o, l)) << name << ": the log lacks \"" << l.text << "\"";
    for (const LogLine& l : row.lacks) EXPECT_FALSE(HasLine(o, l)) << name << ": the log has \"" << l.text << "\"";
    const std::optional<DriveState> d = FindDrive(o.drives, row.serial);
    if (!row.revision.empty() || row.committed >= 0 || row.pending >= 0) {
        ASSERT_TRUE(d) << name << ": no drive " << row.serial;
        if (!row.revision.empty()) {
            EXPECT_EQ(d->revision, row.revision) << name;
        }
        if (row.committed >= 0) {
            EXPECT_EQ(d->committed, row.committed) << name;
        }
        if (row.pending >= 0) {
            EXPECT_EQ(d->pending, row.pending == 1) << name;
        }
    }
    if (row.more) row.more(o, name);
    ExpectReleasedKeepAwake(o, name);
    ExpectTruth(o, result, PackageFacts{p.new_fw}, name);
    ExpectSoundDocument(result, o, name);
    if (const auto* want = ExpectedResultOf(name))
        ExpectDrives(result, *want, name);
    else
        ADD_FAILURE() << name << ": no row in the table of result documents";
    ShowLog(o, name);
}

INSTANTIATE_TEST_SUITE_P(Faults, UpdateScenario, ::testing::ValuesIn(kRows), RowName<Row>);

}  // namespace
}  // namespace orvane::testing::scenario
