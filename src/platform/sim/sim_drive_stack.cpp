// The driver side of the pass-through requests: checks each record as a driver does, hands
// the command to the drive or its SCSI path, and writes back what the driver returns.
#include <algorithm>
#include <cstring>

#include "platform/win_errors.h"
#include "platform/records/pass_through.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_drive_scsi.h"

namespace orvane::platform::sim {

namespace d = orvane::records;

namespace {

IoResult Fail(uint32_t error) { return IoResult{false, 0, error}; }
IoResult Done(uint32_t returned) { return IoResult{true, returned, 0}; }

uint8_t AtaDirection(uint16_t flags) {
    if (flags & d::ATA_FLAGS_DATA_IN) return 2;
    if (flags & d::ATA_FLAGS_DATA_OUT) return 4;
    return 0;
}

}  // namespace

struct SimDriveStack::Bridge {
    explicit Bridge(SimAtaDrive& drive) : target(drive) {}
    SimScsiTarget target;
};

SimDriveStack::SimDriveStack(SimDriveDesc desc, std::function<void(double)> pass_time, std::function<double()> now)
    : drive_(std::move(desc)), pass_time_(std::move(pass_time)), bridge_(std::make_unique<Bridge>(drive_)) {
    drive_.SetClock(std::move(now));
}

SimDriveStack::~SimDriveStack() = default;

bool SimDriveStack::Handles(uint32_t code) {
    switch (code) {
    case d::IOCTL_ATA_PASS_THROUGH:
    case d::IOCTL_ATA_PASS_THROUGH_DIRECT:
    case d::IOCTL_IDE_PASS_THROUGH:
    case d::IOCTL_SCSI_PASS_THROUGH:
    case d::IOCTL_SCSI_PASS_THROUGH_DIRECT:
    case d::IOCTL_SCSI_MINIPORT:
    case d::IOCTL_SCSI_RESCAN_BUS:
        return true;
    default:
        return false;
    }
}

IoResult SimDriveStack::Control(uint32_t code, void* buffer, uint32_t in_len, uint32_t out_len) {
    const SimDriveDesc& desc = drive_.desc();
    if (std::find(desc.refuse.begin(), desc.refuse.end(), code) != desc.refuse.end()) return Fail(kErrorNotSupported);
    auto* b = static_cast<uint8_t*>(buffer);
    switch (code) {
    case d::IOCTL_ATA_PASS_THROUGH:
    case d::IOCTL_ATA_PASS_THROUGH_DIRECT:
        // Legacy IDE and USB storage drivers do not know the ATA requests; SCSI miniports refuse them.
        if (desc.attach == SimAttach::Ide || desc.attach == SimAttach::Usb) return Fail(kErrorInvalidFunction);
        if (desc.attach != SimAttach::Ata) return Fail(kErrorNotSupported);
        return Ata(code, b, in_len, out_len);
    case d::IOCTL_IDE_PASS_THROUGH:
        if (desc.attach != SimAttach::Ide) return Fail(kErrorInvalidFunction);
        return Ide(b, in_len, out_len);
    case d::IOCTL_SCSI_PASS_THROUGH:
    case d::IOCTL_SCSI_PASS_THROUGH_DIRECT:
        return Scsi(code, b, in_len, out_len);
    case d::IOCTL_SCSI_MINIPORT:
        if (desc.attach != SimAttach::Sil) return Fail(kErrorInvalidFunction);
        return Miniport(b, in_len, out_len);
    case d::IOCTL_SCSI_RESCAN_BUS:
        ++rescans;
        return Done(0);
    default:
        return Fail(kErrorInvalidFunction);
    }
}

IoResult SimDriveStack::Ata(uint32_t code, uint8_t* b, uint32_t in_len, uint32_t out_len) {
    const bool direct = code == d::IOCTL_ATA_PASS_THROUGH_DIRECT;
    const uint32_t header = direct ? sizeof(d::ATA_PASS_THROUGH_DIRECT) : sizeof(d::ATA_PASS_THROUGH_EX);
    if (!b || in_len < header || out_len < header) return Fail(kErrorInvalidParameter);
    // Both records share every field but the data reference.
    d::ATA_PASS_THROUGH_EX apt;
    std::memcpy(&apt, b, sizeof apt);
    if (apt.Length != header) return Fail(kErrorInvalidParameter);
    uint8_t* data = nullptr;
    if (direct) {
        d::ATA_PASS_THROUGH_DIRECT apd;
        std::memcpy(&apd, b, sizeof apd);
        data = static_cast<uint8_t*>(apd.DataBuffer);
        if (apt.DataTransferLength && !data) return Fail(kErrorInvalidParameter);
    } else if (apt.DataTransferLength) {
        if (apt.DataBufferOffset < header || apt.DataBufferOffset + apt.DataTransferLength > std::max(in_len, out_len))
            return Fail(kErrorInvalidParameter);
        data = b + apt.DataBufferOffset;
    }
    const uint8_t direction = AtaDirection(apt.AtaFlags);
    const bool ext = apt.AtaFlags & d::ATA_FLAGS_48BIT_COMMAND;
    SimAtaResult r = drive_.Execute(apt.CurrentTaskFile, ext ? apt.PreviousTaskFile : nullptr, direction, data,
                                    apt.DataTransferLength);
    if (r.timed_out) {
        PassTime(apt.TimeOutValue);
        return Fail(kErrorSemTimeout);
    }
    std::memcpy(apt.CurrentTaskFile, r.regs, 7);
    if (ext) std::memcpy(apt.PreviousTaskFile, r.high, 5);
    apt.DataTransferLength = r.transferred;
    // Write back the fields the driver updates, leaving the data reference as it was.
    std::memcpy(b + offsetof(d::ATA_PASS_THROUGH_EX, DataTransferLength), &apt.DataTransferLength, 4);
    std::memcpy(b + offsetof(d::ATA_PASS_THROUGH_EX, PreviousTaskFile), apt.PreviousTaskFile, 16);
    if (direct || direction != 2) return Done(header);
    return Done(static_cast<uint32_t>(apt.DataBufferOffset) + r.transferred);
}

IoResult SimDriveStack::Ide(uint8_t* b, uint32_t in_len, uint32_t out_len) {
    constexpr uint32_t header = offsetof(d::IdePassThroughRecord, DataBuffer);
    if (!b || in_len < header || out_len < header) return Fail(kErrorInvalidParameter);
    d::IdeRegs regs;
    uint32_t size = 0;
    std::memcpy(&regs, b, 8);
    std::memcpy(&size, b + 8, 4);
    if (header + size > std::max(in_len, out_len)) return Fail(kErrorInvalidParameter);
    // The request names no direction: IDENTIFY and reads are taken from the command.
    const uint8_t cmd = regs.bCommandReg;
    const bool reading = cmd == 0xEC || cmd == 0xE4 || (cmd == 0xFF && regs.bFeaturesReg == 0xFD);
    const uint8_t direction = size == 0 ? 0 : reading ? 2 : 4;
    SimAtaResult r = drive_.Execute(&regs.bFeaturesReg, nullptr, direction, b + header, size);
    if (r.timed_out) {
        PassTime(10);
        return Fail(kErrorSemTimeout);
    }
    std::memcpy(b, r.regs, 7);
    return Done(header + (direction == 2 ? r.transferred : 0));
}

IoResult SimDriveStack::Scsi(uint32_t code, uint8_t* b, uint32_t in_len, uint32_t out_len) {
    const bool direct = code == d::IOCTL_SCSI_PASS_THROUGH_DIRECT;
    const uint32_t header = direct ? sizeof(d::SCSI_PASS_THROUGH_DIRECT) : sizeof(d::SCSI_PASS_THROUGH);
    if (!b || in_len < header || out_len < header) return Fail(kErrorInvalidParameter);
    d::SCSI_PASS_THROUGH spt;
    std::memcpy(&spt, b, sizeof spt);
    if (spt.Length != header || spt.CdbLength == 0 || spt.CdbLength > 16) return Fail(kErrorInvalidParameter);
    if (spt.SenseInfoLength && (spt.SenseInfoOffset < header || spt.SenseInfoOffset + spt.SenseInfoLength > out_len))
        return Fail(kErrorInvalidParameter);
    if (spt.DataIn > 2) return Fail(kErrorInvalidParameter);
    uint8_t* data = nullptr;
    if (direct) {
        d::SCSI_PASS_THROUGH_DIRECT sptd;
        std::memcpy(&sptd, b, sizeof sptd);
        data = static_cast<uint8_t*>(sptd.DataBuffer);
        if (spt.DataTransferLength && !data) return Fail(kErrorInvalidParameter);
    } else if (spt.DataTransferLength) {
        if (spt.DataBufferOffset < header || spt.DataBufferOffset + spt.DataTransferLength > std::max(in_len, out_len))
            return Fail(kErrorInvalidParameter);
        data = b + spt.DataBufferOffset;
    }
    const uint8_t data_in = spt.DataTransferLength ? spt.DataIn : 2;
    SimScsiOutcome o = bridge_->target.Execute(spt.Cdb, spt.CdbLength, data_in, data, spt.DataTransferLength);
    if (o.timed_out) {
        PassTime(spt.TimeOutValue);
        return Fail(kErrorSemTimeout);
    }
    const uint8_t sense_len = std::min(o.sense_length, spt.SenseInfoLength);
    if (sense_len) std::memcpy(b + spt.SenseInfoOffset, o.sense, sense_len);
    const uint32_t transferred = o.transferred;
    b[offsetof(d::SCSI_PASS_THROUGH, ScsiStatus)] = o.status;
    b[offsetof(d::SCSI_PASS_THROUGH, SenseInfoLength)] = sense_len;
    std::memcpy(b + offsetof(d::SCSI_PASS_THROUGH, DataTransferLength), &transferred, 4);
    uint32_t returned = sense_len ? spt.SenseInfoOffset + sense_len : header;
    if (!direct && data_in == 1 && transferred)
        returned = std::max<uint32_t>(returned, static_cast<uint32_t>(spt.DataBufferOffset) + transferred);
    return Done(returned);
}

IoResult SimDriveStack::Miniport(uint8_t* b, uint32_t in_len, uint32_t out_len) {
    if (!b || in_len < sizeof(d::SRB_IO_CONTROL)) return Fail(kErrorInvalidParameter);
    d::SRB_IO_CONTROL srb;
    std::memcpy(&srb, b, sizeof srb);
    if (srb.HeaderLength != sizeof srb || std::memcmp(srb.Signature, "CMD_IDE ", 8) != 0 ||
        sizeof srb + srb.Length > std::min(in_len, out_len))
        return Fail(kErrorIoDevice);
    const SimDriveDesc& desc = drive_.desc();
    uint8_t* rec = b + sizeof srb;
    if (srb.ControlCode == d::kSilGetVersion) {
        if (srb.Length < 4) return Fail(kErrorInvalidParameter);
        std::memcpy(rec, &desc.sil_major, 2);
        std::memcpy(rec + 2, &desc.sil_minor, 2);
        srb.ReturnCode = 0;
    } else if (srb.ControlCode == d::kSilCommand) {
        if (srb.Length < sizeof(d::SilCommandRecord)) return Fail(kErrorInvalidParameter);
        d::SilCommandRecord cmd;
        std::memcpy(&cmd, rec, sizeof cmd);
        if (cmd.Length != sizeof cmd || cmd.DataOffset + cmd.DataLength > srb.Length)
            return Fail(kErrorInvalidParameter);
        const uint8_t direction = (cmd.Flags & 2) ? 2 : (cmd.Flags & 1) ? 4 : 0;
        // The miniport takes the high-order halves as LBA low, mid, high, features, count.
        const uint8_t high[5] = {cmd.HighRegs[3], cmd.HighRegs[4], cmd.HighRegs[0], cmd.HighRegs[1],
                                 cmd.HighRegs[2]};
        SimAtaResult r = drive_.Execute(cmd.Regs, (cmd.Flags & 4) ? high : nullptr, direction,
                                        cmd.DataLength ? rec + cmd.DataOffset : nullptr, cmd.DataLength);
        if (r.timed_out) {
            PassTime(srb.Timeout);
            srb.ReturnCode = 6;
        } else {
            std::memcpy(rec + offsetof(d::SilCommandRecord, Regs), r.regs, 7);
            srb.ReturnCode = (r.status & 1) ? 9 : 0;
        }
    } else {
        return Fail(kErrorIoDevice);
    }
    std::memcpy(b, &srb, sizeof srb);
    return Done(static_cast<uint32_t>(sizeof srb + srb.Length));
}

}  // namespace orvane::platform::sim
