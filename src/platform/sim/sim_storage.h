#pragma once
// The simulated machine's storage: controllers, the disks below them, and the switches that
// break the setup services or WMI. Read from the machine file's "controllers", "disks",
// "setup_services_missing", "wmi_unavailable" and "wmi_counts_extra_disk".
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/device_tree.h"
#include "platform/sim/sim_csmi.h"
#include "platform/sim/sim_drive_desc.h"
#include "platform/sim/sim_nvme.h"

namespace orvane::platform::sim {

struct SimScsiAddress {
    uint8_t port = 0, path = 0, target = 0, lun = 0;
};

// A partition is a volume: "\\.\X:" when it has a letter, always by its volume name.
struct SimPartition {
    uint8_t type = 0x07;   // MBR partition type
    char letter = 0;       // 'A'..'Z', 0: no drive letter
    uint64_t length = 0;   // bytes
    bool boot = false;
    bool in_use = false;   // files are open on it: FSCTL_LOCK_VOLUME is denied (error 5)

    // Run time. A lock lasts until the handle that took it closes.
    bool locked = false;
    bool mounted = true;   // FSCTL_DISMOUNT_VOLUME clears it; the release mounts it again
    int locks = 0, dismounts = 0, releases = 0;
};

struct SimGeometry {
    uint64_t cylinders = 0;
    uint32_t tracks_per_cylinder = 255;
    uint32_t sectors_per_track = 63;
    uint32_t bytes_per_sector = 512;
};

// A device above the disks: bus, host controller, hub, bridge.
struct SimController {
    std::string instance_id;
    std::string parent;             // instance id; empty: a child of the root device
    Guid class_guid{};
    std::string class_name;         // "hdc", "scsiadapter", "usb", "system" or the GUID text
    std::string description, friendly_name, service, driver, location;
    std::vector<std::string> hardware_ids, compatible_ids;
    bool reenumerate_fails = false;
    int scsi_port = -1;             // "\\.\SCSI%d:" opens it
    std::optional<SimCsmiDesc> csmi;  // a CSMI driver answers on that port
    std::shared_ptr<SimCsmiPort> csmi_port;  // run time: made by InstallDriveHandlers
};

// Disk requests that can be made to fail (error 1, ERROR_INVALID_FUNCTION).
inline constexpr const char* kSimDiskRequests[] = {"scsi_address", "device_number", "device_property",
                                                    "adapter_property", "geometry", "layout", "volume_extents"};

// A disk that goes away after some opens, as an unplugged or failing drive does: from the open
// after `after_opens` on, opens fail with error 2 and requests on earlier handles with 1617. It
// comes back for good once `back_after_refused` opens were refused, or `back_after_seconds` of
// simulated time after the first refused open (either that is given; neither: never).
struct SimVanish {
    int after_opens = 0;
    int back_after_refused = -1;
    double back_after_seconds = -1;
};

class SimDriveStack;

struct SimDisk {
    std::string instance_id;
    std::string controller;         // the parent's instance id
    std::string device_path;        // the disk interface path
    int device_number = 0;          // n of "\\.\PHYSICALDRIVE%d"; -1: none
    std::optional<SimScsiAddress> scsi_address;
    uint8_t bus_type = 11;          // STORAGE_BUS_TYPE
    bool removable = false;
    std::string vendor, product, revision, serial;  // the storage device descriptor's texts
    std::string description = "Disk drive", friendly_name, enumerator, service = "disk", driver, location;
    std::string pdo_name;
    std::vector<std::string> hardware_ids, compatible_ids;
    SimGeometry geometry;
    uint32_t signature = 0;
    std::vector<SimPartition> partitions;
    uint32_t max_transfer_length = 0x20000;
    uint32_t max_physical_pages = 33;
    bool cannot_open = false;       // CreateFileA fails with error 5
    std::set<std::string> failing_requests;         // of kSimDiskRequests
    std::map<std::string, std::string> wmi;         // Win32_DiskDrive texts that replace the derived ones
    bool remove_fails = false;      // the class installer refuses DIF_REMOVE
    std::optional<SimDriveDesc> drive;  // the drive behind the disk; none: no drive model
    std::optional<SimVanish> vanish;
    std::optional<SimNvmeDesc> nvme;    // the NVMe drive's firmware slots; none: no firmware requests

    // Run time.
    bool removed = false;           // DIF_REMOVE ran; the controller's re-enumeration brings it back
    int opens = 0;                  // successful opens so far
    int volume_opens = 0;           // of them, opens of a volume on this disk ("\\.\C:")
    bool vanished = false;          // gone (see SimVanish)
    bool came_back = false;         // it vanished and is back for good
    int refused_opens = 0;
    double vanished_at = 0;         // simulated seconds of the first refused open
    // The drive and its driver stack, made when the machine starts (InstallDriveHandlers).
    std::shared_ptr<SimDriveStack> drive_stack;
    std::shared_ptr<SimNvmeDrive> nvme_drive;  // made with the drive stacks (InstallNvmeHandlers)
};

struct SimStorage {
    std::vector<SimController> controllers;
    std::vector<SimDisk> disks;
    // Entry points that are not bound; all 27 when the libraries do not load.
    std::set<std::string> missing_entry_points;
    bool libraries_missing = false;
    bool wmi_unavailable = false;
    bool wmi_counts_extra_disk = false;
};

// The storage state one simulated run shares between its storage, tree and WMI layers; the
// window thread and the worker both call in.
class SimClock;

struct SimHardware {
    explicit SimHardware(SimStorage s) : storage(std::move(s)) {}
    SimStorage storage;
    std::recursive_mutex mutex;
    // The machine's clock: a request that times out uses up its timeout in simulated time.
    SimClock* clock = nullptr;
};

// Reads the storage keys present in a machine description over `out` ("controllers" and
// "disks" replace the lists as a whole). Throws nothing; false with a message naming the field.
bool LoadStorage(const nlohmann::json& machine, SimStorage& out, std::string& error);

// Setup class of a controller's "class" text; false when unknown.
bool SimClassGuid(const std::string& name, Guid& out);
// "{4d36e96a-e325-11ce-bfc1-08002be10318}": the form the driver keys carry.
std::string GuidText(const Guid& g, bool upper);

}  // namespace orvane::platform::sim
