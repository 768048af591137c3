#pragma once
// TDevMgr: finds the machine's disks, describes the controllers above them, refreshes a disk
// after flashing, and asks WMI about disks and drive letters. Never throws.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "discovery/disk_node.h"
#include "platform/platform.h"

namespace orvane::discovery {

// The sort's scratch area: disks past this many are left out of the list.
constexpr int kMaxListedDisks = 16;
constexpr int kMaxEnumeratePasses = 11;
constexpr int kPhysicalDrivesProbed = 26;

class TDevMgr {
public:
    using LogWriter = std::function<void(const std::string&)>;

    // pump: what the WMI service start dispatches while it waits; null on a worker thread.
    TDevMgr(platform::Platform& platform, platform::MessagePump* pump, LogWriter log = {});
    explicit TDevMgr(platform::Platform& platform) : TDevMgr(platform, &platform.pump) {}
    ~TDevMgr();
    TDevMgr(const TDevMgr&) = delete;
    TDevMgr& operator=(const TDevMgr&) = delete;

    // Scan (Part of the device object's construction)
    bool enumerate_devices();
    int node_count() const { return iNodeCount; }
    const DISK_NODE* node_list() const { return pNodes.data(); }
    DISK_NODE* node_list() { return pNodes.data(); }
    // Device paths of the disks the last scan found beyond kMaxListedDisks (also logged).
    const std::vector<std::string>& left_out() const { return left_out_; }
    // What WMI answered during the last enumeration: its disk drives and its drive-letter map;
    // false when that query failed. Each query costs tens of milliseconds.
    bool last_wmi_drives(std::vector<DISK_INFO>& out) const {
        out = wmi_drives_;
        return wmi_drives_ok_;
    }
    bool last_drive_letters(DRIVE_LETTER_ENTRY (&map)[kLetterMapSize]) const {
        std::copy(std::begin(letters_), std::end(letters_), std::begin(map));
        return letters_ok_;
    }

    int scan_disks(DISK_NODE* nodes, int max);
    int enum_disk_interfaces(const Guid& cls, DISK_NODE* nodes, int max);
    bool setup_api_missing() const;
    // Which of the 27 entry points the constructor bound.
    platform::SetupEntrySet bound_entry_points() const { return bound_; }

    // Probes: each opens the path itself and closes it again, except the handle-based ones.
    bool get_drive_geometry(platform::StorageHandle* disk, DISK_GEOMETRY& out);
    int count_partitions(platform::StorageHandle* disk);
    uint32_t get_disk_signature(platform::StorageHandle* disk);
    bool get_scsi_address(const std::string& path, SCSI_ADDRESS& out);
    int get_device_number(const std::string& path);
    uint8_t get_bus_type(const std::string& path);
    bool get_device_ids(const std::string& path, uint8_t (&out)[256]);
    // The same on an open handle (null: as when the path does not open).
    bool get_scsi_address(platform::StorageHandle* disk, SCSI_ADDRESS& out);
    int get_device_number(platform::StorageHandle* disk);
    uint8_t get_bus_type(platform::StorageHandle* disk);
    bool get_device_ids(platform::StorageHandle* disk, uint8_t (&out)[256]);
    // MaximumTransferLength and MaximumPhysicalPages of the disk's adapter (0 when unknown).
    void get_adapter_limits(const std::string& path, uint32_t& max_transfer, uint32_t& max_pages);
    std::unique_ptr<platform::StorageHandle> open_for_query(const std::string& path, bool write = false);
    bool find_physical_drive(const std::string& path, std::string& out);

    // Controller chain and refresh
    void identify_controller(DISK_NODE& node);
    std::unique_ptr<ANCESTOR_NODE> build_ancestor_chain(const std::string& instance_id);
    static bool is_hex_number(const std::string& text);
    int list_class_devices(const Guid& cls, DISK_NODE* out, int max = kMaxListedDisks);
    bool reenumerate_device(const std::string& instance_id);
    // The instance identifier of a device's parent; empty when it has none or is not found.
    std::string parent_of(const std::string& instance_id);
    bool rescan_controllers();
    // identifier null: every disk of the class, always true.
    bool remove_disk(const char* instance_id);

    // WMI
    bool wmi_query(const std::string& cls, std::vector<std::string>* list, int* count, const char* property);
    uint16_t count_disks();
    bool query_disk_drives(std::vector<std::unique_ptr<DISK_INFO>>& list);
    bool map_drive_letters(DRIVE_LETTER_ENTRY* map, int size);

    int16_t iExpectedCount = 0;
    uint8_t bIsNT = 0;
    uint32_t dwOSMajor = 0;
    uint32_t dwOSMinor = 0;
    uint32_t dwPlatformId = 0;
    uint16_t wProductType = 0;

private:
    bool Connect();  // the "Winmgmt" service check before every query
    platform::WmiStatus RunQuery(const std::string& cls, bool read_values,
                                 std::vector<platform::WmiInstance>& out);
    void BuildFallbackInfo(DISK_NODE& node);
    void Log(const std::string& text) const;

    platform::Platform& platform_;
    platform::MessagePump* pump_;
    LogWriter log_;
    std::unique_ptr<platform::SetupLibraries> libraries_;  // hSetupApi, hCfgMgr
    platform::SetupEntrySet bound_;
    std::vector<DISK_NODE> pNodes;
    int iNodeCount = 0;
    int found_ = 0;  // disks the last pass found, listed or not
    std::vector<std::string> left_out_;
    std::vector<DISK_INFO> wmi_drives_;
    bool wmi_drives_ok_ = false;
    DRIVE_LETTER_ENTRY letters_[kLetterMapSize] = {};
    bool letters_ok_ = false;
    // Controller chains already read in this scan, by the first ancestor's instance id: disks on
    // one controller share them.
    std::map<std::string, std::unique_ptr<ANCESTOR_NODE>> ancestors_;
};

}  // namespace orvane::discovery
