#pragma once
// A RAID or SAS controller's CSMI driver, as a controller's "csmi" object in the machine file
// describes it: driver information, a phy table, and SATA drives behind the phys that take ATA
// commands through STP pass-through. It answers IOCTL_SCSI_MINIPORT sent to the controller's
// SCSI port ("\\.\SCSI<n>:").
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_drive_desc.h"
#include "platform/storage_io.h"

namespace orvane::platform::sim {

// One side of a phy (the controller's own, or the device attached to it).
struct SimCsmiIdentify {
    uint8_t device_type = 0;  // 0 none, 0x10 end device, 0x20/0x30 expanders
    uint8_t initiator_protocol = 0;
    uint8_t target_protocol = 0;  // 1 SATA, 2 SMP, 4 STP, 8 SSP
    std::array<uint8_t, 8> sas_address{};  // as the table carries it, most significant byte first
    uint8_t phy_identifier = 0;
};

// One entry of the phy table; an unused entry has an own device type of 0.
struct SimCsmiPhy {
    SimCsmiIdentify own;
    uint8_t port_identifier = 0;
    SimCsmiIdentify attached;
    std::optional<SimDriveDesc> drive;  // the SATA drive attached (SATA and STP only)
};

struct SimCsmiDesc {
    std::string name, description;
    uint16_t major = 1, minor = 0, build = 0, release = 0;
    std::optional<uint8_t> reported_phys;  // none: the table's length
    std::vector<SimCsmiPhy> phys;          // at most 32
};

// Reads a controller's "csmi" object; path names it in error messages ("controllers[2].csmi").
bool ParseCsmiDesc(const nlohmann::json& j, const std::string& path, SimCsmiDesc& out, std::string& error);

// The driver at run time, with the drives behind its phys.
class SimCsmiPort {
public:
    SimCsmiPort(const SimCsmiDesc& desc, std::function<void(double)> pass_time);
    // An IOCTL_SCSI_MINIPORT request; nullopt when it carries no CSMI signature.
    std::optional<IoResult> Control(uint8_t* buffer, uint32_t in_len, uint32_t out_len);
    // The drive behind table entry `index`; null when there is none.
    SimAtaDrive* drive(size_t index);

private:
    IoResult DriverInfo(uint8_t* buffer, uint32_t in_len, uint32_t out_len);
    IoResult PhyInfo(uint8_t* buffer, uint32_t in_len, uint32_t out_len);
    IoResult Stp(uint8_t* buffer, uint32_t in_len, uint32_t out_len);

    SimCsmiDesc desc_;
    std::vector<std::unique_ptr<SimAtaDrive>> drives_;  // by table entry
    std::function<void(double)> pass_time_;
};

}  // namespace orvane::platform::sim
