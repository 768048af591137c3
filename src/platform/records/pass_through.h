#pragma once
// The pass-through and miniport records the storage requests carry, laid out as the published
// Windows records so that a 32-bit build sends the 32-bit layout and a 64-bit build the 64-bit
// one. Everything that depends on the width is taken from sizeof/offsetof.
#include <cstddef>
#include <cstdint>

#include "platform/records/ide_regs.h"

namespace orvane::records {

// Storage control codes.
constexpr uint32_t IOCTL_SCSI_PASS_THROUGH = 0x4D004;
constexpr uint32_t IOCTL_SCSI_MINIPORT = 0x4D008;
constexpr uint32_t IOCTL_SCSI_PASS_THROUGH_DIRECT = 0x4D014;
constexpr uint32_t IOCTL_IDE_PASS_THROUGH = 0x4D028;
constexpr uint32_t IOCTL_ATA_PASS_THROUGH = 0x4D02C;
constexpr uint32_t IOCTL_ATA_PASS_THROUGH_DIRECT = 0x4D030;
constexpr uint32_t IOCTL_SCSI_RESCAN_BUS = 0x4101C;

// Miniport control codes under the "CMD_IDE " signature.
constexpr uint32_t kSilGetVersion = 0x42000;
constexpr uint32_t kSilCommand = 0x4202C;

constexpr uint16_t ATA_FLAGS_DRDY_REQUIRED = 1;
constexpr uint16_t ATA_FLAGS_DATA_IN = 2;
constexpr uint16_t ATA_FLAGS_DATA_OUT = 4;
constexpr uint16_t ATA_FLAGS_48BIT_COMMAND = 8;

constexpr uint8_t SCSI_IOCTL_DATA_OUT = 0;
constexpr uint8_t SCSI_IOCTL_DATA_IN = 1;
constexpr uint8_t SCSI_IOCTL_DATA_UNSPECIFIED = 2;

// Transfers up to this size travel inside the buffered records.
constexpr uint32_t kRecordData = 512;

struct ATA_PASS_THROUGH_EX {
    uint16_t Length;
    uint16_t AtaFlags;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t ReservedAsUchar;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    uint32_t ReservedAsUlong;
    uintptr_t DataBufferOffset;
    uint8_t PreviousTaskFile[8];
    uint8_t CurrentTaskFile[8];
};

struct ATA_PASS_THROUGH_DIRECT {
    uint16_t Length;
    uint16_t AtaFlags;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t ReservedAsUchar;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    uint32_t ReservedAsUlong;
    void* DataBuffer;
    uint8_t PreviousTaskFile[8];
    uint8_t CurrentTaskFile[8];
};

struct SCSI_PASS_THROUGH {
    uint16_t Length;
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    uintptr_t DataBufferOffset;
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

struct SCSI_PASS_THROUGH_DIRECT {
    uint16_t Length;
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    void* DataBuffer;
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

struct SRB_IO_CONTROL {
    uint32_t HeaderLength;
    uint8_t Signature[8];
    uint32_t Timeout;
    uint32_t ControlCode;
    uint32_t ReturnCode;
    uint32_t Length;
};

// The member records of the device object: header, filler, sense, data.
struct AtaPassThroughExWithBuffer {
    ATA_PASS_THROUGH_EX apt;
    uint32_t Filler;
    uint8_t ucDataBuf[kRecordData];
};

struct ScsiPassThroughWithBuffers {
    SCSI_PASS_THROUGH spt;
    uint32_t Filler;
    uint8_t ucSenseBuf[32];
    uint8_t ucDataBuf[kRecordData];
};

struct ScsiPassThroughDirectWithSense {
    SCSI_PASS_THROUGH_DIRECT sptd;
    uint32_t Filler;
    uint8_t ucSenseBuf[32];
};

// IOCTL_IDE_PASS_THROUGH: registers, data length, data.
struct IdePassThroughRecord {
    IdeRegs IdeReg;
    uint32_t DataBufferSize;
    uint8_t DataBuffer[kRecordData];
};

// The "CMD_IDE " miniport's command record, after SRB_IO_CONTROL.
struct SilCommandRecord {
    uint16_t Length;
    uint16_t Flags;      // 1 out, 2 in, +4 with the high-order registers
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t Reserved0;
    uint32_t DataLength;
    uint32_t DataOffset; // from the record's start
    uint8_t Regs[7];     // FR, SC, SN, CL, CH, DH, Cmd
    uint8_t HighRegs[5]; // LBA low, mid, high, features, count (high-order halves)
    uint8_t Reserved1[16];
};

struct SilRequest {
    SRB_IO_CONTROL srb;
    SilCommandRecord cmd;
};

static_assert(sizeof(IdePassThroughRecord) == 524);
static_assert(offsetof(IdePassThroughRecord, DataBuffer) == 12);
static_assert(sizeof(SRB_IO_CONTROL) == 28);
static_assert(sizeof(SilCommandRecord) == 44);
static_assert(offsetof(SilCommandRecord, Regs) == 16);
static_assert(offsetof(SilCommandRecord, HighRegs) == 23);
static_assert(sizeof(SilRequest) == 72);
static_assert(offsetof(ScsiPassThroughWithBuffers, ucSenseBuf) + 32 ==
              offsetof(ScsiPassThroughWithBuffers, ucDataBuf));

#if UINTPTR_MAX == 0xFFFFFFFFu
// The 32-bit numbers the drivers of that width expect.
static_assert(sizeof(ATA_PASS_THROUGH_EX) == 40 && sizeof(ATA_PASS_THROUGH_DIRECT) == 40);
static_assert(sizeof(AtaPassThroughExWithBuffer) == 556);
static_assert(offsetof(AtaPassThroughExWithBuffer, ucDataBuf) == 44);
static_assert(sizeof(SCSI_PASS_THROUGH) == 44 && sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(sizeof(ScsiPassThroughWithBuffers) == 592);
static_assert(offsetof(ScsiPassThroughWithBuffers, ucSenseBuf) == 48);
static_assert(offsetof(ScsiPassThroughWithBuffers, ucDataBuf) == 80);
static_assert(sizeof(ScsiPassThroughDirectWithSense) == 80);
#else
static_assert(sizeof(ATA_PASS_THROUGH_EX) == 48 && sizeof(ATA_PASS_THROUGH_DIRECT) == 48);
static_assert(sizeof(SCSI_PASS_THROUGH) == 56 && sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
#endif

// Offsets the builders and the simulated drivers share.
constexpr uint32_t kAtaExDataOffset = offsetof(AtaPassThroughExWithBuffer, ucDataBuf);
constexpr uint32_t kSptSenseOffset = offsetof(ScsiPassThroughWithBuffers, ucSenseBuf);
constexpr uint32_t kSptDataOffset = offsetof(ScsiPassThroughWithBuffers, ucDataBuf);
constexpr uint32_t kSptdSenseOffset = offsetof(ScsiPassThroughDirectWithSense, ucSenseBuf);
constexpr uint32_t kIdeDataOffset = offsetof(IdePassThroughRecord, DataBuffer);
constexpr uint32_t kSilDataOffset = sizeof(SilRequest);

}  // namespace orvane::records
