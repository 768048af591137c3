// The discovery records and codes against the SDK's own: every size and field offset, at the
// width this build targets (both Windows builds compile it). Nothing here runs.

// The adapter descriptor's last two fields are declared only for Windows 8 and later; the
// record is the same size either way, and this file only compares layouts.
#define NTDDI_VERSION 0x06020000
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstddef>

// The SDK's control codes are macros that would rewrite our constants of the same names:
// take their values, then drop the macros before our headers come in.
namespace sdk {
constexpr DWORD kScsiGetAddress = IOCTL_SCSI_GET_ADDRESS;
constexpr DWORD kGetDeviceNumber = IOCTL_STORAGE_GET_DEVICE_NUMBER;
constexpr DWORD kQueryProperty = IOCTL_STORAGE_QUERY_PROPERTY;
constexpr DWORD kGetDriveGeometry = IOCTL_DISK_GET_DRIVE_GEOMETRY;
constexpr DWORD kGetDriveLayout = IOCTL_DISK_GET_DRIVE_LAYOUT;
constexpr DWORD kFileDeviceDisk = FILE_DEVICE_DISK;
}  // namespace sdk
#undef IOCTL_SCSI_GET_ADDRESS
#undef IOCTL_STORAGE_GET_DEVICE_NUMBER
#undef IOCTL_STORAGE_QUERY_PROPERTY
#undef IOCTL_DISK_GET_DRIVE_GEOMETRY
#undef IOCTL_DISK_GET_DRIVE_LAYOUT
#undef FILE_DEVICE_DISK

#include "discovery/storage_records.h"
#include "platform/device_tree.h"
#include "platform/storage_io.h"

namespace d = orvane::discovery;
namespace p = orvane::platform;

