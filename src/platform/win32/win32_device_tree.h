#pragma once
#include <atomic>

#include "platform/device_tree.h"

namespace orvane::platform::win32 {

// The setup and configuration-manager services, reached through the process-wide table of
// entry points that Load binds by name. A call whose entry point is missing fails
// (ERROR_PROC_NOT_FOUND, or CR_CALL_NOT_IMPLEMENTED for the configuration manager).
class Win32DeviceTree : public DeviceTree {
public:
    std::unique_ptr<SetupLibraries> Load() override;
    SetupEntrySet Bound() const override;
    uint32_t LastError() const override { return last_error_.load(); }
    std::unique_ptr<DeviceInfoSet> GetClassDevs(const Guid* cls, uint32_t flags) override;
    uint32_t LocateDevNode(uint32_t& devinst, const std::string& instance_id, uint32_t flags) override;
    uint32_t GetParent(uint32_t& parent, uint32_t devinst) override;
    uint32_t GetDeviceId(uint32_t devinst, char* buffer, uint32_t len) override;
    uint32_t GetDevNodeRegistryProperty(uint32_t devinst, uint32_t cm_property, uint32_t* reg_type, void* buffer,
                                        uint32_t* len) override;
    uint32_t ReenumerateDevNode(uint32_t devinst, uint32_t flags) override;

    // For the sets: a SetupDi call that succeeded leaves 0, one that failed its GetLastError.
    void RecordError(uint32_t e) { last_error_.store(e); }

private:
    std::atomic<uint32_t> last_error_{0};
};

}  // namespace orvane::platform::win32
