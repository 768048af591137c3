#include "platform/sim/sim_drive_scsi.h"

#include <algorithm>
#include <cstring>

namespace orvane::platform::sim {

namespace {

constexpr uint8_t kCheckCondition = 0x02;
constexpr uint8_t kKeyAborted = 0x0B;
constexpr uint8_t kKeyIllegal = 0x05;
constexpr uint8_t kAscInvalidOpcode = 0x20;
constexpr uint8_t kAscInvalidField = 0x24;

uint8_t AtaDirection(uint8_t data_in) { return data_in == 1 ? 2 : data_in == 0 ? 4 : 0; }

void FixedSense(SimScsiOutcome& o, uint8_t key, uint8_t asc, uint8_t ascq) {
    o.status = kCheckCondition;
    std::memset(o.sense, 0, sizeof o.sense);
    o.sense[0] = 0x70;
    o.sense[2] = key;
    o.sense[7] = 10;
    o.sense[12] = asc;
    o.sense[13] = ascq;
    o.sense_length = 18;
}

}  // namespace

SimScsiOutcome SimScsiTarget::Illegal(uint8_t asc) {
    SimScsiOutcome o;
    FixedSense(o, kKeyIllegal, asc, 0);
    return o;
}

SimScsiOutcome SimScsiTarget::Execute(const uint8_t* cdb, uint8_t cdb_length, uint8_t data_in, uint8_t* data,
                                      uint32_t length) {
    const SimDriveDesc& desc = drive_.desc();
    const uint8_t op = cdb_length ? cdb[0] : 0;
    const bool sat_capable = desc.attach == SimAttach::Ata ||
                             (desc.attach == SimAttach::Usb && (desc.bridge == SimBridgeKind::Sat || desc.bridge_sat));
    if ((op == 0xA1 && cdb_length >= 12) || (op == 0x85 && cdb_length >= 16)) {
        if (sat_capable) return Sat(cdb, data, length);
        return Illegal(kAscInvalidOpcode);
    }
    if (desc.attach == SimAttach::ScsiVendor && op == 0xCC && cdb_length >= 10) {
        SimScsiOutcome o;
        SimAtaResult r = drive_.Execute(cdb + 2, nullptr, AtaDirection(data_in), data, length);
        o.timed_out = r.timed_out;
        o.transferred = r.transferred;
        if (r.status & 1) FixedSense(o, kKeyAborted, 0, 0);
        return o;
    }
    if (desc.attach != SimAttach::Usb) return Illegal(kAscInvalidOpcode);

    switch (desc.bridge) {
    case SimBridgeKind::Jmicron:
        if (op == 0xDF && cdb_length >= 12) return Jmicron(cdb, data, length);
        break;
    case SimBridgeKind::Prolific:
        if ((op == 0xD8 || op == 0xD7) && cdb_length >= 16) return Prolific(cdb, data, length);
        break;
    case SimBridgeKind::Sunplus:
        if (op == 0xF8 && cdb_length >= 12) return Sunplus(cdb, data, length);
        break;
    case SimBridgeKind::Iodata:
        if (op == 0xE3 && cdb_length >= 12) {
            const uint8_t regs[7] = {cdb[2], cdb[3], 0, 0, 0, cdb[7], cdb[8]};
            return RunVendor(regs, nullptr, AtaDirection(data_in), data, length);
        }
        break;
    case SimBridgeKind::Logitec:
        if (op == 0xE0 && cdb_length >= 10 && cdb[9] == 0x4C) {
            const uint8_t regs[7] = {cdb[2], cdb[3], 0, 0, 0, cdb[7], cdb[8]};
            return RunVendor(regs, nullptr, AtaDirection(data_in), data, length);
        }
        break;
    case SimBridgeKind::Cypress:
        if (op == 0x24 && cdb_length >= 16 && cdb[1] == 0x24 && cdb[3] == 0xBE) {
            const uint8_t regs[7] = {cdb[6], cdb[7], 0, 0, 0, cdb[11], cdb[12]};
            return RunVendor(regs, nullptr, AtaDirection(data_in), data, length);
        }
        break;
    case SimBridgeKind::Sat:
        break;
    }
    // A bridge answers a block it does not know with CHECK CONDITION; the request succeeds.
    return Illegal(kAscInvalidOpcode);
}

SimScsiOutcome SimScsiTarget::Sat(const uint8_t* c, uint8_t* data, uint32_t length) {
    const bool is16 = c[0] == 0x85;
    const uint8_t protocol = (c[1] >> 1) & 0x0F;
    const bool extend = is16 && (c[1] & 1);
    const bool ck_cond = (c[2] >> 5) & 1;
    uint8_t direction;
    switch (protocol) {
    case 3: direction = 0; break;
    case 4: direction = 2; break;
    case 5: direction = 4; break;
    default: return Illegal(kAscInvalidField);
    }
    uint8_t regs[7], high[5] = {};
    if (is16) {
        const uint8_t r[7] = {c[4], c[6], c[8], c[10], c[12], c[13], c[14]};
        std::memcpy(regs, r, 7);
        if (extend) {
            const uint8_t h[5] = {c[3], c[5], c[7], c[9], c[11]};
            std::memcpy(high, h, 5);
        }
    } else {
        std::memcpy(regs, c + 3, 7);
    }
    SimScsiOutcome o;
    SimAtaResult r = drive_.Execute(regs, extend ? high : nullptr, direction, data, length);
    o.timed_out = r.timed_out;
    o.transferred = r.transferred;
    const SimDriveDesc& desc = drive_.desc();
    const bool error = r.status & 1;
    if (!error && !ck_cond && !desc.sense_key0_check) return o;

    o.status = kCheckCondition;
    const uint8_t key = error ? kKeyAborted : 0x00;
    const uint8_t ascq = error ? 0x00 : 0x1D;  // ATA PASS THROUGH INFORMATION AVAILABLE
    if (desc.fixed_sense) {
        FixedSense(o, key, 0, ascq);
        // Fixed format carries only the low-order registers, in the information field.
        o.sense[3] = r.error;
        o.sense[4] = r.status;
        o.sense[5] = r.regs[5];
        o.sense[6] = r.regs[1];
        return o;
    }
    std::memset(o.sense, 0, sizeof o.sense);
    o.sense[0] = 0x72;
    o.sense[1] = key;
    o.sense[2] = 0;
    o.sense[3] = ascq;
    o.sense[7] = 14;
    uint8_t* d = o.sense + 8;
    d[0] = 0x09;
    d[1] = 0x0C;
    d[2] = extend ? 1 : 0;
    d[3] = r.error;
    d[4] = r.high[1];
    d[5] = r.regs[1];
    d[6] = r.high[2];
    d[7] = r.regs[2];
    d[8] = r.high[3];
    d[9] = r.regs[3];
    d[10] = r.high[4];
    d[11] = r.regs[4];
    d[12] = r.regs[5];
    d[13] = r.status;
    o.sense_length = 22;
    return o;
}

SimScsiOutcome SimScsiTarget::RunVendor(const uint8_t* regs, const uint8_t* high, uint8_t direction, uint8_t* data,
                                        uint32_t length) {
    SimScsiOutcome o;
    last_ = drive_.Execute(regs, high, direction, data, length);
    o.timed_out = last_.timed_out;
    o.transferred = last_.transferred;
    if (last_.status & 1) FixedSense(o, kKeyAborted, 0, 0);
    return o;
}

SimScsiOutcome SimScsiTarget::Jmicron(const uint8_t* c, uint8_t* data, uint32_t length) {
    const uint32_t count = std::min<uint32_t>(static_cast<uint32_t>(c[3] << 8 | c[4]), length);
    const int port = drive_.desc().bridge_port;
    if (c[11] == 0xFD && c[5] == 0) {
        // Bridge register memory.
        const uint16_t address = static_cast<uint16_t>(c[6] << 8 | c[7]);
        uint8_t mem[32] = {};
        if (address == 0x720F) {
            mem[0] = port == 0 ? 0x05 : 0x41;
        } else if (address == (port == 0 ? 0x8000 : 0x9000)) {
            mem[0] = last_.regs[1];
            mem[4] = last_.regs[3];
            mem[6] = last_.regs[2];
            mem[9] = last_.regs[5];
            mem[10] = last_.regs[4];
            mem[13] = last_.error;
            mem[14] = last_.status;
        } else if (address != 0x8000 && address != 0x9000) {
            return Illegal(kAscInvalidField);
        }
        SimScsiOutcome o;
        o.transferred = std::min<uint32_t>(count, sizeof mem);
        if (data) std::memcpy(data, mem, o.transferred);
        return o;
    }
    const int selected = (c[10] & 0x10) ? 1 : 0;
    if (selected != port) {
        SimScsiOutcome o;
        FixedSense(o, 0x02, 0x04, 0x00);  // NOT READY: nothing on that port
        return o;
    }
    const uint8_t direction = c[1] & 0x10 ? (count ? 2 : 0) : 4;
    return RunVendor(c + 5, nullptr, direction, data, count);
}

SimScsiOutcome SimScsiTarget::Prolific(const uint8_t* c, uint8_t* data, uint32_t length) {
    if (c[4] != 0x06 || c[5] != 0x7B) return Illegal(kAscInvalidField);
    if (c[0] == 0xD7) {
        uint8_t regs[16] = {};
        regs[0] = last_.status;
        regs[2] = last_.regs[1];
        regs[4] = last_.regs[2];
        regs[6] = last_.regs[3];
        regs[8] = last_.regs[4];
        regs[10] = last_.regs[5];
        regs[11] = last_.error;
        SimScsiOutcome o;
        o.transferred = std::min<uint32_t>(length, sizeof regs);
        if (data) std::memcpy(data, regs, o.transferred);
        return o;
    }
    if ((c[1] & 0x05) != 0x05) {
        const uint8_t h[5] = {c[3], c[10], c[11], c[12], c[13]};
        std::memcpy(high_, h, 5);
        high_set_ = true;
        return {};
    }
    const uint32_t count =
        std::min<uint32_t>(static_cast<uint32_t>(c[6]) << 24 | c[7] << 16 | c[8] << 8 | c[9], length);
    const uint8_t regs[7] = {c[3], c[10], c[11], c[12], c[13], c[14], c[15]};
    const uint8_t direction = c[1] & 0x10 ? (count ? 2 : 0) : 4;
    const bool with_high = high_set_;
    high_set_ = false;
    return RunVendor(regs, with_high ? high_ : nullptr, direction, data, count);
}

SimScsiOutcome SimScsiTarget::Sunplus(const uint8_t* c, uint8_t* data, uint32_t length) {
    switch (c[2]) {
    case 0x21: {
        const uint8_t regs[8] = {0, last_.error, last_.regs[1], last_.regs[2], last_.regs[3],
                                 last_.regs[4], last_.regs[5], last_.status};
        SimScsiOutcome o;
        o.transferred = std::min<uint32_t>(length, sizeof regs);
        if (data) std::memcpy(data, regs, o.transferred);
        return o;
    }
    case 0x23:
        std::memcpy(high_, c + 5, 5);
        high_set_ = true;
        return {};
    case 0x22: {
        const uint32_t count = std::min<uint32_t>(c[4] * 512u, length);
        uint8_t direction;
        switch (c[3]) {
        case 0x00: direction = 0; break;
        case 0x10: direction = 2; break;
        case 0x11: direction = 4; break;
        default: return Illegal(kAscInvalidField);
        }
        const bool with_high = high_set_;
        high_set_ = false;
        return RunVendor(c + 5, with_high ? high_ : nullptr, direction, data, count);
    }
    default:
        return Illegal(kAscInvalidField);
    }
}

}  // namespace orvane::platform::sim
