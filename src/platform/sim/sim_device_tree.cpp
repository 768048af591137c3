#include "platform/sim/sim_device_tree.h"

#include "platform/sim/sim_drive_state.h"
#include "platform/storage_io.h"
#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace orvane::platform::sim {

namespace {

constexpr char kRootId[] = "HTREE\\ROOT\\0";
constexpr Guid kDiskInterface{0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr Guid kDiskDriveClass{0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::vector<uint8_t> Sz(const std::string& s) {
    std::vector<uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

std::vector<uint8_t> MultiSz(const std::vector<std::string>& list) {
    std::vector<uint8_t> b;
    for (const std::string& s : list) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
    }
    b.push_back(0);
    return b;
}

class SimLibraries : public SetupLibraries {
public:
    explicit SimLibraries(bool loaded) : loaded_(loaded) {}
    bool SetupApiLoaded() const override { return loaded_; }
    bool CfgMgrLoaded() const override { return loaded_; }

private:
    bool loaded_;
};

// A property's bytes and type; false when the device has no such property.
bool Property(const SimDeviceTree::Device& dev, uint32_t spdrp, std::vector<uint8_t>& bytes, uint32_t& type) {
    type = kRegSz;
    std::string text;
    const SimController* c = dev.controller;
    const SimDisk* d = dev.disk;
    auto pick = [&](const std::string& disk_value, const std::string& ctl_value) {
        return d ? disk_value : c ? ctl_value : std::string();
    };
    switch (spdrp) {
        case kSpdrpDeviceDesc: text = pick(d ? d->description : "", c ? c->description : ""); break;
        case kSpdrpHardwareId:
        case kSpdrpCompatibleIds: {
            const std::vector<std::string>* list = nullptr;
            if (d) list = spdrp == kSpdrpHardwareId ? &d->hardware_ids : &d->compatible_ids;
            if (c) list = spdrp == kSpdrpHardwareId ? &c->hardware_ids : &c->compatible_ids;
            if (!list || list->empty()) return false;
            type = kRegMultiSz;
            bytes = MultiSz(*list);
            return true;
        }
        case kSpdrpService: text = pick(d ? d->service : "", c ? c->service : ""); break;
        case kSpdrpClass: text = dev.class_name; break;
        case kSpdrpClassGuid: text = dev.instance_id == kRootId ? "" : GuidText(dev.class_guid, false); break;
        case kSpdrpDriver: text = pick(d ? d->driver : "", c ? c->driver : ""); break;
        case kSpdrpFriendlyName: text = pick(d ? d->friendly_name : "", c ? c->friendly_name : ""); break;
        case kSpdrpLocationInformation: text = pick(d ? d->location : "", c ? c->location : ""); break;
        case kSpdrpPhysicalDeviceObjectName: text = d ? d->pdo_name : dev.instance_id.empty() ? "" : "\\Device\\PnP"; break;
        case kSpdrpEnumeratorName: text = dev.instance_id.substr(0, dev.instance_id.find('\\')); break;
        default: return false;
    }
    if (text.empty()) return false;
    bytes = Sz(text);
    return true;
}

class SimInfoSet : public DeviceInfoSet {
public:
    SimInfoSet(SimDeviceTree& tree, std::vector<uint32_t> devices, bool interfaces)
        : tree_(tree), devices_(std::move(devices)), interfaces_(interfaces) {}

    bool EnumDeviceInfo(uint32_t index, SP_DEVINFO_DATA& data) override {
        if (data.cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(kErrorInvalidUserBuffer);
        if (index >= devices_.size()) return Fail(kErrorNoMoreItems);
        SimDeviceTree::Device dev;
        tree_.Describe(devices_[index], dev);
        data.ClassGuid = dev.class_guid;
        data.DevInst = devices_[index];
        return Ok();
    }
    bool EnumDeviceInterfaces(const Guid& cls, uint32_t index, SP_DEVICE_INTERFACE_DATA& data) override {
        if (data.cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(kErrorInvalidUserBuffer);
        if (!interfaces_ || !(cls == kDiskInterface) || index >= devices_.size()) return Fail(kErrorNoMoreItems);
        SimDeviceTree::Device dev;
        tree_.Describe(devices_[index], dev);
        data.InterfaceClassGuid = cls;
        data.Flags = dev.present ? 1 : 0;  // SPINT_ACTIVE
        data.Reserved = devices_[index];
        return Ok();
    }
    bool GetDeviceInterfaceDetail(SP_DEVICE_INTERFACE_DATA& iface, void* detail, uint32_t size,
                                  uint32_t* required) override {
        SimDeviceTree::Device dev;
        if (!tree_.Describe(static_cast<uint32_t>(iface.Reserved), dev) || !dev.disk) return Fail(kErrorInvalidParameter);
        const std::string& path = dev.disk->device_path;
        uint32_t need = static_cast<uint32_t>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
        if (required) *required = need;
        if (!detail) return Fail(kErrorInsufficientBuffer);
        uint32_t cb;
        std::memcpy(&cb, detail, sizeof cb);
        if (cb != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return Fail(kErrorInvalidUserBuffer);
        if (size < need) return Fail(kErrorInsufficientBuffer);
        std::memcpy(static_cast<char*>(detail) + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath), path.c_str(),
                    path.size() + 1);
        return Ok();
    }
    bool GetDeviceRegistryProperty(SP_DEVINFO_DATA& dev_data, uint32_t property, uint32_t* reg_type, uint8_t* buffer,
                                   uint32_t size, uint32_t* required) override {
        SimDeviceTree::Device dev;
        if (!Member(dev_data.DevInst) || !tree_.Describe(dev_data.DevInst, dev)) return Fail(kErrorInvalidParameter);
        std::vector<uint8_t> bytes;
        uint32_t type = 0;
        if (!Property(dev, property, bytes, type)) return Fail(kErrorInvalidData);
        if (reg_type) *reg_type = type;
        if (required) *required = static_cast<uint32_t>(bytes.size());
        if (!buffer || size < bytes.size()) return Fail(kErrorInsufficientBuffer);
        std::memcpy(buffer, bytes.data(), bytes.size());
        return Ok();
    }
    bool GetDeviceInstanceId(SP_DEVINFO_DATA& dev_data, char* buffer, uint32_t size, uint32_t* required) override {
        SimDeviceTree::Device dev;
        if (!Member(dev_data.DevInst) || !tree_.Describe(dev_data.DevInst, dev)) return Fail(kErrorInvalidParameter);
        uint32_t need = static_cast<uint32_t>(dev.instance_id.size() + 1);
        if (required) *required = need;
        if (!buffer || size < need) return Fail(kErrorInsufficientBuffer);
        std::memcpy(buffer, dev.instance_id.c_str(), need);
        return Ok();
    }
    bool SetClassInstallParams(SP_DEVINFO_DATA& dev_data, const void* params, uint32_t size) override {
        if (!Member(dev_data.DevInst) || !params || size < sizeof(SP_CLASSINSTALL_HEADER))
            return Fail(kErrorInvalidParameter);
        SP_CLASSINSTALL_HEADER h;
        std::memcpy(&h, params, sizeof h);
        if (h.cbSize != sizeof(SP_CLASSINSTALL_HEADER)) return Fail(kErrorInvalidUserBuffer);
        if (h.InstallFunction == kDifPropertyChange && size != sizeof(SP_PROPCHANGE_PARAMS))
            return Fail(kErrorInvalidParameter);
        return Ok();
    }
    bool CallClassInstaller(uint32_t install_function, SP_DEVINFO_DATA& dev_data) override {
        if (!Member(dev_data.DevInst)) return Fail(kErrorInvalidParameter);
        if (install_function != kDifRemove) return Ok();
        return tree_.Remove(dev_data.DevInst) ? Ok() : Fail(kErrorAccessDenied);
    }

private:
    bool Member(uint32_t devinst) const {
        return std::find(devices_.begin(), devices_.end(), devinst) != devices_.end();
    }
    bool Ok() {
        tree_.SetLastError(0);
        return true;
    }
    bool Fail(uint32_t e) {
        tree_.SetLastError(e);
        return false;
    }
    SimDeviceTree& tree_;
    std::vector<uint32_t> devices_;
    bool interfaces_;
};

}  // namespace

SimDeviceTree::SimDeviceTree(SimHardware& hw) : hw_(hw) {}

std::unique_ptr<SetupLibraries> SimDeviceTree::Load() {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    return std::make_unique<SimLibraries>(!hw_.storage.libraries_missing);
}

SetupEntrySet SimDeviceTree::Bound() const {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    SetupEntrySet set;
    if (hw_.storage.libraries_missing) return set;
    for (int i = 0; i < kSetupEntryCount; ++i)
        set[i] = !hw_.storage.missing_entry_points.count(kSetupEntryNames[i]);
    return set;
}

uint32_t SimDeviceTree::LastError() const { return last_error_; }

uint32_t SimDeviceTree::FindInstance(const std::string& instance_id) const {
    const SimStorage& s = hw_.storage;
    const size_t total = s.controllers.size() + s.disks.size();
    if (indexed_ != total) {
        by_id_.clear();
        // The first of equal ids wins, as a walk in device order would find it.
        for (size_t i = 0; i < s.controllers.size(); ++i)
            by_id_.emplace(text::ToLower(s.controllers[i].instance_id), static_cast<uint32_t>(i + 2));
        for (size_t i = 0; i < s.disks.size(); ++i)
            by_id_.emplace(text::ToLower(s.disks[i].instance_id), static_cast<uint32_t>(i + 2 + s.controllers.size()));
        indexed_ = total;
    }
    auto it = by_id_.find(text::ToLower(instance_id));
    return it == by_id_.end() ? 0 : it->second;
}

bool SimDeviceTree::Describe(uint32_t devinst, Device& out) const {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    const SimStorage& s = hw_.storage;
    size_t nctl = s.controllers.size();
    out = Device{};
    if (devinst == 1) {
        out.instance_id = kRootId;
        return true;
    }
    auto parent_of = [&](const std::string& id) -> uint32_t {
        const uint32_t found = FindInstance(id);
        return found >= 2 && found < 2 + nctl ? found : 1;
    };
    if (devinst >= 2 && devinst < 2 + nctl) {
        const SimController& c = s.controllers[devinst - 2];
        out.instance_id = c.instance_id;
        out.parent = c.parent.empty() ? 1 : parent_of(c.parent);
        out.class_guid = c.class_guid;
        out.class_name = c.class_name;
        out.controller = &c;
        return true;
    }
    if (devinst >= 2 + nctl && devinst < 2 + nctl + s.disks.size()) {
        SimDisk& d = hw_.storage.disks[devinst - 2 - nctl];
        out.instance_id = d.instance_id;
        out.parent = parent_of(d.controller);
        out.class_guid = kDiskDriveClass;
        out.class_name = "DiskDrive";
        // A restarting drive is off its bus; a rescan does not bring it back before it is ready.
        out.present = !d.removed && !DiskRestarting(d, true);
        out.is_disk = true;
        out.disk = &d;
        return true;
    }
    return false;
}

std::unique_ptr<DeviceInfoSet> SimDeviceTree::GetClassDevs(const Guid* cls, uint32_t flags) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    if (hw_.storage.libraries_missing || !Bound()[SetupDiGetClassDevsA_] ||
        (!cls && !(flags & kDigcfAllClasses))) {
        last_error_ = kErrorInvalidParameter;
        return nullptr;
    }
    size_t total = 1 + hw_.storage.controllers.size() + hw_.storage.disks.size();
    std::vector<uint32_t> members;
    for (uint32_t devinst = 2; devinst <= total; ++devinst) {
        Device dev;
        Describe(devinst, dev);
        if ((flags & kDigcfPresent) && !dev.present) continue;
        bool take;
        if (flags & kDigcfDeviceInterface)
            take = dev.is_disk && cls && *cls == kDiskInterface;
        else
            take = (flags & kDigcfAllClasses) || dev.class_guid == *cls;
        if (take) members.push_back(devinst);
    }
    last_error_ = 0;
    return std::make_unique<SimInfoSet>(*this, std::move(members), (flags & kDigcfDeviceInterface) != 0);
}

uint32_t SimDeviceTree::LocateDevNode(uint32_t& devinst, const std::string& instance_id, uint32_t flags) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    devinst = 0;
    if (instance_id.empty()) {
        devinst = 1;
        return kCrSuccess;
    }
    uint32_t i = text::EqualsNoCase(instance_id, kRootId) ? 1 : FindInstance(instance_id);
    Device dev;
    if (i == 0 || !Describe(i, dev)) return kCrNoSuchDevnode;
    if (!dev.present) return kCrNoSuchDevnode;
    devinst = i;
    return kCrSuccess;
}

uint32_t SimDeviceTree::GetParent(uint32_t& parent, uint32_t devinst) {
    Device dev;
    parent = 0;
    if (!Describe(devinst, dev)) return kCrInvalidDevnode;
    if (dev.parent == 0) return kCrNoSuchDevnode;
    parent = dev.parent;
    return kCrSuccess;
}

uint32_t SimDeviceTree::GetDeviceId(uint32_t devinst, char* buffer, uint32_t len) {
    Device dev;
    if (!Describe(devinst, dev)) return kCrInvalidDevnode;
    if (!buffer) return kCrInvalidPointer;
    if (len < dev.instance_id.size() + 1) return kCrBufferSmall;
    std::memcpy(buffer, dev.instance_id.c_str(), dev.instance_id.size() + 1);
    return kCrSuccess;
}

uint32_t SimDeviceTree::GetDevNodeRegistryProperty(uint32_t devinst, uint32_t cm_property, uint32_t* reg_type,
                                                   void* buffer, uint32_t* len) {
    Device dev;
    if (!Describe(devinst, dev)) return kCrInvalidDevnode;
    if (!len || cm_property == 0) return kCrInvalidPointer;
    std::vector<uint8_t> bytes;
    uint32_t type = 0;
    if (!Property(dev, cm_property - 1, bytes, type)) return kCrNoSuchValue;
    if (reg_type) *reg_type = type;
    if (!buffer || *len < bytes.size()) {
        *len = static_cast<uint32_t>(bytes.size());
        return kCrBufferSmall;
    }
    std::memcpy(buffer, bytes.data(), bytes.size());
    *len = static_cast<uint32_t>(bytes.size());
    return kCrSuccess;
}

uint32_t SimDeviceTree::ReenumerateDevNode(uint32_t devinst, uint32_t flags) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    Device dev;
    if (!Describe(devinst, dev)) return kCrInvalidDevnode;
    if (dev.controller && dev.controller->reenumerate_fails) return kCrFailure;
    reenumerated_.push_back(dev.instance_id);
    // A removed disk comes back when a controller above it looks at its bus again.
    for (SimDisk& d : hw_.storage.disks) {
        if (!d.removed) continue;
        uint32_t located = 0;
        std::string id = d.controller;
        for (int depth = 0; depth < 64 && !id.empty(); ++depth) {
            if (LocateDevNode(located, id, 0) != kCrSuccess) break;
            if (located == devinst) {
                d.removed = false;
                break;
            }
            Device up;
            Describe(located, up);
            Device parent;
            if (!up.parent || !Describe(up.parent, parent)) break;
            id = parent.instance_id;
        }
    }
    return kCrSuccess;
}

bool SimDeviceTree::Remove(uint32_t devinst) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    Device dev;
    if (!Describe(devinst, dev) || !dev.is_disk) return false;
    SimDisk& d = hw_.storage.disks[devinst - 2 - hw_.storage.controllers.size()];
    if (d.remove_fails) return false;
    d.removed = true;
    removed_.push_back(d.instance_id);
    return true;
}

std::vector<std::string> SimDeviceTree::Reenumerated() const {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    return reenumerated_;
}

std::vector<std::string> SimDeviceTree::Removed() const {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    return removed_;
}

}  // namespace orvane::platform::sim
