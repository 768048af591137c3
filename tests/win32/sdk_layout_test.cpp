// Every published record and code we lay out ourselves, against the SDK's own: sizes and
// field offsets at the width this build targets (both Windows builds compile it). Records the
// MinGW-w64 headers lack (CSMI, miniport firmware requests) are checked against their
// published definitions, written out below. Nothing of this ships in the program.

// Ours first: the SDK defines the control codes and flags as macros that would rewrite our
// constants of the same names.
#include "platform/device_tree.h"
#include "platform/records/csmi.h"
#include "platform/records/firmware.h"
#include "platform/records/pass_through.h"
#include "platform/records/storage.h"
#include "platform/storage_io.h"

namespace d = orvane::records;
namespace p = orvane::platform;

namespace ours {
constexpr uint32_t kAta = d::IOCTL_ATA_PASS_THROUGH, kAtaDirect = d::IOCTL_ATA_PASS_THROUGH_DIRECT,
                   kScsi = d::IOCTL_SCSI_PASS_THROUGH, kScsiDirect = d::IOCTL_SCSI_PASS_THROUGH_DIRECT,
                   kIde = d::IOCTL_IDE_PASS_THROUGH, kMiniport = d::IOCTL_SCSI_MINIPORT,
                   kRescan = d::IOCTL_SCSI_RESCAN_BUS, kMiniportFirmware = d::IOCTL_SCSI_MINIPORT_FIRMWARE;
constexpr uint16_t kDrdy = d::ATA_FLAGS_DRDY_REQUIRED, kIn = d::ATA_FLAGS_DATA_IN, kOut = d::ATA_FLAGS_DATA_OUT,
                   k48 = d::ATA_FLAGS_48BIT_COMMAND;
constexpr uint32_t kScsiGetAddress = d::IOCTL_SCSI_GET_ADDRESS, kGetDeviceNumber = d::IOCTL_STORAGE_GET_DEVICE_NUMBER,
                   kQueryProperty = d::IOCTL_STORAGE_QUERY_PROPERTY,
                   kGetDriveGeometry = d::IOCTL_DISK_GET_DRIVE_GEOMETRY,
                   kGetDriveLayout = d::IOCTL_DISK_GET_DRIVE_LAYOUT, kFileDeviceDisk = d::FILE_DEVICE_DISK;
constexpr uint32_t kVolumeDiskExtents = d::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, kLockVolume = d::FSCTL_LOCK_VOLUME,
                   kUnlockVolume = d::FSCTL_UNLOCK_VOLUME, kDismountVolume = d::FSCTL_DISMOUNT_VOLUME,
                   kFileDeviceCdRom = d::FILE_DEVICE_CD_ROM, kFileDeviceDvd = d::FILE_DEVICE_DVD;
}  // namespace ours

// The adapter descriptor's last two fields are declared only for Windows 8 and later; the
// record is the same size either way, and this file only compares layouts.
#define NTDDI_VERSION 0x06020000
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstddef>

#include <gtest/gtest.h>

