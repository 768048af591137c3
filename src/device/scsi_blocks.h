#pragma once
// Command blocks that carry an ATA command through a SCSI path: the SAT ATA PASS-THROUGH
// blocks and the USB bridges' vendor blocks, their register read-back, and the sense data.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "device/ata_types.h"

namespace orvane::device {

struct Cdb {
    uint8_t bytes[16] = {};
    uint8_t length = 0;
};

// SAT ATA PASS-THROUGH: (12) without high-order registers, (16) with them. None for a
// direction other than 0, 2 or 4.
std::optional<Cdb> SatBlock(const IdeRegs& regs, const IdeRegs* prev, uint8_t direction);

// Bridge blocks. port is iBridgePort (-1 unknown, 0 master, 1 slave).
// None when the block cannot carry the direction or the length.
std::optional<Cdb> JmicronBlock(const IdeRegs& regs, uint8_t direction, uint32_t length, int port);
std::optional<Cdb> ProlificBlock(const IdeRegs& regs, uint8_t direction, uint32_t length);
std::optional<Cdb> ProlificHighBlock(const IdeRegs& regs, const IdeRegs& prev, uint8_t direction);
std::optional<Cdb> SunplusBlock(const IdeRegs& regs, uint8_t direction, uint32_t length);
Cdb SunplusHighBlock(const IdeRegs& prev);
Cdb IodataBlock(const IdeRegs& regs, int port);
Cdb LogitecBlock(const IdeRegs& regs, int port);
Cdb CypressBlock(const IdeRegs& regs, int port);

// Register read-back.
Cdb JmicronReadBlock(uint16_t address, uint16_t count);
uint16_t JmicronRegisterAddress(int port);
Cdb ProlificReadBlock();
Cdb SunplusReadBlock();
constexpr uint32_t kJmicronRegsLength = 16;
constexpr uint32_t kProlificRegsLength = 16;
constexpr uint32_t kSunplusRegsLength = 8;
// Fill FR (error) ... Cmd (status) from the bridge's register bytes; other bytes unchanged.
void JmicronRegs(const uint8_t* bytes, IdeRegs& regs);
void ProlificRegs(const uint8_t* bytes, IdeRegs& regs);
void SunplusRegs(const uint8_t* bytes, IdeRegs& regs);
// Port behind a JMicron bridge from its byte at 0x720F: 0, 1 or -1.
constexpr uint16_t kJmicronPortAddress = 0x720F;
int JmicronPortOf(uint8_t value);

// SCSI status bytes.
constexpr uint8_t kScsiGood = 0x00;
constexpr uint8_t kScsiCheckCondition = 0x02;

// The sense summary of the last SCSI command.
struct SenseSummary {
    bool valid = false;
    // response code, sense key, ASC, ASCQ, ..., descriptor format: additional length in [7]
    uint8_t bytes[8] = {};
    int status_desc = -1;  // position of the ATA Status Return descriptor, -1 none
    int status_desc_length = 0;
    uint8_t response_code() const { return bytes[0]; }
    uint8_t sense_key() const { return bytes[1]; }
    uint8_t asc() const { return bytes[2]; }
    uint8_t ascq() const { return bytes[3]; }
};
SenseSummary ParseSense(const uint8_t* sense, size_t size);

// SAT: the registers of an ATA Status Return descriptor (sense bytes from its start).
void SatStatusRegs(const uint8_t* desc, IdeRegs& regs, IdeRegs* prev);

}  // namespace orvane::device
