// ATA PASSTHROUGH and IDE PASS THROUGH: the task file travels in the Windows ATA records.
#include <algorithm>
#include <cstring>

#include "device/ata_builders.h"
#include "device/ata_device.h"

namespace orvane::device {

namespace {

constexpr uint8_t kCmdIdentify = 0xEC;
// ERR is set, yet the command is taken as carried out: a drive restarting into new firmware
// leaves the bus unanswered. Inside a download without that restart it is a failure.
constexpr uint8_t kStatusNoDevice = 0x7F;

}  // namespace

uint8_t TAtaDevice::ata_passthrough(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction,
                                    uint32_t& length) {
    LogCommand(regs.bCommandReg, regs.bFeaturesReg, regs.bSectorCountReg, regs.bSectorNumberReg, regs.bCylLowReg,
               regs.bCylHighReg);
    const bool buffered = length <= kRecordData;
    IoResult io;
    if (buffered) {
        BuildAtaPassThroughEx(AtaEx, regs, prev, direction, length, TimeoutSeconds(), buffer);
        io = hDevice->Control(IOCTL_ATA_PASS_THROUGH, &AtaEx, sizeof AtaEx, sizeof AtaEx);
    } else {
        BuildAtaPassThroughDirect(AtaDirect, regs, prev, direction, length, TimeoutSeconds(), buffer);
        io = hDevice->Control(IOCTL_ATA_PASS_THROUGH_DIRECT, &AtaDirect, sizeof AtaDirect, sizeof AtaDirect);
    }
    // A direct request can outlast the command's time and still come back successful.
    const bool overdue = !buffered && CmdTimer.Elapsed() >= fTimeout;

    uint8_t result;
    if (!io.ok) {
        SetNoRegs();
        result = Failed(io, "GetLastError=%Xh(%d)\n");
    } else {
        std::memcpy(&OutRegs, buffered ? AtaEx.apt.CurrentTaskFile : AtaDirect.CurrentTaskFile, 8);
        const uint8_t status = OutRegs.bCommandReg;
        if (status & 1) {
            if (status == kStatusNoDevice && !no_device_fails_) {
                result = ATACMD_OK;
            } else {
                write_debug(buffered ? Format("ATA Status Register: 0x%X\n", status)
                                     : Format("ATA>512 Status Register: 0x%X\n", status));
                bLastStatus = status;
                result = ATACMD_ERR;
            }
        } else {
            if (buffered && direction == kDirIn && buffer)
                std::memcpy(buffer, AtaEx.ucDataBuf, std::min<uint32_t>({length, io.returned, kRecordData}));
            length = io.returned;
            result = ATACMD_OK;
        }
    }
    return overdue ? static_cast<uint8_t>(ATACMD_TIMEOUT) : result;
}

uint8_t TAtaDevice::ide_passthrough(IdeRegs& regs, uint8_t* buffer, uint8_t direction, uint32_t& length) {
    if (length > kRecordData) return ATACMD_FAIL;
    if (regs.bCommandReg == kCmdIdentify) {
        // The IDE driver finds a newly attached drive only after a bus rescan.
        hDevice->Control(IOCTL_SCSI_RESCAN_BUS, nullptr, 0, 0);
        Timer2.DelayMs(500);
    }
    BuildIdePassThrough(IdeRec, regs, length, direction == kDirOut ? buffer : nullptr);
    IoResult io = hDevice->Control(IOCTL_IDE_PASS_THROUGH, &IdeRec, sizeof IdeRec, sizeof IdeRec);
    if (!io.ok) {
        SetNoRegs();
        dwLastError = io.last_error;
        return ResultOfLastError(io.last_error);
    }
    std::memcpy(&OutRegs, &IdeRec.IdeReg, 8);
    const uint8_t status = OutRegs.bCommandReg;
    if (!(status & 1)) {
        if (direction == kDirIn && buffer)
            std::memcpy(buffer, IdeRec.DataBuffer, std::min<uint32_t>({length, io.returned, kRecordData}));
        length = io.returned;
        return ATACMD_OK;
    }
    if (status == kStatusNoDevice && !no_device_fails_) return ATACMD_OK;
    write_debug(Format("IDE_CmdReg: 0x%X\n", status));
    bLastStatus = status;
    return ATACMD_ERR;
}

}  // namespace orvane::device
