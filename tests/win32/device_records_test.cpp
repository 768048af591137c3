// The device layer's records against the SDK's own: every size and field offset, at the
// width this build targets.
// Ours first: the SDK defines the control codes and flags as macros.
#include "device/ata_records.h"

namespace d = orvane::device;

namespace ours {
constexpr uint32_t kAta = d::IOCTL_ATA_PASS_THROUGH, kAtaDirect = d::IOCTL_ATA_PASS_THROUGH_DIRECT,
                   kScsi = d::IOCTL_SCSI_PASS_THROUGH, kScsiDirect = d::IOCTL_SCSI_PASS_THROUGH_DIRECT,
                   kIde = d::IOCTL_IDE_PASS_THROUGH, kMiniport = d::IOCTL_SCSI_MINIPORT,
                   kRescan = d::IOCTL_SCSI_RESCAN_BUS;
constexpr uint16_t kDrdy = d::ATA_FLAGS_DRDY_REQUIRED, kIn = d::ATA_FLAGS_DATA_IN, kOut = d::ATA_FLAGS_DATA_OUT,
                   k48 = d::ATA_FLAGS_48BIT_COMMAND;
}  // namespace ours

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstddef>

#include <gtest/gtest.h>

#define SAME_FIELD(ours, theirs, field) static_assert(offsetof(d::ours, field) == offsetof(theirs, field), #field)

static_assert(sizeof(d::ATA_PASS_THROUGH_EX) == sizeof(ATA_PASS_THROUGH_EX));
SAME_FIELD(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, AtaFlags);
SAME_FIELD(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, PathId);
SAME_FIELD(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, DataTransferLength);
SAME_FIELD(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, TimeOutValue);
SAME_FIELD(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, ReservedAsUlong);
SAME_FIELD(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, DataBufferOffset);
SAME_FIELD(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, PreviousTaskFile);
SAME_FIELD(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX, CurrentTaskFile);

static_assert(sizeof(d::ATA_PASS_THROUGH_DIRECT) == sizeof(ATA_PASS_THROUGH_DIRECT));
SAME_FIELD(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, DataTransferLength);
SAME_FIELD(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, TimeOutValue);
SAME_FIELD(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, DataBuffer);
SAME_FIELD(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, PreviousTaskFile);
SAME_FIELD(ATA_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT, CurrentTaskFile);

static_assert(sizeof(d::SCSI_PASS_THROUGH) == sizeof(SCSI_PASS_THROUGH));
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, ScsiStatus);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, TargetId);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, CdbLength);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, SenseInfoLength);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, DataIn);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, DataTransferLength);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, TimeOutValue);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, DataBufferOffset);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, SenseInfoOffset);
SAME_FIELD(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH, Cdb);

static_assert(sizeof(d::SCSI_PASS_THROUGH_DIRECT) == sizeof(SCSI_PASS_THROUGH_DIRECT));
SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, SCSI_PASS_THROUGH_DIRECT, DataTransferLength);
SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, SCSI_PASS_THROUGH_DIRECT, DataBuffer);
SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset);
SAME_FIELD(SCSI_PASS_THROUGH_DIRECT, SCSI_PASS_THROUGH_DIRECT, Cdb);

static_assert(sizeof(d::SRB_IO_CONTROL) == sizeof(SRB_IO_CONTROL));
SAME_FIELD(SRB_IO_CONTROL, SRB_IO_CONTROL, Signature);
SAME_FIELD(SRB_IO_CONTROL, SRB_IO_CONTROL, Timeout);
SAME_FIELD(SRB_IO_CONTROL, SRB_IO_CONTROL, ControlCode);
SAME_FIELD(SRB_IO_CONTROL, SRB_IO_CONTROL, ReturnCode);
SAME_FIELD(SRB_IO_CONTROL, SRB_IO_CONTROL, Length);

static_assert(sizeof(d::IdeRegs) == sizeof(IDEREGS));
SAME_FIELD(IdeRegs, IDEREGS, bSectorCountReg);
SAME_FIELD(IdeRegs, IDEREGS, bCylHighReg);
SAME_FIELD(IdeRegs, IDEREGS, bDriveHeadReg);
SAME_FIELD(IdeRegs, IDEREGS, bCommandReg);

static_assert(ours::kAta == IOCTL_ATA_PASS_THROUGH && ours::kAtaDirect == IOCTL_ATA_PASS_THROUGH_DIRECT);
static_assert(ours::kScsi == IOCTL_SCSI_PASS_THROUGH && ours::kScsiDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT);
static_assert(ours::kIde == IOCTL_IDE_PASS_THROUGH && ours::kMiniport == IOCTL_SCSI_MINIPORT);
static_assert(ours::kRescan == IOCTL_SCSI_RESCAN_BUS);
static_assert(ours::kDrdy == ATA_FLAGS_DRDY_REQUIRED && ours::kIn == ATA_FLAGS_DATA_IN &&
              ours::kOut == ATA_FLAGS_DATA_OUT && ours::k48 == ATA_FLAGS_48BIT_COMMAND);

// The buffered records' data follows the header and filler at either width.
TEST(DeviceRecords, BufferedDataOffsets) {
    EXPECT_EQ(d::kAtaExDataOffset, sizeof(ATA_PASS_THROUGH_EX) + sizeof(ULONG));
    EXPECT_EQ(d::kSptSenseOffset, sizeof(SCSI_PASS_THROUGH) + sizeof(ULONG));
    EXPECT_EQ(d::kSptDataOffset, d::kSptSenseOffset + 32);
}
