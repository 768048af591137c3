#include "device/scsi_blocks.h"

#include <algorithm>
#include <initializer_list>

namespace orvane::device {

namespace {

constexpr uint8_t kSatProtoNonData = 3;
constexpr uint8_t kSatProtoPioIn = 4;
constexpr uint8_t kSatProtoPioOut = 5;

Cdb Block(std::initializer_list<uint8_t> bytes) {
    Cdb c;
    for (uint8_t b : bytes) c.bytes[c.length++] = b;
    return c;
}

uint8_t DeviceSelect(const IdeRegs& regs, int port) {
    return static_cast<uint8_t>((port == 0 ? 0xA0 : 0xB0) | regs.bDriveHeadReg);
}

}  // namespace

std::optional<Cdb> SatBlock(const IdeRegs& r, const IdeRegs* prev, uint8_t direction) {
    uint8_t protocol = 0, flags = 0;
    switch (direction) {
    case kDirNone: protocol = kSatProtoNonData; flags = 0x0C; break;
    case kDirIn: protocol = kSatProtoPioIn; flags = 0x0E; break;
    case kDirOut: protocol = kSatProtoPioOut; flags = 0x06; break;
    default: return std::nullopt;
    }
    if (!prev) {
        return Block({0xA1, static_cast<uint8_t>(protocol << 1), flags, r.bFeaturesReg, r.bSectorCountReg,
                      r.bSectorNumberReg, r.bCylLowReg, r.bCylHighReg, r.bDriveHeadReg, r.bCommandReg, 0, 0});
    }
    // EXTEND set: without it a translator ignores the high-order bytes this block carries.
    const IdeRegs& p = *prev;
    return Block({0x85, static_cast<uint8_t>(protocol << 1 | 1), flags, p.bFeaturesReg, r.bFeaturesReg,
                  p.bSectorCountReg, r.bSectorCountReg, p.bSectorNumberReg, r.bSectorNumberReg, p.bCylLowReg,
                  r.bCylLowReg, p.bCylHighReg, r.bCylHighReg, r.bDriveHeadReg, r.bCommandReg, 0});
}

std::optional<Cdb> JmicronBlock(const IdeRegs& r, uint8_t direction, uint32_t length, int port) {
    if (length > 0xFFFF) return std::nullopt;  // the block has 16 bits for it
    return Block({0xDF, static_cast<uint8_t>(direction == kDirOut ? 0x00 : 0x10), 0,
                  static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), r.bFeaturesReg,
                  r.bSectorCountReg, r.bSectorNumberReg, r.bCylLowReg, r.bCylHighReg,
                  static_cast<uint8_t>((port == 1 ? 0xB0 : 0xA0) | r.bDriveHeadReg), r.bCommandReg});
}

std::optional<Cdb> ProlificBlock(const IdeRegs& r, uint8_t direction, uint32_t length) {
    if (direction != kDirNone && direction != kDirIn && direction != kDirOut) return std::nullopt;
    uint8_t d = direction == kDirOut ? 0x00 : 0x10;
    return Block({0xD8, static_cast<uint8_t>(d | 5), 0, r.bFeaturesReg, 0x06, 0x7B,
                  static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                  static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), r.bSectorCountReg,
                  r.bSectorNumberReg, r.bCylLowReg, r.bCylHighReg, static_cast<uint8_t>(0xA0 | r.bDriveHeadReg),
                  r.bCommandReg});
}

std::optional<Cdb> ProlificHighBlock(const IdeRegs& r, const IdeRegs& p, uint8_t direction) {
    if (direction != kDirNone && direction != kDirIn && direction != kDirOut) return std::nullopt;
    uint8_t d = direction == kDirOut ? 0x00 : 0x10;
    return Block({0xD8, d, 0, p.bFeaturesReg, 0x06, 0x7B, 0, 0, 0, 0, p.bSectorCountReg, p.bSectorNumberReg,
                  p.bCylLowReg, p.bCylHighReg, static_cast<uint8_t>(0xA0 | r.bDriveHeadReg), r.bCommandReg});
}

std::optional<Cdb> SunplusBlock(const IdeRegs& r, uint8_t direction, uint32_t length) {
    uint8_t d = 0;
    switch (direction) {
    case kDirNone: d = 0x00; break;
    case kDirIn: d = 0x10; break;
    case kDirOut: d = 0x11; break;
    default: return std::nullopt;
    }
    if (length / 512 > 0xFF) return std::nullopt;  // one byte of sectors
    return Block({0xF8, 0, 0x22, d, static_cast<uint8_t>(length / 512), r.bFeaturesReg, r.bSectorCountReg,
                  r.bSectorNumberReg, r.bCylLowReg, r.bCylHighReg, static_cast<uint8_t>(0xA0 | r.bDriveHeadReg),
                  r.bCommandReg});
}