#define SAME_SIZE(ns, type) static_assert(sizeof(ns::type) == sizeof(::type), #type)
#define SAME_FIELD(ns, type, field) \
    static_assert(offsetof(ns::type, field) == offsetof(::type, field), #type "." #field)

// --- device tree records
static_assert(sizeof(p::Guid) == sizeof(GUID));
static_assert(offsetof(p::Guid, Data2) == offsetof(GUID, Data2));
static_assert(offsetof(p::Guid, Data3) == offsetof(GUID, Data3));
static_assert(offsetof(p::Guid, Data4) == offsetof(GUID, Data4));

SAME_SIZE(p, SP_DEVINFO_DATA);
SAME_FIELD(p, SP_DEVINFO_DATA, cbSize);
SAME_FIELD(p, SP_DEVINFO_DATA, ClassGuid);
SAME_FIELD(p, SP_DEVINFO_DATA, DevInst);
SAME_FIELD(p, SP_DEVINFO_DATA, Reserved);

SAME_SIZE(p, SP_DEVICE_INTERFACE_DATA);
SAME_FIELD(p, SP_DEVICE_INTERFACE_DATA, cbSize);
SAME_FIELD(p, SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid);
SAME_FIELD(p, SP_DEVICE_INTERFACE_DATA, Flags);
SAME_FIELD(p, SP_DEVICE_INTERFACE_DATA, Reserved);

SAME_SIZE(p, SP_DEVICE_INTERFACE_DETAIL_DATA_A);
SAME_FIELD(p, SP_DEVICE_INTERFACE_DETAIL_DATA_A, cbSize);
SAME_FIELD(p, SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

SAME_SIZE(p, SP_CLASSINSTALL_HEADER);
SAME_FIELD(p, SP_CLASSINSTALL_HEADER, cbSize);
SAME_FIELD(p, SP_CLASSINSTALL_HEADER, InstallFunction);

SAME_SIZE(p, SP_PROPCHANGE_PARAMS);
SAME_FIELD(p, SP_PROPCHANGE_PARAMS, ClassInstallHeader);
SAME_FIELD(p, SP_PROPCHANGE_PARAMS, StateChange);
SAME_FIELD(p, SP_PROPCHANGE_PARAMS, Scope);
SAME_FIELD(p, SP_PROPCHANGE_PARAMS, HwProfile);

// --- device tree codes
static_assert(p::kDigcfDefault == DIGCF_DEFAULT && p::kDigcfPresent == DIGCF_PRESENT &&
              p::kDigcfAllClasses == DIGCF_ALLCLASSES && p::kDigcfProfile == DIGCF_PROFILE &&
              p::kDigcfDeviceInterface == DIGCF_DEVICEINTERFACE);
static_assert(p::kSpdrpDeviceDesc == SPDRP_DEVICEDESC && p::kSpdrpHardwareId == SPDRP_HARDWAREID &&
              p::kSpdrpCompatibleIds == SPDRP_COMPATIBLEIDS && p::kSpdrpService == SPDRP_SERVICE &&
              p::kSpdrpClass == SPDRP_CLASS && p::kSpdrpClassGuid == SPDRP_CLASSGUID &&
              p::kSpdrpDriver == SPDRP_DRIVER && p::kSpdrpFriendlyName == SPDRP_FRIENDLYNAME &&
              p::kSpdrpLocationInformation == SPDRP_LOCATION_INFORMATION &&
              p::kSpdrpPhysicalDeviceObjectName == SPDRP_PHYSICAL_DEVICE_OBJECT_NAME &&
              p::kSpdrpEnumeratorName == SPDRP_ENUMERATOR_NAME);
static_assert(p::CmDrp(p::kSpdrpDeviceDesc) == CM_DRP_DEVICEDESC && p::CmDrp(p::kSpdrpDriver) == CM_DRP_DRIVER &&
              p::CmDrp(p::kSpdrpClassGuid) == CM_DRP_CLASSGUID && p::CmDrp(p::kSpdrpService) == CM_DRP_SERVICE &&
              p::CmDrp(p::kSpdrpFriendlyName) == CM_DRP_FRIENDLYNAME &&
              p::CmDrp(p::kSpdrpEnumeratorName) == CM_DRP_ENUMERATOR_NAME);
static_assert(p::kRegSz == REG_SZ && p::kRegMultiSz == REG_MULTI_SZ);
static_assert(p::kCrSuccess == CR_SUCCESS && p::kCrInvalidPointer == CR_INVALID_POINTER &&
              p::kCrInvalidDevnode == CR_INVALID_DEVNODE && p::kCrNoSuchDevnode == CR_NO_SUCH_DEVNODE &&
              p::kCrFailure == CR_FAILURE && p::kCrBufferSmall == CR_BUFFER_SMALL &&
              p::kCrInvalidDeviceId == CR_INVALID_DEVICE_ID && p::kCrNoSuchValue == CR_NO_SUCH_VALUE &&
              p::kCrCallNotImplemented == CR_CALL_NOT_IMPLEMENTED);
static_assert(p::kCmLocateDevnodeNormal == CM_LOCATE_DEVNODE_NORMAL);
static_assert(p::kDifRemove == DIF_REMOVE && p::kDifPropertyChange == DIF_PROPERTYCHANGE &&
              p::kDicsStop == DICS_STOP && p::kDicsFlagConfigSpecific == DICS_FLAG_CONFIGSPECIFIC);
static_assert(p::kErrorInvalidUserBuffer == ERROR_INVALID_USER_BUFFER &&
              p::kErrorProcNotFound == ERROR_PROC_NOT_FOUND);

// --- storage request codes and system errors
static_assert(p::kGenericRead == GENERIC_READ && p::kGenericWrite == GENERIC_WRITE);
static_assert(p::kFileShareRead == FILE_SHARE_READ && p::kFileShareWrite == FILE_SHARE_WRITE &&
              p::kFileShareDelete == FILE_SHARE_DELETE);
static_assert(p::kErrorInvalidFunction == ERROR_INVALID_FUNCTION && p::kErrorFileNotFound == ERROR_FILE_NOT_FOUND &&
              p::kErrorAccessDenied == ERROR_ACCESS_DENIED && p::kErrorInvalidHandle == ERROR_INVALID_HANDLE &&
              p::kErrorInvalidData == ERROR_INVALID_DATA && p::kErrorNotSupported == ERROR_NOT_SUPPORTED &&
              p::kErrorInvalidParameter == ERROR_INVALID_PARAMETER &&
              p::kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER && p::kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);

static_assert(d::IOCTL_SCSI_GET_ADDRESS == sdk::kScsiGetAddress);
static_assert(d::IOCTL_STORAGE_GET_DEVICE_NUMBER == sdk::kGetDeviceNumber);
static_assert(d::IOCTL_STORAGE_QUERY_PROPERTY == sdk::kQueryProperty);
static_assert(d::IOCTL_DISK_GET_DRIVE_GEOMETRY == sdk::kGetDriveGeometry);
static_assert(d::IOCTL_DISK_GET_DRIVE_LAYOUT == sdk::kGetDriveLayout);
static_assert(d::FILE_DEVICE_DISK == sdk::kFileDeviceDisk);
static_assert(d::FixedMedia == ::FixedMedia);
static_assert(d::StorageDeviceProperty == ::StorageDeviceProperty &&
              d::StorageAdapterProperty == ::StorageAdapterProperty);
static_assert(d::PropertyStandardQuery == ::PropertyStandardQuery && d::PropertyExistsQuery == ::PropertyExistsQuery);
// Our bus types are plain numbers, the SDK's an enum of its own.
constexpr int N(int v) { return v; }
static_assert(N(d::BusTypeScsi) == ::BusTypeScsi && N(d::BusTypeAtapi) == ::BusTypeAtapi &&
              N(d::BusTypeAta) == ::BusTypeAta && N(d::BusTypeUsb) == ::BusTypeUsb &&
              N(d::BusTypeRAID) == ::BusTypeRAID && N(d::BusTypeiScsi) == ::BusTypeiScsi &&
              N(d::BusTypeSas) == ::BusTypeSas && N(d::BusTypeSata) == ::BusTypeSata &&
              N(d::BusTypeSd) == ::BusTypeSd && N(d::BusTypeMmc) == ::BusTypeMmc &&
              N(d::BusTypeVirtual) == ::BusTypeVirtual && N(d::BusTypeFileBackedVirtual) == ::BusTypeFileBackedVirtual &&
              N(d::BusTypeSpaces) == ::BusTypeSpaces && N(d::BusTypeNvme) == ::BusTypeNvme);

// --- storage records
SAME_SIZE(d, SCSI_ADDRESS);
SAME_FIELD(d, SCSI_ADDRESS, Length);
SAME_FIELD(d, SCSI_ADDRESS, PortNumber);
SAME_FIELD(d, SCSI_ADDRESS, PathId);
SAME_FIELD(d, SCSI_ADDRESS, TargetId);
SAME_FIELD(d, SCSI_ADDRESS, Lun);

SAME_SIZE(d, STORAGE_DEVICE_NUMBER);
SAME_FIELD(d, STORAGE_DEVICE_NUMBER, DeviceType);
SAME_FIELD(d, STORAGE_DEVICE_NUMBER, DeviceNumber);
SAME_FIELD(d, STORAGE_DEVICE_NUMBER, PartitionNumber);

SAME_SIZE(d, STORAGE_PROPERTY_QUERY);
SAME_FIELD(d, STORAGE_PROPERTY_QUERY, PropertyId);
SAME_FIELD(d, STORAGE_PROPERTY_QUERY, QueryType);
SAME_FIELD(d, STORAGE_PROPERTY_QUERY, AdditionalParameters);

SAME_SIZE(d, STORAGE_DEVICE_DESCRIPTOR);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, Version);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, Size);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, DeviceType);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, DeviceTypeModifier);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, RemovableMedia);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, CommandQueueing);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, BusType);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, RawPropertiesLength);
SAME_FIELD(d, STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties);
static_assert(sizeof(::STORAGE_BUS_TYPE) == sizeof(d::STORAGE_DEVICE_DESCRIPTOR{}.BusType));

