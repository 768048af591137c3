#include "device/ata_builders.h"

#include <cstring>

namespace orvane::device {

namespace {

void CopyRegs(uint8_t (&to)[8], const IdeRegs& from) { std::memcpy(to, &from, 8); }

uint8_t ScsiDataIn(uint8_t direction) {
    if (direction == kDirIn) return SCSI_IOCTL_DATA_IN;
    if (direction == kDirOut) return SCSI_IOCTL_DATA_OUT;
    return SCSI_IOCTL_DATA_UNSPECIFIED;
}

template <typename Spt>
void FillScsiCommon(Spt& spt, const uint8_t* cdb, uint8_t cdb_length, uint8_t direction, uint32_t length,
                    uint32_t timeout_s) {
    spt.Length = sizeof(Spt);
    spt.CdbLength = cdb_length;
    std::memcpy(spt.Cdb, cdb, cdb_length);
    spt.DataIn = ScsiDataIn(direction);
    spt.DataTransferLength = length;
    spt.TimeOutValue = timeout_s;
}

void VendorBlock(uint8_t (&cdb)[10], const IdeRegs& regs) {
    cdb[0] = 0xCC;
    cdb[1] = 0;
    std::memcpy(cdb + 2, &regs, 8);
}

}  // namespace

void BuildAtaPassThroughEx(AtaPassThroughExWithBuffer& rec, const IdeRegs& regs, const IdeRegs* prev,
                           uint8_t direction, uint32_t length, uint32_t timeout_s, const uint8_t* data_out) {
    std::memset(&rec, 0, sizeof rec);
    rec.apt.Length = sizeof(ATA_PASS_THROUGH_EX);
    rec.apt.AtaFlags = direction;
    if (direction != kDirNone) rec.apt.AtaFlags |= ATA_FLAGS_DRDY_REQUIRED;
    if (prev) rec.apt.AtaFlags |= ATA_FLAGS_48BIT_COMMAND;
    rec.apt.DataTransferLength = length;
    rec.apt.TimeOutValue = timeout_s;
    rec.apt.DataBufferOffset = kAtaExDataOffset;
    if (prev) CopyRegs(rec.apt.PreviousTaskFile, *prev);
    CopyRegs(rec.apt.CurrentTaskFile, regs);
    if (direction == kDirOut && data_out) std::memcpy(rec.ucDataBuf, data_out, length < kRecordData ? length : kRecordData);
}

void BuildAtaPassThroughDirect(ATA_PASS_THROUGH_DIRECT& rec, const IdeRegs& regs, const IdeRegs* prev,
                               uint8_t direction, uint32_t length, uint32_t timeout_s, void* buffer) {
    std::memset(&rec, 0, sizeof rec);
    rec.Length = sizeof(ATA_PASS_THROUGH_DIRECT);
    rec.AtaFlags = static_cast<uint16_t>(direction | ATA_FLAGS_DRDY_REQUIRED);
    if (prev) rec.AtaFlags |= ATA_FLAGS_48BIT_COMMAND;
    rec.DataTransferLength = length;
    rec.TimeOutValue = timeout_s;
    rec.DataBuffer = buffer;
    if (prev) CopyRegs(rec.PreviousTaskFile, *prev);
    CopyRegs(rec.CurrentTaskFile, regs);
}

void BuildIdePassThrough(IdePassThroughRecord& rec, const IdeRegs& regs, uint32_t length, const uint8_t* data_out) {
    rec = IdePassThroughRecord{};
    rec.IdeReg = regs;
    rec.DataBufferSize = length;
    if (data_out) std::memcpy(rec.DataBuffer, data_out, length < kRecordData ? length : kRecordData);
}

uint32_t BuildScsiVendorBlock(ScsiPassThroughWithBuffers& rec, const IdeRegs& regs, uint8_t direction,
                              uint32_t length, uint32_t timeout_s, const uint8_t* data_out) {
    std::memset(&rec, 0, sizeof rec);
    if (direction != kDirIn && direction != kDirOut) length = 0;
    uint8_t cdb[10];
    VendorBlock(cdb, regs);
    FillScsiCommon(rec.spt, cdb, sizeof cdb, direction, length, timeout_s);
    rec.spt.TargetId = 1;
    rec.spt.SenseInfoLength = 24;
    rec.spt.DataBufferOffset = kSptDataOffset;
    // The record's own sense area: sense placed over the data would overwrite what was read
    // and, with no data, would lie outside the buffer that is sent.
    rec.spt.SenseInfoOffset = kSptSenseOffset;
    if (direction == kDirOut && data_out) std::memcpy(rec.ucDataBuf, data_out, length < kRecordData ? length : kRecordData);
    return kSptDataOffset + (length < kRecordData ? length : kRecordData);
}

void BuildScsiVendorBlockDirect(ScsiPassThroughDirectWithSense& rec, const IdeRegs& regs, uint8_t direction,
                                uint32_t length, uint32_t timeout_s, void* buffer) {
    std::memset(&rec, 0, sizeof rec);
    if (direction != kDirIn && direction != kDirOut) length = 0;
    uint8_t cdb[10];
    VendorBlock(cdb, regs);
    FillScsiCommon(rec.sptd, cdb, sizeof cdb, direction, length, timeout_s);
    rec.sptd.TargetId = 1;
    rec.sptd.SenseInfoLength = 24;
    rec.sptd.DataBuffer = buffer;
    rec.sptd.SenseInfoOffset = kSptdSenseOffset;
}

void BuildSilCommand(uint8_t* request, uint32_t size, const IdeRegs& regs, const IdeRegs* prev, uint8_t direction,
                     uint32_t length, const ScsiTarget& target, const uint8_t* data_out) {
    SRB_IO_CONTROL srb{};
    srb.HeaderLength = sizeof(SRB_IO_CONTROL);
    std::memcpy(srb.Signature, "CMD_IDE ", 8);
    srb.Timeout = 120;
    srb.ControlCode = kSilCommand;
    srb.Length = size - sizeof(SRB_IO_CONTROL);
    std::memcpy(request, &srb, sizeof srb);

    SilCommandRecord cmd{};
    cmd.Length = sizeof(SilCommandRecord);
    cmd.Flags = direction == kDirOut ? 1 : direction == kDirIn ? 2 : 0;
    if (prev) cmd.Flags |= 4;
    cmd.PathId = target.PathId;
    cmd.TargetId = target.TargetId;
    cmd.Lun = target.Lun;
    cmd.DataLength = length;
    cmd.DataOffset = sizeof(SilCommandRecord);
    const uint8_t* r = &regs.bFeaturesReg;
    std::memcpy(cmd.Regs, r, 7);
    if (prev) {
        const uint8_t* p = &prev->bFeaturesReg;
        const uint8_t high[5] = {p[2], p[3], p[4], p[0], p[1]};
        std::memcpy(cmd.HighRegs, high, 5);
    }
    std::memcpy(request + sizeof srb, &cmd, sizeof cmd);
    if (direction == kDirOut && data_out && length) std::memcpy(request + kSilDataOffset, data_out, length);
}

void BuildSilVersionRequest(SilRequest& req) {
    std::memset(&req, 0, sizeof req);
    req.srb.HeaderLength = sizeof(SRB_IO_CONTROL);
    std::memcpy(req.srb.Signature, "CMD_IDE ", 8);
    req.srb.Timeout = 120;
    req.srb.ControlCode = kSilGetVersion;
    req.srb.Length = sizeof(SilCommandRecord);
}

double SilVersionOf(const SilRequest& reply) {
    uint16_t major = 0, minor = 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&reply) + sizeof(SRB_IO_CONTROL);
    std::memcpy(&major, p, 2);
    std::memcpy(&minor, p + 2, 2);
    return major + minor / 10.0;
}