#define SAME_SIZE(ns, type) static_assert(sizeof(ns::type) == sizeof(::type), #type)
#define SAME_FIELD(ns, type, field) \
    static_assert(offsetof(ns::type, field) == offsetof(::type, field), #type "." #field)
// Our record against an SDK record of another name.
#define SAME_AS(ours, theirs, field) static_assert(offsetof(d::ours, field) == offsetof(theirs, field), #field)

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

static_assert(ours::kScsiGetAddress == IOCTL_SCSI_GET_ADDRESS);
static_assert(ours::kGetDeviceNumber == IOCTL_STORAGE_GET_DEVICE_NUMBER);
static_assert(ours::kQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY);
static_assert(ours::kGetDriveGeometry == IOCTL_DISK_GET_DRIVE_GEOMETRY);
static_assert(ours::kGetDriveLayout == IOCTL_DISK_GET_DRIVE_LAYOUT);
static_assert(ours::kFileDeviceDisk == FILE_DEVICE_DISK);
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

static_assert(ours::kVolumeDiskExtents == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS);
static_assert(ours::kLockVolume == FSCTL_LOCK_VOLUME && ours::kUnlockVolume == FSCTL_UNLOCK_VOLUME &&
              ours::kDismountVolume == FSCTL_DISMOUNT_VOLUME);
static_assert(ours::kFileDeviceCdRom == FILE_DEVICE_CD_ROM && ours::kFileDeviceDvd == FILE_DEVICE_DVD);
static_assert(p::kDriveUnknown == DRIVE_UNKNOWN && p::kDriveNoRootDir == DRIVE_NO_ROOT_DIR &&
              p::kDriveRemovable == DRIVE_REMOVABLE && p::kDriveFixed == DRIVE_FIXED &&
              p::kDriveRemote == DRIVE_REMOTE && p::kDriveCdRom == DRIVE_CDROM && p::kDriveRamDisk == DRIVE_RAMDISK);
static_assert(p::kErrorSharingViolation == ERROR_SHARING_VIOLATION && p::kErrorNotLocked == ERROR_NOT_LOCKED &&
              p::kErrorMoreData == ERROR_MORE_DATA);
SAME_SIZE(d, DISK_EXTENT);
SAME_FIELD(d, DISK_EXTENT, DiskNumber);
SAME_FIELD(d, DISK_EXTENT, StartingOffset);
SAME_FIELD(d, DISK_EXTENT, ExtentLength);
SAME_SIZE(d, VOLUME_DISK_EXTENTS);
SAME_FIELD(d, VOLUME_DISK_EXTENTS, NumberOfDiskExtents);
SAME_FIELD(d, VOLUME_DISK_EXTENTS, Extents);

// --- pass-through and miniport records

static_assert(sizeof(d::ATA_PASS_THROUGH_EX) == sizeof(ATA_PASS_THROUGH_EX));
SAME_AS(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, AtaFlags);
SAME_AS(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, PathId);
SAME_AS(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, DataTransferLength);
SAME_AS(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, TimeOutValue);
SAME_AS(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, ReservedAsUlong);
SAME_AS(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, DataBufferOffset);
SAME_AS(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, PreviousTaskFile);
SAME_AS(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, CurrentTaskFile);

static_assert(sizeof(d::ATA_PASS_THROUGH_DIRECT) == sizeof(ATA_PASS_THROUGH_DIRECT));
SAME_AS(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, DataTransferLength);
SAME_AS(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, TimeOutValue);
SAME_AS(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, DataBuffer);
SAME_AS(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, PreviousTaskFile);
SAME_AS(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, CurrentTaskFile);

static_assert(sizeof(d::SCSI_PASS_THROUGH) == sizeof(SCSI_PASS_THROUGH));
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, ScsiStatus);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, TargetId);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, CdbLength);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, SenseInfoLength);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, DataIn);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, DataTransferLength);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, TimeOutValue);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, DataBufferOffset);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, SenseInfoOffset);
SAME_AS(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, Cdb);

static_assert(sizeof(d::SCSI_PASS_THROUGH_DIRECT) == sizeof(SCSI_PASS_THROUGH_DIRECT));
SAME_AS(SCSI_PASS_THROUGH_DIRECT, SCSI_PASS_THROUGH_DIRECT, DataTransferLength);
SAME_AS(SCSI_PASS_THROUGH_DIRECT, SCSI_PASS_THROUGH_DIRECT, DataBuffer);
SAME_AS(SCSI_PASS_THROUGH_DIRECT, SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset);
SAME_AS(SCSI_PASS_THROUGH_DIRECT, SCSI_PASS_THROUGH_DIRECT, Cdb);

