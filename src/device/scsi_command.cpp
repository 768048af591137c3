// The SCSI command layer: one command block through the SCSI pass-through requests, its sense
// data, and SAT ATA PASS-THROUGH on top of it.
#include <algorithm>
#include <cstring>

#include "device/ata_builders.h"
#include "device/ata_device.h"

namespace orvane::device {

uint8_t TAtaDevice::scsi_command(const uint8_t* cdb, uint8_t cdb_length, uint8_t direction, uint32_t& length,
                                 uint8_t* buffer) {
    if (!EnsureOpen()) return ATACMD_FAIL;
    Sense = SenseSummary{};
    std::memset(SenseBytes, 0, sizeof SenseBytes);
    cdb_length = std::min<uint8_t>(cdb_length, 16);
    uint8_t block[16] = {};
    std::memcpy(block, cdb, cdb_length);
    // The register values sit where ATA PASS-THROUGH (16) or (12) keeps them, whatever the block.
    if (cdb_length == 16)
        LogCommand(block[14], block[4], block[6], block[8], block[10], block[12]);
    else
        LogCommand(block[9], block[3], block[4], block[5], block[6], block[7]);

    const bool buffered = length <= kRecordData;
    IoResult io;
    uint8_t status;
    if (buffered) {
        BuildScsiPassThrough(Spt, block, cdb_length, direction, length, TimeoutSeconds(), buffer);
        io = hDevice->Control(IOCTL_SCSI_PASS_THROUGH, &Spt, sizeof Spt, sizeof Spt);
        status = Spt.spt.ScsiStatus;
        std::memcpy(SenseBytes, Spt.ucSenseBuf, sizeof SenseBytes);
    } else {
        BuildScsiPassThroughDirect(Sptd, block, cdb_length, direction, length, TimeoutSeconds(), buffer);
        io = hDevice->Control(IOCTL_SCSI_PASS_THROUGH_DIRECT, &Sptd, sizeof Sptd, sizeof Sptd);
        status = Sptd.sptd.ScsiStatus;
        std::memcpy(SenseBytes, Sptd.ucSenseBuf, sizeof SenseBytes);
    }
    if (!io.ok) {
        dwLastError = io.last_error;
        write_debug(Format("GetLastError=0x%X\n", io.last_error));
        return ResultOfLastError(io.last_error);
    }
    if (!CommandRan(status)) {
        length = 0;
        return ATACMD_ERR;
    }
    if (buffered && direction == kDirIn && buffer) std::memcpy(buffer, Spt.ucDataBuf, length);
    length = io.returned;
    return ATACMD_OK;
}

bool TAtaDevice::CommandRan(uint8_t status) {
    // Sense data belongs to CHECK CONDITION only; with any other status the area is not the drive's.
    if (status == kScsiCheckCondition) Sense = ParseSense(SenseBytes, sizeof SenseBytes);
    // GOOD, or CHECK CONDITION that reports no error (SAT's ATA status return). BUSY, RESERVATION
    // CONFLICT, TASK SET FULL, TASK ABORTED and a CHECK CONDITION without sense mean it never ran.
    if (status == kScsiGood || (status == kScsiCheckCondition && Sense.valid && Sense.sense_key() == 0)) return true;
    write_debug(Format("ATACMD_ERR : status: %02X, sensekey:%02X \n", status, Sense.sense_key()));
    return false;
}

uint8_t TAtaDevice::sat_passthrough(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction,
                                    uint32_t& length) {
    std::optional<Cdb> cdb = SatBlock(regs, prev, direction);
    if (!cdb) return ATACMD_NOT_SUPPORT;
    const uint8_t result = scsi_command(cdb->bytes, cdb->length, direction, length, buffer);
    if (Sense.status_desc < 0) {
        SetNoRegs();
        return result;
    }
    SatStatusRegs(SenseBytes + Sense.status_desc, regs, prev);
    OutRegs = regs;
    if ((regs.bCommandReg & 1) && regs.bCommandReg != 0x7F) bLastStatus = regs.bCommandReg;
    return result;
}

}  // namespace orvane::device
