#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_tree.h"

namespace orvane::discovery {

// A registry property by the size probe: no buffer first, then one of the reported size.
// The text is the value's first string; false when the property could not be read.
bool ReadPropertyText(platform::DeviceTree& tree, platform::DeviceInfoSet& set, platform::SP_DEVINFO_DATA& dev,
                      uint32_t property, std::string& text);

// A property read straight into a buffer of `size` bytes (no probe); the first string.
bool ReadPropertyDirect(platform::DeviceInfoSet& set, platform::SP_DEVINFO_DATA& dev, uint32_t property,
                        size_t size, std::string& text);

// The first string of a property value, never past its end.
std::string FirstString(const uint8_t* bytes, size_t size);

}  // namespace orvane::discovery
