#pragma once
// What the setup and configuration-manager services answer ("Setupapi.dll", "cfgmgr32.dll"),
// call for call, with their records laid out as published so the logic above reads like
// the Windows calls it makes.
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/win_errors.h"

namespace orvane::platform {

struct Guid {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};
    friend bool operator==(const Guid&, const Guid&) = default;
};
static_assert(sizeof(Guid) == 16);

// SetupDiGetClassDevsA flags.
constexpr uint32_t kDigcfDefault = 0x01;
constexpr uint32_t kDigcfPresent = 0x02;
constexpr uint32_t kDigcfAllClasses = 0x04;
constexpr uint32_t kDigcfProfile = 0x08;
constexpr uint32_t kDigcfDeviceInterface = 0x10;

// SPDRP_* registry properties; the CM_DRP_* code of the same property is one more.
constexpr uint32_t kSpdrpDeviceDesc = 0x00;
constexpr uint32_t kSpdrpHardwareId = 0x01;
constexpr uint32_t kSpdrpCompatibleIds = 0x02;
constexpr uint32_t kSpdrpService = 0x04;
constexpr uint32_t kSpdrpClass = 0x07;
constexpr uint32_t kSpdrpClassGuid = 0x08;
constexpr uint32_t kSpdrpDriver = 0x09;
constexpr uint32_t kSpdrpFriendlyName = 0x0C;
constexpr uint32_t kSpdrpLocationInformation = 0x0D;
constexpr uint32_t kSpdrpPhysicalDeviceObjectName = 0x0E;
constexpr uint32_t kSpdrpEnumeratorName = 0x16;
constexpr uint32_t CmDrp(uint32_t spdrp) { return spdrp + 1; }

// Registry value types of the properties.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegMultiSz = 7;

// CONFIGRET values.
constexpr uint32_t kCrSuccess = 0x00;
constexpr uint32_t kCrInvalidPointer = 0x03;
constexpr uint32_t kCrInvalidDevnode = 0x05;
constexpr uint32_t kCrNoSuchDevnode = 0x0D;
constexpr uint32_t kCrFailure = 0x13;
constexpr uint32_t kCrBufferSmall = 0x1A;
constexpr uint32_t kCrInvalidDeviceId = 0x1E;
constexpr uint32_t kCrNoSuchValue = 0x25;
constexpr uint32_t kCrCallNotImplemented = 0x34;

constexpr uint32_t kCmLocateDevnodeNormal = 0;

// Class installer codes.
constexpr uint32_t kDifRemove = 0x05;
constexpr uint32_t kDifPropertyChange = 0x12;
constexpr uint32_t kDicsStop = 5;
constexpr uint32_t kDicsFlagConfigSpecific = 2;


// setupapi.h packs its records to 8 bytes on 64-bit Windows and to 1 byte on 32-bit.
#if UINTPTR_MAX > 0xFFFFFFFFu
#pragma pack(push, 8)
#else
#pragma pack(push, 1)
#endif
struct SP_DEVINFO_DATA {
    uint32_t cbSize;
    Guid ClassGuid;
    uint32_t DevInst;
    uintptr_t Reserved;
};
struct SP_DEVICE_INTERFACE_DATA {
    uint32_t cbSize;
    Guid InterfaceClassGuid;
    uint32_t Flags;
    uintptr_t Reserved;
};
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    uint32_t cbSize;
    char DevicePath[1];
};
struct SP_CLASSINSTALL_HEADER {
    uint32_t cbSize;
    uint32_t InstallFunction;
};
struct SP_PROPCHANGE_PARAMS {
    SP_CLASSINSTALL_HEADER ClassInstallHeader;
    uint32_t StateChange;
    uint32_t Scope;
    uint32_t HwProfile;
};
#pragma pack(pop)
static_assert(sizeof(SP_DEVINFO_DATA) == (sizeof(void*) == 8 ? 32 : 28));
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 8 ? 8 : 5));
static_assert(sizeof(SP_PROPCHANGE_PARAMS) == 20);

// The process-wide entry-point table, in binding order.
enum SetupEntry : int {
    SetupDiGetClassDevsA_, SetupDiEnumDeviceInfo_, SetupDiEnumDeviceInterfaces_,
    SetupDiGetDeviceInterfaceDetailA_, SetupDiDestroyDeviceInfoList_, SetupDiGetDeviceRegistryPropertyA_,
    SetupDiGetClassImageIndex_, SetupDiCallClassInstaller_, SetupDiSetClassInstallParamsA_,
    SetupDiOpenClassRegKey_, SetupDiGetClassImageList_, SetupDiDestroyClassImageList_,
    SetupDiGetDeviceInstanceIdA_,
    CM_Get_Device_IDA_, CM_Get_Child_, CM_Get_DevNode_Registry_PropertyA_, CM_Get_Sibling_, CM_Get_Parent_,
    CM_Get_DevNode_Status_, CM_Locate_DevNodeA_, CM_Reenumerate_DevNode_,
    CM_Get_First_Log_Conf_, CM_Get_Next_Log_Conf_, CM_Get_Next_Res_Des_, CM_Get_Res_Des_Data_,
    CM_Free_Res_Des_Handle_, CM_Free_Log_Conf_Handle_,
    kSetupEntryCount
};
constexpr int kSetupApiEntries = 13;   // the first 13 come from "Setupapi.dll"
constexpr int kRequiredSetupEntries = 21;
using SetupEntrySet = std::bitset<kSetupEntryCount>;

