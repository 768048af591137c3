#include "platform/sim/sim_machine.h"

#include "platform/json_text.h"
#include "platform/sim/sim_json_fields.h"
#include "platform/sim/sim_system_api.h"
#include "text/text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <utility>

namespace orvane::platform::sim {

namespace {

using nlohmann::json;

const char kDefaultMachine[] = R"machine({
  "system": {
    "version": {
      "dwMajorVersion": 10,
      "dwMinorVersion": 0,
      "dwBuildNumber": 19045,
      "dwPlatformId": 2,
      "szCSDVersion": "",
      "wServicePackMajor": 0,
      "wServicePackMinor": 0,
      "wSuiteMask": 256,
      "wProductType": 1
    },
    "extended_query_fails": false,
    "basic_query_fails": false,
    "architecture": "amd64",
    "server_r2": false,
    "wow64": "no",
    "admin": "member",
    "wmi": true,
    "performance_counter": true,
    "forced_exit": "done",
    "registry_write_fails": false,
    "registry": {
      "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion": {
        "ProductName": "Windows 10 Pro",
        "CurrentBuild": "19045"
      },
      "SYSTEM\\CurrentControlSet\\Control\\ProductOptions": { "ProductType": "WinNT" },
      "SYSTEM\\CurrentControlSet\\Control\\Session Manager": { "BootExecute": ["autocheck autochk *"] }
    },
    "services": {
      "Winmgmt": {
        "state": "stopped",
        "start_type": "demand",
        "start_seconds": 1.0,
        "stop_seconds": 1.0,
        "wait_hint_ms": 0
      }
    },
    "instances_running": [],
    "system_drive": "C",
    "system_dir": "",
    "windows_dir": "",
    "temp_dir": "",
    "program_data_dir": "",
    "computer_name": "SIM-PC",
    "utc_offset_minutes": 60,
    "local_time": "2026-01-05T09:30:00",
    "uptime_seconds": 3600,
    "power": { "ac_line": 1, "battery_flag": 128, "battery_percent": 255 },
    "module_file": ""
  },
  "controllers": [
    { "instance_id": "ACPI\\PNP0A08\\0", "class": "system", "description": "PCI Express Root Complex",
      "service": "pci" },
    { "instance_id": "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\\3&11583659&0&FA",
      "parent": "ACPI\\PNP0A08\\0", "class": "hdc", "description": "Standard SATA AHCI Controller",
      "service": "storahci", "location": "PCI bus 0, device 31, function 2", "scsi_port": 0,
      "hardware_ids": ["PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02", "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458"],
      "compatible_ids": ["PCI\\VEN_8086&DEV_2922&REV_02", "PCI\\CC_010601"] },
    { "instance_id": "PCI\\VEN_8086&DEV_A36D&SUBSYS_86941043&REV_10\\3&11583659&0&A0",
      "parent": "ACPI\\PNP0A08\\0", "class": "usb", "description": "USB xHCI Compliant Host Controller",
      "service": "USBXHCI", "location": "PCI bus 0, device 20, function 0" },
    { "instance_id": "USB\\ROOT_HUB30\\4&2B1E3A2E&0&0",
      "parent": "PCI\\VEN_8086&DEV_A36D&SUBSYS_86941043&REV_10\\3&11583659&0&A0", "class": "usb",
      "description": "USB Root Hub (USB 3.0)", "service": "USBHUB3" },
    { "instance_id": "USB\\VID_174C&PID_55AA\\20200410000A", "parent": "USB\\ROOT_HUB30\\4&2B1E3A2E&0&0",
      "class": "usb", "description": "USB Mass Storage Device", "service": "USBSTOR",
      "location": "Port_#0001.Hub_#0001", "scsi_port": 1 },
    { "instance_id": "USB\\VID_152D&PID_2338\\000000000123", "parent": "USB\\ROOT_HUB30\\4&2B1E3A2E&0&0",
      "class": "usb", "description": "USB Mass Storage Device", "service": "USBSTOR",
      "location": "Port_#0002.Hub_#0001", "scsi_port": 2 },
    { "instance_id": "USB\\VID_067B&PID_2507\\0123456789AB", "parent": "USB\\ROOT_HUB30\\4&2B1E3A2E&0&0",
      "class": "usb", "description": "USB Mass Storage Device", "service": "USBSTOR",
      "location": "Port_#0003.Hub_#0001", "scsi_port": 3 },
    { "comment": "RAID controller: its drives are reached through CSMI only",
      "instance_id": "PCI\\VEN_1E3B&DEV_0510&SUBSYS_05101E3B&REV_01\\4&1A2B3C4D&0&00E8",
      "parent": "ACPI\\PNP0A08\\0", "class": "scsiadapter", "description": "SAS/SATA RAID Controller",
      "service": "sasraid", "location": "PCI bus 2, device 0, function 0", "scsi_port": 5,
      "csmi": { "name": "sasraid", "description": "SAS/SATA RAID Controller Driver", "revision": [5, 2, 0, 1030],
        "phys": [
          { "phy": 0, "port": 0, "sas_address": "5001e3b000a10000",
            "attached": { "target": "sata", "sas_address": "5001e3b000a10100",
                          "drive": { "model": "TOLBERN TQ-256K7KW", "revision": "1.02", "serial": "TQ256K7KW00A1" } } },
          null,
          { "phy": 2, "port": 2, "sas_address": "5001e3b000a10000" },
          { "phy": 3, "port": 3, "sas_address": "5001e3b000a10000",
            "attached": { "target": "stp", "sas_address": "5001e3b000a10103",
                          "drive": { "model": "TOLBERN TQ-512K7KW", "revision": "1.00", "serial": "TQ512K7KW00B3" } } },
          { "phy": 4, "port": 4, "sas_address": "5001e3b000a10000",
            "attached": { "target": "ssp", "initiator": 0, "sas_address": "5000c50012345678" } } ] } },
    { "instance_id": "PCI\\VEN_1B36&DEV_0010&SUBSYS_11001AF4&REV_02\\3&11583659&0&10",
      "parent": "ACPI\\PNP0A08\\0", "class": "scsiadapter", "description": "Standard NVM Express Controller",
      "service": "stornvme", "location": "PCI bus 0, device 2, function 0", "scsi_port": 4,
      "hardware_ids": ["PCI\\VEN_1B36&DEV_0010&SUBSYS_11001AF4&REV_02", "PCI\\VEN_1B36&DEV_0010&SUBSYS_11001AF4"],
      "compatible_ids": ["PCI\\VEN_1B36&DEV_0010&REV_02", "PCI\\CC_010802"] }
  ],
  "disks": [
    { "comment": "USB disk behind the VID_152D bridge",
      "instance_id": "USBSTOR\\DISK&VEN_EXTERNAL&PROD_USB3_SSD&REV_0204\\000000000123&0",
      "controller": "USB\\VID_152D&PID_2338\\000000000123", "device_number": 3,
      "scsi_address": { "port": 2, "path": 0, "target": 0, "lun": 0 }, "bus_type": "usb",
      "vendor": "External", "product": "USB3 SSD", "revision": "0204", "serial": "000000000123",
      "friendly_name": "External USB3 SSD USB Device", "service": "disk", "location": "",
      "hardware_ids": ["USBSTOR\\DiskExternalUSB3_SSD________0204", "USBSTOR\\DiskExternalUSB3_SSD________"],
      "compatible_ids": ["USBSTOR\\Disk", "USBSTOR\\RAW"],
      "size": 256060514304, "signature": 2864434397,
      "partitions": [ { "type": 7, "letter": "F", "size": 256059465728 } ],
      "drive": { "model": "MERETH SSD 256GB", "revision": "J0613E5", "serial": "MJ256F0000000005",
                 "def": "GJ613035", "attach": "usb", "bridge": "jmicron", "bridge_port": 0 } },
    { "comment": "second on-board SATA disk",
      "instance_id": "SCSI\\DISK&VEN_&PROD_HDD_1TB_7200\\4&2A4E2F0&0&010000",
      "controller": "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\\3&11583659&0&FA", "device_number": 1,
      "scsi_address": { "port": 0, "path": 1, "target": 0, "lun": 0 }, "bus_type": "sata",
      "product": "HDD 1TB 7200", "revision": "CC43", "serial": "WX21A3C5D7E9",
      "friendly_name": "HDD 1TB 7200", "location": "Bus Number 1, Target Id 0, LUN 0",
      "hardware_ids": ["SCSI\\DiskHDD_1TB_7200_____________CC43", "SCSI\\Disk", "GenDisk"],
      "compatible_ids": ["SCSI\\Disk", "SCSI\\RAW"],
      "size": 1000202273280, "signature": 305419896,
      "partitions": [ { "type": 7, "letter": "D", "size": 1000201224704 } ],
      "drive": { "model": "HDD 1TB 7200", "revision": "CC43", "serial": "WX21A3C5D7E9", "def": null,
                 "attach": "ata", "firmware": { "restart_seconds": 4 } } },
    { "comment": "USB disk behind a SAT bridge",
      "instance_id": "USBSTOR\\DISK&VEN_SATA&PROD_SSD_240GB&REV_0\\20200410000A&0",
      "controller": "USB\\VID_174C&PID_55AA\\20200410000A", "device_number": 2,
      "scsi_address": { "port": 1, "path": 0, "target": 0, "lun": 0 }, "bus_type": "usb",
      "vendor": "SATA", "product": "SSD 240GB", "revision": "0", "serial": "20200410000A",
      "friendly_name": "SATA SSD 240GB USB Device", "location": "",
      "hardware_ids": ["USBSTOR\\DiskSATA____SSD_240GB_______0", "USBSTOR\\DiskSATA____SSD_240GB_______"],
      "compatible_ids": ["USBSTOR\\Disk", "USBSTOR\\RAW"],
      "size": 240057409536, "signature": 3735928559,
      "partitions": [ { "type": 7, "letter": "E", "size": 240056360960 } ],
      "drive": { "model": "MERETH SSD 240GB", "revision": "U0512D4", "serial": "MU240E0000000004",
                 "def": "GU512034", "attach": "usb", "bridge": "sat" } },
    { "comment": "on-board SATA disk with the system volume",
      "instance_id": "SCSI\\DISK&VEN_&PROD_MERETH_SSD_512GB\\4&2A4E2F0&0&000000",
      "controller": "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\\3&11583659&0&FA", "device_number": 0,
      "scsi_address": { "port": 0, "path": 0, "target": 0, "lun": 0 }, "bus_type": "sata",
      "product": "MERETH SSD 512GB", "revision": "S0614B0", "serial": "MS512A0123456789",
      "friendly_name": "MERETH SSD 512GB", "location": "Bus Number 0, Target Id 0, LUN 0",
      "hardware_ids": ["SCSI\\DiskMERETH_SSD_512GB_________S0614B0", "SCSI\\Disk", "GenDisk"],
      "compatible_ids": ["SCSI\\Disk", "SCSI\\RAW"],
      "size": 512110190592, "signature": 439041101,
      "partitions": [ { "type": 7, "size": 104857600, "boot": true },
                      { "type": 7, "letter": "C", "size": 511946612736 } ],
      "drive": { "model": "MERETH SSD 512GB", "revision": "S0614B0", "serial": "MS512A0123456789",
                 "def": "GM802030", "attach": "ata", "firmware": { "restart_seconds": 4 } } },
    { "comment": "USB disk behind a VID_067B bridge, not formatted",
      "instance_id": "USBSTOR\\DISK&VEN_GENERIC&PROD_USB_DISK&REV_1.00\\0123456789AB&0",
      "controller": "USB\\VID_067B&PID_2507\\0123456789AB", "device_number": 4,
      "scsi_address": { "port": 3, "path": 0, "target": 0, "lun": 0 }, "bus_type": "usb",
      "vendor": "Generic", "product": "USB Disk", "revision": "1.00", "serial": "0123456789AB",
      "friendly_name": "Generic USB Disk USB Device", "location": "",
      "hardware_ids": ["USBSTOR\\DiskGeneric_USB_Disk________1.00"],
      "compatible_ids": ["USBSTOR\\Disk", "USBSTOR\\RAW"],
      "size": 128035676160,
      "drive": { "model": "MERETH SSD 128GB", "revision": "L0714F6", "serial": "ML128G0000000006",
                 "def": "GL714036", "attach": "usb", "bridge": "prolific" } },
    { "comment": "NVMe disk on the inbox driver: slot 1 read-only, slot 2 writable and active",
      "instance_id": "SCSI\\DISK&VEN_NVME&PROD_MERETH_SSD_1TB\\5&1F3A7C20&0&000000",
      "controller": "PCI\\VEN_1B36&DEV_0010&SUBSYS_11001AF4&REV_02\\3&11583659&0&10", "device_number": 5,
      "scsi_address": { "port": 4, "path": 0, "target": 0, "lun": 0 }, "bus_type": "nvme",
      "vendor": "NVMe", "product": "MERETH SSD 1TB", "revision": "N0812C1", "serial": "MN1T0H0000000007",
      "friendly_name": "NVMe MERETH SSD 1TB", "location": "Bus Number 0, Target Id 0, LUN 0",
      "hardware_ids": ["SCSI\\DiskNVMe____MERETH_SSD_1TB___N0812C1", "SCSI\\DiskNVMe____MERETH_SSD_1TB___"],
      "compatible_ids": ["SCSI\\Disk", "SCSI\\RAW"],
      "size": 1000204886016,
      "nvme": { "upgrade_support": true, "active_slot": 2,
                "slots": [ { "number": 1, "read_only": true, "revision": "N0812A0" },
                           { "number": 2, "read_only": false, "revision": "N0812C1" } ],
                "revision_offset": 256 } }
  ]
})machine";

