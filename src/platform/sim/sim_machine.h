#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/sim_storage.h"
#include "platform/system_api.h"

namespace orvane::platform::sim {

// One registry value under HKEY_LOCAL_MACHINE.
struct SimRegValue {
    enum Type : uint32_t { kSz = 1, kMultiSz = 7 };
    uint32_t type = kSz;
    std::vector<uint8_t> bytes;  // REG_SZ: the text and its NUL; REG_MULTI_SZ: as stored
};

struct SimRegKey {
    std::string path;                           // as written in the machine file
    std::map<std::string, SimRegValue> values;  // by value name as written
};

struct SimService {
    uint32_t state = kServiceStopped;  // SERVICE_STATUS.dwCurrentState at start
    std::string start_type = "demand"; // "auto", "demand" or "disabled" (cannot be started)
    std::optional<double> start_seconds = 1.0;  // simulated time to start; none: never gets there
    std::optional<double> stop_seconds = 1.0;
    uint32_t wait_hint_ms = 0;
};

// Windows facts of the simulated machine ("system" section of the machine file).
struct SimSystem {
    OsVersion version;  // OSVERSIONINFOEXA fields
    bool extended_query_fails = false;
    bool basic_query_fails = false;
    uint16_t architecture = kArchAMD64;
    bool server_r2 = false;
    Wow64 wow64 = Wow64::No;
    AdminCheck admin = AdminCheck::Member;
    bool wmi = true;
    bool performance_counter = true;
    ExitResult forced_exit = ExitResult::Done;
    bool registry_write_fails = false;
    // Keys by lower-case path without leading or trailing backslash.
    std::map<std::string, SimRegKey> registry;
    // By lower-case name (service names are case-insensitive).
    std::map<std::string, SimService> services;
    std::vector<std::string> instances_running;  // single-instance mutexes another copy holds
    char system_drive = 'C';  // the volume the system directories are on
    std::string system_dir;   // host folders; empty: defaults under the temporary folder
    std::string windows_dir;
    std::string temp_dir;     // empty: $TMPDIR, else /tmp
    std::string program_data_dir;  // the host folder for C:\ProgramData; empty: <temp>orvane-sim/programdata
    std::string computer_name = "SIM-PC";
    int utc_offset_minutes = 60;   // local time minus UTC
    std::string local_time = "2026-01-05T09:30:00";  // the clock when the program starts
    double uptime_seconds = 3600;  // how long Windows has run when the program starts
    std::string module_file;  // empty: the running executable
    // File names (any folder, any case) that cannot be created, and whether programs can be started.
    std::vector<std::string> unwritable_files;
    bool start_fails = false;
    // At the next restart a registered boot-time flasher runs, reports a failure and changes no drive.
    bool boot_flasher_fails = false;
    // The built-in machine is a desktop on mains power.
    PowerStatus power{1, 128, 255};
};

struct SimMachine {
    SimSystem system;
    SimStorage storage;  // "controllers", "disks" and the setup/WMI switches
    // The whole description as read, for the sections other layers parse.
    nlohmann::json raw = nlohmann::json::object();
};

// Parse a machine description; missing fields keep the built-in machine's values.
// False with a message naming the field (for example "system.version.dwMajorVersion: ...").
bool LoadMachine(const std::string& json_text, SimMachine& out, std::string& error);

// The built-in machine: Windows 10 Pro x64 (10.0.19045), administrator, WMI present,
// "Winmgmt" stopped with demand start; two SATA disks on an AHCI controller (C: on the first)
// and three USB disks behind bridges (SAT, VID_152D, VID_067B) under an xHCI controller. Each
// disk's drive answers: ATA pass-through on the SATA disks, SAT, JMicron and Prolific blocks;
// both SATA drives take firmware and restart for 4 simulated seconds.
// A RAID controller on SCSI port 5 has two SATA drives behind CSMI phys 0 and 3, an unused
// entry, a phy with nothing attached and a SAS drive.
// An NVMe disk on the inbox driver answers the miniport firmware requests (two slots).
const char* DefaultMachineJson();

// "YYYY-MM-DDThh:mm:ss" as seconds from 1970-01-01 00:00 of the same clock; none when it is not
// a valid date and time.
std::optional<int64_t> ParseLocalTime(const std::string& text);
std::string FormatLocalTime(int64_t seconds);

// Registry paths compare without case and without leading or trailing backslashes.
std::string RegKeyId(const std::string& path);

}  // namespace orvane::platform::sim
