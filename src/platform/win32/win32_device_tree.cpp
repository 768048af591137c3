#include "platform/win32/win32_device_tree.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <array>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <vector>

#include "platform/win32/win32_handles.h"

namespace orvane::platform::win32 {

namespace {

using Proc = void (*)();

// The process-wide entry-point table. Every Load writes the same values; a call reads its
// entry once, so a Load on another thread never shows it a half-written pointer.
std::array<std::atomic<Proc>, kSetupEntryCount> g_entries{};
std::mutex g_load_mutex;
int g_live_loads = 0;  // SetupLibraries alive; the table is cleared when the last one goes

template <SetupEntry E, typename F>
F Entry() {
    return reinterpret_cast<F>(g_entries[E].load());
}

// The calls below are typed by the SDK's own declarations (calling convention included).
#define ORV_ENTRY(name) Entry<name##_, decltype(&::name)>()

class Win32Libraries : public SetupLibraries {
public:
    Win32Libraries(UniqueLibrary setup, UniqueLibrary cfg) : setup_(std::move(setup)), cfg_(std::move(cfg)) {}
    // The table must not point into a library once nobody holds it.
    ~Win32Libraries() override {
        std::lock_guard<std::mutex> lock(g_load_mutex);
        if (--g_live_loads == 0)
            for (auto& e : g_entries) e.store(nullptr);
    }
    bool SetupApiLoaded() const override { return static_cast<bool>(setup_); }
    bool CfgMgrLoaded() const override { return static_cast<bool>(cfg_); }

private:
    UniqueLibrary setup_;
    UniqueLibrary cfg_;
};

// Our records are laid out as the SDK's (checked at compile time); the calls get a copy in the
// SDK's type and the answer is copied back.
template <typename Sdk, typename Ours>
class AsSdk {
public:
    explicit AsSdk(Ours& ours) : ours_(ours) {
        static_assert(sizeof(Sdk) == sizeof(Ours) && std::is_trivially_copyable_v<Ours>);
        std::memcpy(&sdk_, &ours, sizeof sdk_);
    }
    ~AsSdk() { std::memcpy(static_cast<void*>(&ours_), &sdk_, sizeof sdk_); }
    AsSdk(const AsSdk&) = delete;
    AsSdk& operator=(const AsSdk&) = delete;
    Sdk* get() { return &sdk_; }

private:
    Sdk sdk_;
    Ours& ours_;
};

GUID ToGuid(const Guid& g) {
    static_assert(sizeof(GUID) == sizeof(Guid));
    GUID out;
    std::memcpy(&out, &g, sizeof out);
    return out;
}

class Win32InfoSet : public DeviceInfoSet {
public:
    Win32InfoSet(Win32DeviceTree& tree, HDEVINFO set) : tree_(tree), set_(set) {}
    ~Win32InfoSet() override {
        if (auto destroy = ORV_ENTRY(SetupDiDestroyDeviceInfoList)) destroy(set_);
    }
    Win32InfoSet(const Win32InfoSet&) = delete;
    Win32InfoSet& operator=(const Win32InfoSet&) = delete;

    bool EnumDeviceInfo(uint32_t index, SP_DEVINFO_DATA& data) override {
        auto fn = ORV_ENTRY(SetupDiEnumDeviceInfo);
        if (!fn) return Missing();
        AsSdk<::SP_DEVINFO_DATA, SP_DEVINFO_DATA> d(data);
        return Done(fn(set_, index, d.get()));
    }
    bool EnumDeviceInterfaces(const Guid& cls, uint32_t index, SP_DEVICE_INTERFACE_DATA& data) override {
        auto fn = ORV_ENTRY(SetupDiEnumDeviceInterfaces);
        if (!fn) return Missing();
        GUID g = ToGuid(cls);
        AsSdk<::SP_DEVICE_INTERFACE_DATA, SP_DEVICE_INTERFACE_DATA> d(data);
        return Done(fn(set_, nullptr, &g, index, d.get()));
    }
    bool GetDeviceInterfaceDetail(SP_DEVICE_INTERFACE_DATA& iface, void* detail, uint32_t size,
                                  uint32_t* required) override {
        auto fn = ORV_ENTRY(SetupDiGetDeviceInterfaceDetailA);
        if (!fn) return Missing();
        AsSdk<::SP_DEVICE_INTERFACE_DATA, SP_DEVICE_INTERFACE_DATA> d(iface);
        DWORD need = 0;
        BOOL ok = fn(set_, d.get(), static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail), size, &need, nullptr);
        if (required) *required = need;
        return Done(ok);
    }
    bool GetDeviceRegistryProperty(SP_DEVINFO_DATA& dev, uint32_t property, uint32_t* reg_type, uint8_t* buffer,
                                   uint32_t size, uint32_t* required) override {
        auto fn = ORV_ENTRY(SetupDiGetDeviceRegistryPropertyA);
        if (!fn) return Missing();
        AsSdk<::SP_DEVINFO_DATA, SP_DEVINFO_DATA> d(dev);
        DWORD type = 0, need = 0;
        BOOL ok = fn(set_, d.get(), property, &type, buffer, size, &need);
        if (reg_type) *reg_type = type;
        if (required) *required = need;
        return Done(ok);
    }
    bool GetDeviceInstanceId(SP_DEVINFO_DATA& dev, char* buffer, uint32_t size, uint32_t* required) override {
        auto fn = ORV_ENTRY(SetupDiGetDeviceInstanceIdA);
        if (!fn) return Missing();
        AsSdk<::SP_DEVINFO_DATA, SP_DEVINFO_DATA> d(dev);
        DWORD need = 0;
        BOOL ok = fn(set_, d.get(), buffer, size, &need);
        if (required) *required = need;
        return Done(ok);
    }
    bool SetClassInstallParams(SP_DEVINFO_DATA& dev, const void* params, uint32_t size) override {
        auto fn = ORV_ENTRY(SetupDiSetClassInstallParamsA);
        if (!fn) return Missing();
        if (params == nullptr && size != 0) return Failed(ERROR_INVALID_PARAMETER);
        // The call takes a writable header; it gets a copy of the caller's record.
        std::vector<uint8_t> copy(static_cast<const uint8_t*>(params),
                                  static_cast<const uint8_t*>(params) + (params ? size : 0));
        AsSdk<::SP_DEVINFO_DATA, SP_DEVINFO_DATA> d(dev);
        auto* header = copy.empty() ? nullptr : reinterpret_cast<PSP_CLASSINSTALL_HEADER>(copy.data());
        return Done(fn(set_, d.get(), header, size));
    }
    bool CallClassInstaller(uint32_t install_function, SP_DEVINFO_DATA& dev) override {
        auto fn = ORV_ENTRY(SetupDiCallClassInstaller);
        if (!fn) return Missing();
        AsSdk<::SP_DEVINFO_DATA, SP_DEVINFO_DATA> d(dev);
        return Done(fn(install_function, set_, d.get()));
    }

private:
    bool Done(BOOL ok) {
        tree_.RecordError(ok ? 0 : GetLastError());
        return ok != FALSE;
    }
    bool Failed(uint32_t e) {
        tree_.RecordError(e);
        return false;
    }
    bool Missing() { return Failed(ERROR_PROC_NOT_FOUND); }

