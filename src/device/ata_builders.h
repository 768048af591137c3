#pragma once
// Builders of the records that carry one ATA command over the Windows ATA, IDE, SCSI and
// miniport requests. They only fill records; sending and reading back is the device object's.
#include <cstdint>

#include "device/ata_types.h"

namespace orvane::device {

// ATA PASSTHROUGH, up to 512 bytes: data out is copied into the record.
void BuildAtaPassThroughEx(AtaPassThroughExWithBuffer& rec, const IdeRegs& regs, const IdeRegs* prev,
                           uint8_t direction, uint32_t length, uint32_t timeout_s, const uint8_t* data_out);
// ATA PASSTHROUGH, longer transfers: the caller's buffer is used in place.
void BuildAtaPassThroughDirect(ATA_PASS_THROUGH_DIRECT& rec, const IdeRegs& regs, const IdeRegs* prev,
                               uint8_t direction, uint32_t length, uint32_t timeout_s, void* buffer);

// IDE PASS THROUGH (at most 512 bytes).
void BuildIdePassThrough(IdePassThroughRecord& rec, const IdeRegs& regs, uint32_t length, const uint8_t* data_out);

// SCSI PASS THROUGH with the 0xCC vendor block. Returns the byte count to send.
uint32_t BuildScsiVendorBlock(ScsiPassThroughWithBuffers& rec, const IdeRegs& regs, uint8_t direction,
                              uint32_t length, uint32_t timeout_s, const uint8_t* data_out);
void BuildScsiVendorBlockDirect(ScsiPassThroughDirectWithSense& rec, const IdeRegs& regs, uint8_t direction,
                                uint32_t length, uint32_t timeout_s, void* buffer);

// SIL PASS THROUGH: a request of sizeof(SilRequest) + length bytes, zeroed by the caller.
struct ScsiTarget {
    uint8_t PathId = 0;
    uint8_t TargetId = 0;
    uint8_t Lun = 0;
};
void BuildSilCommand(uint8_t* request, uint32_t size, const IdeRegs& regs, const IdeRegs* prev, uint8_t direction,
                     uint32_t length, const ScsiTarget& target, const uint8_t* data_out);
void BuildSilVersionRequest(SilRequest& req);
// The driver version the reply reports (major + minor / 10).
double SilVersionOf(const SilRequest& reply);
// ReturnCode of the "CMD_IDE " command as a command result.
uint8_t SilResult(uint32_t return_code);

// SCSI_PASS_THROUGH for one command block (the SCSI command layer), up to 512 bytes.
void BuildScsiPassThrough(ScsiPassThroughWithBuffers& rec, const uint8_t* cdb, uint8_t cdb_length,
                          uint8_t direction, uint32_t length, uint32_t timeout_s, const uint8_t* data_out);
void BuildScsiPassThroughDirect(ScsiPassThroughDirectWithSense& rec, const uint8_t* cdb, uint8_t cdb_length,
                                uint8_t direction, uint32_t length, uint32_t timeout_s, void* buffer);

}  // namespace orvane::device
