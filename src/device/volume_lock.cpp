#include "device/volume_lock.h"

#include <cstddef>
#include <cstring>

#include "platform/records/storage.h"

namespace orvane::device {

namespace d = orvane::records;
using platform::IoResult;
using platform::StorageHandle;

namespace {

// More extents than any volume has; an answer that claims more is not believed.
constexpr uint32_t kMaxExtents = 4096;

constexpr size_t ExtentsSize(uint32_t count) {
    return offsetof(d::VOLUME_DISK_EXTENTS, Extents) + size_t{count} * sizeof(d::DISK_EXTENT);
}

bool IsLetterRoot(const std::string& mount) {
    return mount.size() == 3 && mount[1] == ':' && mount[2] == '\\' &&
           ((mount[0] >= 'A' && mount[0] <= 'Z') || (mount[0] >= 'a' && mount[0] <= 'z'));
}

// The disks the volume lies on; nothing when the volume manager does not say.
std::optional<std::vector<uint32_t>> ExtentDisks(StorageHandle& volume) {
    std::vector<uint8_t> buf(ExtentsSize(16));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto size = static_cast<uint32_t>(buf.size());
        const IoResult r = volume.Control(d::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, buf.data(), 0, size);
        if (r.ok) return ParseDiskExtents(buf.data(), size, r.returned);
        // A volume over more disks than the buffer holds says how many there are.
        uint32_t count = 0;
        if (r.last_error != platform::kErrorMoreData || r.returned < sizeof count) return std::nullopt;
        std::memcpy(&count, buf.data(), sizeof count);
        if (count == 0 || count > kMaxExtents || ExtentsSize(count) <= buf.size()) return std::nullopt;
        buf.assign(ExtentsSize(count), 0);
    }
    return std::nullopt;
}

VolumePlace Place(StorageHandle& volume, int disk_number) {
    if (auto disks = ExtentDisks(volume)) {
        for (uint32_t n : *disks)
            if (disk_number >= 0 && n == static_cast<uint32_t>(disk_number)) return VolumePlace::OnDisk;
        return VolumePlace::OffDisk;
    }
    // A basic volume whose volume manager does not answer still names its disk and partition.
    d::STORAGE_DEVICE_NUMBER n{};
    const IoResult r = volume.Control(d::IOCTL_STORAGE_GET_DEVICE_NUMBER, &n, sizeof n, sizeof n);
    if (!r.ok || r.returned < sizeof n) return VolumePlace::Unknown;
    if (n.DeviceType == d::FILE_DEVICE_CD_ROM || n.DeviceType == d::FILE_DEVICE_DVD) return VolumePlace::NotADisk;
    if (n.DeviceType != d::FILE_DEVICE_DISK) return VolumePlace::Unknown;
    return disk_number >= 0 && n.DeviceNumber == static_cast<uint32_t>(disk_number) ? VolumePlace::OnDisk
                                                                                     : VolumePlace::OffDisk;
}

}  // namespace

std::optional<std::vector<uint32_t>> ParseDiskExtents(const uint8_t* buffer, uint32_t size, uint32_t returned) {
    if (!buffer || returned > size || returned < ExtentsSize(1)) return std::nullopt;
    uint32_t count = 0;
    std::memcpy(&count, buffer, sizeof count);
    if (count == 0 || count > kMaxExtents || ExtentsSize(count) > returned) return std::nullopt;
    std::vector<uint32_t> disks;
    disks.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        d::DISK_EXTENT e;
        std::memcpy(&e, buffer + ExtentsSize(i), sizeof e);
        disks.push_back(e.DiskNumber);
    }
    return disks;
}

void VolumeLock::Release() {
    while (!handles_.empty()) handles_.pop_back();
}

VolumeLock VolumeLock::Acquire(platform::StorageIo& io, int disk_number) {
    VolumeLock out;
    std::vector<std::string> names;
    uint32_t err = 0;
    // Without the whole list a volume on the disk could go unlocked.
    if (!io.VolumeNames(names, err)) {
        out.refusal_ = VolumeRefusal{VolumeRefusal::List, "", err};
        return out;
    }
    for (const std::string& name : names) {
        const std::vector<std::string> mounts = io.VolumeMountPoints(name);
        const bool letter = !mounts.empty() && IsLetterRoot(mounts[0]);
        VolumeReport report;
        report.label = letter ? mounts[0].substr(0, 2) : mounts.empty() ? name : mounts[0];
        const uint32_t type = io.DriveType(mounts.empty() ? name : mounts[0]);
        if (type == platform::kDriveCdRom || type == platform::kDriveRemote || type == platform::kDriveRamDisk) {
            report.place = VolumePlace::NotADisk;
            out.volumes_.push_back(report);
            continue;
        }
        // By the name the volume manager gave, not by the letter: the same volume on Windows, but
        // under Wine a letter that maps to a Unix folder cannot be opened for writing.
        // "\\?\Volume{GUID}\" opens the volume itself only without its last backslash.
        std::string path = name;
        if (!path.empty() && path.back() == '\\') path.pop_back();
        std::unique_ptr<StorageHandle> volume =
            io.Open(path, platform::kGenericRead | platform::kGenericWrite,
                    platform::kFileShareRead | platform::kFileShareWrite, err);
        if (!volume) {
            out.volumes_.push_back(report);
            out.refusal_ = VolumeRefusal{VolumeRefusal::Open, report.label, err};
            out.Release();
            return out;
        }
        report.place = Place(*volume, disk_number);
        // With the disk unknown, no volume can be told to lie elsewhere.
        if (disk_number < 0 && report.place != VolumePlace::NotADisk) report.place = VolumePlace::Unknown;
        if (report.place == VolumePlace::OffDisk || report.place == VolumePlace::NotADisk) {
            out.volumes_.push_back(report);
            continue;
        }
        out.volumes_.push_back(report);
        IoResult r = volume->Control(d::FSCTL_LOCK_VOLUME, nullptr, 0, 0);
        VolumeRefusal::Step step = VolumeRefusal::Lock;
        if (r.ok) {
            // A locked volume still mounted would write its cached state back over the erased disk.
            step = VolumeRefusal::Dismount;
            r = volume->Control(d::FSCTL_DISMOUNT_VOLUME, nullptr, 0, 0);
        }
        if (!r.ok) {
            out.refusal_ = VolumeRefusal{step, report.label, r.last_error};
            volume.reset();
            out.Release();
            return out;
        }
        out.volumes_.back().locked = true;
        out.handles_.push_back(std::move(volume));
    }
    return out;
}

}  // namespace orvane::device
