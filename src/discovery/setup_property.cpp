#include "discovery/setup_property.h"

#include <algorithm>
#include <cstring>

#include "platform/storage_io.h"
#include "text/text.h"

namespace orvane::discovery {

namespace {
// Setup properties are short texts; a larger answer is not one we take.
constexpr uint32_t kMaxPropertyBytes = 64 * 1024;
}  // namespace

std::string FirstString(const uint8_t* bytes, size_t size) {
    return text::FieldText(reinterpret_cast<const char*>(bytes), size);
}

bool ReadPropertyText(platform::DeviceTree& tree, platform::DeviceInfoSet& set, platform::SP_DEVINFO_DATA& dev,
                      uint32_t property, std::string& text) {
    text.clear();
    uint32_t need = 0;
    if (set.GetDeviceRegistryProperty(dev, property, nullptr, nullptr, 0, &need)) return true;
    if (tree.LastError() != platform::kErrorInsufficientBuffer || need == 0 || need > kMaxPropertyBytes) return false;
    std::vector<uint8_t> buf(need, 0);
    if (!set.GetDeviceRegistryProperty(dev, property, nullptr, buf.data(), need, &need)) return false;
    text = FirstString(buf.data(), buf.size());
    return true;
}

bool ReadPropertyDirect(platform::DeviceInfoSet& set, platform::SP_DEVINFO_DATA& dev, uint32_t property,
                        size_t size, std::string& text) {
    text.clear();
    std::vector<uint8_t> buf(size, 0);
    if (!set.GetDeviceRegistryProperty(dev, property, nullptr, buf.data(), static_cast<uint32_t>(size), nullptr))
        return false;
    text = FirstString(buf.data(), buf.size());
    return true;
}

void ReadPropertyFields(platform::DeviceTree& tree, platform::DeviceInfoSet& set, platform::SP_DEVINFO_DATA& dev,
                        std::initializer_list<PropertyField> fields, PropertyRead how) {
    std::string text;
    for (const PropertyField& f : fields) {
        if (f.size == 0) continue;
        std::memset(f.field, 0, f.size);
        const bool read = how == PropertyRead::Probe ? ReadPropertyText(tree, set, dev, f.property, text)
                                                     : ReadPropertyDirect(set, dev, f.property, f.size, text);
        if (read) std::memcpy(f.field, text.data(), std::min(text.size(), f.size - 1));
    }
}

}  // namespace orvane::discovery
