// The drive model's request handlers: a disk whose "drive" object describes its drive answers
// the pass-through, miniport and rescan requests through the SimDriveStack made for it here; an
// "nvme" disk answers firmware requests, and a controller's CSMI driver its port's requests.
#include <cstring>
#include <algorithm>
#include <memory>

#include "platform/records/pass_through.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_csmi.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_nvme.h"
#include "platform/sim/sim_storage_io.h"
#include "platform/win_errors.h"

namespace orvane::platform::sim {

namespace {

constexpr uint32_t kSilNoDevice = 1;  // the miniport's return code for an address without a drive

// A "CMD_IDE " command goes to the miniport, which hands it to the drive at the record's
// address among the drives behind the same controller. Null when the request is no such command.
const records::SilCommandRecord* SilCommandOf(const uint8_t* buffer, uint32_t in_len, records::SilCommandRecord& cmd) {
    records::SRB_IO_CONTROL srb;
    if (!buffer || in_len < sizeof srb + sizeof cmd) return nullptr;
    std::memcpy(&srb, buffer, sizeof srb);
    if (std::memcmp(srb.Signature, "CMD_IDE ", 8) != 0 || srb.ControlCode != records::kSilCommand) return nullptr;
    std::memcpy(&cmd, buffer + sizeof srb, sizeof cmd);
    return &cmd;
}

SimDisk* AddressedDisk(SimHardware& hw, const std::string& controller, const records::SilCommandRecord& cmd) {
    for (SimDisk& d : hw.storage.disks) {
        if (d.controller != controller || d.removed || d.vanished || !d.scsi_address) continue;
        const SimScsiAddress& a = *d.scsi_address;
        if (a.path == cmd.PathId && a.target == cmd.TargetId && a.lun == cmd.Lun) return &d;
    }
    return nullptr;
}

void InstallNvmeHandlers(SimStorageIo& io, SimHardware& hw) {
    for (SimDisk& disk : hw.storage.disks)
        if (disk.nvme) {
            disk.nvme_drive = std::make_shared<SimNvmeDrive>(*disk.nvme);
            if (SimClock* clock = hw.clock) disk.nvme_drive->SetClock([clock] { return clock->Now(); });
        }
    io.AddHandler([](SimHardware&, SimIoTarget& target, uint32_t code, uint8_t* buffer, uint32_t in_len,
                     uint32_t out_len) -> std::optional<IoResult> {
        if (code != records::IOCTL_SCSI_MINIPORT || !target.disk || !target.disk->nvme_drive) return std::nullopt;
        return target.disk->nvme_drive->Control(buffer, in_len, out_len);
    });
}

void InstallCsmiHandler(SimStorageIo& io, SimHardware& hw, const std::function<void(double)>& pass_time) {
    for (SimController& c : hw.storage.controllers)
        if (c.csmi) c.csmi_port = std::make_shared<SimCsmiPort>(*c.csmi, pass_time);
    io.AddHandler([](SimHardware&, SimIoTarget& target, uint32_t code, uint8_t* buffer, uint32_t in_len,
                     uint32_t out_len) -> std::optional<IoResult> {
        if (!target.port || !target.port->csmi_port || code != records::IOCTL_SCSI_MINIPORT) return std::nullopt;
        return target.port->csmi_port->Control(buffer, in_len, out_len);
    });
}

}  // namespace

void InstallDriveHandlers(SimStorageIo& io, SimHardware& hw) {
    // An NVMe drive's firmware requests come before the pass-through ones a disk declines.
    InstallNvmeHandlers(io, hw);
    std::function<void(double)> pass_time;
    std::function<double()> now;
    if (SimClock* clock = hw.clock) {
        pass_time = [clock](double seconds) { clock->Advance(seconds); };
        now = [clock] { return clock->Now(); };
    }
    for (SimDisk& disk : hw.storage.disks)
        if (disk.drive) disk.drive_stack = std::make_shared<SimDriveStack>(*disk.drive, pass_time, now);
    InstallCsmiHandler(io, hw, pass_time);

    io.AddHandler([](SimHardware& hw, SimIoTarget& target, uint32_t code, uint8_t* buffer, uint32_t in_len,
                     uint32_t out_len) -> std::optional<IoResult> {
        if (!target.disk || !SimDriveStack::Handles(code)) return std::nullopt;
        SimDriveStack* stack = target.disk->drive_stack.get();
        // A disk without a drive model: its driver knows none of these requests.
        if (!stack) return IoResult{false, 0, kErrorInvalidFunction};
        records::SilCommandRecord cmd;
        if (code == records::IOCTL_SCSI_MINIPORT && stack->drive().desc().attach == SimAttach::Sil &&
            SilCommandOf(buffer, in_len, cmd)) {
            SimDisk* addressed = AddressedDisk(hw, target.disk->controller, cmd);
            if (!addressed || !addressed->drive_stack) {
                records::SRB_IO_CONTROL srb;
                std::memcpy(&srb, buffer, sizeof srb);
                srb.ReturnCode = kSilNoDevice;
                std::memcpy(buffer, &srb, sizeof srb);
                return IoResult{true, std::min(in_len, out_len), 0};
            }
            stack = addressed->drive_stack.get();
        }
        return stack->Control(code, buffer, in_len, out_len);
    });
}

}  // namespace orvane::platform::sim
