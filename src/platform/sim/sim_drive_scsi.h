#pragma once
// How a simulated drive's SCSI path answers a command block: the SAT translation of an AHCI
// driver or a USB bridge, a vendor bridge's own blocks, the 0xCC block of a vendor controller.
#include <cstdint>

#include "platform/sim/sim_drive.h"

namespace orvane::platform::sim {

struct SimScsiOutcome {
    bool timed_out = false;
    uint8_t status = 0;  // SCSI status: 0 GOOD, 2 CHECK CONDITION
    uint8_t sense[32] = {};
    uint8_t sense_length = 0;
    uint32_t transferred = 0;
};

class SimScsiTarget {
public:
    explicit SimScsiTarget(SimAtaDrive& drive) : drive_(drive) {}
    // direction: the pass-through record's DataIn (0 out, 1 in, 2 none).
    SimScsiOutcome Execute(const uint8_t* cdb, uint8_t cdb_length, uint8_t data_in, uint8_t* data, uint32_t length);

private:
    SimScsiOutcome Sat(const uint8_t* cdb, uint8_t* data, uint32_t length);
    SimScsiOutcome Jmicron(const uint8_t* cdb, uint8_t* data, uint32_t length);
    SimScsiOutcome Prolific(const uint8_t* cdb, uint8_t* data, uint32_t length);
    SimScsiOutcome Sunplus(const uint8_t* cdb, uint8_t* data, uint32_t length);
    // Runs the command on the drive; a vendor bridge reports ATA errors as ABORTED COMMAND.
    SimScsiOutcome RunVendor(const uint8_t* regs, const uint8_t* high, uint8_t direction, uint8_t* data,
                             uint32_t length);
    static SimScsiOutcome Illegal(uint8_t asc);

    SimAtaDrive& drive_;
    SimAtaResult last_{};  // registers the vendor bridges read back
    uint8_t high_[5] = {};
    bool high_set_ = false;
};

}  // namespace orvane::platform::sim