SAME_SIZE(d, STORAGE_ADAPTER_DESCRIPTOR);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, Version);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, Size);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, MaximumPhysicalPages);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, AdapterUsesPio);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, AdapterScansDown);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, CommandQueueing);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, AcceleratedTransfer);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, BusType);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, BusMajorVersion);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, BusMinorVersion);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, SrbType);
SAME_FIELD(d, STORAGE_ADAPTER_DESCRIPTOR, AddressType);

SAME_SIZE(d, DISK_GEOMETRY);
SAME_FIELD(d, DISK_GEOMETRY, Cylinders);
SAME_FIELD(d, DISK_GEOMETRY, MediaType);
SAME_FIELD(d, DISK_GEOMETRY, TracksPerCylinder);
SAME_FIELD(d, DISK_GEOMETRY, SectorsPerTrack);
SAME_FIELD(d, DISK_GEOMETRY, BytesPerSector);

SAME_SIZE(d, PARTITION_INFORMATION);
SAME_FIELD(d, PARTITION_INFORMATION, StartingOffset);
SAME_FIELD(d, PARTITION_INFORMATION, PartitionLength);
SAME_FIELD(d, PARTITION_INFORMATION, HiddenSectors);
SAME_FIELD(d, PARTITION_INFORMATION, PartitionNumber);
SAME_FIELD(d, PARTITION_INFORMATION, PartitionType);
SAME_FIELD(d, PARTITION_INFORMATION, BootIndicator);
SAME_FIELD(d, PARTITION_INFORMATION, RecognizedPartition);
SAME_FIELD(d, PARTITION_INFORMATION, RewritePartition);

SAME_SIZE(d, DRIVE_LAYOUT_INFORMATION);
SAME_FIELD(d, DRIVE_LAYOUT_INFORMATION, PartitionCount);
SAME_FIELD(d, DRIVE_LAYOUT_INFORMATION, Signature);
SAME_FIELD(d, DRIVE_LAYOUT_INFORMATION, PartitionEntry);