static_assert(sizeof(d::SRB_IO_CONTROL) == sizeof(SRB_IO_CONTROL));
SAME_AS(SRB_IO_CONTROL, SRB_IO_CONTROL, Signature);
SAME_AS(SRB_IO_CONTROL, SRB_IO_CONTROL, Timeout);
SAME_AS(SRB_IO_CONTROL, SRB_IO_CONTROL, ControlCode);
SAME_AS(SRB_IO_CONTROL, SRB_IO_CONTROL, ReturnCode);
SAME_AS(SRB_IO_CONTROL, SRB_IO_CONTROL, Length);

static_assert(sizeof(d::IdeRegs) == sizeof(IDEREGS));
SAME_AS(IdeRegs, IDEREGS, bSectorCountReg);
SAME_AS(IdeRegs, IDEREGS, bCylHighReg);
SAME_AS(IdeRegs, IDEREGS, bDriveHeadReg);
SAME_AS(IdeRegs, IDEREGS, bCommandReg);

static_assert(ours::kAta == IOCTL_ATA_PASS_THROUGH && ours::kAtaDirect == IOCTL_ATA_PASS_THROUGH_DIRECT);
static_assert(ours::kScsi == IOCTL_SCSI_PASS_THROUGH && ours::kScsiDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT);
static_assert(ours::kIde == IOCTL_IDE_PASS_THROUGH && ours::kMiniport == IOCTL_SCSI_MINIPORT);
static_assert(ours::kRescan == IOCTL_SCSI_RESCAN_BUS);
static_assert(ours::kDrdy == ATA_FLAGS_DRDY_REQUIRED && ours::kIn == ATA_FLAGS_DATA_IN &&
              ours::kOut == ATA_FLAGS_DATA_OUT && ours::k48 == ATA_FLAGS_48BIT_COMMAND);

// The buffered records' data follows the header and filler at either width.
TEST(SdkLayout, BufferedDataOffsets) {
    EXPECT_EQ(d::kAtaExDataOffset, sizeof(ATA_PASS_THROUGH_EX) + sizeof(ULONG));
    EXPECT_EQ(d::kSptSenseOffset, sizeof(SCSI_PASS_THROUGH) + sizeof(ULONG));
    EXPECT_EQ(d::kSptDataOffset, d::kSptSenseOffset + 32);
}

// --- records the MinGW-w64 headers lack, as published (CSMI packs to 8)
namespace published {
#pragma pack(push, 8)
struct CSMI_SAS_DRIVER_INFO {
    UCHAR szName[81];
    UCHAR szDescription[81];
    USHORT usMajorRevision, usMinorRevision, usBuildRevision, usReleaseRevision;
    USHORT usCSMIMajorRevision, usCSMIMinorRevision;
};
struct CSMI_SAS_DRIVER_INFO_BUFFER {
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_DRIVER_INFO Information;
};
struct CSMI_SAS_IDENTIFY {
    UCHAR bDeviceType, bRestricted, bInitiatorPortProtocol, bTargetPortProtocol;
    UCHAR bRestricted2[8];
    UCHAR bSASAddress[8];
    UCHAR bPhyIdentifier, bSignalClass;
    UCHAR bReserved[6];
};
struct CSMI_SAS_PHY_ENTITY {
    CSMI_SAS_IDENTIFY Identify;
    UCHAR bPortIdentifier, bNegotiatedLinkRate, bMinimumLinkRate, bMaximumLinkRate;
    UCHAR bPhyChangeCount, bAutoDiscover, bPhyFeatures, bReserved;
    CSMI_SAS_IDENTIFY Attached;
};
struct CSMI_SAS_PHY_INFO {
    UCHAR bNumberOfPhys;
    UCHAR bReserved[3];
    CSMI_SAS_PHY_ENTITY Phy[32];
};
struct CSMI_SAS_PHY_INFO_BUFFER {
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_PHY_INFO Information;
};
struct CSMI_SAS_STP_PASSTHRU {
    UCHAR bPhyIdentifier, bPortIdentifier, bConnectionRate, bReserved;
    UCHAR bDestinationSASAddress[8];
    UCHAR bReserved2[4];
    UCHAR bCommandFIS[20];
    ULONG uFlags;
    ULONG uDataLength;
};
struct CSMI_SAS_STP_PASSTHRU_STATUS {
    UCHAR bConnectionStatus;
    UCHAR bReserved[3];
    UCHAR bStatusFIS[20];
    ULONG uSCR[16];
    ULONG uDataBytes;
};
struct CSMI_SAS_STP_PASSTHRU_BUFFER {
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_STP_PASSTHRU Parameters;
    CSMI_SAS_STP_PASSTHRU_STATUS Status;
    UCHAR bDataBuffer[1];
};
#pragma pack(pop)

struct FIRMWARE_REQUEST_BLOCK {
    ULONG Version, Size, Function, Flags, DataBufferOffset, DataBufferLength;
};
struct STORAGE_FIRMWARE_SLOT_INFO {
    UCHAR SlotNumber;
    BOOLEAN ReadOnly;
    UCHAR Reserved[6];
    union {
        UCHAR Info[8];
        ULONGLONG AsUlonglong;
    } Revision;
};
struct STORAGE_FIRMWARE_INFO {
    ULONG Version, Size;
    BOOLEAN UpgradeSupport;
    UCHAR SlotCount, ActiveSlot, PendingActivateSlot;
    ULONG Reserved;
    STORAGE_FIRMWARE_SLOT_INFO Slot[1];
};
struct STORAGE_FIRMWARE_DOWNLOAD {
    ULONG Version, Size;
    ULONGLONG Offset, BufferSize;
    UCHAR ImageBuffer[1];
};
struct STORAGE_FIRMWARE_ACTIVATE {
    ULONG Version, Size;
    UCHAR SlotToActivate;
    UCHAR Reserved0[3];
};
// FILE_DEVICE_SCSI is 0x1B.
constexpr DWORD IOCTL_SCSI_MINIPORT_FIRMWARE_VALUE = (0x1B << 16) + 0x0780;
}  // namespace published