using namespace fields;

template <typename T>
T Choice(const json& j, const std::string& path, std::initializer_list<std::pair<const char*, T>> names) {
    std::string list;
    if (j.is_string()) {
        for (const auto& [name, value] : names)
            if (j.get<std::string>() == name) return value;
    }
    for (const auto& n : names) list += std::string(list.empty() ? "" : ", ") + "\"" + n.first + "\"";
    Fail(path, "expected one of " + list);
}

std::optional<double> Seconds(const json& j, const std::string& path) {
    if (j.is_string() && j.get<std::string>() == "never") return std::nullopt;
    if (!j.is_number() || !std::isfinite(j.get<double>()) || j.get<double>() < 0)
        Fail(path, "expected seconds (a number, 0 or more) or \"never\"");
    return j.get<double>();
}

void ReadVersion(const json& j, const std::string& path, OsVersion& v) {
    Object(j, path);
    OnlyKeys(j, path,
             {"dwMajorVersion", "dwMinorVersion", "dwBuildNumber", "dwPlatformId", "szCSDVersion",
              "wServicePackMajor", "wServicePackMinor", "wSuiteMask", "wProductType"});
    auto u32 = [&](const char* k, uint32_t& f) {
        if (j.contains(k)) f = static_cast<uint32_t>(Unsigned(j[k], path + "." + k, 0xFFFFFFFFu));
    };
    auto u16 = [&](const char* k, uint16_t& f) {
        if (j.contains(k)) f = static_cast<uint16_t>(Unsigned(j[k], path + "." + k, 0xFFFF));
    };
    u32("dwMajorVersion", v.dwMajorVersion);
    u32("dwMinorVersion", v.dwMinorVersion);
    u32("dwBuildNumber", v.dwBuildNumber);
    u32("dwPlatformId", v.dwPlatformId);
    // szCSDVersion is a 128-byte field with its NUL.
    if (j.contains("szCSDVersion")) v.szCSDVersion = Text(j["szCSDVersion"], path + ".szCSDVersion", 127);
    u16("wServicePackMajor", v.wServicePackMajor);
    u16("wServicePackMinor", v.wServicePackMinor);
    u16("wSuiteMask", v.wSuiteMask);
    if (j.contains("wProductType"))
        v.wProductType = static_cast<uint8_t>(Unsigned(j["wProductType"], path + ".wProductType", 0xFF));
}

