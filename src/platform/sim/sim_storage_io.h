#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_storage.h"
#include "platform/storage_io.h"

namespace orvane::platform::sim {

// What a request is sent to: a disk ("\\.\PHYSICALDRIVE%d" or its interface path) or a
// controller's SCSI port ("\\.\SCSI%d:").
struct SimIoTarget {
    SimDisk* disk = nullptr;
    SimController* port = nullptr;
    int partition = -1;  // opened as this volume of the disk
};

// The volume name of a disk's partition (both counted from 0), as FindFirstVolumeW gives it:
// "\\?\Volume{00000001-0000-0000-0000-000000000002}\" for the first disk's second partition.
std::string SimVolumeName(size_t disk, size_t partition);

// A handler answers a request or declines it (nullopt) so the next one, and finally the
// built-in discovery answers, get it. Called with the hardware's mutex held.
using SimIoHandler = std::function<std::optional<IoResult>(SimHardware& hw, SimIoTarget& target, uint32_t code,
                                                           uint8_t* buffer, uint32_t in_len, uint32_t out_len)>;

// StorageIo over the simulated machine. Unknown requests fail with ERROR_INVALID_FUNCTION.
class SimStorageIo : public StorageIo {
public:
    explicit SimStorageIo(SimHardware& hw);

    std::unique_ptr<StorageHandle> Open(const std::string& path, uint32_t access, uint32_t share,
                                        uint32_t& last_error) override;
    std::string ErrorText(uint32_t error) override;
    // The partitions of the disks present, disk by disk; a partition with a letter is mounted there.
    bool VolumeNames(std::vector<std::string>& out, uint32_t& last_error) override;
    std::vector<std::string> VolumeMountPoints(const std::string& volume_name) override;
    // Fixed, or removable for a removable disk's volume; "no root" for anything else.
    uint32_t DriveType(const std::string& root) override;

    // Tried before the built-in answers, in the order added; `first` puts it before the others
    // (a test's look at every request before a drive answers it).
    void AddHandler(SimIoHandler handler, bool first = false) {
        handlers_.insert(first ? handlers_.begin() : handlers_.end(), std::move(handler));
    }

    struct Request {
        std::string path;
        uint32_t code = 0;
    };
    // Every request sent, for tests that check what was touched.
    std::vector<Request> Requests() const;
    int OpenCount() const;

private:
    friend class SimStorageHandle;
    // holds_lock: the calling handle's lock on its volume.
    IoResult Dispatch(const std::string& path, SimIoTarget target, uint32_t code, uint8_t* buffer, uint32_t in_len,
                      uint32_t out_len, bool& holds_lock);
    // A volume's lock ends with the handle that took it.
    void ReleaseVolume(const SimIoTarget& target);
    // The disk and partition a volume name or a root ("E:\") names.
    SimIoTarget FindVolume(const std::string& name_or_root);

    SimHardware& hw_;
    std::vector<SimIoHandler> handlers_;
    std::vector<Request> requests_;
    int opens_ = 0;
};

// Makes each described disk's drive and driver stack and installs the handlers that answer
// their pass-through, miniport and rescan requests (sim_drive_handlers.cpp). SimPlatform calls
// it once, after the machine's clock is set.
void InstallDriveHandlers(SimStorageIo& io, SimHardware& hw);

}  // namespace orvane::platform::sim
