#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/device_tree.h"
#include "platform/sim/sim_storage.h"

namespace orvane::platform::sim {

// The setup and configuration-manager services over the simulated machine's controllers and
// disks. Device instances are numbered: 1 the root device, then the controllers, then the disks.
class SimDeviceTree : public DeviceTree {
public:
    explicit SimDeviceTree(SimHardware& hw);

    std::unique_ptr<SetupLibraries> Load() override;
    SetupEntrySet Bound() const override;
    uint32_t LastError() const override;
    std::unique_ptr<DeviceInfoSet> GetClassDevs(const Guid* cls, uint32_t flags) override;
    uint32_t LocateDevNode(uint32_t& devinst, const std::string& instance_id, uint32_t flags) override;
    uint32_t GetParent(uint32_t& parent, uint32_t devinst) override;
    uint32_t GetDeviceId(uint32_t devinst, char* buffer, uint32_t len) override;
    uint32_t GetDevNodeRegistryProperty(uint32_t devinst, uint32_t cm_property, uint32_t* reg_type, void* buffer,
                                        uint32_t* len) override;
    uint32_t ReenumerateDevNode(uint32_t devinst, uint32_t flags) override;

    // What a test looks at afterwards, by instance id.
    std::vector<std::string> Reenumerated() const;
    std::vector<std::string> Removed() const;

    // For the set's calls.
    struct Device;
    bool Describe(uint32_t devinst, Device& out) const;
    void SetLastError(uint32_t e) { last_error_ = e; }
    bool Remove(uint32_t devinst);
    SimHardware& hardware() { return hw_; }

private:
    // Device instance by lower-case instance id; built on first use (the machine's devices are
    // fixed once it is loaded), so a lookup does not walk every device.
    uint32_t FindInstance(const std::string& instance_id) const;
    SimHardware& hw_;
    mutable std::unordered_map<std::string, uint32_t> by_id_;
    mutable size_t indexed_ = 0;  // devices the index was built for
    uint32_t last_error_ = 0;
    std::vector<std::string> reenumerated_;
    std::vector<std::string> removed_;
};

// One device as the tree sees it.
struct SimDeviceTree::Device {
    std::string instance_id;
    uint32_t parent = 0;  // 0: none (the root)
    Guid class_guid{};
    std::string class_name;
    bool present = true;
    bool is_disk = false;
    const SimController* controller = nullptr;
    const SimDisk* disk = nullptr;
};

}  // namespace orvane::platform::sim
