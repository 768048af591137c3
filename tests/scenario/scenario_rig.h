#pragma once
// Whole update runs on small simulated machines: the machine and the package a run gets, what
// it showed and logged, and what the drives hold afterwards.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/app_fixture.h"

namespace orvane::testing::scenario {

using nlohmann::json;

// The drives of the scenario machines. The target sits first on the on-board AHCI controller.
inline constexpr const char* kAhci = "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\\3&11583659&0&FA";
inline constexpr const char* kNvmeController = "PCI\\VEN_1B36&DEV_0010&SUBSYS_11001AF4&REV_02\\3&11583659&0&10";
inline constexpr const char* kModel = "MERETH SSD 512GB";
inline constexpr const char* kSerial = "MS512A0123456789";
inline constexpr const char* kOldFw = "S0614B0";
inline constexpr const char* kNewFw = "S0614C0";
// DEF texts whose first letter does not force the mode-3 download.
inline constexpr const char* kOldDef = "AM802030";
inline constexpr const char* kNewDef = "AM802031";
inline constexpr const char* kNvmeSerial = "MN1T0H0000000007";
inline constexpr const char* kNvmeOldFw = "N0812C1";
inline constexpr const char* kNvmeNewFw = "N0812D0";

// A SATA disk on the AHCI controller at 0/path/0/0; its drive takes firmware.
json SataDisk(int path, const std::string& serial, const std::string& revision = kOldFw,
              const std::string& def = kOldDef);
// The same drive behind a USB bridge ("sat", "jmicron", "iodata", ...) of the built-in machine.
json UsbDisk(const std::string& bridge, const std::string& serial);
// The USB bridge of the built-in SAT controller, re-identified as another maker's bridge (by its
// vendor number, as the device layer picks the bridge's blocks).
std::function<void(platform::sim::SimMachine&)> BridgeVendor(const char* vid);
// The built-in NVMe disk on the inbox driver: slot 1 read-only, slot 2 writable and active.
json NvmeDisk();
// A machine of these disks; controllers and Windows facts as built in.
json Machine(std::vector<json> disks);
// Loads a machine description into an AppRun's machine, keeping the run's own temporary folder
// and program path.
void LoadScenarioMachine(platform::sim::SimMachine& m, const json& machine);

// A firmware image the simulated drives take: the tag (revision and DEF text it installs) at
// its start, then filler; size bytes.
std::vector<uint8_t> TaggedImage(size_t size, const std::string& revision, const std::string& def);
// An NVMe image: its revision at byte 256, where the simulated controller reads it.
std::vector<uint8_t> NvmeImage(size_t size, const std::string& revision);

// The package of a scenario: one slot with this image and texts, accepting every drive, and
// the options that the rows start from (normal flow with the final subcommand, ReBoot on, no
// question at the end, flash from Windows).
struct Package {
    std::vector<uint8_t> image = TaggedImage(40960, kNewFw, kNewDef);
    std::string new_fw = kNewFw;
    std::string fw_ext = kNewDef;
    int8_t flash_mode = 0;
    int8_t visual_style = 0;
    std::vector<std::pair<int, char>> digits;  // option digit position (1-based), value
    bool encipher = false;  // stored as the packer stores images for the boot-time route
    std::map<int, std::vector<uint8_t>> aux;  // auxiliary executables by slot (area order)
};
void WritePackage(const Package& p, PackageBytes& out);

// Slots of the auxiliary area, in its order.
enum Aux { XpX86 = 0, W2003X86 = 2, W2003X64 = 3, W2008X86 = 6, W2008X64 = 7, Win7X86 = 8, Win7X64 = 9,
           CopyWin7 = 10, Copy2k3 = 11, Copy2k8 = 12, CopyXp = 13 };
std::vector<uint8_t> Text(const std::string& s);
// The boot-time route's package: the image enciphered, every flasher and copy program (each
// named by its slot, so a test sees which one was written), flashing from Windows off.
void BootPackage(Package& p);

// A drive afterwards, as the simulated machine holds it.
struct DriveState {
    std::string serial, revision, def;
    std::string first_serial;  // when the machine started: the serial a run lists it by
    bool pending = false;      // a taken image waits for the next restart
    std::string pending_revision;
    int committed = 0;         // images the drive has taken
    int preformats = 0;
    bool present = true;
    std::vector<std::pair<uint8_t, uint8_t>> commands;  // ATA Cmd and FR as they reached the drive
    std::vector<std::pair<std::string, int>> writes;    // the commands that write, by kind, in runs
};
// How many commands of this code (and features, unless -1) reached the drive.
int Sent(const DriveState& d, uint8_t cmd, int features = -1);
// How many writing commands of this kind ("download", "preformat", ...) reached the drive.
int Written(const DriveState& d, const std::string& kind);
// "download x80, commit x1"; "no writes".
std::string WritesText(const DriveState& d);
// "MS512A0123456789 runs S0614B0, pending S0614C0, committed 0, download x80, commit x1"
std::string Describe(const DriveState& d);
inline constexpr uint8_t kDownloadMicrocode = 0x92;
std::vector<DriveState> ReadDrives(platform::sim::SimPlatform& sim);
std::optional<DriveState> FindDrive(const std::vector<DriveState>& drives, const std::string& serial);

// What a run showed and left behind.
struct Outcome {
    int exit_code = -1;
    std::string log;
    std::vector<std::string> log_lines;     // without CR
    std::vector<std::string> statuses;      // every status text in order
    std::vector<app::BoxRequest> boxes;
    std::vector<std::string> view_lines;    // the console view's lines
    std::vector<DriveState> drives;
    std::vector<platform::ExitKind> restarts;
    std::vector<bool> keep_awake;
    std::vector<int> progress;
    std::string label8;
    std::vector<std::string> label8_history;  // "phase | interval | position" per tick of the bar
    bool ever_shown = false;
    bool boot_files = false;  // FW.bin and the flasher are in the system directory
};
Outcome Capture(AppRun& run, int exit_code);

// A log line: the whole line, the worker's line after its date, or a line's start.
struct LogLine {
    enum Kind { Whole, Dated, Start };
    std::string text;
    Kind kind = Whole;
    LogLine(const char* t) : text(t) {}
    LogLine(std::string t) : text(std::move(t)) {}
    LogLine(std::string t, Kind k) : text(std::move(t)), kind(k) {}
};
inline LogLine Dated(const std::string& t) { return LogLine(t, LogLine::Dated); }
inline LogLine Starts(const std::string& t) { return LogLine(t, LogLine::Start); }
bool HasLine(const Outcome& o, const LogLine& line);
int CountLines(const Outcome& o, const LogLine& line);
bool HasStatus(const Outcome& o, const std::string& text);
bool HasBox(const Outcome& o, const std::string& text);
bool HasBoxStarting(const Outcome& o, const std::string& start);

// While a download runs the machine is kept awake; every path lets it sleep again.
void ExpectReleasedKeepAwake(const Outcome& o, const std::string& name);

// After a failed check, the run's last 60 log lines; with ORVANE_SCENARIO_LOG=1, every run's whole
// log and the view's lines.
void ShowLog(const Outcome& o, const std::string& name);

// A table row's test name: its name with anything but letters and digits as '_', and its index.
template <typename Row>
std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    std::string out;
    for (char c : std::string(info.param.name)) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out + "_" + std::to_string(info.index);
}

}  // namespace orvane::testing::scenario
