#include "scenario/truth_campaign.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "package/package_layout.h"
#include "platform/sim/sim_machine.h"

namespace orvane::testing::scenario {

namespace {

namespace digit = package::digit;

// Draws from std::mt19937 alone (its sequence is the same in every standard library).
class Dice {
public:
    Dice(uint32_t seed, int index) {
        std::seed_seq s{seed, static_cast<uint32_t>(index)};
        rng_.seed(s);
    }
    int Below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }
    std::string One(const std::vector<std::string>& v) { return v[static_cast<size_t>(Below(static_cast<int>(v.size())))]; }

private:
    std::mt19937 rng_;
};

const char* const kSatController = "USB\\VID_174C&PID_55AA\\20200410000A";
const char* const kRaid = "PCI\\VEN_1E3B&DEV_0510&SUBSYS_05101E3B&REV_01\\4&1A2B3C4D&0&00E8";

// An error or timeout on DOWNLOAD MICROCODE: at some chunk, at the activating subcommand, on
// every command, or from some command on.
json DownloadFault(Dice& d) {
    json f = {{"command", 146}, {"effect", d.Chance(60) ? "error" : "timeout"}};
    switch (d.Below(4)) {
        case 0: f["features"] = 3, f["skip"] = d.Below(80), f["times"] = 1 + d.Below(3); break;
        case 1: f["features"] = 7, f["times"] = 1 + d.Below(2); break;
        case 2: break;
        default: f["skip"] = d.Below(100); break;
    }
    return f;
}

// The drive's firmware model and faults: how it comes back, which revision it runs now.
json AtaDrive(Dice& d, const std::string& serial, std::string& revision) {
    revision = d.Chance(85) ? kOldFw : d.Chance(65) ? kNewFw : "S0614D0";
    json fw = json::object();
    const int back = d.Below(10);
    if (back == 7) fw["comes_back"] = "old";
    if (back == 8) fw["comes_back"] = "never";
    if (back == 9) fw["comes_back"] = "other_serial", fw["other_serial"] = serial.substr(0, 7) + "99999999";
    if (d.Chance(5)) fw["pata"] = true;
    json drive = {{"model", kModel}, {"revision", revision}, {"serial", serial}, {"def", kOldDef}, {"firmware", fw}};
    json faults = json::array();
    if (d.Chance(30)) faults.push_back(DownloadFault(d));
    // The preformat's second command, after the scan's (and perhaps the re-find's) vendor-page reads.
    if (d.Chance(8)) faults.push_back({{"command", 255}, {"features", 253}, {"effect", "error"}, {"skip", 3 + d.Below(4)}});
    if (!faults.empty()) drive["faults"] = faults;
    return drive;
}

void TakeDrive(json& disk, Dice& d) {
    std::string revision;
    const json patch = AtaDrive(d, disk["serial"].get<std::string>(), revision);
    disk["drive"].merge_patch(patch);
    disk["revision"] = revision;
}

json Nvme(Dice& d) {
    json disk = NvmeDisk();
    static const int kStatus[] = {0, 0, 0, 0, 0x20, 0x20, 1, 2, 6, 7};
    disk["nvme"]["activate_status"] = kStatus[d.Below(10)];
    if (d.Chance(10)) disk["nvme"]["upgrade_support"] = false;
    if (d.Chance(30)) disk["nvme"]["restart_seconds"] = 2;
    if (d.Chance(10)) disk["nvme"]["slots"][1]["revision"] = kNewFw, disk["revision"] = kNewFw;
    return disk;
}

// One to four drives on the AHCI controller, the built-in USB bridges (the SAT one perhaps
// re-identified as a bridge that cannot carry a download) and the NVMe controller.
json AtaMachine(Dice& d, int count, std::vector<std::string>& kinds) {
    std::vector<json> disks;
    int next_path = 0;
    bool sat_slot = false, jmicron = false, prolific = false, nvme = false;
    std::string vid;
    for (int k = 0; k < count; ++k) {
        std::vector<std::string> free;
        if (next_path < 4) free.insert(free.end(), {"sata", "sata"});
        if (!sat_slot) free.push_back("sat-slot");
        if (!jmicron) free.push_back("jmicron");
        if (!prolific) free.push_back("prolific");
        if (!nvme) free.push_back("nvme");
        const std::string kind = d.One(free);
        const std::string serial = std::string("MS512") + static_cast<char>('A' + k) +
                                   std::to_string(1000000000 + d.Below(900000000));
        json disk;
        if (kind == "nvme") {
            nvme = true;
            disk = Nvme(d);
        } else {
            std::string bridge = kind;
            if (kind == "sata") {
                disk = SataDisk(next_path++, serial);
            } else {
                if (kind == "sat-slot") {
                    sat_slot = true;
                    bridge = d.One({"sat", "sat", "iodata", "logitec", "cypress"});
                    vid = bridge == "iodata" ? "04BB" : bridge == "logitec" ? "0789" : bridge == "cypress" ? "04B4" : "";
                }
                jmicron = jmicron || kind == "jmicron";
                prolific = prolific || kind == "prolific";
                disk = UsbDisk(bridge, serial);
            }
            TakeDrive(disk, d);
        }
        kinds.push_back(kind);
        disk["device_number"] = k;
        disks.push_back(disk);
    }
    json machine = Machine(disks);
    if (!vid.empty()) {
        // The device layer picks a bridge's blocks by its vendor number.
        const std::string renamed = std::string("USB\\VID_") + vid + "&PID_0001\\20200410000A";
        json controllers = json::parse(platform::sim::DefaultMachineJson())["controllers"];
        for (json& c : controllers)
            if (c["instance_id"] == kSatController) c["instance_id"] = renamed;
        for (json& disk : machine["disks"])
            if (disk["controller"] == kSatController) disk["controller"] = renamed;
        machine["controllers"] = controllers;
    }
    return machine;
}

std::string PhyAddress(int k) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "5001e3b000a101%02x", k);
    return buf;
}