uint8_t SilResult(uint32_t return_code) {
    if (return_code == 0) return ATACMD_OK;
    if (return_code <= 5) return ATACMD_FAIL;
    if (return_code == 6) return ATACMD_TIMEOUT;
    if (return_code == 7 || return_code == 8) return ATACMD_NOT_SUPPORT;
    return ATACMD_ERR;
}

void BuildScsiPassThrough(ScsiPassThroughWithBuffers& rec, const uint8_t* cdb, uint8_t cdb_length,
                          uint8_t direction, uint32_t length, uint32_t timeout_s, const uint8_t* data_out) {
    std::memset(&rec, 0, sizeof rec);
    FillScsiCommon(rec.spt, cdb, cdb_length, direction, length, timeout_s);
    rec.spt.SenseInfoLength = sizeof rec.ucSenseBuf;
    rec.spt.SenseInfoOffset = kSptSenseOffset;
    rec.spt.DataBufferOffset = kSptDataOffset;
    if (direction == kDirOut && data_out) std::memcpy(rec.ucDataBuf, data_out, length < kRecordData ? length : kRecordData);
}

void BuildScsiPassThroughDirect(ScsiPassThroughDirectWithSense& rec, const uint8_t* cdb, uint8_t cdb_length,
                                uint8_t direction, uint32_t length, uint32_t timeout_s, void* buffer) {
    std::memset(&rec, 0, sizeof rec);
    FillScsiCommon(rec.sptd, cdb, cdb_length, direction, length, timeout_s);
    rec.sptd.SenseInfoLength = sizeof rec.ucSenseBuf;
    rec.sptd.SenseInfoOffset = kSptdSenseOffset;
    rec.sptd.DataBuffer = buffer;
}

}  // namespace orvane::device
