#pragma once
// The miniport firmware requests of the inbox NVMe driver: IOCTL_SCSI_MINIPORT with an
// SRB_IO_CONTROL of signature "FIRMWARE", a FIRMWARE_REQUEST_BLOCK, then the function's
// record. The same layout at both widths.
#include <cstddef>
#include <cstdint>

#include "platform/records/pass_through.h"

namespace orvane::records {

constexpr uint32_t IOCTL_SCSI_MINIPORT_FIRMWARE = 0x1B0780;
constexpr char FIRMWARE_SIGNATURE[] = "FIRMWARE";

constexpr uint32_t FIRMWARE_FUNCTION_GET_INFO = 1;
constexpr uint32_t FIRMWARE_FUNCTION_DOWNLOAD = 2;
constexpr uint32_t FIRMWARE_FUNCTION_ACTIVATE = 3;
constexpr uint32_t FIRMWARE_REQUEST_FLAG_CONTROLLER = 1;
constexpr uint32_t FIRMWARE_REQUEST_BLOCK_STRUCTURE_VERSION = 1;

// FIRMWARE_STATUS values in the SRB header's ReturnCode.
constexpr uint32_t FIRMWARE_STATUS_SUCCESS = 0x0;
constexpr uint32_t FIRMWARE_STATUS_ERROR = 0x1;
constexpr uint32_t FIRMWARE_STATUS_ILLEGAL_REQUEST = 0x2;
constexpr uint32_t FIRMWARE_STATUS_INVALID_PARAMETER = 0x3;
constexpr uint32_t FIRMWARE_STATUS_INPUT_BUFFER_TOO_BIG = 0x4;
constexpr uint32_t FIRMWARE_STATUS_OUTPUT_BUFFER_TOO_SMALL = 0x5;
constexpr uint32_t FIRMWARE_STATUS_INVALID_SLOT = 0x6;
constexpr uint32_t FIRMWARE_STATUS_INVALID_IMAGE = 0x7;
constexpr uint32_t FIRMWARE_STATUS_CONTROLLER_ERROR = 0x10;
constexpr uint32_t FIRMWARE_STATUS_POWER_CYCLE_REQUIRED = 0x20;

struct FIRMWARE_REQUEST_BLOCK {
    uint32_t Version;
    uint32_t Size;
    uint32_t Function;
    uint32_t Flags;
    uint32_t DataBufferOffset;  // from the start of the SRB header
    uint32_t DataBufferLength;
};

struct SRB_IO_CONTROL_WITH_FIRMWARE {
    SRB_IO_CONTROL SrbIoCtrl;
    FIRMWARE_REQUEST_BLOCK FirmwareRequest;
};

struct STORAGE_FIRMWARE_SLOT_INFO {
    uint8_t SlotNumber;
    uint8_t ReadOnly;
    uint8_t Reserved[6];
    uint8_t Revision[8];
};

struct STORAGE_FIRMWARE_INFO {
    uint32_t Version;
    uint32_t Size;
    uint8_t UpgradeSupport;
    uint8_t SlotCount;
    uint8_t ActiveSlot;
    uint8_t PendingActivateSlot;
    uint32_t Reserved;
    // STORAGE_FIRMWARE_SLOT_INFO Slot[SlotCount] follows.
};

struct STORAGE_FIRMWARE_DOWNLOAD {
    uint32_t Version;
    uint32_t Size;
    uint64_t Offset;
    uint64_t BufferSize;
    // the image bytes follow
};

struct STORAGE_FIRMWARE_ACTIVATE {
    uint32_t Version;
    uint32_t Size;
    uint8_t SlotToActivate;
    uint8_t Reserved0[3];
};

constexpr uint8_t kNoPendingSlot = 0xFF;

static_assert(sizeof(FIRMWARE_REQUEST_BLOCK) == 24);
static_assert(sizeof(SRB_IO_CONTROL_WITH_FIRMWARE) == 52);
static_assert(sizeof(STORAGE_FIRMWARE_SLOT_INFO) == 16);
static_assert(offsetof(STORAGE_FIRMWARE_SLOT_INFO, Revision) == 8);
static_assert(sizeof(STORAGE_FIRMWARE_INFO) == 16);
static_assert(sizeof(STORAGE_FIRMWARE_DOWNLOAD) == 24);
static_assert(offsetof(STORAGE_FIRMWARE_DOWNLOAD, Offset) == 8);
static_assert(offsetof(STORAGE_FIRMWARE_DOWNLOAD, BufferSize) == 16);
static_assert(sizeof(STORAGE_FIRMWARE_ACTIVATE) == 12);

// The request's function data starts right after the two headers.
constexpr uint32_t kFirmwareDataOffset = sizeof(SRB_IO_CONTROL_WITH_FIRMWARE);

}  // namespace orvane::records
