// SCSI PASS THROUGH with the 0xCC register block, and SIL PASS THROUGH over the "CMD_IDE "
// miniport interface.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "device/ata_builders.h"
#include "device/ata_device.h"

namespace orvane::device {

uint8_t TAtaDevice::scsi_passthrough(IdeRegs& regs, uint8_t* buffer, uint8_t direction, uint32_t& length) {
    Sense = SenseSummary{};
    const bool buffered = length <= kRecordData;
    IoResult io;
    uint8_t status;
    if (buffered) {
        uint32_t size = BuildScsiVendorBlock(Spt, regs, direction, length, TimeoutSeconds(), buffer);
        io = hDevice->Control(IOCTL_SCSI_PASS_THROUGH, &Spt, size, size);
        status = Spt.spt.ScsiStatus;
        std::memcpy(SenseBytes, Spt.ucSenseBuf, sizeof SenseBytes);
    } else {
        BuildScsiVendorBlockDirect(Sptd, regs, direction, length, TimeoutSeconds(), buffer);
        io = hDevice->Control(IOCTL_SCSI_PASS_THROUGH_DIRECT, &Sptd, sizeof Sptd, sizeof Sptd);
        status = Sptd.sptd.ScsiStatus;
        std::memcpy(SenseBytes, Sptd.ucSenseBuf, sizeof SenseBytes);
    }
    SetNoRegs();
    if (!io.ok) {
        dwLastError = io.last_error;
        return ResultOfLastError(io.last_error);
    }
    // A driver or bridge that does not know the 0xCC block answers CHECK CONDITION while the
    // request itself succeeds; taken as done, it would stop the probe short of SAT.
    if (!CommandRan(status)) {
        length = 0;
        return ATACMD_ERR;
    }
    if (buffered && direction == kDirIn && buffer)
        std::memcpy(buffer, Spt.ucDataBuf, std::min<uint32_t>({length, io.returned, kRecordData}));
    length = io.returned;
    return ATACMD_OK;
}

uint8_t TAtaDevice::sil_passthrough(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction,
                                    uint32_t& length) {
    const uint32_t size = length + kSilDataOffset;
    if (size < length) return ATACMD_FAIL;
    std::vector<uint8_t> request;
    try {
        request.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return ATACMD_FAIL;
    }
    // The miniport serves every drive of its controller: an unknown address could reach another one.
    ScsiTarget target;
    if (!OpenAddress(target.PathId, target.TargetId, target.Lun)) {
        write_debug("CMD_IDE : no SCSI address for the open device\n");
        return ATACMD_FAIL;
    }
    BuildSilCommand(request.data(), size, regs, prev, direction, length, target, buffer);
    IoResult io = hDevice->Control(IOCTL_SCSI_MINIPORT, request.data(), size, size);
    if (!io.ok) {
        SetNoRegs();
        dwLastError = io.last_error;
        return ResultOfLastError(io.last_error);
    }
    const uint32_t requested = length;
    length = io.returned;
    std::memcpy(&OutRegs, request.data() + sizeof(SRB_IO_CONTROL) + offsetof(SilCommandRecord, Regs), 8);
    SRB_IO_CONTROL srb;
    std::memcpy(&srb, request.data(), sizeof srb);
    const uint8_t result = SilResult(srb.ReturnCode);
    if (result == ATACMD_OK && direction == kDirIn && buffer) std::memcpy(buffer, request.data() + kSilDataOffset, requested);
    return result;
}

double TAtaDevice::sil_driver_version() {
    if (!hDevice) return 0;
    SilRequest req;
    BuildSilVersionRequest(req);
    IoResult io = hDevice->Control(IOCTL_SCSI_MINIPORT, &req, sizeof req, sizeof req);
    if (!io.ok) return 0;
    return SilVersionOf(req);
}

}  // namespace orvane::device