inline constexpr const char* kSetupEntryNames[kSetupEntryCount] = {
    "SetupDiGetClassDevsA", "SetupDiEnumDeviceInfo", "SetupDiEnumDeviceInterfaces",
    "SetupDiGetDeviceInterfaceDetailA", "SetupDiDestroyDeviceInfoList", "SetupDiGetDeviceRegistryPropertyA",
    "SetupDiGetClassImageIndex", "SetupDiCallClassInstaller", "SetupDiSetClassInstallParamsA",
    "SetupDiOpenClassRegKey", "SetupDiGetClassImageList", "SetupDiDestroyClassImageList",
    "SetupDiGetDeviceInstanceIdA",
    "CM_Get_Device_IDA", "CM_Get_Child", "CM_Get_DevNode_Registry_PropertyA", "CM_Get_Sibling", "CM_Get_Parent",
    "CM_Get_DevNode_Status", "CM_Locate_DevNodeA", "CM_Reenumerate_DevNode",
    "CM_Get_First_Log_Conf", "CM_Get_Next_Log_Conf", "CM_Get_Next_Res_Des", "CM_Get_Res_Des_Data",
    "CM_Free_Res_Des_Handle", "CM_Free_Log_Conf_Handle",
};

// A device information set (HDEVINFO); SetupDiDestroyDeviceInfoList when destroyed.
// Every call sets the tree's LastError as the SetupDi functions do.
class DeviceInfoSet {
public:
    virtual ~DeviceInfoSet() = default;
    virtual bool EnumDeviceInfo(uint32_t index, SP_DEVINFO_DATA& data) = 0;
    virtual bool EnumDeviceInterfaces(const Guid& cls, uint32_t index, SP_DEVICE_INTERFACE_DATA& data) = 0;
    // detail: `size` bytes starting with an SP_DEVICE_INTERFACE_DETAIL_DATA_A whose cbSize is set.
    virtual bool GetDeviceInterfaceDetail(SP_DEVICE_INTERFACE_DATA& iface, void* detail, uint32_t size,
                                          uint32_t* required) = 0;
    // buffer may be null with size 0: the size probe (fails with ERROR_INSUFFICIENT_BUFFER).
    virtual bool GetDeviceRegistryProperty(SP_DEVINFO_DATA& dev, uint32_t property, uint32_t* reg_type,
                                           uint8_t* buffer, uint32_t size, uint32_t* required) = 0;
    virtual bool GetDeviceInstanceId(SP_DEVINFO_DATA& dev, char* buffer, uint32_t size, uint32_t* required) = 0;
    virtual bool SetClassInstallParams(SP_DEVINFO_DATA& dev, const void* params, uint32_t size) = 0;
    virtual bool CallClassInstaller(uint32_t install_function, SP_DEVINFO_DATA& dev) = 0;
};

// One reference to both libraries (FreeLibrary each when destroyed).
class SetupLibraries {
public:
    virtual ~SetupLibraries() = default;
    virtual bool SetupApiLoaded() const = 0;
    virtual bool CfgMgrLoaded() const = 0;
};

class DeviceTree {
public:
    virtual ~DeviceTree() = default;
    // LoadLibraryA("Setupapi.dll") and ("cfgmgr32.dll"), then clear the process-wide table and
    // bind every entry point of a library that loaded. Never fails: a missing name stays unbound.
    virtual std::unique_ptr<SetupLibraries> Load() = 0;
    // The entry points bound by the last Load.
    virtual SetupEntrySet Bound() const = 0;
    // GetLastError as the last SetupDi call left it.
    virtual uint32_t LastError() const = 0;

    // SetupDiGetClassDevsA(cls or none, no enumerator, no window, flags); null for an invalid set.
    virtual std::unique_ptr<DeviceInfoSet> GetClassDevs(const Guid* cls, uint32_t flags) = 0;

    // cfgmgr32, returning CONFIGRET.
    virtual uint32_t LocateDevNode(uint32_t& devinst, const std::string& instance_id, uint32_t flags) = 0;
    virtual uint32_t GetParent(uint32_t& parent, uint32_t devinst) = 0;
    virtual uint32_t GetDeviceId(uint32_t devinst, char* buffer, uint32_t len) = 0;
    virtual uint32_t GetDevNodeRegistryProperty(uint32_t devinst, uint32_t cm_property, uint32_t* reg_type,
                                                void* buffer, uint32_t* len) = 0;
    virtual uint32_t ReenumerateDevNode(uint32_t devinst, uint32_t flags) = 0;
};

}  // namespace orvane::platform
