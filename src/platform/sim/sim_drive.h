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

#include <nlohmann/json.hpp>

#include "platform/storage_io.h"

namespace orvane::platform::sim {

// How the host reaches the drive.
enum class SimAttach {
    Ata,         // an ATA port or AHCI driver: ATA pass-through; SCSI pass-through as SAT
    Ide,         // a legacy IDE driver: IDE pass-through only (and bus rescan)
    ScsiVendor,  // a SCSI-class controller driver that carries the 0xCC register block
    Sil,         // a RAID miniport with the "CMD_IDE " interface
    Usb,         // a USB mass-storage bridge: SCSI pass-through only, see SimBridgeKind
};

enum class SimBridgeKind { Sat, Jmicron, Prolific, Sunplus, Iodata, Logitec, Cypress };

// A fault injected into the drive's answers.
struct SimDriveFault {
    int command = -1;       // ATA command it hits; -1 every command
    int features = -1;      // and this features value; -1 any
    enum Effect { Error, Timeout, Status7F } effect = Error;
    int times = -1;         // how many commands it hits; -1 all
};

struct SimDriveSpec {
    std::string model;
    std::string revision;
    std::string serial;
    std::optional<std::string> def;  // the vendor page's text; none: the drive aborts the vendor read
    uint16_t word2 = 0xC837;
    uint16_t word159 = 0;
    bool fatal = false;              // the signed READ BUFFER page carries a fatal-state record
    SimAttach attach = SimAttach::Ata;
    SimBridgeKind bridge = SimBridgeKind::Sat;
    int bridge_port = 0;             // JMicron: the port the drive hangs on
    bool bridge_sat = false;         // a vendor bridge that also translates SAT blocks
    bool fixed_sense = false;        // sense in fixed format (no ATA Status Return descriptor)
    bool sense_key0_check = false;   // SAT: CHECK CONDITION with sense key 0 after every command
    uint16_t sil_major = 2, sil_minor = 3;
    std::vector<uint32_t> refuse;    // control codes the driver answers "not supported"
    std::vector<SimDriveFault> faults;
};

// Reads a "drive" object; path names it in error messages ("disks[0].drive").
bool ParseDriveSpec(const nlohmann::json& j, const std::string& path, SimDriveSpec& out, std::string& error);

struct SimStorage;
// Checks every disk's "drive" object; false with a message naming the field.
bool ValidateDriveSpecs(const SimStorage& storage, std::string& error);

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
    explicit SimAtaDrive(SimDriveSpec spec) : spec_(std::move(spec)) {}
    // regs: FR, SC, SN, CL, CH, DH, Cmd; high: FR, SC, LBA low, mid, high (may be null).
    SimAtaResult Execute(const uint8_t* regs, const uint8_t* high, uint8_t direction, uint8_t* data, uint32_t length);
    const SimDriveSpec& spec() const { return spec_; }
    std::vector<uint8_t> IdentifyData() const;
    // Every command as it reached the drive: Cmd, FR (for tests and the log of a run).
    std::vector<std::pair<uint8_t, uint8_t>> history;

private:
    const SimDriveFault* FaultFor(uint8_t cmd, uint8_t fr);
    SimDriveSpec spec_;
    std::map<size_t, int> fault_hits_;
    bool vendor_unlocked_ = false;
};

// The driver stack above one drive. pass_time lets a timed-out request use up simulated time.
class SimDriveStack {
public:
    SimDriveStack(SimDriveSpec spec, std::function<void(double)> pass_time = {});
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