uint16_t ReadArchitecture(const json& j, const std::string& path) {
    if (j.is_number_integer()) return static_cast<uint16_t>(Unsigned(j, path, 0xFFFF));
    return Choice<uint16_t>(j, path, {{"x86", kArchIntel}, {"amd64", kArchAMD64}, {"ia64", kArchIA64}});
}

std::vector<uint8_t> SzBytes(const std::string& s) {
    std::vector<uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

std::map<std::string, SimRegKey> ReadRegistry(const json& j, const std::string& path) {
    Object(j, path);
    std::map<std::string, SimRegKey> reg;
    for (auto it = j.begin(); it != j.end(); ++it) {
        std::string kpath = path + "." + it.key();
        std::string id = RegKeyId(it.key());
        if (id.empty()) Fail(kpath, "empty key path");
        if (reg.count(id)) Fail(kpath, "the same key twice");
        Object(it.value(), kpath);
        SimRegKey key;
        key.path = it.key();
        for (auto v = it.value().begin(); v != it.value().end(); ++v) {
            std::string vpath = kpath + "." + v.key();
            SimRegValue value;
            if (v.value().is_string()) {
                value.bytes = SzBytes(v.value().get<std::string>());
            } else if (v.value().is_array()) {
                value.type = SimRegValue::kMultiSz;
                std::vector<std::string> strings;
                for (size_t i = 0; i < v.value().size(); ++i)
                    strings.push_back(Text(v.value()[i], vpath + "[" + std::to_string(i) + "]"));
                value.bytes = MultiSzBytes(strings);
            } else {
                Fail(vpath, "expected a string (REG_SZ) or an array of strings (REG_MULTI_SZ)");
            }
            key.values[v.key()] = std::move(value);
        }
        reg[id] = std::move(key);
    }
    return reg;
}

std::map<std::string, SimService> ReadServices(const json& j, const std::string& path) {
    Object(j, path);
    std::map<std::string, SimService> out;
    for (auto it = j.begin(); it != j.end(); ++it) {
        std::string spath = path + "." + it.key();
        const json& s = Object(it.value(), spath);
        OnlyKeys(s, spath, {"state", "start_type", "start_seconds", "stop_seconds", "wait_hint_ms"});
        if (it.key().empty()) Fail(spath, "empty service name");
        if (out.count(text::ToLower(it.key()))) Fail(spath, "the same service twice");
        SimService svc;
        if (s.contains("state"))
            svc.state = Choice<uint32_t>(s["state"], spath + ".state",
                                         {{"stopped", kServiceStopped},
                                          {"start_pending", kServiceStartPending},
                                          {"stop_pending", kServiceStopPending},
                                          {"running", kServiceRunning}});
        if (s.contains("start_type"))
            svc.start_type = Choice<std::string>(s["start_type"], spath + ".start_type",
                                                 {{"auto", "auto"}, {"demand", "demand"}, {"disabled", "disabled"}});
        if (s.contains("start_seconds")) svc.start_seconds = Seconds(s["start_seconds"], spath + ".start_seconds");
        if (s.contains("stop_seconds")) svc.stop_seconds = Seconds(s["stop_seconds"], spath + ".stop_seconds");
        if (s.contains("wait_hint_ms"))
            svc.wait_hint_ms = static_cast<uint32_t>(Unsigned(s["wait_hint_ms"], spath + ".wait_hint_ms", 0xFFFFFFFFu));
        out[text::ToLower(it.key())] = svc;
    }
    return out;
}

// The record's own fields and values, so that a machine file can state what a laptop reports.
void ReadPower(const json& j, const std::string& p, PowerStatus& out) {
    Object(j, p);
    OnlyKeys(j, p, {"ac_line", "battery_flag", "battery_percent"});
    if (j.contains("ac_line")) {
        const uint64_t v = Unsigned(j["ac_line"], p + ".ac_line", 255);
        if (v != 0 && v != 1 && v != 255) Fail(p + ".ac_line", "expected 0 (offline), 1 (online) or 255 (unknown)");
        out.ac_line = static_cast<uint8_t>(v);
    }
    if (j.contains("battery_flag"))
        out.battery_flag = static_cast<uint8_t>(Unsigned(j["battery_flag"], p + ".battery_flag", 255));
    if (j.contains("battery_percent")) {
        const uint64_t v = Unsigned(j["battery_percent"], p + ".battery_percent", 255);
        if (v > 100 && v != 255) Fail(p + ".battery_percent", "expected 0 to 100, or 255 (unknown)");
        out.battery_percent = static_cast<uint8_t>(v);
    }
}

void ReadSystem(const json& j, SimSystem& sys) {
    const std::string p = "system";
    Object(j, p);
    OnlyKeys(j, p,
             {"version", "extended_query_fails", "basic_query_fails", "architecture", "server_r2", "wow64", "admin",
              "wmi", "performance_counter", "forced_exit", "registry_write_fails", "registry", "services",
              "instances_running", "system_drive", "system_dir", "windows_dir", "temp_dir", "module_file",
              "unwritable_files", "start_fails", "program_data_dir", "computer_name", "utc_offset_minutes", "local_time",
              "uptime_seconds", "boot_flasher_fails", "power"});
    auto flag = [&](const char* k, bool& f) {
        if (j.contains(k)) f = Bool(j[k], p + "." + k);
    };
    auto text = [&](const char* k, std::string& f) {
        if (j.contains(k)) f = Text(j[k], p + "." + k);
    };
    if (j.contains("version")) ReadVersion(j["version"], p + ".version", sys.version);
    flag("extended_query_fails", sys.extended_query_fails);
    flag("basic_query_fails", sys.basic_query_fails);
    if (j.contains("architecture")) sys.architecture = ReadArchitecture(j["architecture"], p + ".architecture");
    flag("server_r2", sys.server_r2);
    if (j.contains("wow64"))
        sys.wow64 = Choice<Wow64>(j["wow64"], p + ".wow64", {{"missing", Wow64::Missing}, {"no", Wow64::No}, {"yes", Wow64::Yes}});
    if (j.contains("admin"))
        sys.admin = Choice<AdminCheck>(j["admin"], p + ".admin",
                                       {{"member", AdminCheck::Member},
                                        {"not_member", AdminCheck::NotMember},
                                        {"api_missing", AdminCheck::ApiMissing},
                                        {"sid_failed", AdminCheck::SidFailed},
                                        {"call_failed", AdminCheck::CallFailed}});
    flag("wmi", sys.wmi);
    flag("performance_counter", sys.performance_counter);
    if (j.contains("forced_exit"))
        sys.forced_exit = Choice<ExitResult>(j["forced_exit"], p + ".forced_exit",
                                             {{"done", ExitResult::Done},
                                              {"token_failed", ExitResult::TokenFailed},
                                              {"privilege_failed", ExitResult::PrivilegeFailed},
                                              {"exit_failed", ExitResult::ExitFailed}});
    flag("registry_write_fails", sys.registry_write_fails);
    if (j.contains("registry")) sys.registry = ReadRegistry(j["registry"], p + ".registry");
    if (j.contains("services")) sys.services = ReadServices(j["services"], p + ".services");
    if (j.contains("instances_running")) {
        const json& a = j["instances_running"];
        if (!a.is_array()) Fail(p + ".instances_running", "expected an array of mutex names");
        sys.instances_running.clear();
        for (size_t i = 0; i < a.size(); ++i)
            sys.instances_running.push_back(Text(a[i], p + ".instances_running[" + std::to_string(i) + "]"));
    }
    if (j.contains("system_drive")) {
        std::string letter = Text(j["system_drive"], p + ".system_drive");
        if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0])))
            Fail(p + ".system_drive", "expected one drive letter");
        sys.system_drive = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
    }
    text("system_dir", sys.system_dir);
    text("windows_dir", sys.windows_dir);
    text("temp_dir", sys.temp_dir);
    text("program_data_dir", sys.program_data_dir);
    text("computer_name", sys.computer_name);
    if (j.contains("utc_offset_minutes")) {
        const json& v = j["utc_offset_minutes"];
        // The world's zones lie between UTC-12 and UTC+14.
        if (!v.is_number_integer() || v.get<int64_t>() < -12 * 60 || v.get<int64_t>() > 14 * 60)
            Fail(p + ".utc_offset_minutes", "expected whole minutes from -720 to 840");
        sys.utc_offset_minutes = v.get<int>();
    }
    if (j.contains("local_time")) {
        sys.local_time = Text(j["local_time"], p + ".local_time");
        if (!ParseLocalTime(sys.local_time))
            Fail(p + ".local_time", "expected YYYY-MM-DDThh:mm:ss (a valid date and time)");
    }
    if (j.contains("uptime_seconds")) {
        const json& v = j["uptime_seconds"];
        if (!v.is_number() || !(v.get<double>() >= 0)) Fail(p + ".uptime_seconds", "expected seconds, 0 or more");
        sys.uptime_seconds = v.get<double>();
    }
    text("module_file", sys.module_file);
    if (j.contains("unwritable_files")) {
        const json& a = j["unwritable_files"];
        if (!a.is_array()) Fail(p + ".unwritable_files", "expected an array of file names");
        sys.unwritable_files.clear();
        for (size_t i = 0; i < a.size(); ++i)
            sys.unwritable_files.push_back(Text(a[i], p + ".unwritable_files[" + std::to_string(i) + "]"));
    }
    flag("start_fails", sys.start_fails);
    flag("boot_flasher_fails", sys.boot_flasher_fails);
    if (j.contains("power")) ReadPower(j["power"], p + ".power", sys.power);
}

