// The USB bridges' vendor blocks (JMicron, Prolific, Sunplus, I-O Data, Logitec, Cypress)
// and the register read-back of the first three.
#include <cstring>

#include "device/ata_device.h"

namespace orvane::device {

namespace {

// The command's records and sense, kept across a register read-back for inspection.
struct SavedCommand {
    explicit SavedCommand(TAtaDevice& d) : dev(d), spt(d.Spt), sptd(d.Sptd), sense(d.Sense) {
        std::memcpy(sense_bytes, d.SenseBytes, sizeof sense_bytes);
    }
    ~SavedCommand() {
        dev.Spt = spt;
        dev.Sptd = sptd;
        dev.Sense = sense;
        std::memcpy(dev.SenseBytes, sense_bytes, sizeof sense_bytes);
    }
    TAtaDevice& dev;
    ScsiPassThroughWithBuffers spt;
    ScsiPassThroughDirectWithSense sptd;
    SenseSummary sense;
    uint8_t sense_bytes[32];
};

}  // namespace

uint8_t TAtaDevice::jmicron_read_regs(uint16_t address, uint8_t* buffer, uint16_t count) {
    Cdb cdb = JmicronReadBlock(address, count);
    uint32_t length = count;
    return scsi_command(cdb.bytes, cdb.length, kDirIn, length, buffer);
}

void TAtaDevice::detect_bridge_port() {
    uint8_t value = 0;
    iBridgePort = jmicron_read_regs(kJmicronPortAddress, &value, 1) == ATACMD_OK ? JmicronPortOf(value) : -1;
}

void TAtaDevice::read_back_regs(const Cdb& cdb, uint32_t count, void (*decode)(const uint8_t*, IdeRegs&),
                                IdeRegs& regs) {
    SavedCommand saved(*this);
    uint8_t bytes[16] = {};
    uint32_t length = count;
    uint8_t r;
    if (cdb.bytes[0] == 0xDF) {
        const float timeout = fTimeout;
        fTimeout = 1.0f;
        r = jmicron_read_regs(JmicronRegisterAddress(iBridgePort), bytes, static_cast<uint16_t>(count));
        fTimeout = timeout;
    } else {
        r = scsi_command(cdb.bytes, cdb.length, kDirIn, length, bytes);
    }
    if (r != ATACMD_OK) return;
    decode(bytes, regs);
    OutRegs = regs;
    if ((regs.bCommandReg & 1) && regs.bCommandReg != 0x7F) bLastStatus = regs.bCommandReg;
}

uint8_t TAtaDevice::jmicron_command(IdeRegs& regs, uint8_t* buffer, uint8_t direction, uint32_t& length) {
    if (iBridgePort < 0) return ATACMD_FAIL;
    std::optional<Cdb> cdb = JmicronBlock(regs, direction, length, iBridgePort);
    if (!cdb) return ATACMD_NOT_SUPPORT;
    SetNoRegs();
    const uint8_t result = scsi_command(cdb->bytes, cdb->length, direction, length, buffer);
    read_back_regs(*cdb, kJmicronRegsLength, JmicronRegs, regs);
    return result;
}

uint8_t TAtaDevice::prolific_command(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction,
                                     uint32_t& length) {
    std::optional<Cdb> cdb = ProlificBlock(regs, direction, length);
    if (!cdb) return ATACMD_NOT_SUPPORT;
    SetNoRegs();
    if (prev) {
        Cdb high = *ProlificHighBlock(regs, *prev, direction);
        uint32_t none = 0;
        const uint8_t r = scsi_command(high.bytes, high.length, kDirNone, none, nullptr);
        if (r != ATACMD_OK) return r;
    }
    const uint8_t result = scsi_command(cdb->bytes, cdb->length, direction, length, buffer);
    read_back_regs(ProlificReadBlock(), kProlificRegsLength, ProlificRegs, regs);
    return result;
}

uint8_t TAtaDevice::sunplus_command(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction,
                                    uint32_t& length) {
    std::optional<Cdb> cdb = SunplusBlock(regs, direction, length);
    if (!cdb) return ATACMD_NOT_SUPPORT;
    SetNoRegs();
    if (prev) {
        Cdb high = SunplusHighBlock(*prev);
        uint32_t none = 0;
        const uint8_t r = scsi_command(high.bytes, high.length, kDirNone, none, nullptr);
        if (r != ATACMD_OK) return r;
    }
    const uint8_t result = scsi_command(cdb->bytes, cdb->length, direction, length, buffer);
    read_back_regs(SunplusReadBlock(), kSunplusRegsLength, SunplusRegs, regs);
    return result;
}

uint8_t TAtaDevice::simple_bridge_command(const Cdb& cdb, IdeRegs& regs, uint8_t* buffer, uint8_t direction,
                                          uint32_t& length) {
    SetNoRegs();
    return scsi_command(cdb.bytes, cdb.length, direction, length, buffer);
}

}  // namespace orvane::device
