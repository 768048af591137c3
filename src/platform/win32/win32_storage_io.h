#pragma once
#include "platform/storage_io.h"

namespace orvane::platform::win32 {

// Storage requests on the real machine: CreateFileA, DeviceIoControl, CloseHandle.
class Win32StorageIo : public StorageIo {
public:
    std::unique_ptr<StorageHandle> Open(const std::string& path, uint32_t access, uint32_t share,
                                        uint32_t& last_error) override;
    // Empty when the system has no text for the code.
    std::string ErrorText(uint32_t error) override;
    // win32_volumes.cpp
    bool VolumeNames(std::vector<std::string>& out, uint32_t& last_error) override;
    std::vector<std::string> VolumeMountPoints(const std::string& volume_name) override;
    uint32_t DriveType(const std::string& root) override;
};

}  // namespace orvane::platform::win32
