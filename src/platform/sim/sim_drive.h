#pragma once
// A simulated SATA/PATA drive behind its driver and, for USB disks, a bridge: it answers the
// ATA, IDE, SCSI pass-through and "CMD_IDE " miniport requests as the real stack would.
// Described by a disk's "drive" object in the machine file.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_drive_desc.h"
#include "platform/storage_io.h"

namespace orvane::platform::sim {

// The drive's ATA registers after a command.
struct SimAtaResult {
    uint8_t error = 0;
    uint8_t status = 0x50;
    bool timed_out = false;
    uint32_t transferred = 0;
    // The output registers (LBA and count as the drive leaves them).
    uint8_t regs[7] = {};
    uint8_t high[5] = {};
};

class SimAtaDrive {
public:
    explicit SimAtaDrive(SimDriveDesc desc) : desc_(std::move(desc)) {}
    // regs: FR, SC, SN, CL, CH, DH, Cmd; high: FR, SC, LBA low, mid, high (may be null).
    SimAtaResult Execute(const uint8_t* regs, const uint8_t* high, uint8_t direction, uint8_t* data, uint32_t length);
    const SimDriveDesc& desc() const { return desc_; }
    std::vector<uint8_t> IdentifyData() const;
    // Every command as it reached the drive: Cmd, FR (for tests and the log of a run).
    std::vector<std::pair<uint8_t, uint8_t>> history;

private:
    const SimDriveFault* FaultFor(uint8_t cmd, uint8_t fr);
    SimDriveDesc desc_;
    std::map<size_t, int> fault_hits_;
    bool vendor_unlocked_ = false;
};

// The driver stack above one drive. pass_time lets a timed-out request use up simulated time.
class SimDriveStack {
public:
    SimDriveStack(SimDriveDesc desc, std::function<void(double)> pass_time = {});
    ~SimDriveStack();
    // True for the pass-through requests the stack answers (others belong to the disk's owner).
    static bool Handles(uint32_t code);
    IoResult Control(uint32_t code, void* buffer, uint32_t in_len, uint32_t out_len);
    SimAtaDrive& drive() { return drive_; }
    int rescans = 0;

private:
    IoResult Ata(uint32_t code, uint8_t* buffer, uint32_t in_len, uint32_t out_len);
    IoResult Ide(uint8_t* buffer, uint32_t in_len, uint32_t out_len);
    IoResult Scsi(uint32_t code, uint8_t* buffer, uint32_t in_len, uint32_t out_len);
    IoResult Miniport(uint8_t* buffer, uint32_t in_len, uint32_t out_len);
    void PassTime(double s) {
        if (pass_time_) pass_time_(s);
    }

    SimAtaDrive drive_;
    std::function<void(double)> pass_time_;
    struct Bridge;
    std::unique_ptr<Bridge> bridge_;
};

}  // namespace orvane::platform::sim
