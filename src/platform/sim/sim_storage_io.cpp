#include "platform/sim/sim_storage_io.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/records/storage.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_drive_state.h"
#include "platform/win_errors.h"
#include "text/text.h"

namespace orvane::platform::sim {

namespace d = orvane::records;

namespace {


// "\\.\<stem><n><tail>" with n decimal; -1 when the path has another form.
int NumberedPath(const std::string& path, const std::string& stem, const std::string& tail) {
    std::string head = "\\\\.\\" + stem;
    if (path.size() <= head.size() + tail.size() || !text::EqualsNoCase(path.substr(0, head.size()), head)) return -1;
    std::string digits = path.substr(head.size(), path.size() - head.size() - tail.size());
    if (!text::EqualsNoCase(path.substr(path.size() - tail.size()), tail) || digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stoi(digits);
}

// "\\.\X:": the volume of drive letter X; 0 when the path has another form.
char VolumeLetter(const std::string& path) {
    if (path.size() != 6 || path.compare(0, 4, "\\\\.\\") != 0 || path[5] != ':') return 0;
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(path[4])));
    return c >= 'A' && c <= 'Z' ? c : 0;
}

IoResult Failed(uint32_t error) { return IoResult{false, 0, error}; }

// Whether a vanishing disk is gone now; a disk that is due back by time comes back here.
bool Gone(SimDisk& disk, const SimClock* clock) {
    if (!disk.vanished) return false;
    const double after = disk.vanish->back_after_seconds;
    if (after >= 0 && clock && clock->Now() - disk.vanished_at >= after) {
        disk.vanished = false;
        disk.came_back = true;
    }
    return disk.vanished;
}

// An open of a vanishing disk: false when it is refused.
bool OpenVanishing(SimDisk& disk, const SimClock* clock) {
    if (!disk.vanish || disk.came_back) return true;
    if (!disk.vanished) {
        if (disk.opens < disk.vanish->after_opens) return true;
        disk.vanished = true;
        disk.vanished_at = clock ? clock->Now() : 0;
    }
    if (!Gone(disk, clock)) return true;
    const int refused = disk.vanish->back_after_refused;
    if (refused >= 0 && disk.refused_opens >= refused) {
        disk.vanished = false;
        disk.came_back = true;
        return true;
    }
    ++disk.refused_opens;
    return false;
}

IoResult Answer(uint8_t* buffer, uint32_t out_len, const void* record, uint32_t size) {
    uint32_t n = std::min(out_len, size);
    std::memcpy(buffer, record, n);
    return IoResult{true, n, 0};
}

bool Recognized(uint8_t type) {
    static const uint8_t kTypes[] = {0x01, 0x04, 0x06, 0x07, 0x0B, 0x0C, 0x0E, 0x42};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

const char* RequestName(uint32_t code, uint32_t property) {
    switch (code) {
        case d::IOCTL_SCSI_GET_ADDRESS: return "scsi_address";
        case d::IOCTL_STORAGE_GET_DEVICE_NUMBER: return "device_number";
        case d::IOCTL_STORAGE_QUERY_PROPERTY:
            return property == d::StorageAdapterProperty ? "adapter_property" : "device_property";
        case d::IOCTL_DISK_GET_DRIVE_GEOMETRY: return "geometry";
        case d::IOCTL_DISK_GET_DRIVE_LAYOUT: return "layout";
        case d::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: return "volume_extents";
        default: return "";
    }
}

std::vector<uint8_t> DeviceDescriptor(const SimDisk& disk) {
    std::vector<uint8_t> bytes(sizeof(d::STORAGE_DEVICE_DESCRIPTOR), 0);
    d::STORAGE_DEVICE_DESCRIPTOR desc{};
    auto add = [&](const std::string& text) -> uint32_t {
        if (text.empty()) return 0;
        uint32_t at = static_cast<uint32_t>(bytes.size());
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
        return at;
    };
    desc.Version = sizeof(d::STORAGE_DEVICE_DESCRIPTOR);
    desc.RemovableMedia = disk.removable ? 1 : 0;
    desc.VendorIdOffset = add(disk.vendor);
    desc.ProductIdOffset = add(disk.product);
    desc.ProductRevisionOffset = add(disk.revision);
    desc.SerialNumberOffset = add(disk.serial);
    desc.BusType = disk.bus_type;
    desc.Size = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data(), &desc, sizeof desc);
    return bytes;
}

// The answers a disk's driver gives to the discovery requests.
IoResult DiskAnswer(SimDisk& disk, uint32_t code, uint8_t* buffer, uint32_t in_len, uint32_t out_len) {
    uint32_t property = 0, query_type = 0;
    if (code == d::IOCTL_STORAGE_QUERY_PROPERTY) {
        if (in_len < sizeof(d::STORAGE_PROPERTY_QUERY)) return Failed(kErrorInvalidParameter);
        d::STORAGE_PROPERTY_QUERY q;
        std::memcpy(&q, buffer, sizeof q);
        property = q.PropertyId;
        query_type = q.QueryType;
    }
    if (disk.failing_requests.count(RequestName(code, property))) return Failed(kErrorInvalidFunction);

    switch (code) {
        case d::IOCTL_SCSI_GET_ADDRESS: {
            if (!disk.scsi_address) return Failed(kErrorInvalidFunction);
            if (out_len < sizeof(d::SCSI_ADDRESS)) return Failed(kErrorInsufficientBuffer);
            d::SCSI_ADDRESS a{sizeof(d::SCSI_ADDRESS), disk.scsi_address->port, disk.scsi_address->path,
                              disk.scsi_address->target, disk.scsi_address->lun};
            return Answer(buffer, out_len, &a, sizeof a);
        }
        case d::IOCTL_STORAGE_GET_DEVICE_NUMBER: {
            if (disk.device_number < 0) return Failed(kErrorInvalidFunction);
            if (out_len < sizeof(d::STORAGE_DEVICE_NUMBER)) return Failed(kErrorInsufficientBuffer);
            d::STORAGE_DEVICE_NUMBER n{d::FILE_DEVICE_DISK, static_cast<uint32_t>(disk.device_number), 0};
            return Answer(buffer, out_len, &n, sizeof n);
        }
        case d::IOCTL_STORAGE_QUERY_PROPERTY: {
            if (property != d::StorageDeviceProperty && property != d::StorageAdapterProperty)
                return Failed(kErrorNotSupported);
            if (query_type == d::PropertyExistsQuery) return IoResult{true, 0, 0};
            if (query_type != d::PropertyStandardQuery) return Failed(kErrorInvalidParameter);
            if (out_len < 8) return Failed(kErrorInsufficientBuffer);
            if (property == d::StorageDeviceProperty) {
                std::vector<uint8_t> desc = DeviceDescriptor(disk);
                return Answer(buffer, out_len, desc.data(), static_cast<uint32_t>(desc.size()));
            }
            d::STORAGE_ADAPTER_DESCRIPTOR a{};
            a.Version = a.Size = sizeof a;
            a.MaximumTransferLength = disk.max_transfer_length;
            a.MaximumPhysicalPages = disk.max_physical_pages;
            a.AlignmentMask = 1;
            a.CommandQueueing = 1;
            a.BusType = disk.bus_type;
            return Answer(buffer, out_len, &a, sizeof a);
        }
        case d::IOCTL_DISK_GET_DRIVE_GEOMETRY: {
            if (out_len < sizeof(d::DISK_GEOMETRY)) return Failed(kErrorInsufficientBuffer);
            d::DISK_GEOMETRY g{static_cast<int64_t>(disk.geometry.cylinders), disk.removable ? 11u : d::FixedMedia,
                               disk.geometry.tracks_per_cylinder, disk.geometry.sectors_per_track,
                               disk.geometry.bytes_per_sector};
            return Answer(buffer, out_len, &g, sizeof g);
        }
        case d::IOCTL_DISK_GET_DRIVE_LAYOUT: {
            // The MBR layout: entries in groups of four.
            size_t entries = std::max<size_t>(4, (disk.partitions.size() + 3) / 4 * 4);
            size_t size = offsetof(d::DRIVE_LAYOUT_INFORMATION, PartitionEntry) +
                          entries * sizeof(d::PARTITION_INFORMATION);
            if (out_len < size) return Failed(kErrorInsufficientBuffer);
            std::vector<uint8_t> bytes(size, 0);
            uint32_t header[2] = {static_cast<uint32_t>(entries), disk.signature};
            std::memcpy(bytes.data(), header, sizeof header);
            int64_t start = 1 << 20;
            for (size_t i = 0; i < disk.partitions.size(); ++i) {
                const SimPartition& p = disk.partitions[i];
                d::PARTITION_INFORMATION pi{};
                pi.StartingOffset = start;
                pi.PartitionLength = static_cast<int64_t>(p.length);
                pi.HiddenSectors = static_cast<uint32_t>(start / 512);
                pi.PartitionNumber = static_cast<uint32_t>(i + 1);
                pi.PartitionType = p.type;
                pi.BootIndicator = p.boot ? 1 : 0;
                pi.RecognizedPartition = Recognized(p.type) ? 1 : 0;
                std::memcpy(bytes.data() + offsetof(d::DRIVE_LAYOUT_INFORMATION, PartitionEntry) +
                                i * sizeof(d::PARTITION_INFORMATION),
                            &pi, sizeof pi);
                start += static_cast<int64_t>(p.length);
            }
            return Answer(buffer, out_len, bytes.data(), static_cast<uint32_t>(size));
        }
        default:
            return Failed(kErrorInvalidFunction);
    }
}

// The volume requests of a partition's volume; nothing for the requests it passes to its disk.
std::optional<IoResult> VolumeAnswer(SimDisk& disk, size_t index, bool& holds_lock, uint32_t code, uint8_t* buffer,
                                     uint32_t out_len) {
    SimPartition& p = disk.partitions[index];
    switch (code) {
        case d::FSCTL_LOCK_VOLUME:
            // Denied while files are open on it, or another handle holds it.
            if (p.in_use || (p.locked && !holds_lock)) return Failed(kErrorAccessDenied);
            if (!holds_lock) ++p.locks;
            p.locked = holds_lock = true;
            return IoResult{true, 0, 0};
        case d::FSCTL_UNLOCK_VOLUME:
            if (!holds_lock) return Failed(kErrorNotLocked);
            holds_lock = p.locked = false;
            p.mounted = true;
            ++p.releases;
            return IoResult{true, 0, 0};
        case d::FSCTL_DISMOUNT_VOLUME:
            if (p.locked && !holds_lock) return Failed(kErrorAccessDenied);
            p.mounted = false;
            ++p.dismounts;
            return IoResult{true, 0, 0};
        case d::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: {
            if (disk.failing_requests.count("volume_extents") || disk.device_number < 0)
                return Failed(kErrorInvalidFunction);
            if (out_len < sizeof(d::VOLUME_DISK_EXTENTS)) return Failed(kErrorInsufficientBuffer);
            d::VOLUME_DISK_EXTENTS x{};
            x.NumberOfDiskExtents = 1;
            x.Extents[0].DiskNumber = static_cast<uint32_t>(disk.device_number);
            // Where the layout puts it: from 1 MiB on, one after the other.
            int64_t start = 1 << 20;
            for (size_t i = 0; i < index; ++i) start += static_cast<int64_t>(disk.partitions[i].length);
            x.Extents[0].StartingOffset = start;
            x.Extents[0].ExtentLength = static_cast<int64_t>(p.length);
            return Answer(buffer, out_len, &x, sizeof x);
        }
        case d::IOCTL_STORAGE_GET_DEVICE_NUMBER: {
            if (disk.failing_requests.count("device_number") || disk.device_number < 0)
                return Failed(kErrorInvalidFunction);
            if (out_len < sizeof(d::STORAGE_DEVICE_NUMBER)) return Failed(kErrorInsufficientBuffer);
            d::STORAGE_DEVICE_NUMBER n{d::FILE_DEVICE_DISK, static_cast<uint32_t>(disk.device_number),
                                       static_cast<uint32_t>(index + 1)};
            return Answer(buffer, out_len, &n, sizeof n);
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

class SimStorageHandle : public StorageHandle {
public:
    SimStorageHandle(SimStorageIo& io, std::string path, SimIoTarget target)
        : io_(io), path_(std::move(path)), target_(target) {}
    ~SimStorageHandle() override {
        if (holds_lock_) io_.ReleaseVolume(target_);
    }
    IoResult Control(uint32_t code, void* buffer, uint32_t in_len, uint32_t out_len) override {
        return io_.Dispatch(path_, target_, code, static_cast<uint8_t*>(buffer), in_len, out_len, holds_lock_);
    }

private:
    SimStorageIo& io_;
    std::string path_;
    SimIoTarget target_;
    bool holds_lock_ = false;
};

SimStorageIo::SimStorageIo(SimHardware& hw) : hw_(hw) {}

std::unique_ptr<StorageHandle> SimStorageIo::Open(const std::string& path, uint32_t access, uint32_t share,
                                                  uint32_t& last_error) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    SimIoTarget target;
    bool by_volume = false;
    int drive = NumberedPath(path, "PHYSICALDRIVE", "");
    int port = NumberedPath(path, "SCSI", ":");
    const char letter = VolumeLetter(path);
    // A volume's requests reach the disk it lies on (its device number is the disk's).
    if (letter || path.rfind("\\\\?\\Volume{", 0) == 0) {
        target = FindVolume(letter ? std::string(1, letter) + ":\\" : path + "\\");
        by_volume = target.disk != nullptr;
    }
    for (SimDisk& disk : hw_.storage.disks) {
        if (target.disk) break;
        if (disk.removed) continue;
        if ((drive >= 0 && disk.device_number == drive) || text::EqualsNoCase(path, disk.device_path)) target.disk = &disk;
    }
    if (port >= 0)
        for (SimController& c : hw_.storage.controllers)
            if (c.scsi_port == port) target.port = &c;
    if (!target.disk && !target.port) {
        last_error = kErrorFileNotFound;
        return nullptr;
    }
    if (target.disk && target.disk->cannot_open) {
        last_error = kErrorAccessDenied;
        return nullptr;
    }
    // A drive that restarts after taking firmware is off its bus.
    if (target.disk && (DiskRestarting(*target.disk, true) || !OpenVanishing(*target.disk, hw_.clock))) {
        last_error = kErrorFileNotFound;
        return nullptr;
    }
    if (target.disk) {
        ++target.disk->opens;
        if (by_volume) ++target.disk->volume_opens;
    }
    ++opens_;
    last_error = 0;
    return std::make_unique<SimStorageHandle>(*this, path, target);
}

IoResult SimStorageIo::Dispatch(const std::string& path, SimIoTarget target, uint32_t code, uint8_t* buffer,
                                uint32_t in_len, uint32_t out_len, bool& holds_lock) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    requests_.push_back({path, code});
    if (!buffer && (in_len || out_len)) return Failed(kErrorInvalidParameter);
    if (target.disk && (target.disk->removed || Gone(*target.disk, hw_.clock) || DiskRestarting(*target.disk, false)))
        return Failed(kErrorDeviceRemoved);
    if (target.disk && target.partition >= 0)
        if (std::optional<IoResult> r = VolumeAnswer(*target.disk, static_cast<size_t>(target.partition), holds_lock,
                                                     code, buffer, out_len))
            return *r;
    for (SimIoHandler& h : handlers_)
        if (std::optional<IoResult> r = h(hw_, target, code, buffer, in_len, out_len)) return *r;
    if (target.disk) return DiskAnswer(*target.disk, code, buffer, in_len, out_len);
    return Failed(kErrorInvalidFunction);
}

std::vector<SimStorageIo::Request> SimStorageIo::Requests() const {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    return requests_;
}

int SimStorageIo::OpenCount() const {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    return opens_;
}

std::string SimStorageIo::ErrorText(uint32_t error) {
    static const std::map<uint32_t, const char*> kTexts = {
        {kErrorInvalidFunction, "Incorrect function."},
        {kErrorFileNotFound, "The system cannot find the file specified."},
        {kErrorAccessDenied, "Access is denied."},
        {kErrorInvalidHandle, "The handle is invalid."},
        {kErrorNotEnoughMemory, "Not enough memory resources are available to process this command."},
        {kErrorNotSupported, "The request is not supported."},
        {kErrorInvalidParameter, "The parameter is incorrect."},
        {kErrorSemTimeout, "The semaphore timeout period has expired."},
        {kErrorInsufficientBuffer, "The data area passed to a system call is too small."},
        {kErrorIoDevice, "The request could not be performed because of an I/O device error."},
        {kErrorTimeout, "This operation returned because the timeout period expired."},
        {kErrorDeviceRemoved, "The device has been removed."},
    };
    auto it = kTexts.find(error);
    return it == kTexts.end() ? std::string() : std::string(it->second);
}

std::string SimVolumeName(size_t disk, size_t partition) {
    char name[64];
    std::snprintf(name, sizeof name, "\\\\?\\Volume{%08X-0000-0000-0000-%012X}\\", static_cast<unsigned>(disk + 1),
                  static_cast<unsigned>(partition + 1));
    return name;
}

SimIoTarget SimStorageIo::FindVolume(const std::string& name_or_root) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    const bool root = name_or_root.size() == 3 && name_or_root[1] == ':' && name_or_root[2] == '\\';
    const char letter = root ? static_cast<char>(std::toupper(static_cast<unsigned char>(name_or_root[0]))) : 0;
    for (size_t i = 0; i < hw_.storage.disks.size(); ++i) {
        SimDisk& disk = hw_.storage.disks[i];
        if (disk.removed) continue;
        for (size_t k = 0; k < disk.partitions.size(); ++k) {
            const bool named = root ? disk.partitions[k].letter == letter
                                    : text::EqualsNoCase(name_or_root, SimVolumeName(i, k));
            if (named) return SimIoTarget{&disk, nullptr, static_cast<int>(k)};
        }
    }
    return SimIoTarget{};
}

void SimStorageIo::ReleaseVolume(const SimIoTarget& target) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    if (!target.disk || target.partition < 0) return;
    SimPartition& p = target.disk->partitions[static_cast<size_t>(target.partition)];
    p.locked = false;
    p.mounted = true;
    ++p.releases;
}

bool SimStorageIo::VolumeNames(std::vector<std::string>& out, uint32_t& last_error) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    out.clear();
    for (size_t i = 0; i < hw_.storage.disks.size(); ++i) {
        if (hw_.storage.disks[i].removed) continue;
        for (size_t k = 0; k < hw_.storage.disks[i].partitions.size(); ++k) out.push_back(SimVolumeName(i, k));
    }
    last_error = 0;
    return true;
}

std::vector<std::string> SimStorageIo::VolumeMountPoints(const std::string& volume_name) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    const SimIoTarget t = FindVolume(volume_name);
    if (!t.disk) return {};
    const char letter = t.disk->partitions[static_cast<size_t>(t.partition)].letter;
    if (!letter) return {};
    return {std::string(1, letter) + ":\\"};
}

uint32_t SimStorageIo::DriveType(const std::string& root) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    const SimIoTarget t = FindVolume(root);
    if (!t.disk) return kDriveNoRootDir;
    return t.disk->removable ? kDriveRemovable : kDriveFixed;
}

}  // namespace orvane::platform::sim
