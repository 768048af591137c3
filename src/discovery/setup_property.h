#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
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

// A fixed text field of a disk or ancestor node and the property that fills it.
struct PropertyField {
    uint32_t property;
    char* field;
    size_t size;
};
template <size_t N>
PropertyField Field(uint32_t property, char (&field)[N]) {
    return PropertyField{property, field, N};
}

// How a property is read: with the size probe, or straight into a buffer of the field's size.
enum class PropertyRead { Probe, Direct };

// Each field gets its property's first string, cut to leave room for the terminator, or is
// cleared when the property cannot be read.
void ReadPropertyFields(platform::DeviceTree& tree, platform::DeviceInfoSet& set, platform::SP_DEVINFO_DATA& dev,
                        std::initializer_list<PropertyField> fields, PropertyRead how);

}  // namespace orvane::discovery
