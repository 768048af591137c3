// The per-disk requests of the scan: by path (opening it for the one request) or on a handle the
// scan opened once for all of a disk's queries.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "discovery/dev_mgr.h"

namespace orvane::discovery {

using namespace platform;

namespace {

constexpr uint32_t kShareReadWrite = kFileShareRead | kFileShareWrite;
constexpr uint32_t kLayoutBufferSize = 0x80000;

std::unique_ptr<StorageHandle> OpenDisk(Platform& p, const std::string& path, uint32_t access) {
    if (!p.storage) return nullptr;
    uint32_t err = 0;
    return p.storage->Open(path, access, kShareReadWrite, err);
}

// The layout request into a zeroed 512 KiB buffer; the bytes the driver returned.
std::vector<uint8_t> DriveLayout(StorageHandle* disk, uint32_t& returned) {
    returned = 0;
    if (!disk) return {};
    std::vector<uint8_t> buf(kLayoutBufferSize, 0);
    IoResult r = disk->Control(IOCTL_DISK_GET_DRIVE_LAYOUT, buf.data(), kLayoutBufferSize, kLayoutBufferSize);
    if (!r.ok) return {};
    returned = std::min(r.returned, kLayoutBufferSize);
    return buf;
}

// The adapter descriptor's fields that the scan keeps, from one request.
bool AdapterFields(StorageHandle* disk, uint32_t& max_transfer, uint32_t& max_pages) {
    max_transfer = max_pages = 0;
    if (!disk) return false;
    uint8_t buf[512] = {};
    STORAGE_PROPERTY_QUERY q{StorageAdapterProperty, PropertyStandardQuery, {0}};
    std::memcpy(buf, &q, sizeof q);
    IoResult r = disk->Control(IOCTL_STORAGE_QUERY_PROPERTY, buf, sizeof q, sizeof buf);
    if (!r.ok) return false;
    std::memcpy(&max_transfer, buf + offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength), sizeof max_transfer);
    std::memcpy(&max_pages, buf + offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumPhysicalPages), sizeof max_pages);
    return true;
}

}  // namespace

bool TDevMgr::get_drive_geometry(StorageHandle* disk, DISK_GEOMETRY& out) {
    out = DISK_GEOMETRY{};
    if (!disk) return false;
    return disk->Control(IOCTL_DISK_GET_DRIVE_GEOMETRY, &out, sizeof out, sizeof out).ok;
}

int TDevMgr::count_partitions(StorageHandle* disk) {
    uint32_t returned = 0;
    std::vector<uint8_t> buf = DriveLayout(disk, returned);
    if (buf.empty()) return 0;
    uint32_t count;
    std::memcpy(&count, buf.data(), sizeof count);
    // The count is the driver's word; read no entry past what it returned.
    constexpr size_t at = offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry);
    size_t fit = returned > at ? (returned - at) / sizeof(PARTITION_INFORMATION) : 0;
    int n = 0;
    for (size_t i = 0; i < std::min<size_t>(count, fit); ++i) {
        PARTITION_INFORMATION p;
        std::memcpy(&p, buf.data() + at + i * sizeof p, sizeof p);
        if (p.PartitionType != 0 && p.RecognizedPartition != 0) ++n;
    }
    return n;
}

uint32_t TDevMgr::get_disk_signature(StorageHandle* disk) {
    uint32_t returned = 0;
    std::vector<uint8_t> buf = DriveLayout(disk, returned);
    if (buf.empty()) return 0;
    uint32_t sig;
    std::memcpy(&sig, buf.data() + offsetof(DRIVE_LAYOUT_INFORMATION, Signature), sizeof sig);
    return sig;
}

std::unique_ptr<StorageHandle> TDevMgr::open_for_query(const std::string& path, bool write) {
    return OpenDisk(platform_, path, write ? kGenericRead | kGenericWrite : kGenericRead);
}

bool TDevMgr::get_scsi_address(const std::string& path, SCSI_ADDRESS& out) {
    return get_scsi_address(open_for_query(path).get(), out);
}

bool TDevMgr::get_scsi_address(StorageHandle* disk, SCSI_ADDRESS& out) {
    if (!disk) return true;  // the address stays as it was, and counts as valid
    std::vector<uint8_t> buf(2048, 0);
    IoResult r = disk->Control(IOCTL_SCSI_GET_ADDRESS, buf.data(), 2048, 2048);
    if (!r.ok || r.returned != sizeof(SCSI_ADDRESS)) return false;
    std::memcpy(&out, buf.data(), sizeof out);
    return true;
}

int TDevMgr::get_device_number(const std::string& path) { return get_device_number(open_for_query(path).get()); }

int TDevMgr::get_device_number(StorageHandle* disk) {
    if (!disk) return -1;
    STORAGE_DEVICE_NUMBER n{};
    if (!disk->Control(IOCTL_STORAGE_GET_DEVICE_NUMBER, &n, sizeof n, sizeof n).ok) return -1;
    return static_cast<int>(n.DeviceNumber);
}

uint8_t TDevMgr::get_bus_type(const std::string& path) { return get_bus_type(open_for_query(path).get()); }

uint8_t TDevMgr::get_bus_type(StorageHandle* disk) {
    if (!disk) return 0;
    uint8_t buf[sizeof(STORAGE_DEVICE_DESCRIPTOR)] = {};
    STORAGE_PROPERTY_QUERY q{StorageDeviceProperty, PropertyStandardQuery, {0}};
    std::memcpy(buf, &q, sizeof q);
    if (!disk->Control(IOCTL_STORAGE_QUERY_PROPERTY, buf, sizeof buf, sizeof buf).ok) return 0;
    uint32_t bus;
    std::memcpy(&bus, buf + offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType), sizeof bus);
    return static_cast<uint8_t>(bus);
}

bool TDevMgr::get_device_ids(const std::string& path, uint8_t (&out)[256]) {
    return get_device_ids(open_for_query(path).get(), out);
}

bool TDevMgr::get_device_ids(StorageHandle* disk, uint8_t (&out)[256]) {
    std::memset(out, 0, sizeof out);
    if (!disk) return true;
    STORAGE_PROPERTY_QUERY q{StorageDeviceProperty, PropertyStandardQuery, {0}};
    std::memcpy(out, &q, sizeof q);
    return disk->Control(IOCTL_STORAGE_QUERY_PROPERTY, out, sizeof q, sizeof out).ok;
}

void TDevMgr::get_adapter_limits(const std::string& path, uint32_t& max_transfer, uint32_t& max_pages) {
    // The adapter's descriptor is asked with a read-write handle.
    AdapterFields(open_for_query(path, true).get(), max_transfer, max_pages);
}

bool TDevMgr::find_physical_drive(const std::string& path, std::string& out) {
    int n = get_device_number(path);
    if (n < 0) return false;
    for (int i = 0; i < kPhysicalDrivesProbed; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "\\\\.\\PHYSICALDRIVE%d", i);
        if (get_device_number(name) == n) {
            out = name;
            return true;
        }
    }
    return false;
}

}  // namespace orvane::discovery
