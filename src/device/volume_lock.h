#pragma once
// The volumes of a disk taken from their file systems before the disk's data is destroyed: each
// one locked (no file stays open on it) and dismounted (nothing cached of it is written back),
// all of them or none, held until the lock object goes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/storage_io.h"

namespace orvane::device {

// The disks a VOLUME_DISK_EXTENTS answer names, in its order; nothing when the answer is not a
// whole record of at least one extent (returned: the bytes the driver said it wrote).
std::optional<std::vector<uint32_t>> ParseDiskExtents(const uint8_t* buffer, uint32_t size, uint32_t returned);

// Where a volume lies, as far as the system tells.
enum class VolumePlace {
    OnDisk,       // on the disk (or partly)
    OffDisk,      // on other disks only
    NotADisk,     // a CD, DVD, network or RAM drive: never on a disk
    Unknown,      // the system does not say: counted as on the disk
};

struct VolumeReport {
    std::string label;   // its drive letter ("E:"), else its mount folder, else its name
    VolumePlace place = VolumePlace::Unknown;
    bool locked = false; // locked and dismounted (given up again when a later one refuses)
};

struct VolumeRefusal {
    enum Step { List, Open, Lock, Dismount };
    Step step = List;
    std::string label;   // the volume, empty for List
    uint32_t error = 0;
    // Another handle has files open on it (the lock was denied).
    bool in_use() const {
        return step == Lock && (error == platform::kErrorAccessDenied || error == platform::kErrorSharingViolation);
    }
};

class VolumeLock {
public:
    // Looks at every volume of the machine and locks those on disk `disk_number` or whose disk is
    // unknown; with a negative disk number every volume counts as on it. Never throws.
    static VolumeLock Acquire(platform::StorageIo& io, int disk_number);

    VolumeLock() = default;
    VolumeLock(VolumeLock&&) = default;
    VolumeLock& operator=(VolumeLock&&) = default;
    // The handles close last volume first; closing a handle ends its lock.
    ~VolumeLock() { Release(); }
    void Release();

    bool ok() const { return !refusal_; }
    const std::optional<VolumeRefusal>& refusal() const { return refusal_; }
    // Every volume looked at, in the system's order (after a refusal: up to the refused one).
    const std::vector<VolumeReport>& volumes() const { return volumes_; }
    size_t held() const { return handles_.size(); }

private:
    std::vector<VolumeReport> volumes_;
    std::vector<std::unique_ptr<platform::StorageHandle>> handles_;
    std::optional<VolumeRefusal> refusal_;
};

}  // namespace orvane::device
