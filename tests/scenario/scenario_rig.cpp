#include "scenario/scenario_rig.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <filesystem>
#include <memory>
#include <sstream>

#include "package/aes_cipher.h"
#include "package/package_layout.h"
#include "platform/sim/sim_drive_state.h"

namespace orvane::testing::scenario {

json SataDisk(int path, const std::string& serial, const std::string& revision, const std::string& def) {
    const std::string tag = "00" + std::to_string(path) + "0000";
    return json{
        {"instance_id", "SCSI\\DISK&VEN_&PROD_MERETH_SSD_512GB\\4&2A4E2F0&0&" + tag},
        {"controller", kAhci},
        {"device_number", path},
        {"scsi_address", {{"port", 0}, {"path", path}, {"target", 0}, {"lun", 0}}},
        {"bus_type", "sata"},
        {"product", kModel},
        {"revision", revision},
        {"serial", serial},
        {"size", 512110190592ULL},
        {"drive",
         {{"model", kModel},
          {"revision", revision},
          {"serial", serial},
          {"def", def},
          {"attach", "ata"},
          {"firmware", json::object()}}},
    };
}

json UsbDisk(const std::string& bridge, const std::string& serial) {
    // The built-in machine's bridges, each on its own USB controller.
    struct Bridge {
        const char* name;
        const char* controller;
        int port;
    };
    static const Bridge kBridges[] = {
        {"sat", "USB\\VID_174C&PID_55AA\\20200410000A", 1},
        {"jmicron", "USB\\VID_152D&PID_2338\\000000000123", 2},
        {"prolific", "USB\\VID_067B&PID_2507\\0123456789AB", 3},
    };
    const Bridge* b = &kBridges[0];
    for (const Bridge& k : kBridges)
        if (bridge == k.name) b = &k;
    json d = SataDisk(0, serial);
    d["instance_id"] = "USBSTOR\\DISK&VEN_MERETH&PROD_SSD_512GB&REV_0\\" + serial + "&0";
    d["controller"] = b->controller;
    d["scsi_address"] = {{"port", b->port}, {"path", 0}, {"target", 0}, {"lun", 0}};
    d["bus_type"] = "usb";
    d["drive"]["attach"] = "usb";
    d["drive"]["bridge"] = bridge;
    return d;
}

std::function<void(platform::sim::SimMachine&)> BridgeVendor(const char* vid) {
    return [vid](platform::sim::SimMachine& m) {
        const std::string old_id = "USB\\VID_174C&PID_55AA\\20200410000A";
        const std::string new_id = std::string("USB\\VID_") + vid + "&PID_0001\\20200410000A";
        for (auto& c : m.storage.controllers)
            if (c.instance_id == old_id) c.instance_id = new_id;
        for (auto& d : m.storage.disks)
            if (d.controller == old_id) d.controller = new_id;
    };
}

json NvmeDisk() {
    return json{
        {"instance_id", "SCSI\\DISK&VEN_NVME&PROD_MERETH_SSD_1TB\\5&1F3A7C20&0&000000"},
        {"controller", kNvmeController},
        {"device_number", 0},
        {"scsi_address", {{"port", 4}, {"path", 0}, {"target", 0}, {"lun", 0}}},
        {"bus_type", "nvme"},
        {"vendor", "NVMe"},
        {"product", "MERETH SSD 1TB"},
        {"revision", kNvmeOldFw},
        {"serial", kNvmeSerial},
        {"size", 1000204886016ULL},
        {"nvme",
         {{"upgrade_support", true},
          {"active_slot", 2},
          {"slots",
           {{{"number", 1}, {"read_only", true}, {"revision", "N0812A0"}},
            {{"number", 2}, {"read_only", false}, {"revision", kNvmeOldFw}}}},
          {"revision_offset", 256}}},
    };
}

json Machine(std::vector<json> disks) { return json{{"disks", std::move(disks)}}; }

void LoadScenarioMachine(platform::sim::SimMachine& m, const json& machine) {
    const std::string temp = m.system.temp_dir, module = m.system.module_file;
    std::string error;
    ASSERT_TRUE(platform::sim::LoadMachine(machine.dump(), m, error)) << error;
    m.system.temp_dir = temp;
    m.system.module_file = module;
}

namespace {

void Filler(std::vector<uint8_t>& out, size_t from, uint32_t seed) {
    for (size_t i = from; i < out.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = static_cast<uint8_t>(seed >> 16);
    }
}

void PutPadded(std::vector<uint8_t>& out, size_t at, const std::string& text, size_t width, char pad) {
    for (size_t i = 0; i < width; ++i) out[at + i] = static_cast<uint8_t>(i < text.size() ? text[i] : pad);
}

}  // namespace

std::vector<uint8_t> TaggedImage(size_t size, const std::string& revision, const std::string& def) {
    // "ORVSIMFW", the revision (8), the DEF text (8), the image's length (32-bit little-endian).
    std::vector<uint8_t> out(size);
    Filler(out, 28, 20160125u);
    PutPadded(out, 0, "ORVSIMFW", 8, ' ');
    PutPadded(out, 8, revision, 8, ' ');
    PutPadded(out, 16, def, 8, ' ');
    const uint32_t n = static_cast<uint32_t>(size);
    for (int i = 0; i < 4; ++i) out[24 + i] = static_cast<uint8_t>(n >> (8 * i));
    return out;
}

std::vector<uint8_t> NvmeImage(size_t size, const std::string& revision) {
    std::vector<uint8_t> out(size);
    Filler(out, 0, 20260105u);
    PutPadded(out, 256, revision, 8, '\0');
    return out;
}

void WritePackage(const Package& p, PackageBytes& out) {
    constexpr size_t kImageArea = 14618;  // the image area follows the 14,618-byte header
    constexpr size_t kNewFw = 10012 + 8, kFwExt = 10267 + 8;
    char ten[11];
    std::vector<uint8_t> image = p.image;
    if (p.encipher) {
        // Zero-padded to 512 and enciphered with the package key, as the packer stores it.
        image.resize((image.size() + 511) / 512 * 512, 0);
        uint8_t key[16];
        package::AssemblePackageKey(key);
        auto cipher = std::make_unique<package::AesCipher>();
        cipher->SetKey(key);
        cipher->Run(image.data(), image.size(), package::CipherDirection::Encipher);
    }
    std::snprintf(ten, sizeof ten, "%010zu", image.size());
    out.Start(0, "0000000000").Size(0, ten);
    for (size_t i = 0; i < image.size(); ++i) out.Byte(kImageArea + i, image[i]);
    // The executables lie one after another, in slot order (the map's), after the area's directory.
    size_t next = offsetof(package::PackageBlock, aux_payload);
    for (const auto& [k, bytes] : p.aux) {
        std::snprintf(ten, sizeof ten, "%010zu", bytes.size());
        out.Put(offsetof(package::PackageBlock, aux) + offsetof(package::AuxDirectory, size_fields) +
                    package::AuxSizeFieldOffset(k) + std::strlen(package::kAuxSlots[k].size_label),
                ten);
        for (size_t i = 0; i < bytes.size(); ++i) out.Byte(next + i, bytes[i]);
        next += bytes.size();
    }
    std::string nf = p.new_fw, fe = p.fw_ext;
    nf.resize(8, '\0');
    fe.resize(8, '\0');
    out.Put(kNewFw, nf).Put(kFwExt, fe);
    out.Byte(9319, static_cast<uint8_t>(p.visual_style)).Byte(9321, static_cast<uint8_t>(p.flash_mode));
    // Base options: ReBoot on, no question at the end, every drive listed, flash from Windows.
    out.Digit(package::digit::ReBoot, '1').Digit(package::digit::bAskReboot, '0');
    out.Digit(package::digit::bListMatchedOnly, '0').Digit(package::digit::bWinFlash, '1');
    for (auto [k, v] : p.digits) out.Digit(k, v);
}

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A flasher stand-in: its name, then every key with room behind it.
static std::vector<uint8_t> Flasher(const std::string& name) {
    std::string s = "MZ" + name + ";";
    for (const char* key : {"UPDATEBOOT=", "B_PREFORMAT=", "A_PREFORMAT=", "PROTOCOL=", "SSDREBOOT=", "_____FW=",
                            "_FW_EXT=", "DRIVECOUNT=", "VENDID1=", "FW1=", "SN1="}) {
        s += key;
        s += std::string(48, '\0');
    }
    return Text(s);
}

void BootPackage(Package& p) {
    p.encipher = true;
    p.digits.push_back({package::digit::bWinFlash, '0'});
    for (auto [k, name] : std::vector<std::pair<int, const char*>>{
             {XpX86, "XP_X86"}, {W2003X86, "2003_X86"}, {W2003X64, "2003_X64"}, {W2008X86, "2008_X86"},
             {W2008X64, "2008_X64"}, {Win7X86, "WIN7_X86"}, {Win7X64, "WIN7_X64"}})
        p.aux[k] = Flasher(name);
    p.aux[CopyWin7] = Text("COPY_WIN7");
    p.aux[Copy2k3] = Text("COPY_2K3");
    p.aux[Copy2k8] = Text("COPY_2K8");
    p.aux[CopyXp] = Text("COPY_XP");
}

std::vector<DriveState> ReadDrives(platform::sim::SimPlatform& sim) {
    std::vector<DriveState> out;
    auto& hw = sim.hardware();
    std::lock_guard<std::recursive_mutex> lock(hw.mutex);
    for (const json& j : platform::sim::DriveStateJson(hw)) {
        DriveState d;
        d.serial = j.value("serial", "");
        d.revision = j.value("revision", "");
        d.def = j["def"].is_string() ? j["def"].get<std::string>() : "";
        d.first_serial = j.value("first_serial", "");
        d.pending = !j["pending"].is_null();
        d.pending_revision = d.pending ? j["pending"].get<std::string>() : "";
        d.committed = j.value("committed", 0);
        d.preformats = j.value("preformats", 0);
        d.present = j.value("present", false);
        for (const json& w : j["writes"]) d.writes.emplace_back(w.value("kind", ""), w.value("count", 0));
        out.push_back(d);
    }
    // The commands each ATA drive saw, in the same order: the disks', then the RAID phys'.
    size_t k = 0;
    for (const auto& disk : hw.storage.disks) {
        if (!disk.drive_stack && !disk.nvme_drive) continue;
        if (k < out.size() && disk.drive_stack) out[k].commands = disk.drive_stack->drive().history;
        ++k;
    }
    for (const auto& c : hw.storage.controllers)
        for (size_t i = 0; c.csmi_port && i < c.csmi->phys.size(); ++i)
            if (const platform::sim::SimAtaDrive* drive = c.csmi_port->drive(i); drive && k < out.size())
                out[k++].commands = drive->history;
    return out;
}

std::optional<DriveState> FindDrive(const std::vector<DriveState>& drives, const std::string& serial) {
    for (const DriveState& d : drives)
        if (d.serial == serial) return d;
    return std::nullopt;
}

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

bool Matches(const std::string& line, const LogLine& want) {
    if (want.kind == LogLine::Whole) return line == want.text;
    if (want.kind == LogLine::Start) return line.rfind(want.text, 0) == 0;
    // "2026-01-05 09:30:00 " and the text.
    return line.size() == 20 + want.text.size() && line[4] == '-' && line[7] == '-' && line[13] == ':' &&
           line[19] == ' ' && line.compare(20, std::string::npos, want.text) == 0;
}

}  // namespace

