#pragma once
#include <cstdint>

namespace orvane::records {

// Register block in IDEREGS order. On return bFeaturesReg holds the error register
// and bCommandReg the status register.
struct IdeRegs {
    uint8_t bFeaturesReg = 0;
    uint8_t bSectorCountReg = 0;
    uint8_t bSectorNumberReg = 0;
    uint8_t bCylLowReg = 0;
    uint8_t bCylHighReg = 0;
    uint8_t bDriveHeadReg = 0;
    uint8_t bCommandReg = 0;
    uint8_t bReserved = 0;
};
static_assert(sizeof(IdeRegs) == 8);

inline IdeRegs MakeRegs(uint8_t fr, uint8_t sc, uint8_t sn, uint8_t cl, uint8_t ch, uint8_t dh, uint8_t cmd) {
    return IdeRegs{fr, sc, sn, cl, ch, dh, cmd, 0};
}

}  // namespace orvane::records
