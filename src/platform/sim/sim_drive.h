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
#include "platform/sim/sim_writes.h"
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

// What the drive's firmware model has taken so far (a drive with a "firmware" object).
struct SimFirmwareState {
    std::vector<uint8_t> image;      // the chunks taken since the image's first one
    uint8_t image_mode = 0;          // the subcommand its chunks came with
    bool awaiting_final = false;     // a complete mode-3 image: commits unless 7 comes next
    double complete_at = 0;
    bool boot_announced = false;     // 0Eh with offset 414Ch
    // The identity that takes over at the next machine restart.
    std::optional<std::pair<std::string, std::optional<std::string>>> pending;  // revision, DEF
    int committed = 0;               // images that became the running firmware
    int boot_code_updates = 0;
    int preformats = 0;
    int chunks_refused = 0;
    bool restarting = false;
    double back_at = 0;              // infinity: never
    bool preformat_armed = false;
    bool pata_armed = false;
};

class SimAtaDrive {
public:
    explicit SimAtaDrive(SimDriveDesc desc);
    // regs: FR, SC, SN, CL, CH, DH, Cmd; high: FR, SC, LBA low, mid, high (may be null).
    SimAtaResult Execute(const uint8_t* regs, const uint8_t* high, uint8_t direction, uint8_t* data, uint32_t length);
    // The drive's identity as it runs now (revision, DEF and serial follow its firmware).
    const SimDriveDesc& desc() const { return desc_; }
    std::vector<uint8_t> IdentifyData() const;
    // Every command as it reached the drive: Cmd, FR (for tests and the log of a run).
    std::vector<std::pair<uint8_t, uint8_t>> history;
    // The commands among them that write to the drive.
    SimWriteLog writes;
    // The serial number it had when the machine started (a restart may bring another).
    const std::string& first_serial() const { return first_serial_; }

    // Simulated seconds; without a clock a restart is over at once.
    void SetClock(std::function<double()> now) { now_ = std::move(now); }
    const SimFirmwareState& firmware() const { return fw_; }
    // A complete mode-3 image waiting for its final subcommand commits now (its restart counts
    // from when it became complete): the host has gone on to something else.
    void Settle();
    // True while the drive restarts; when the time is up it comes back as its firmware says.
    bool Restarting();
    // The revision and serial the disk's descriptor showed before the drive came back changed.
    struct IdentityChange {
        std::string old_revision, old_serial;
    };
    std::optional<IdentityChange> TakeIdentityChange();
    // Power cycle: a pending image takes over, a restart in progress ends (unless "never").
    void MachineRestart();
    // A whole image written by the boot-time flasher while the machine starts: it commits as a
    // completed download does and the drive is back (as "comes_back" says) before the desktop.
    // Recorded as one download and one commit. False, with why, when the drive takes no such image.
    bool FlashAtBoot(const std::vector<uint8_t>& image, std::string& why);

private:
    const SimDriveFault* FaultFor(uint8_t cmd, uint8_t fr);
    bool Firmware(const uint8_t* regs, uint8_t direction, uint8_t* data, uint32_t length, SimAtaResult& r);
    bool Microcode(const uint8_t* regs, uint8_t direction, const uint8_t* data, uint32_t length);
    bool Chunk(uint8_t mode, uint32_t sectors, uint32_t offset, uint8_t direction, const uint8_t* data,
               uint32_t length);
    void Commit(double since);
    void MakePending();
    void ApplyIdentity(const std::string& revision, const std::optional<std::string>& def, const std::string& serial);
    double Now() const { return now_ ? now_() : 0; }

    SimDriveDesc desc_;
    std::string first_serial_;
    std::map<size_t, int> fault_hits_, fault_seen_;
    bool vendor_unlocked_ = false;
    std::function<double()> now_;
    SimFirmwareState fw_;
    // What the drive comes back as after the restart in progress.
    std::string next_revision_, next_serial_;
    std::optional<std::string> next_def_;
    std::optional<IdentityChange> changed_;
};

// The driver stack above one drive. pass_time lets a timed-out request use up simulated time.
class SimDriveStack {
public:
    SimDriveStack(SimDriveDesc desc, std::function<void(double)> pass_time = {}, std::function<double()> now = {});
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