Outcome Capture(AppRun& run, int exit_code) {
    Outcome o;
    o.exit_code = exit_code;
    o.log = run.Log();
    o.log_lines = Lines(o.log);
    o.view_lines = Lines(run.Transcript());
    for (const std::string& l : o.view_lines)
        if (l.rfind("[status] ", 0) == 0) o.statuses.push_back(l.substr(9));
    o.boxes = run.view().boxes();
    o.drives = ReadDrives(run.sim());
    o.restarts = run.sim().system().exit_requests;
    o.keep_awake = run.sim().system().keep_awake_calls;
    o.progress = run.view().progress();
    o.label8 = run.view().text(app::Control::Label8);
    o.label8_history = run.view().label8_history();
    o.ever_shown = run.view().ever_shown();
    const auto& sys = run.sim().system();
    o.boot_files = std::filesystem::is_regular_file(sys.HostPath("C:\\Windows\\System32\\FW.bin")) &&
                   std::filesystem::is_regular_file(sys.HostPath("C:\\Windows\\System32\\Ostrel.exe"));
    return o;
}

int Written(const DriveState& d, const std::string& kind) {
    int n = 0;
    for (const auto& [k, count] : d.writes)
        if (k == kind) n += count;
    return n;
}

std::string WritesText(const DriveState& d) {
    std::string out;
    for (const auto& [k, count] : d.writes) out += (out.empty() ? "" : ", ") + k + " x" + std::to_string(count);
    return out.empty() ? "no writes" : out;
}

