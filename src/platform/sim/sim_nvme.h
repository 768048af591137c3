#pragma once
// A simulated NVMe drive's firmware slots behind its driver's miniport firmware interface
// (IOCTL_SCSI_MINIPORT, "FIRMWARE", 0x1B0780): get information, download by offset, activate.
// Described by a disk's "nvme" object in the machine file.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/sim_writes.h"
#include "platform/storage_io.h"

namespace orvane::platform::sim {

struct SimNvmeSlot {
    uint8_t number = 0;
    bool read_only = false;
    std::string revision;  // up to 8 characters, NUL-padded in the answer
};

struct SimNvmeDesc {
    bool upgrade_support = true;
    std::vector<SimNvmeSlot> slots;
    uint8_t slot_count = 0;          // SlotCount answered; the number of slots unless given
    uint8_t active_slot = 1;
    uint8_t pending_slot = 0xFF;     // 0xFF: none
    uint32_t activate_status = 0;    // the ReturnCode of an activation that passes the checks
    bool firmware_requests = true;   // false: the driver does not know the interface (error 1)
    // What a taken image leaves as the slot's revision: the 8 bytes at this offset of the image,
    // or this text; neither: the revision stays.
    std::optional<uint32_t> revision_offset;
    std::optional<std::string> next_revision;
    // An activation that makes a slot active now restarts the controller for this long; none: no restart.
    std::optional<double> restart_seconds;
    // By slot number: the revision of an image that replaced the slot's and waits for the reset
    // (the running firmware stays until then).
    std::map<uint8_t, std::string> staged;
};

// Reads a "nvme" object; path names it in error messages ("disks[5].nvme").
bool ParseNvmeDesc(const nlohmann::json& j, const std::string& path, SimNvmeDesc& out, std::string& error);

// One firmware request as the drive saw it, and how it answered.
struct SimNvmeRequest {
    uint32_t function = 0;       // 1 get information, 2 download, 3 activate
    uint64_t offset = 0;         // download
    uint64_t length = 0;         // download: BufferSize
    uint32_t commit_action = 0;  // activate: the record's first field
    uint8_t slot = 0;            // activate
    uint32_t status = 0;         // the ReturnCode answered
    std::string refusal;         // why a request was refused ("gap", "overlap", "misaligned", ...); empty: taken
};

class SimNvmeDrive {
public:
    explicit SimNvmeDrive(SimNvmeDesc desc) : state_(std::move(desc)) {}
    // A miniport request: nullopt when it is not a firmware request (another handler's).
    std::optional<IoResult> Control(uint8_t* buffer, uint32_t in_len, uint32_t out_len);
    // The slots, active and pending slot as they are now.
    const SimNvmeDesc& state() const { return state_; }
    const std::vector<SimNvmeRequest>& requests() const { return requests_; }
    // The downloads and activations that reached the controller, taken or not.
    const SimWriteLog& writes() const { return writes_; }
    // The image pieces taken since the last activation.
    const std::vector<uint8_t>& image() const { return image_; }

    // Simulated seconds; without a clock a restart is over at once.
    void SetClock(std::function<double()> now) { now_ = std::move(now); }
    bool Restarting() const { return now_ && now_() < back_at_; }
    // The revision the running slot had before an activation changed it (once).
    std::optional<std::string> TakeRevisionChange();
    // Power cycle: the pending slot becomes active, staged images take their slots.
    void MachineRestart();
    std::string ActiveRevision() const;
    // The revision that runs after the next reset, when that differs from now.
    std::optional<std::string> PendingRevision() const;
    int committed() const { return committed_; }
    int refused_downloads() const { return refused_downloads_; }

private:
    uint32_t GetInfo(uint8_t* data, uint32_t length);
    uint32_t Download(const uint8_t* data, uint32_t length, SimNvmeRequest& req);
    uint32_t Activate(const uint8_t* data, uint32_t length, SimNvmeRequest& req);
    SimNvmeSlot* Slot(uint8_t number);

    SimNvmeDesc state_;
    std::vector<uint8_t> image_;
    std::vector<SimNvmeRequest> requests_;
    SimWriteLog writes_;
    std::function<double()> now_;
    double back_at_ = 0;
    std::optional<std::string> changed_;
    int committed_ = 0;
    int refused_downloads_ = 0;
};

}  // namespace orvane::platform::sim
