#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_errors.h"

namespace orvane::platform {

// CreateFileA access and sharing bits.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 1;
constexpr uint32_t kFileShareWrite = 2;
constexpr uint32_t kFileShareDelete = 4;

// GetDriveTypeW answers.
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdRom = 5;
constexpr uint32_t kDriveRamDisk = 6;

struct IoResult {
    bool ok = false;
    uint32_t returned = 0;    // bytes the driver reported back
    uint32_t last_error = 0;  // GetLastError after a failure
};

// One open device (CreateFileA handle); closed when destroyed.
class StorageHandle {
public:
    virtual ~StorageHandle() = default;
    // DeviceIoControl with one buffer as input and output, no overlapped structure:
    // in_len bytes go in, up to out_len bytes come back into the same buffer.
    virtual IoResult Control(uint32_t code, void* buffer, uint32_t in_len, uint32_t out_len) = 0;
};

class StorageIo {
public:
    virtual ~StorageIo() = default;
    // CreateFileA(path, access, share, no security, OPEN_EXISTING, 0, no template).
    // Null on failure, with the system's error in last_error.
    virtual std::unique_ptr<StorageHandle> Open(const std::string& path, uint32_t access, uint32_t share,
                                                uint32_t& last_error) = 0;
    // The device layer's usual open: read/write, shared read/write/delete.
    std::unique_ptr<StorageHandle> OpenReadWrite(const std::string& path, uint32_t& last_error) {
        return Open(path, kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite | kFileShareDelete,
                    last_error);
    }
    // FormatMessageA text for a system error, without the trailing line break.
    virtual std::string ErrorText(uint32_t error) = 0;

    // FindFirstVolumeW/FindNextVolumeW: every volume's name ("\\?\Volume{GUID}\"). False, with
    // the system's error, when the list could not be read to its end. A layer that cannot list
    // volumes says so rather than answering "none".
    virtual bool VolumeNames(std::vector<std::string>& out, uint32_t& last_error) {
        out.clear();
        last_error = kErrorNotSupported;
        return false;
    }
    // GetVolumePathNamesForVolumeNameW: where the volume is mounted ("E:\", "C:\Data\"), drive
    // letters first; empty when nowhere or unknown.
    virtual std::vector<std::string> VolumeMountPoints(const std::string& /*volume_name*/) { return {}; }
    // GetDriveTypeW of a root ("E:\" or a volume name with its trailing backslash).
    virtual uint32_t DriveType(const std::string& /*root*/) { return kDriveUnknown; }
};

}  // namespace orvane::platform
