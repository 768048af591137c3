#pragma once
// The records the device manager fills: one DISK_NODE per disk, its ancestor chain and its
// DISK_INFO. Texts are fixed NUL-padded fields; anything longer is cut to the field.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/records/storage.h"
#include "platform/device_tree.h"
#include "text/text.h"

namespace orvane::discovery {

// Discovery speaks the published disk property, address and layout records.
using namespace ::orvane::records;

using platform::Guid;

// Copy `text` into a fixed field, cut to leave room for the terminator.
template <size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

// A fixed field's text up to its first NUL, never past its end.
using text::FieldView;

struct ANCESTOR_NODE {
    Guid ClassGuid{};
    char szDriverKey[260] = {};
    char szDeviceDesc[260] = {};
    char szInstanceId[260] = {};
    char szFriendlyName[260] = {};
    char szLocation[260] = {};
    char szService[260] = {};
    uint16_t wVendorId = 0;
    uint16_t wDeviceId = 0;
    std::unique_ptr<ANCESTOR_NODE> pNext;
};

// The Win32_DiskDrive property set.
struct DISK_INFO {
    char DeviceID[256] = {};
    char Caption[256] = {};
    char InterfaceType[32] = {};
    char MediaType[256] = {};
    char Model[64] = {};
    char FirmwareRevision[8] = {};  // not necessarily terminated
    char Name[256] = {};
    int32_t Index = 0;
    uint32_t Partitions = 0;
    int32_t SCSIBus = 0;
    int32_t SCSILogicalUnit = 0;
    int32_t SCSIPort = 0;
    int32_t SCSITargetId = 0;
    uint32_t Signature = 0;
    uint64_t Size = 0;
    uint64_t TotalCylinders = 0;
    uint32_t TotalHeads = 0;
    uint64_t TotalSectors = 0;
    uint64_t TotalTracks = 0;
    uint32_t BytesPerSector = 0;
    uint32_t SectorsPerTrack = 0;
    uint32_t TracksPerCylinder = 0;
};

struct DISK_NODE {
    std::unique_ptr<ANCESTOR_NODE> pParent;
    char szDevicePath[512] = {};
    char szInstanceId[260] = {};
    char szDeviceDesc[260] = {};
    char szEnumerator[260] = {};
    char szPdoName[260] = {};
    char szDriverKey[260] = {};
    char szLocation[260] = {};
    char szHardwareId[260] = {};
    char szCompatibleId[260] = {};
    char szFriendlyName[260] = {};
    char szService[260] = {};
    Guid ClassGuid{};
    uint8_t bHasScsiAddress = 0;
    SCSI_ADDRESS ScsiAddress{};
    uint8_t bDeviceNumber = 0;
    int32_t iDeviceNumber = -1;  // whole, for comparisons; -1 when the disk did not say
    uint8_t bBusType = 0;
    uint8_t bTaken = 0;
    uint32_t dwMaxTransferLength = 0;
    uint32_t dwMaxPhysicalPages = 0;
    uint16_t wVendorId = 0;
    uint16_t wDeviceId = 0;
    uint8_t DriveLetters[26] = {};
    std::unique_ptr<DISK_INFO> pInfo;
    char ProductRevisionText[8] = {};  // not terminated
    char SerialNumberText[20] = {};    // not terminated
};

struct DRIVE_LETTER_ENTRY {
    uint32_t dwDiskNumber = 0;
    uint8_t Letters[26] = {};
};
constexpr int kLetterMapSize = 26;

// Device setup classes.
constexpr Guid GUID_DEVINTERFACE_DISK{0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr Guid GUID_DEVCLASS_HDC{0x4D36E96A, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr Guid GUID_DEVCLASS_SCSIADAPTER{0x4D36E97B, 0xE325, 0x11CE,
                                         {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

}  // namespace orvane::discovery