void Apply(const json& j, SimMachine& m) {
    if (!j.is_object()) Fail("(top level)", "expected an object");
    OnlyKeys(j, "", {"comment", "system", "controllers", "disks", "setup_services_missing", "wmi_unavailable",
                     "wmi_counts_extra_disk"});
    if (j.contains("comment")) Text(j["comment"], "comment");
    if (j.contains("system")) ReadSystem(j["system"], m.system);
    std::string storage_error;
    if (!LoadStorage(j, m.storage, storage_error)) throw FieldError{storage_error};
}

}  // namespace

std::string RegKeyId(const std::string& path) {
    return text::ToLower(text::Trim(path, "\\"));
}

const char* DefaultMachineJson() { return kDefaultMachine; }

bool LoadMachine(const std::string& json_text, SimMachine& out, std::string& error) {
    SimMachine m;
    json given;
    if (!ParseJsonText(json_text, given, error, false)) return false;
    try {
        Apply(json::parse(kDefaultMachine), m);
        Apply(given, m);
    } catch (const json::exception& e) {
        error = e.what();
        return false;
    } catch (const FieldError& e) {
        error = e.message;
        return false;
    }
    m.raw = std::move(given);
    out = std::move(m);
    error.clear();
    return true;
}

std::optional<int64_t> ParseLocalTime(const std::string& text) {
    using namespace std::chrono;
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    char tail = 0;
    if (text.size() != 19 || std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &se, &tail) != 6)
        return std::nullopt;
    const year_month_day ymd{year{static_cast<int>(y)}, month{mo}, day{d}};
    if (!ymd.ok() || h > 23 || mi > 59 || se > 59) return std::nullopt;
    return static_cast<int64_t>(sys_days{ymd}.time_since_epoch().count()) * 86400 + h * 3600 + mi * 60 + se;
}

std::string FormatLocalTime(int64_t seconds) {
    using namespace std::chrono;
    const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const int64_t rest = seconds - days * 86400;
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    char out[32];
    std::snprintf(out, sizeof out, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()), static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return out;
}

}  // namespace orvane::platform::sim
