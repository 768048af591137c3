#pragma once
#include <memory>

namespace orvane::app {

// PLACEHOLDER: stands in for the device object until it exists. Creating it always
// succeeds and it touches no drive. To be removed when the real device object lands.
class DeviceObjectPlaceholder {
public:
    static std::unique_ptr<DeviceObjectPlaceholder> Create() { return std::make_unique<DeviceObjectPlaceholder>(); }
};

}  // namespace orvane::app