    Win32DeviceTree& tree_;
    HDEVINFO set_;
};

}  // namespace

std::unique_ptr<SetupLibraries> Win32DeviceTree::Load() {
    UniqueLibrary setup(LoadLibraryA("Setupapi.dll"));
    UniqueLibrary cfg(LoadLibraryA("cfgmgr32.dll"));
    std::array<Proc, kSetupEntryCount> procs{};
    for (int i = 0; i < kSetupEntryCount; ++i)
        procs[i] = ProcAddress<Proc>(i < kSetupApiEntries ? setup.get() : cfg.get(), kSetupEntryNames[i]);
    std::lock_guard<std::mutex> lock(g_load_mutex);
    for (int i = 0; i < kSetupEntryCount; ++i) g_entries[i].store(procs[i]);
    ++g_live_loads;
    return std::make_unique<Win32Libraries>(std::move(setup), std::move(cfg));
}

SetupEntrySet Win32DeviceTree::Bound() const {
    SetupEntrySet set;
    for (int i = 0; i < kSetupEntryCount; ++i) set[i] = g_entries[i].load() != nullptr;
    return set;
}

std::unique_ptr<DeviceInfoSet> Win32DeviceTree::GetClassDevs(const Guid* cls, uint32_t flags) {
    auto fn = ORV_ENTRY(SetupDiGetClassDevsA);
    if (!fn) {
        RecordError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    GUID g{};
    if (cls) g = ToGuid(*cls);
    HDEVINFO set = fn(cls ? &g : nullptr, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) {
        RecordError(GetLastError());
        return nullptr;
    }
    RecordError(0);
    return std::make_unique<Win32InfoSet>(*this, set);
}

uint32_t Win32DeviceTree::LocateDevNode(uint32_t& devinst, const std::string& instance_id, uint32_t flags) {
    devinst = 0;
    auto fn = ORV_ENTRY(CM_Locate_DevNodeA);
    if (!fn) return kCrCallNotImplemented;
    std::string id = instance_id;  // the call takes a writable text
    DEVINST found = 0;
    CONFIGRET cr = fn(&found, id.data(), flags);
    if (cr == CR_SUCCESS) devinst = found;
    return cr;
}

uint32_t Win32DeviceTree::GetParent(uint32_t& parent, uint32_t devinst) {
    parent = 0;
    auto fn = ORV_ENTRY(CM_Get_Parent);
    if (!fn) return kCrCallNotImplemented;
    DEVINST found = 0;
    CONFIGRET cr = fn(&found, devinst, 0);
    if (cr == CR_SUCCESS) parent = found;
    return cr;
}

uint32_t Win32DeviceTree::GetDeviceId(uint32_t devinst, char* buffer, uint32_t len) {
    auto fn = ORV_ENTRY(CM_Get_Device_IDA);
    if (!fn) return kCrCallNotImplemented;
    return fn(devinst, buffer, len, 0);
}

uint32_t Win32DeviceTree::GetDevNodeRegistryProperty(uint32_t devinst, uint32_t cm_property, uint32_t* reg_type,
                                                     void* buffer, uint32_t* len) {
    auto fn = ORV_ENTRY(CM_Get_DevNode_Registry_PropertyA);
    if (!fn) return kCrCallNotImplemented;
    ULONG type = 0;
    ULONG length = len ? *len : 0;
    CONFIGRET cr = fn(devinst, cm_property, &type, buffer, len ? &length : nullptr, 0);
    if (reg_type) *reg_type = type;
    if (len) *len = length;
    return cr;
}

uint32_t Win32DeviceTree::ReenumerateDevNode(uint32_t devinst, uint32_t flags) {
    auto fn = ORV_ENTRY(CM_Reenumerate_DevNode);
    if (!fn) return kCrCallNotImplemented;
    return fn(devinst, flags);
}

}  // namespace orvane::platform::win32
