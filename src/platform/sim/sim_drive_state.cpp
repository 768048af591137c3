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

// The drive's identity, and an image waiting for the machine's restart, into its "drive" object.
void SaveAtaDrive(json& d, SimAtaDrive& drive) {
    drive.Restarting();
    const SimDriveDesc& now = drive.desc();
    d["revision"] = now.revision;
    d["serial"] = now.serial;
    d["def"] = TextOrNull(now.def);
    if (d.contains("firmware") && d["firmware"].is_object()) {
        const auto& pending = drive.firmware().pending;
        d["firmware"]["pending"] =
            pending ? json{{"revision", pending->first}, {"def", TextOrNull(pending->second)}} : json(nullptr);
    }
}

// The slots as they stand, with an image waiting for the reset and the slot it activates.
void SaveNvmeDrive(json& d, const SimNvmeDesc& now) {
    json slots = json::array();
    for (const SimNvmeSlot& s : now.slots) {
        json slot{{"number", s.number}, {"read_only", s.read_only}, {"revision", s.revision}};
        if (auto it = now.staged.find(s.number); it != now.staged.end()) slot["staged_revision"] = it->second;
        slots.push_back(slot);
    }
    d["slots"] = slots;
    d["active_slot"] = now.active_slot;
    d["pending_slot"] = now.pending_slot == 0xFF ? json(nullptr) : json(now.pending_slot);
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
    if (!described.is_object()) return described;
    if (described.contains("disks") && described["disks"].is_array()) {
        json& disks = described["disks"];
        for (size_t i = 0; i < hw.storage.disks.size() && i < disks.size(); ++i) {
            SimDisk& disk = hw.storage.disks[i];
            json& d = disks[i];
            DiskRestarting(disk, true);
            d["revision"] = disk.revision;
            d["serial"] = disk.serial;
            if (disk.drive_stack && d.contains("drive")) SaveAtaDrive(d["drive"], disk.drive_stack->drive());
            if (disk.nvme_drive && d.contains("nvme")) SaveNvmeDrive(d["nvme"], disk.nvme_drive->state());
        }
    }
    // The drives behind a RAID controller's phys, by table entry.
    if (described.contains("controllers") && described["controllers"].is_array()) {
        json& controllers = described["controllers"];
        for (size_t k = 0; k < hw.storage.controllers.size() && k < controllers.size(); ++k) {
            SimController& c = hw.storage.controllers[k];
            const json& given = controllers[k];
            if (!c.csmi_port || !given.is_object() || !given.contains("csmi") || !given["csmi"].contains("phys"))
                continue;
            json& phys = controllers[k]["csmi"]["phys"];
            for (size_t i = 0; phys.is_array() && i < phys.size(); ++i) {
                SimAtaDrive* drive = c.csmi_port->drive(i);
                const json& phy = phys[i];
                if (!drive || !phy.is_object() || !phy.contains("attached") || !phy["attached"].contains("drive"))
                    continue;
                drive->Settle();
                SaveAtaDrive(phys[i]["attached"]["drive"], *drive);
            }
        }
    }
    return described;
}

}  // namespace orvane::platform::sim
