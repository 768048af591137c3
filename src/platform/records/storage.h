#pragma once
// The published records of the disk property, address and layout requests. Both widths lay them out alike; sizes and
// offsets come from the structs, never from literals.
#include <cstddef>
#include <cstdint>

namespace orvane::records {

constexpr uint32_t IOCTL_SCSI_GET_ADDRESS = 0x41018;
constexpr uint32_t IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x2D1080;
constexpr uint32_t IOCTL_STORAGE_QUERY_PROPERTY = 0x2D1400;
constexpr uint32_t IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x70000;
constexpr uint32_t IOCTL_DISK_GET_DRIVE_LAYOUT = 0x7400C;
// Volume requests: which disks a volume lies on, and taking it away from its file system.
constexpr uint32_t IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS = 0x560000;
constexpr uint32_t FSCTL_LOCK_VOLUME = 0x90018;
constexpr uint32_t FSCTL_UNLOCK_VOLUME = 0x9001C;
constexpr uint32_t FSCTL_DISMOUNT_VOLUME = 0x90020;

// STORAGE_PROPERTY_ID and STORAGE_QUERY_TYPE values.
constexpr uint32_t StorageDeviceProperty = 0;
constexpr uint32_t StorageAdapterProperty = 1;
constexpr uint32_t PropertyStandardQuery = 0;
constexpr uint32_t PropertyExistsQuery = 1;

// STORAGE_BUS_TYPE values.
enum : uint8_t {
    BusTypeUnknown = 0, BusTypeScsi = 1, BusTypeAtapi = 2, BusTypeAta = 3, BusType1394 = 4, BusTypeSsa = 5,
    BusTypeFibre = 6, BusTypeUsb = 7, BusTypeRAID = 8, BusTypeiScsi = 9, BusTypeSas = 10, BusTypeSata = 11,
    BusTypeSd = 12, BusTypeMmc = 13, BusTypeVirtual = 14, BusTypeFileBackedVirtual = 15, BusTypeSpaces = 16,
    BusTypeNvme = 17,
};

constexpr uint32_t FILE_DEVICE_CD_ROM = 2;
constexpr uint32_t FILE_DEVICE_DISK = 7;
constexpr uint32_t FILE_DEVICE_DVD = 0x33;
constexpr uint32_t FixedMedia = 12;

struct SCSI_ADDRESS {
    uint32_t Length;
    uint8_t PortNumber;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
};
static_assert(sizeof(SCSI_ADDRESS) == 8);

struct STORAGE_DEVICE_NUMBER {
    uint32_t DeviceType;
    uint32_t DeviceNumber;
    uint32_t PartitionNumber;
};
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);

struct STORAGE_PROPERTY_QUERY {
    uint32_t PropertyId;
    uint32_t QueryType;
    uint8_t AdditionalParameters[1];
};
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);

struct STORAGE_DEVICE_DESCRIPTOR {
    uint32_t Version;
    uint32_t Size;
    uint8_t DeviceType;
    uint8_t DeviceTypeModifier;
    uint8_t RemovableMedia;
    uint8_t CommandQueueing;
    uint32_t VendorIdOffset;
    uint32_t ProductIdOffset;
    uint32_t ProductRevisionOffset;
    uint32_t SerialNumberOffset;
    uint32_t BusType;  // STORAGE_BUS_TYPE
    uint32_t RawPropertiesLength;
    uint8_t RawDeviceProperties[1];
};
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset) == 20);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) == 24);

struct STORAGE_ADAPTER_DESCRIPTOR {
    uint32_t Version;
    uint32_t Size;
    uint32_t MaximumTransferLength;
    uint32_t MaximumPhysicalPages;
    uint32_t AlignmentMask;
    uint8_t AdapterUsesPio;
    uint8_t AdapterScansDown;
    uint8_t CommandQueueing;
    uint8_t AcceleratedTransfer;
    uint8_t BusType;
    uint16_t BusMajorVersion;
    uint16_t BusMinorVersion;
    uint8_t SrbType;
    uint8_t AddressType;
};
static_assert(sizeof(STORAGE_ADAPTER_DESCRIPTOR) == 32);

struct DISK_GEOMETRY {
    int64_t Cylinders;
    uint32_t MediaType;
    uint32_t TracksPerCylinder;
    uint32_t SectorsPerTrack;
    uint32_t BytesPerSector;
};
static_assert(sizeof(DISK_GEOMETRY) == 24);

struct PARTITION_INFORMATION {
    int64_t StartingOffset;
    int64_t PartitionLength;
    uint32_t HiddenSectors;
    uint32_t PartitionNumber;
    uint8_t PartitionType;
    uint8_t BootIndicator;
    uint8_t RecognizedPartition;
    uint8_t RewritePartition;
};
static_assert(sizeof(PARTITION_INFORMATION) == 32);

struct DRIVE_LAYOUT_INFORMATION {
    uint32_t PartitionCount;
    uint32_t Signature;
    PARTITION_INFORMATION PartitionEntry[1];
};
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION) == 40);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry) == 8);

// LARGE_INTEGER is 8-aligned on both widths: the first extent starts at 8, not 4.
struct DISK_EXTENT {
    uint32_t DiskNumber;
    alignas(8) int64_t StartingOffset;
    int64_t ExtentLength;
};
static_assert(sizeof(DISK_EXTENT) == 24);

struct VOLUME_DISK_EXTENTS {
    uint32_t NumberOfDiskExtents;
    DISK_EXTENT Extents[1];
};
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == 8);

}  // namespace orvane::records