std::string Describe(const DriveState& d) {
    return d.serial + (d.serial != d.first_serial ? " (was " + d.first_serial + ")" : "") + " runs " + d.revision +
           (d.present ? "" : ", absent") + (d.pending ? ", pending " + d.pending_revision : "") + ", committed " +
           std::to_string(d.committed) + ", " + WritesText(d);
}

int Sent(const DriveState& d, uint8_t cmd, int features) {
    int n = 0;
    for (auto [c, fr] : d.commands)
        if (c == cmd && (features < 0 || fr == features)) ++n;
    return n;
}

bool HasBoxStarting(const Outcome& o, const std::string& start) {
    for (const auto& b : o.boxes)
        if (b.text.rfind(start, 0) == 0) return true;
    return false;
}

bool HasLine(const Outcome& o, const LogLine& line) { return CountLines(o, line) > 0; }

int CountLines(const Outcome& o, const LogLine& line) {
    int n = 0;
    for (const std::string& l : o.log_lines)
        if (Matches(l, line)) ++n;
    return n;
}

bool HasStatus(const Outcome& o, const std::string& text) {
    for (const std::string& s : o.statuses)
        if (s == text) return true;
    return false;
}

bool HasBox(const Outcome& o, const std::string& text) {
    for (const auto& b : o.boxes)
        if (b.text == text) return true;
    return false;
}

void ExpectReleasedKeepAwake(const Outcome& o, const std::string& name) {
    if (!o.keep_awake.empty()) {
        EXPECT_FALSE(o.keep_awake.back()) << name << ": the machine is left kept awake";
    }
}

void ShowLog(const Outcome& o, const std::string& name) {
    const bool all = std::getenv("ORVANE_SCENARIO_LOG") != nullptr;
    const bool failed = ::testing::Test::HasFailure();
    if (!failed && !all) return;
    std::string tail;
    if (all)
        for (const std::string& l : o.view_lines) tail += l + "\n";
    for (size_t i = !all && o.log_lines.size() > 60 ? o.log_lines.size() - 60 : 0; i < o.log_lines.size(); ++i)
        tail += o.log_lines[i] + "\n";
    if (failed)
        ADD_FAILURE() << name << ": the log's end:\n" << tail;
    else
        std::cout << name << ":\n" << tail;
}

}  // namespace orvane::testing::scenario
