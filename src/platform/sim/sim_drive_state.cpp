#include "platform/sim/sim_drive_state.h"

#include <mutex>

#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_nvme.h"

namespace orvane::platform::sim {

namespace {

using nlohmann::json;

// The descriptor shows what the drive answers; a bridge or controller that shows its own
// texts keeps them.
void FollowDrive(SimDisk& disk) {
    if (disk.drive_stack) {
        SimAtaDrive& drive = disk.drive_stack->drive();
        if (auto change = drive.TakeIdentityChange()) {
            if (disk.revision == change->old_revision) disk.revision = drive.desc().revision;
            if (disk.serial == change->old_serial) disk.serial = drive.desc().serial;
        }
    }
    if (disk.nvme_drive)
        if (auto old = disk.nvme_drive->TakeRevisionChange(); old && disk.revision == *old)
            disk.revision = disk.nvme_drive->ActiveRevision();
}

json TextOrNull(const std::optional<std::string>& text) { return text ? json(*text) : json(nullptr); }

json AtaDriveState(const SimAtaDrive& drive) {
    const SimFirmwareState& fw = drive.firmware();
    return json{{"serial", drive.desc().serial},
                {"first_serial", drive.first_serial()},
                {"revision", drive.desc().revision},
                {"def", TextOrNull(drive.desc().def)},
                {"pending", fw.pending ? json(fw.pending->first) : json(nullptr)},
                {"committed", fw.committed},
                {"preformats", fw.preformats},
                {"chunks_refused", fw.chunks_refused},
                {"writes", drive.writes.Json()}};
}

}  // namespace

bool DiskRestarting(SimDisk& disk, bool settle) {
    bool away = false;
    if (disk.drive_stack) {
        SimAtaDrive& drive = disk.drive_stack->drive();
        if (settle) drive.Settle();
        away = drive.Restarting();
    }
    if (disk.nvme_drive && disk.nvme_drive->Restarting()) away = true;
    if (!away) FollowDrive(disk);
    return away;
}

void RestartMachine(SimHardware& hw) {
    std::lock_guard<std::recursive_mutex> lock(hw.mutex);
    for (SimDisk& disk : hw.storage.disks) {
        if (disk.drive_stack) disk.drive_stack->drive().MachineRestart();
        if (disk.nvme_drive) disk.nvme_drive->MachineRestart();
        DiskRestarting(disk, false);
    }
    for (SimController& c : hw.storage.controllers)
        for (size_t i = 0; c.csmi_port && i < c.csmi->phys.size(); ++i)
            if (SimAtaDrive* drive = c.csmi_port->drive(i)) drive->MachineRestart();
}


json DriveStateJson(SimHardware& hw) {
    std::lock_guard<std::recursive_mutex> lock(hw.mutex);
    json out = json::array();
    for (SimDisk& disk : hw.storage.disks) {
        if (!disk.drive_stack && !disk.nvme_drive) continue;
        const bool away = DiskRestarting(disk, true);
        json d;
        if (disk.drive_stack) {
            d = AtaDriveState(disk.drive_stack->drive());
        } else {
            const SimNvmeDrive& drive = *disk.nvme_drive;
            d = json{{"serial", disk.serial},
                     {"first_serial", disk.serial},
                     {"revision", drive.ActiveRevision()},
                     {"def", nullptr},
                     {"pending", TextOrNull(drive.PendingRevision())},
                     {"committed", drive.committed()},
                     {"preformats", 0},
                     {"chunks_refused", drive.refused_downloads()},
                     {"writes", drive.writes().Json()}};
        }
        d["device_number"] = disk.device_number;
        d["present"] = !disk.removed && !away;
        out.push_back(d);
    }
    // The drives behind a RAID controller's phys belong to no disk.
    for (SimController& c : hw.storage.controllers) {
        if (!c.csmi_port) continue;
        for (size_t i = 0; i < c.csmi->phys.size(); ++i) {
            SimAtaDrive* drive = c.csmi_port->drive(i);
            if (!drive) continue;
            drive->Settle();
            json d = AtaDriveState(*drive);
            d["device_number"] = nullptr;
            d["csmi"] = {{"scsi_port", c.scsi_port}, {"phy", i}};
            d["present"] = !drive->Restarting();
            out.push_back(d);
        }
    }
    return out;
}

json MachineAsItStands(json described, SimHardware& hw) {
    std::lock_guard<std::recursive_mutex> lock(hw.mutex);
    if (!described.is_object() || !described.contains("disks") || !described["disks"].is_array()) return described;
    json& disks = described["disks"];
    for (size_t i = 0; i < hw.storage.disks.size() && i < disks.size(); ++i) {
        SimDisk& disk = hw.storage.disks[i];
        json& d = disks[i];
        DiskRestarting(disk, true);
        d["revision"] = disk.revision;
        d["serial"] = disk.serial;
        if (disk.drive_stack && d.contains("drive")) {
            const SimDriveDesc& now = disk.drive_stack->drive().desc();
            d["drive"]["revision"] = now.revision;
            d["drive"]["serial"] = now.serial;
            d["drive"]["def"] = TextOrNull(now.def);
        }
        if (disk.nvme_drive && d.contains("nvme")) {
            const SimNvmeDesc& now = disk.nvme_drive->state();
            json slots = json::array();
            for (const SimNvmeSlot& s : now.slots)
                slots.push_back({{"number", s.number}, {"read_only", s.read_only}, {"revision", s.revision}});
            d["nvme"]["slots"] = slots;
            d["nvme"]["active_slot"] = now.active_slot;
        }
    }
    return described;
}

}  // namespace orvane::platform::sim
