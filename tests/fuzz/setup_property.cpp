// Registry properties of the setup services: the size a device reports, then the bytes it
// returns (any size, any content), read as the scan reads them, class GUID text included.
#include <cstdlib>
#include <cstring>
#include <string>

#include "discovery/setup_property.h"
#include "discovery/text_convert.h"
#include "fuzz/fuzz_input.h"
#include "platform/storage_io.h"

using namespace orvane;
using namespace orvane::platform;

namespace {

// Answers every property with the input's bytes; the size probe reports what the input says.
class FuzzSet : public DeviceInfoSet {
public:
    uint32_t reported = 0;
    std::vector<uint8_t> value;
    bool probe_succeeds = false;
    uint32_t* last_error = nullptr;

    bool EnumDeviceInfo(uint32_t, SP_DEVINFO_DATA&) override { return false; }
    bool EnumDeviceInterfaces(const Guid&, uint32_t, SP_DEVICE_INTERFACE_DATA&) override { return false; }
    bool GetDeviceInterfaceDetail(SP_DEVICE_INTERFACE_DATA&, void*, uint32_t, uint32_t*) override { return false; }
    bool GetDeviceRegistryProperty(SP_DEVINFO_DATA&, uint32_t, uint32_t* reg_type, uint8_t* buffer, uint32_t size,
                                   uint32_t* required) override {
        if (reg_type) *reg_type = 1;
        if (required) *required = reported;
        if (buffer == nullptr || size == 0) {
            *last_error = probe_succeeds ? 0 : kErrorInsufficientBuffer;
            return probe_succeeds;
        }
        // Like the real call: never more than the caller's buffer holds.
        size_t n = std::min<size_t>(size, value.size());
        if (n > 0) std::memcpy(buffer, value.data(), n);
        return true;
    }
    bool GetDeviceInstanceId(SP_DEVINFO_DATA&, char*, uint32_t, uint32_t*) override { return false; }
    bool SetClassInstallParams(SP_DEVINFO_DATA&, const void*, uint32_t) override { return false; }
    bool CallClassInstaller(uint32_t, SP_DEVINFO_DATA&) override { return false; }
};

class FuzzTree : public DeviceTree {
public:
    uint32_t error = 0;
    std::unique_ptr<SetupLibraries> Load() override { return nullptr; }
    SetupEntrySet Bound() const override { return {}; }
    uint32_t LastError() const override { return error; }
    std::unique_ptr<DeviceInfoSet> GetClassDevs(const Guid*, uint32_t) override { return nullptr; }
    uint32_t LocateDevNode(uint32_t&, const std::string&, uint32_t) override { return 1; }
    uint32_t GetParent(uint32_t&, uint32_t) override { return 1; }
    uint32_t GetDeviceId(uint32_t, char*, uint32_t) override { return 1; }
    uint32_t GetDevNodeRegistryProperty(uint32_t, uint32_t, uint32_t*, void*, uint32_t*) override { return 1; }
    uint32_t ReenumerateDevNode(uint32_t, uint32_t) override { return 1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    FuzzTree tree;
    FuzzSet set;
    set.last_error = &tree.error;
    uint8_t mode = in.Byte();
    set.probe_succeeds = mode & 1;
    set.reported = in.U32();
    if (mode & 2) set.reported &= 0x3FF;  // mostly plausible sizes
    set.value = in.Rest();
    SP_DEVINFO_DATA dev{};

    std::string text;
    if (discovery::ReadPropertyText(tree, set, dev, kSpdrpClassGuid, text)) {
        if (text.size() > set.reported) std::abort();
        // The scan's class GUID check on whatever came back.
        Guid g{};
        if (text.size() >= 38 && text[0] == '{' && text[37] == '}')
            (void)discovery::ParseUuid(std::string_view(text).substr(1, 36), g);
    }
    if (discovery::ReadPropertyDirect(set, dev, kSpdrpHardwareId, (mode >> 2) * 4 + 1, text)) {
        if (text.size() > (mode >> 2) * 4u + 1) std::abort();
    }
    text = discovery::FirstString(set.value.data(), set.value.size());
    if (text.size() > set.value.size()) std::abort();
    return 0;
}
