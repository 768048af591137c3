#pragma once
// A disk's drive as the machine file describes it ("disks[].drive"), read once when the
// machine loads: the drive's identity, how the host reaches it, and the faults it shows.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

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
    int skip = 0;           // matching commands that pass before it hits ("an error at chunk k")
};

// An image the drive took that runs from the next machine restart.
struct SimPendingFirmware {
    std::string revision;
    std::optional<std::string> def;
};

// How the drive takes firmware ("drive.firmware"); a drive without it aborts DOWNLOAD MICROCODE.
struct SimFirmwareDesc {
    std::vector<uint8_t> modes{3, 7, 14, 15};  // DOWNLOAD MICROCODE subcommands it accepts
    int max_chunk_sectors = 255;
    double restart_seconds = 3;
    enum ComesBack { New, Old, OtherSerial, Never } comes_back = New;
    std::string other_serial;
    bool pata = false;  // answers the PATA handshake as a parallel-ATA drive
    // Taken by an earlier run (a saved machine); the drive holds it, not its description.
    std::optional<SimPendingFirmware> pending;
};

struct SimDriveDesc {
    std::string model;
    std::string revision;
    std::string serial;
    std::optional<std::string> def;  // the vendor page's text; none: the drive aborts the vendor read
    uint16_t word2 = 0xC837;
    uint16_t word159 = 0;
    uint16_t word128 = 0;            // security status: 0x0007 supported, enabled and locked
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
    std::optional<SimFirmwareDesc> firmware;
};

// Reads a "drive" object; path names it in error messages ("disks[0].drive").
bool ParseDriveDesc(const nlohmann::json& j, const std::string& path, SimDriveDesc& out, std::string& error);

}  // namespace orvane::platform::sim