// Only a RAID volume on the disks' side: the scan finds the drives behind the controller's phys.
json CsmiMachine(Dice& d, int count) {
    json phys = json::array();
    for (int k = 0; k < count; ++k) {
        std::string revision;
        const json drive = AtaDrive(d, std::string("TQ256K") + static_cast<char>('A' + k) + "000000" +
                                           std::to_string(100 + d.Below(900)), revision);
        phys.push_back({{"sas_address", "5001e3b000a10000"},
                        {"attached", {{"target", "sata"}, {"sas_address", PhyAddress(k)}, {"drive", drive}}}});
    }
    const json root = {{"instance_id", "ACPI\\PNP0A08\\0"}, {"class", "system"},
                       {"description", "PCI Express Root Complex"}, {"service", "pci"}};
    const json raid = {{"instance_id", kRaid}, {"parent", "ACPI\\PNP0A08\\0"}, {"class", "scsiadapter"},
                       {"description", "SAS/SATA RAID Controller"}, {"service", "sasraid"}, {"scsi_port", 0},
                       {"csmi", {{"name", "sasraid"}, {"description", "SAS/SATA RAID Controller Driver"},
                                 {"revision", {5, 2}}, {"phys", phys}}}};
    const json volume = {{"instance_id", "SCSI\\DISK&VEN_SASRAID&PROD_RAID0_VOLUME\\5&3C1A2B&0&000000"},
                         {"controller", kRaid}, {"device_number", 0},
                         {"scsi_address", {{"port", 0}, {"path", 0}, {"target", 0}, {"lun", 0}}},
                         {"bus_type", "raid"}, {"vendor", "SASRAID"}, {"product", "RAID0 Volume"},
                         {"revision", "1.0"}, {"size", 1024209543168ULL}};
    return json{{"controllers", {root, raid}}, {"disks", {volume}}};
}

// "/C:" takes the attached device's SAS address as the phy table's bytes read backwards.
std::string CsmiTarget(int k) {
    const std::string a = PhyAddress(k);
    std::string reversed;
    for (int i = 14; i >= 0; i -= 2) reversed += a.substr(static_cast<size_t>(i), 2);
    for (char& c : reversed) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "/C:0," + reversed;
}

// Something a user, the system or another program does to the window.
std::string Event(Dice& d, int drives) {
    const std::string item = std::to_string(d.Below(drives + 1));
    switch (d.Below(16)) {
        case 0: return "select:" + item;
        case 1: return "!select:" + item;
        case 2: return "slot:" + std::to_string(d.Below(3));
        case 3: return d.One({"!slot:", "commit:", "!commit:"}) + std::to_string(d.Below(4));
        case 4: return "press:Update";
        case 5: return d.One({"!press:Update", "!press:Update+Ctrl+Shift+K", "!press:Update+Ctrl"});
        case 6: return d.One({"press:Close", "!press:Close"});
        case 7: return d.One({"close", "!close"});
        case 8: return "power:query-suspend";
        case 9: return d.One({"power:suspend", "power:query-suspend-failed", "power:resume-automatic"});
        case 10: return "timer:Timer1";
        case 11: return "timer:Timer2";
        case 12: return "timer:tmrAutoFlash";
        case 13: return "press:Update+Ctrl+Shift+K,file:{FILE}";
        case 14: return "press:Update+Shift+K";
        default: return "wait:" + d.One({"0", "50", "300", "1000", "2500", "6000"});
    }
}

