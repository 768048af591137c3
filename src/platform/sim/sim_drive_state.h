#pragma once
// The disks' drives as their firmware leaves them: whether a disk is away while its drive
// restarts, and the state a run leaves (orvane-sim --drive-state).
#include <nlohmann/json.hpp>

#include "platform/sim/sim_storage.h"

namespace orvane::platform::sim {

// True while the disk's drive restarts after taking firmware: the disk is not enumerated and
// cannot be opened. settle: a complete image still waiting for its final subcommand commits
// first (the host has gone on). When the drive is back, the disk's descriptor texts follow it.
// Call with the hardware's mutex held.
bool DiskRestarting(SimDisk& disk, bool settle);

// One object per disk with a drive or NVMe model, then one per drive behind a CSMI phy
// (device_number null, "csmi": scsi_port and phy): serial, first_serial (when the machine
// started), revision, def, pending, committed, preformats, chunks_refused, writes, present.
nlohmann::json DriveStateJson(SimHardware& hw);

// The machine description `described` (whose "disks" and "controllers" are this hardware's, in
// order) with each drive's identity and firmware slots as they stand now, images waiting for the
// machine's restart included, so that a later run finds the drives as this one left them.
nlohmann::json MachineAsItStands(nlohmann::json described, SimHardware& hw);

}  // namespace orvane::platform::sim
