#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::platform {

// What the setup and configuration-manager services answer. The discovery layer
// builds its disk nodes from these; details grow with the enumeration code.
class DeviceTree {
public:
    virtual ~DeviceTree() = default;
    // "Setupapi.dll" or "cfgmgr32.dll" (or a required entry point) could not be loaded.
    virtual bool Missing() const = 0;
};

}  // namespace orvane::platform