#define SAME_PUBLISHED(type, field) \
    static_assert(offsetof(d::type, field) == offsetof(published::type, field), #type "." #field)

static_assert(sizeof(d::CSMI_SAS_DRIVER_INFO_BUFFER) == sizeof(published::CSMI_SAS_DRIVER_INFO_BUFFER));
SAME_PUBLISHED(CSMI_SAS_DRIVER_INFO_BUFFER, Information.szName);
SAME_PUBLISHED(CSMI_SAS_DRIVER_INFO_BUFFER, Information.szDescription);
SAME_PUBLISHED(CSMI_SAS_DRIVER_INFO_BUFFER, Information.usMajorRevision);
SAME_PUBLISHED(CSMI_SAS_DRIVER_INFO_BUFFER, Information.usMinorRevision);
SAME_PUBLISHED(CSMI_SAS_DRIVER_INFO_BUFFER, Information.usCSMIMinorRevision);
static_assert(sizeof(d::CSMI_SAS_IDENTIFY) == sizeof(published::CSMI_SAS_IDENTIFY));
SAME_PUBLISHED(CSMI_SAS_IDENTIFY, bInitiatorPortProtocol);
SAME_PUBLISHED(CSMI_SAS_IDENTIFY, bTargetPortProtocol);
SAME_PUBLISHED(CSMI_SAS_IDENTIFY, bSASAddress);
SAME_PUBLISHED(CSMI_SAS_IDENTIFY, bPhyIdentifier);
static_assert(sizeof(d::CSMI_SAS_PHY_ENTITY) == sizeof(published::CSMI_SAS_PHY_ENTITY));
SAME_PUBLISHED(CSMI_SAS_PHY_ENTITY, bPortIdentifier);
SAME_PUBLISHED(CSMI_SAS_PHY_ENTITY, Attached);
static_assert(sizeof(d::CSMI_SAS_PHY_INFO_BUFFER) == sizeof(published::CSMI_SAS_PHY_INFO_BUFFER));
SAME_PUBLISHED(CSMI_SAS_PHY_INFO_BUFFER, Information.bNumberOfPhys);
SAME_PUBLISHED(CSMI_SAS_PHY_INFO_BUFFER, Information.Phy);
static_assert(sizeof(d::CSMI_SAS_STP_PASSTHRU_BUFFER) == sizeof(published::CSMI_SAS_STP_PASSTHRU_BUFFER));
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bPhyIdentifier);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bPortIdentifier);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bConnectionRate);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bDestinationSASAddress);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bCommandFIS);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.uFlags);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.uDataLength);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Status.bStatusFIS);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Status.uSCR);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, Status.uDataBytes);
SAME_PUBLISHED(CSMI_SAS_STP_PASSTHRU_BUFFER, bDataBuffer);