Cdb SunplusHighBlock(const IdeRegs& p) {
    return Block({0xF8, 0, 0x23, 0, 0, p.bFeaturesReg, p.bSectorCountReg, p.bSectorNumberReg, p.bCylLowReg,
                  p.bCylHighReg, 0, 0});
}

Cdb IodataBlock(const IdeRegs& r, int port) {
    return Block({0xE3, 0, r.bFeaturesReg, r.bSectorCountReg, 0, 0, 0, DeviceSelect(r, port), r.bCommandReg, 0, 0, 0});
}

Cdb LogitecBlock(const IdeRegs& r, int port) {
    return Block({0xE0, 0, r.bFeaturesReg, r.bSectorCountReg, 0, 0, 0, DeviceSelect(r, port), r.bCommandReg, 0x4C});
}

Cdb CypressBlock(const IdeRegs& r, int port) {
    return Block({0x24, 0x24, 0, 0xBE, 0, 0, r.bFeaturesReg, r.bSectorCountReg, 0, 0, 0, DeviceSelect(r, port),
                  r.bCommandReg, 0, 0, 0});
}

Cdb JmicronReadBlock(uint16_t address, uint16_t count) {
    return Block({0xDF, 0x10, 0, static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count), 0,
                  static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), 0, 0, 0, 0xFD});
}

uint16_t JmicronRegisterAddress(int port) { return port == 1 ? 0x9000 : 0x8000; }

Cdb ProlificReadBlock() { return Block({0xD7, 0, 0, 0, 0x06, 0x7B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }

Cdb SunplusReadBlock() { return Block({0xF8, 0, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }

void JmicronRegs(const uint8_t* b, IdeRegs& r) {
    r.bSectorCountReg = b[0];
    r.bCylLowReg = b[4];
    r.bSectorNumberReg = b[6];
    r.bDriveHeadReg = b[9];
    r.bCylHighReg = b[10];
    r.bFeaturesReg = b[13];
    r.bCommandReg = b[14];
}

void ProlificRegs(const uint8_t* b, IdeRegs& r) {
    r.bCommandReg = b[0];
    r.bSectorCountReg = b[2];
    r.bSectorNumberReg = b[4];
    r.bCylLowReg = b[6];
    r.bCylHighReg = b[8];
    r.bDriveHeadReg = b[10];
    r.bFeaturesReg = b[11];
}

void SunplusRegs(const uint8_t* b, IdeRegs& r) {
    r.bFeaturesReg = b[1];
    r.bSectorCountReg = b[2];
    r.bSectorNumberReg = b[3];
    r.bCylLowReg = b[4];
    r.bCylHighReg = b[5];
    r.bDriveHeadReg = b[6];
    r.bCommandReg = b[7];
}

int JmicronPortOf(uint8_t value) {
    switch (value & 0x44) {
    case 0x04: return 0;
    case 0x40: return 1;
    default: return -1;
    }
}

SenseSummary ParseSense(const uint8_t* s, size_t size) {
    SenseSummary out;
    if (size == 0 || (s[0] & 0x70) != 0x70) return out;
    out.valid = true;
    out.bytes[0] = s[0] & 0x7F;
    if (out.bytes[0] < 0x72) {
        size_t usable = size;
        if (size > 7) usable = std::min<size_t>(size, s[7] + 8u);
        if (usable > 2) out.bytes[1] = s[2] & 0x0F;
        if (usable > 12) out.bytes[2] = s[12];
        if (usable > 13) out.bytes[3] = s[13];
        return out;
    }
    if (size < 8) return out;
    out.bytes[1] = s[1] & 0x0F;
    out.bytes[2] = s[2];
    out.bytes[3] = s[3];
    out.bytes[7] = s[7];
    if ((out.bytes[0] != 0x72 && out.bytes[0] != 0x73) || s[7] == 0) return out;
    size_t end = std::min<size_t>(size, 8u + std::min<size_t>(s[7], 24));
    for (size_t pos = 8; pos + 1 < end; pos += s[pos + 1] + 2u) {
        if (s[pos] != 0x09) continue;
        // Registers are read up to the descriptor's byte 13: it must lie wholly in the sense.
        if (pos + 14 > size) break;
        out.status_desc = static_cast<int>(pos);
        out.status_desc_length = std::clamp(s[pos + 1] + 2, 12, 14);
        break;
    }
    return out;
}

void SatStatusRegs(const uint8_t* d, IdeRegs& r, IdeRegs* prev) {
    r.bFeaturesReg = d[3];
    r.bSectorCountReg = d[5];
    r.bSectorNumberReg = d[7];
    r.bCylLowReg = d[9];
    r.bCylHighReg = d[11];
    r.bDriveHeadReg = d[12];
    r.bCommandReg = d[13];
    if (prev) {
        prev->bSectorCountReg = d[4];
        prev->bSectorNumberReg = d[6];
        prev->bCylLowReg = d[8];
        prev->bCylHighReg = d[10];
    }
}

}  // namespace orvane::device