std::string Actions(Dice& d, int drives, bool nvme) {
    std::vector<std::string> steps;
    if (d.Chance(85)) {
        if (nvme && d.Chance(70)) steps.push_back("slot:1");
        if (d.Chance(40)) steps.push_back("select:" + std::to_string(d.Below(drives + 1)));
        if (!d.Chance(10))
            steps.push_back("press:Update");
        else
            steps.push_back(std::string("press:Update+Ctrl+Shift+K,") + (d.Chance(85) ? "file:{FILE}" : "cancel"));
    }
    for (int extras = d.Below(6); extras > 0; --extras) {
        std::string e = Event(d, drives);
        if (d.Chance(50)) e = "wait:" + d.One({"20", "200", "700", "1500", "4000", "9000"}) + "," + e;
        steps.insert(steps.begin() + d.Below(static_cast<int>(steps.size()) + 1), e);
    }
    // Nobody stays at a window whose timer runs for ever: in the end it is closed, if only by a
    // message, and again later when an update still ran.
    steps.push_back("wait:20000,!close,wait:600000,!close");
    std::string out;
    for (const std::string& s : steps) out += (out.empty() ? "" : ",") + s;
    return out;
}

}  // namespace

Trial MakeTrial(uint32_t seed, int index) {
    Dice d(seed, index);
    Trial t;
    t.seed = seed;
    t.index = index;
    const bool csmi = d.Chance(15);
    const int count = 1 + d.Below(4);
    std::vector<std::string> kinds;
    t.machine = csmi ? CsmiMachine(d, count) : AtaMachine(d, count, kinds);
    const bool nvme = std::find(kinds.begin(), kinds.end(), "nvme") != kinds.end();

    Package& p = t.package;
    if (d.Chance(10)) BootPackage(p);
    if (d.Chance(8)) p.flash_mode = 2;
    if (d.Chance(5)) p.visual_style = 4;  // the warning question before the window
    auto option = [&](int k, int percent, char value = '1') {
        if (d.Chance(percent)) p.digits.push_back({k, value});
    };
    option(digit::ReBoot, 25, '0');
    option(digit::bAutoFlashAll, 20);
    option(digit::Preformat, 12);
    option(digit::bBPreformat, 12);
    option(digit::bAskReboot, 10);
    option(digit::bNFlashAuto, 10);
    option(digit::bFOld, 8);
    if (d.Chance(20)) {
        p.digits.push_back({digit::bUnattended, '1'});
        if (d.Chance(90))
            t.args.push_back(csmi ? CsmiTarget(d.Below(count))
                                  : "/T:\\\\.\\PhysicalDrive" + std::to_string(d.Below(count + 1)));
    }
    if (d.Chance(20)) t.args.push_back("/S");
    if (d.Chance(4)) t.args.push_back("/ERASE");
    for (int i = 0; i < 4; ++i) t.answers.push_back(d.One({"yes", "yes", "no", "ok"}));
    t.actions = Actions(d, count, nvme);
    return t;
}

std::string Trial::Replay() const {
    std::string out = "seed " + std::to_string(seed) + ", run " + std::to_string(index) + " (ORVANE_TRUTH_SEED=" +
                      std::to_string(seed) + " ORVANE_TRUTH_RUN=" + std::to_string(index) +
                      " orvane_tests --gtest_filter='TruthCampaign.*')\n";
    out += "machine: " + machine.dump() + "\n";
    out += "package: new_fw " + package.new_fw + ", flash_mode " + std::to_string(package.flash_mode) +
           ", visual_style " + std::to_string(package.visual_style) +
           (package.encipher ? ", boot-time route (enciphered, flashers)" : "") + ", digits";
    for (auto [k, v] : package.digits) out += " " + std::to_string(k) + "=" + v;
    out += "\nargs:";
    for (const std::string& a : args) out += " " + a;
    out += "\nanswers:";
    for (const std::string& a : answers) out += " " + a;
    return out + "\nactions: " + actions + "\n";
}

}  // namespace orvane::testing::scenario