static_assert(sizeof(d::FIRMWARE_REQUEST_BLOCK) == sizeof(published::FIRMWARE_REQUEST_BLOCK));
SAME_PUBLISHED(FIRMWARE_REQUEST_BLOCK, Function);
SAME_PUBLISHED(FIRMWARE_REQUEST_BLOCK, Flags);
SAME_PUBLISHED(FIRMWARE_REQUEST_BLOCK, DataBufferOffset);
SAME_PUBLISHED(FIRMWARE_REQUEST_BLOCK, DataBufferLength);
static_assert(d::kFirmwareDataOffset == sizeof(SRB_IO_CONTROL) + sizeof(published::FIRMWARE_REQUEST_BLOCK));
static_assert(sizeof(d::STORAGE_FIRMWARE_SLOT_INFO) == sizeof(published::STORAGE_FIRMWARE_SLOT_INFO));
SAME_PUBLISHED(STORAGE_FIRMWARE_SLOT_INFO, ReadOnly);
SAME_PUBLISHED(STORAGE_FIRMWARE_SLOT_INFO, Revision);
static_assert(sizeof(d::STORAGE_FIRMWARE_INFO) == offsetof(published::STORAGE_FIRMWARE_INFO, Slot));
SAME_PUBLISHED(STORAGE_FIRMWARE_INFO, UpgradeSupport);
SAME_PUBLISHED(STORAGE_FIRMWARE_INFO, SlotCount);
SAME_PUBLISHED(STORAGE_FIRMWARE_INFO, ActiveSlot);
SAME_PUBLISHED(STORAGE_FIRMWARE_INFO, PendingActivateSlot);
static_assert(sizeof(d::STORAGE_FIRMWARE_DOWNLOAD) == offsetof(published::STORAGE_FIRMWARE_DOWNLOAD, ImageBuffer));
SAME_PUBLISHED(STORAGE_FIRMWARE_DOWNLOAD, Offset);
SAME_PUBLISHED(STORAGE_FIRMWARE_DOWNLOAD, BufferSize);
static_assert(sizeof(d::STORAGE_FIRMWARE_ACTIVATE) == sizeof(published::STORAGE_FIRMWARE_ACTIVATE));
SAME_PUBLISHED(STORAGE_FIRMWARE_ACTIVATE, Size);
SAME_PUBLISHED(STORAGE_FIRMWARE_ACTIVATE, SlotToActivate);
static_assert(ours::kMiniportFirmware == published::IOCTL_SCSI_MINIPORT_FIRMWARE_VALUE);

// The sizes a request is built from, as the drivers of this width expect them.
TEST(SdkLayout, CsmiAndFirmwareRequestSizes) {
    EXPECT_EQ(sizeof(published::CSMI_SAS_DRIVER_INFO_BUFFER), 204u);
    EXPECT_EQ(sizeof(published::CSMI_SAS_PHY_INFO_BUFFER), 2080u);
    EXPECT_EQ(offsetof(published::CSMI_SAS_STP_PASSTHRU_BUFFER, bDataBuffer), 164u);
    EXPECT_EQ(d::CsmiStpLength(512), 652u);
    EXPECT_EQ(d::kFirmwareDataOffset + offsetof(published::STORAGE_FIRMWARE_DOWNLOAD, ImageBuffer) + 4096, 4172u);
}
